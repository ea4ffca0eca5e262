#include "shell/app.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "shell/keycodes.h"
#include "support/http_file_server.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

Channel tunerChannel(const std::string& name, std::uint32_t frequency, std::uint16_t videoPid = 256) {
    Channel channel;
    channel.name = name;
    channel.frequency = frequency;
    channel.pmtPid = 4096;
    channel.videoPid = videoPid;
    channel.audioPid = 257;
    channel.pcrPid = videoPid ? videoPid : 257;
    return channel;
}

Channel onlineChannel(const std::string& name, const std::string& url) {
    Channel channel;
    channel.name = name;
    channel.frequency = 0;
    channel.url = url;
    return channel;
}

// A URL on 127.0.0.1 where nothing listens: libmpv fails it with "loading failed".
std::string refusedUrl(const std::string& path) {
    int port;
    {
        test::HttpFileServer closed("");
        port = closed.port();
    }
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

// Runs the per-frame steps that need no window until `done` or ten seconds.
template <typename Done>
bool runFramesUntil(App& app, Done done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        app.player.pumpEvents();
        double now = nowSeconds();
        app.watchConnecting(now);
        app.announcePlaybackError(now);
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class AppWithFiles : public ::testing::Test {
protected:
    void SetUp() override {
        app.channelListPath = dir.file("config/vantiro/channels.tsv");
        app.lastChannelPath = lastChannelPathFor(app.channelListPath);
    }
    TempDir dir;
    App app;
};

TEST_F(AppWithFiles, LastChannelPrefersTheUrlThenTheName) {
    app.channels = {tunerChannel("One", 474000000), onlineChannel("Two", "http://a/two"),
                    onlineChannel("One", "http://a/one-online")};
    std::filesystem::create_directories(dir.path() / "config/vantiro");
    writeFile(app.lastChannelPath, "One\thttp://a/one-online\n");
    EXPECT_EQ(app.readLastChannel(), 2);
    writeFile(app.lastChannelPath, "Two\thttp://gone/two\n");
    EXPECT_EQ(app.readLastChannel(), 1) << "URL no longer listed: the name decides";
    writeFile(app.lastChannelPath, "One");
    EXPECT_EQ(app.readLastChannel(), 0) << "no tab: the whole line is the name";
    writeFile(app.lastChannelPath, "Nobody\t\n");
    EXPECT_EQ(app.readLastChannel(), -1);
    writeFile(app.lastChannelPath, "");
    EXPECT_EQ(app.readLastChannel(), -1);
    std::filesystem::remove(app.lastChannelPath);
    EXPECT_EQ(app.readLastChannel(), -1);
    app.lastChannelPath.clear();
    EXPECT_EQ(app.readLastChannel(), -1);
}

TEST_F(AppWithFiles, SavingTheLastChannelCreatesItsDirectory) {
    app.saveLastChannel(onlineChannel("Radio X", "http://r/x"));
    EXPECT_EQ(readFile(app.lastChannelPath), "Radio X\thttp://r/x\n");
    app.saveLastChannel(tunerChannel("TV 1", 474000000));
    EXPECT_EQ(readFile(app.lastChannelPath), "TV 1\t\n");
}

TEST_F(AppWithFiles, SwitchingOutsideTheListChangesNothing) {
    app.channels = {onlineChannel("A", "http://127.0.0.1:1/a")};
    app.switchChannel(1);
    app.switchChannel(-1);
    EXPECT_EQ(app.currentIndex, -1);
    EXPECT_FALSE(app.connecting);
    EXPECT_EQ(app.toastText, "");
    EXPECT_FALSE(std::filesystem::exists(app.lastChannelPath));
}

TEST_F(AppWithFiles, ATunerChannelWithoutATunerSaysSo) {
    app.channels = {tunerChannel("TV 1", 474000000)};
    app.switchChannel(0);
    EXPECT_EQ(app.toastText, "Tuner not available - check the USB stick");
    EXPECT_FALSE(app.connecting);
    EXPECT_EQ(app.currentIndex, -1);
}

TEST_F(AppWithFiles, AnOnlineChannelStartsAndIsRemembered) {
    ASSERT_TRUE(app.player.create());
    app.channels = {onlineChannel("News", "http://127.0.0.1:1/news.ts")};
    app.tunedFrequency = 474000000;
    app.tunedDeliverySystem = 16;
    app.signalValid = true;
    app.switchChannel(0);
    EXPECT_EQ(app.currentIndex, 0);
    EXPECT_EQ(app.listSelection, 0);
    EXPECT_TRUE(app.connecting);
    EXPECT_EQ(app.connectingName, "News");
    EXPECT_EQ(app.toastText, "[NET] News");
    EXPECT_EQ(app.tunedFrequency, 0u);
    EXPECT_EQ(app.tunedDeliverySystem, -1);
    EXPECT_FALSE(app.signalValid);
    EXPECT_EQ(readFile(app.lastChannelPath), "News\thttp://127.0.0.1:1/news.ts\n");
}

TEST_F(AppWithFiles, AnOnlineChannelThatCannotStartKeepsTheCurrentIndex) {
    app.channels = {onlineChannel("A", "http://127.0.0.1:1/a"), onlineChannel("B", "http://127.0.0.1:1/b")};
    app.currentIndex = 0;
    app.switchChannel(1);  // the player was never created
    EXPECT_EQ(app.toastText, "IPTV: player is not initialised");
    EXPECT_EQ(app.currentIndex, 0);
    EXPECT_FALSE(app.connecting);
}

TEST_F(AppWithFiles, ThreeFailingOnlineChannelsAtStartAreSkippedButNotAFourth) {
    ASSERT_TRUE(app.player.create());
    for (const char* name : {"A", "B", "C", "D", "E"}) app.channels.push_back(onlineChannel(name, refusedUrl(std::string("/") + name)));
    app.startTime = nowSeconds();
    app.switchChannel(0);
    ASSERT_TRUE(runFramesUntil(app, [&] { return app.currentIndex == 3 && !app.player.lastError().empty(); }));
    // Give a wrongful fourth advance the time to happen.
    runFramesUntil(app, [] { return false; });
    EXPECT_EQ(app.currentIndex, 3);
    EXPECT_EQ(app.autoAdvanceCount, 3);
    EXPECT_EQ(app.lastAnnouncedError, "loading failed");
    // The same text was announced once: the last toast is still the start of D.
    EXPECT_EQ(app.toastText, "[NET] D");
    EXPECT_FALSE(app.connecting);
}

TEST_F(AppWithFiles, AnErrorOnTheLastChannelDoesNotAdvance) {
    ASSERT_TRUE(app.player.create());
    app.channels = {tunerChannel("TV", 474000000), onlineChannel("Last", refusedUrl("/last"))};
    app.startTime = nowSeconds();
    app.switchChannel(1);
    ASSERT_TRUE(runFramesUntil(app, [&] { return !app.lastAnnouncedError.empty(); }));
    EXPECT_EQ(app.toastText, "Playback error: loading failed");
    EXPECT_EQ(app.currentIndex, 1);
}

TEST_F(AppWithFiles, NoErrorIsAnnouncedOrRememberedDuringAScan) {
    ASSERT_TRUE(app.player.create());
    app.channels = {onlineChannel("A", refusedUrl("/a")), onlineChannel("B", refusedUrl("/b"))};
    app.startTime = nowSeconds();
    app.switchChannel(0);
    app.scanning = true;
    ASSERT_TRUE(runFramesUntil(app, [&] { return !app.player.lastError().empty(); }));
    app.announcePlaybackError(nowSeconds());
    EXPECT_EQ(app.lastAnnouncedError, "");
    EXPECT_EQ(app.currentIndex, 0);
    app.scanning = false;
}

TEST_F(AppWithFiles, ConnectingGivesUpAfterTwelveSeconds) {
    app.connecting = true;
    app.connectStart = 100.0;
    app.watchConnecting(111.0);
    EXPECT_TRUE(app.connecting);
    app.watchConnecting(112.5);
    EXPECT_FALSE(app.connecting);
    EXPECT_EQ(app.toastText, "Still connecting - try another channel");
}

TEST(AppKeys, UpAndDownWithoutChannelsAskForAScan) {
    App app;
    app.onKeyDown(key::kDown);
    EXPECT_EQ(app.toastText, "No channels yet - press S to scan");
}

TEST(AppKeys, TheOpenListMovesItsSelectionRoundTheEnds) {
    App app;
    app.channels = {tunerChannel("A", 1), tunerChannel("B", 1), tunerChannel("C", 1)};
    app.onKeyDown(key::kTab);
    EXPECT_TRUE(app.listOpen);
    EXPECT_TRUE(app.scrollToSelection);
    EXPECT_EQ(app.listSelection, 0);
    app.scrollToSelection = false;
    app.onKeyDown(key::kUp);
    EXPECT_EQ(app.listSelection, 2);
    EXPECT_TRUE(app.scrollToSelection);
    app.onKeyDown(key::kDown);
    EXPECT_EQ(app.listSelection, 0);
    EXPECT_EQ(app.currentIndex, -1) << "moving in the list does not switch";
    app.onKeyDown(key::kL);
    EXPECT_FALSE(app.listOpen);
}

TEST(AppKeys, ReturnOpensTheListThenSwitchesToTheSelection) {
    App app;
    ASSERT_TRUE(app.player.create());
    app.channels = {onlineChannel("A", "http://127.0.0.1:1/a"), onlineChannel("B", "http://127.0.0.1:1/b")};
    app.onKeyDown(key::kReturn);
    EXPECT_TRUE(app.listOpen);
    app.onKeyDown(key::kDown);
    app.onKeyDown(key::kKeypadEnter);
    EXPECT_FALSE(app.listOpen);
    EXPECT_EQ(app.currentIndex, 1);
    EXPECT_EQ(app.toastText, "[NET] B");
}

TEST(AppKeys, UpFromNothingStartsTheLastChannelAndDownWrapsToTheFirst) {
    App app;
    ASSERT_TRUE(app.player.create());
    app.channels = {onlineChannel("A", "http://127.0.0.1:1/a"), onlineChannel("B", "http://127.0.0.1:1/b"),
                    onlineChannel("C", "http://127.0.0.1:1/c")};
    app.onKeyDown(key::kUp);
    EXPECT_EQ(app.currentIndex, 2);
    app.onKeyDown(key::kDown);
    EXPECT_EQ(app.currentIndex, 0);
    app.onKeyDown(key::kUp);
    EXPECT_EQ(app.currentIndex, 2);
}

TEST(AppKeys, ZappingWaitsWhileAScanRuns) {
    App app;
    app.channels = {onlineChannel("A", "http://127.0.0.1:1/a")};
    app.scanning = true;
    app.onKeyDown(key::kDown);
    EXPECT_EQ(app.currentIndex, -1);
    EXPECT_EQ(app.toastText, "");
    app.scanning = false;
}

TEST(AppKeys, TheEscapeChainCancelsAScanThenClosesTheListThenQuits) {
    App app;
    app.channels = {tunerChannel("A", 1)};
    app.listOpen = true;
    app.scanning = true;
    app.onKeyDown(key::kEscape);
    EXPECT_TRUE(app.scanProgress.cancel.load());
    EXPECT_EQ(app.toastText, "Cancelling scan...");
    EXPECT_TRUE(app.listOpen);
    EXPECT_FALSE(app.quitRequested);
    app.scanning = false;
    app.onKeyDown(key::kQ);
    EXPECT_FALSE(app.listOpen);
    EXPECT_FALSE(app.quitRequested);
    app.onKeyDown(key::kEscape);
    EXPECT_TRUE(app.quitRequested);
}

TEST(AppKeys, MuteTogglesWithAToast) {
    App app;
    ASSERT_TRUE(app.player.create());
    app.onKeyDown(key::kM);
    EXPECT_TRUE(app.player.muted());
    EXPECT_EQ(app.toastText, "Muted");
    app.onKeyDown(key::kM);
    EXPECT_FALSE(app.player.muted());
    EXPECT_EQ(app.toastText, "Sound on");
}

TEST(AppKeys, TheWebKeyNeedsTheOnlineService) {
    App app;
    app.onKeyDown(key::kW);
    EXPECT_FALSE(app.openBrowserRequested);
    EXPECT_EQ(app.toastText, "Offline - connect to use Lunaricast");
    app.onlineAvailable = true;
    app.onKeyDown(key::kW);
    EXPECT_TRUE(app.openBrowserRequested);
}

TEST(AppKeys, ADemoFileTakesOnlyQuitFullscreenAndMute) {
    App app;
    app.demoFilePath = "demo.ts";
    app.channels = {tunerChannel("A", 1)};
    for (std::int32_t ignored : {key::kDown, key::kUp, key::kTab, key::kL, key::kReturn, key::kW})
        app.onKeyDown(ignored);
    EXPECT_FALSE(app.listOpen);
    EXPECT_EQ(app.toastText, "");
    app.onKeyDown(key::kF11);
    EXPECT_TRUE(app.fullscreen);
    app.onKeyDown(key::kQ);
    EXPECT_TRUE(app.quitRequested);
}

TEST(AppChannels, RadioIsARadioServiceOrAListedRadioUrl) {
    App app;
    app.radioUrls = {"http://r/one"};
    EXPECT_TRUE(app.isAudioOnlyChannel(tunerChannel("R", 1, 0)));
    EXPECT_FALSE(app.isAudioOnlyChannel(tunerChannel("T", 1, 256)));
    EXPECT_TRUE(app.isAudioOnlyChannel(onlineChannel("O", "http://r/one")));
    EXPECT_FALSE(app.isAudioOnlyChannel(onlineChannel("P", "http://r/one/")));
}

}  // namespace
}  // namespace vantiro
