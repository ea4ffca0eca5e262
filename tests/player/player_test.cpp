#include "player/player.h"

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "support/http_file_server.h"
#include "support/media.h"
#include "support/temp_dir.h"
#include "support/xvfb_display.h"

namespace vantiro {
namespace {

using test::TempDir;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { if (fd_ >= 0) ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Video needs a render context (libmpv's "libmpv" video output fails without one
// and ends the file with an error), so the playback tests share one hidden GL
// window on a private X server.
class PlayerWithWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        display_ = new test::XvfbDisplay;
        if (!display_->ok() || SDL_Init(SDL_INIT_VIDEO) != 0) return;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        window_ = SDL_CreateWindow("player test", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (window_) context_ = SDL_GL_CreateContext(window_);
    }
    static void TearDownTestSuite() {
        if (context_) {
            SDL_GL_MakeCurrent(window_, nullptr);
            SDL_GL_DeleteContext(context_);
        }
        if (window_) SDL_DestroyWindow(window_);
        SDL_Quit();
        delete display_;
        context_ = nullptr;
        window_ = nullptr;
        display_ = nullptr;
    }
    void SetUp() override {
        if (!context_) GTEST_SKIP() << "no X server or GL context: " << SDL_GetError();
        ASSERT_TRUE(player.create());
        std::string error;
        ASSERT_TRUE(player.createRenderContext(&error)) << error;
    }
    void TearDown() override { player.shutdown(); }

    // Renders frames and pumps events until `done` holds or ten seconds have passed.
    bool playUntil(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            player.pumpEvents();
            if (done()) return true;
            drawFrame();
        }
        return false;
    }
    void drawFrame() {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        player.render(0, kWidth, kHeight);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(kWidth / 2, kHeight / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, centre);
        SDL_GL_SwapWindow(window_);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    static constexpr int kWidth = 160;
    static constexpr int kHeight = 120;
    static inline test::XvfbDisplay* display_ = nullptr;
    static inline SDL_Window* window_ = nullptr;
    static inline SDL_GLContext context_ = nullptr;
    Player player;
    unsigned char centre[4] = {0, 0, 0, 0};
};

TEST(Player, RefusesToPlayBeforeCreate) {
    Player player;
    std::string error;
    EXPECT_FALSE(player.playFd(0, &error));
    EXPECT_EQ(error, "player is not initialised");
    EXPECT_FALSE(player.playUrl("http://127.0.0.1:1/x.ts", &error));
    EXPECT_FALSE(player.createRenderContext(&error));
    EXPECT_EQ(error, "player is not initialised");
    EXPECT_FALSE(player.active());
    EXPECT_FALSE(player.playing());
    EXPECT_FALSE(player.isAudioOnly());
    player.render(0, 64, 64);  // no render context: draws nothing, must not fail
    player.stop();
    player.shutdown();
    player.shutdown();
}

TEST_F(PlayerWithWindow, PlaysATransportStreamFromAFileDescriptorToItsNormalEnd) {
    TempDir dir;
    std::string clip = dir.file("clip.ts");
    ASSERT_TRUE(test::makeTsClip(clip, 1.0));
    EXPECT_FALSE(player.isAudioOnly()) << "nothing loaded: an empty track list";
    Descriptor fd(::open(clip.c_str(), O_RDONLY));
    ASSERT_TRUE(player.playFd(fd.get()));
    EXPECT_TRUE(player.active());
    EXPECT_FALSE(player.playing());
    EXPECT_FALSE(player.presenting());
    ASSERT_TRUE(playUntil([&] { return player.playing(); }));
    EXPECT_FALSE(player.isAudioOnly());
    // libmpv says playback began once a picture went through the render context.
    ASSERT_TRUE(playUntil([&] { return player.presenting(); }));
    // Without a sound device the end must still be a normal one.
    ASSERT_TRUE(playUntil([&] { return !player.active(); }));
    EXPECT_FALSE(player.playing());
    EXPECT_FALSE(player.presenting());
    EXPECT_EQ(player.lastError(), "");
    // libmpv leaves the descriptor to its owner.
    EXPECT_NE(::fcntl(fd.get(), F_GETFD), -1);
}

TEST_F(PlayerWithWindow, PlaysFromAPipeFedByAnotherThread) {
    TempDir dir;
    std::string clip = dir.file("clip.ts");
    ASSERT_TRUE(test::makeTsClip(clip, 2.0));
    std::string bytes = test::readFile(clip);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    Descriptor readEnd(ends[0]);
    std::thread writer([&] {
        size_t written = 0;
        while (written < bytes.size()) {
            ssize_t put = ::write(ends[1], bytes.data() + written, bytes.size() - written);
            if (put <= 0) break;
            written += static_cast<size_t>(put);
        }
        ::close(ends[1]);
    });
    ASSERT_TRUE(player.playFd(readEnd.get()));
    EXPECT_TRUE(playUntil([&] { return player.playing(); }));
    EXPECT_TRUE(playUntil([&] { return !player.active(); }));
    EXPECT_EQ(player.lastError(), "");
    writer.join();
}

TEST_F(PlayerWithWindow, PlaysAUrlFromALocalHttpServer) {
    TempDir dir;
    std::string clip = dir.file("clip.ts");
    ASSERT_TRUE(test::makeTsClip(clip, 1.0));
    test::HttpFileServer server(test::readFile(clip));
    ASSERT_TRUE(player.playUrl(server.url()));
    EXPECT_TRUE(playUntil([&] { return player.playing(); }));
    EXPECT_GE(server.requestsServed(), 1);
}

TEST_F(PlayerWithWindow, AnUnreachableUrlEndsWithLibmpvsErrorText) {
    int port;
    {
        test::HttpFileServer closed("");
        port = closed.port();
    }
    ASSERT_TRUE(player.playUrl("http://127.0.0.1:" + std::to_string(port) + "/gone.ts"));
    ASSERT_TRUE(playUntil([&] { return !player.lastError().empty(); }));
    EXPECT_EQ(player.lastError(), "loading failed");
    EXPECT_FALSE(player.active());
    EXPECT_FALSE(player.playing());
}

TEST_F(PlayerWithWindow, TheErrorOfAReplacedStreamDoesNotStickToTheNextOne) {
    TempDir dir;
    std::string clip = dir.file("clip.ts");
    ASSERT_TRUE(test::makeTsClip(clip, 2.0));
    ASSERT_TRUE(player.playUrl("http://127.0.0.1:1/refused.ts"));
    // Let the failing start run into its error before it is replaced.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Descriptor fd(::open(clip.c_str(), O_RDONLY));
    ASSERT_TRUE(player.playFd(fd.get()));
    ASSERT_TRUE(playUntil([&] { return player.playing(); }));
    EXPECT_EQ(player.lastError(), "");
    EXPECT_TRUE(player.active());
}

TEST_F(PlayerWithWindow, StopClearsTheFlagsAndLaterEventsOfTheStoppedFileChangeNothing) {
    TempDir dir;
    std::string clip = dir.file("clip.ts");
    ASSERT_TRUE(test::makeTsClip(clip, 2.0));
    Descriptor fd(::open(clip.c_str(), O_RDONLY));
    ASSERT_TRUE(player.playFd(fd.get()));
    player.stop();
    EXPECT_FALSE(player.active());
    EXPECT_FALSE(player.playing());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    player.pumpEvents();
    EXPECT_FALSE(player.playing());
    EXPECT_FALSE(player.presenting());
    EXPECT_EQ(player.lastError(), "");
}

TEST(Player, MuteIsMirrored) {
    Player player;
    ASSERT_TRUE(player.create());
    player.setMute(true);
    EXPECT_TRUE(player.muted());
    player.pumpEvents();
    EXPECT_TRUE(player.muted());
    player.setMute(false);
    player.pumpEvents();
    EXPECT_FALSE(player.muted());
}

TEST_F(PlayerWithWindow, AudioOnlyMeansAudioTracksAndNoVideoTrack) {
    TempDir dir;
    std::string radio = dir.file("radio.ts");
    std::string song = dir.file("song.mp3");
    ASSERT_TRUE(test::makeAudioOnlyTs(radio, 2.0));
    ASSERT_TRUE(test::makeMp3WithCover(song, 2.0));

    Descriptor radioFd(::open(radio.c_str(), O_RDONLY));
    ASSERT_TRUE(player.playFd(radioFd.get()));
    ASSERT_TRUE(playUntil([&] { return player.playing() && !player.tracks().empty(); }));
    EXPECT_TRUE(player.isAudioOnly());

    ASSERT_TRUE(player.playUrl(song));
    EXPECT_FALSE(player.isAudioOnly()) << "the last start's tracks are not the new one's";
    ASSERT_TRUE(playUntil([&] { return player.playing() && !player.tracks().empty(); }));
    EXPECT_FALSE(player.isAudioOnly()) << "a cover picture counts as a video track";
}

// Descriptors of this process that are open on `path`.
int descriptorsOpenOn(const std::string& path) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).string() == path) ++count;
    }
    return count;
}

// Starts replaced before libmpv began them, or stopped while it was opening
// them, must not leave their descriptors behind.
TEST_F(PlayerWithWindow, DescriptorStartsInQuickSuccessionLeaveNoDescriptorBehind) {
    TempDir dir;
    std::string clip = dir.file("clip.ts");
    ASSERT_TRUE(test::makeTsClip(clip, 1.0));
    Descriptor fd(::open(clip.c_str(), O_RDONLY));
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(player.playFd(fd.get()));
    for (int i = 0; i < 5; ++i) {
        player.stop();
        ASSERT_TRUE(player.playFd(fd.get()));
    }
    ASSERT_TRUE(playUntil([&] { return player.playing(); }));
    player.stop();
    EXPECT_TRUE(playUntil([&] { return descriptorsOpenOn(clip) == 1; }))
        << descriptorsOpenOn(clip) - 1 << " duplicates left open";
}

TEST_F(PlayerWithWindow, RendersTheVideoIntoTheCurrentFramebuffer) {
    TempDir dir;
    std::string clip = dir.file("red.ts");
    ASSERT_TRUE(test::makeTsClip(clip, 3.0, "red"));
    Descriptor fd(::open(clip.c_str(), O_RDONLY));
    ASSERT_TRUE(player.playFd(fd.get()));
    EXPECT_TRUE(playUntil([&] { return centre[0] > 200 && centre[1] < 60 && centre[2] < 60; }))
        << "centre pixel " << int(centre[0]) << "," << int(centre[1]) << "," << int(centre[2]);
}

// A window that draws only when libmpv says it has a picture keeps playback
// going: every picture libmpv queues is asked for, and the video shows.
TEST_F(PlayerWithWindow, SaysWhenItHasAPictureToDrawAndPlaysOnWhenDrawnOnlyThen) {
    TempDir dir;
    std::string clip = dir.file("red.ts");
    ASSERT_TRUE(test::makeTsClip(clip, 3.0, "red"));
    Descriptor fd(::open(clip.c_str(), O_RDONLY));
    ASSERT_TRUE(player.playFd(fd.get()));
    int pictures = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pictures < 20 && std::chrono::steady_clock::now() < deadline) {
        player.pumpEvents();
        player.waitForVideoUpdate(std::chrono::milliseconds(100));
        if (!player.takeVideoUpdate()) continue;
        ++pictures;
        drawFrame();
    }
    EXPECT_GE(pictures, 20);
    EXPECT_TRUE(player.presenting());
    EXPECT_TRUE(centre[0] > 200 && centre[1] < 60 && centre[2] < 60)
        << "centre pixel " << int(centre[0]) << "," << int(centre[1]) << "," << int(centre[2]);
}

}  // namespace
}  // namespace vantiro
