#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "channels/channel_list.h"
#include "shell/app.h"
#include "support/http_file_server.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::TempDir;

Channel tunerChannel(const std::string& name, std::uint32_t frequency, std::uint16_t serviceId) {
    Channel ch;
    ch.name = name;
    ch.frequency = frequency;
    ch.serviceId = serviceId;
    ch.pmtPid = 4096;
    ch.videoPid = 256;
    ch.audioPid = 257;
    ch.pcrPid = 256;
    return ch;
}

Channel onlineChannel(const std::string& name, const std::string& url) {
    Channel ch;
    ch.name = name;
    ch.url = url;
    return ch;
}

constexpr const char* kPlaylist =
    "#EXTM3U\n#EXTINF:-1,Net One\nhttp://127.0.0.1:1/one.ts\n#EXTINF:-1,Net Two\nhttp://127.0.0.1:1/two.ts\n";

// A URL on 127.0.0.1 where nothing listens.
std::string refusedUrl() {
    int port;
    {
        test::HttpFileServer closed("");
        port = closed.port();
    }
    return "http://127.0.0.1:" + std::to_string(port) + "/tv.m3u8";
}

// The window's view of a scan: an App without tuner or window, saving into a
// temporary directory, with the main loop's hand-over done by `waitForHandOver`.
class WindowScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.channelListPath = dir.file("channels.tsv");
        app.channels = {tunerChannel("Old Tuner", 474000000, 1)};
    }
    void TearDown() override {
        app.scanProgress.cancel.store(true);
        if (app.scanThread.joinable()) app.scanThread.join();
    }

    // Polls the scan-finished flag as the main loop does; true when taken.
    bool waitForHandOver() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            // The UI reads these every frame while the thread runs.
            (void)app.scanning.load();
            (void)app.scanProgress.done.load();
            if (app.scanFinished.exchange(false)) {
                handedOverWhileScanning = app.scanning.load();
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    TempDir dir;
    App app;
    bool handedOverWhileScanning = false;
};

TEST_F(WindowScanTest, OnlineOnlyScanReplacesTheListButKeepsTheSavedTunerChannels) {
    ASSERT_TRUE(saveChannelList(app.channelListPath, app.channels));
    test::HttpFileServer server(kPlaylist, "audio/x-mpegurl");
    app.tvPlaylistUrl = server.url("/tv.m3u8");
    app.currentIndex = 0;

    app.startScan();
    EXPECT_EQ(app.toastText, "Tuner not available - scanning online channels only");
    EXPECT_TRUE(app.onlineOnlyScan);
    EXPECT_EQ(app.currentIndex, -1);
    EXPECT_FALSE(app.listOpen);
    ASSERT_TRUE(waitForHandOver());
    EXPECT_FALSE(app.scanning.load());
    app.finishScan();

    ASSERT_EQ(app.channels.size(), 2u);
    EXPECT_EQ(app.channels[0].name, "Net One");
    EXPECT_EQ(app.onlineCount, 2);
    EXPECT_EQ(app.onlineChannels.size(), 2u);
    EXPECT_EQ(app.toastText, "2 channels (0 tuner + 2 online)");
    EXPECT_FALSE(app.onlineOnlyScan);
    EXPECT_EQ(app.currentIndex, -1);
    EXPECT_TRUE(app.listOpen);
    EXPECT_TRUE(app.scrollToSelection);
    EXPECT_EQ(app.listSelection, 0);
    EXPECT_FALSE(app.scanThread.joinable());
    auto saved = loadChannelList(app.channelListPath);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].name, "Old Tuner");
}

TEST_F(WindowScanTest, FailedDownloadKeepsThePreviousOnlineChannels) {
    app.onlineChannels = {onlineChannel("Kept", "http://127.0.0.1:1/kept.ts")};
    app.onlineCount = 1;
    app.channels.push_back(app.onlineChannels[0]);
    app.tvPlaylistUrl = refusedUrl();

    app.startScan();
    ASSERT_TRUE(waitForHandOver());
    app.finishScan();
    ASSERT_EQ(app.channels.size(), 1u);  // the old tuner channel is gone
    EXPECT_EQ(app.channels[0].name, "Kept");
    EXPECT_EQ(app.toastText, "1 channels (0 tuner + 1 online) - online list unchanged");
}

TEST_F(WindowScanTest, NothingFoundKeepsThePreviousList) {
    app.startScan();  // no playlist URL, no tuner
    ASSERT_TRUE(waitForHandOver());
    app.finishScan();
    ASSERT_EQ(app.channels.size(), 1u);
    EXPECT_EQ(app.channels[0].name, "Old Tuner");
    EXPECT_EQ(app.toastText, "No channels found - kept the previous list");
    EXPECT_FALSE(app.listOpen);
    EXPECT_FALSE(std::filesystem::exists(app.channelListPath));
}

TEST_F(WindowScanTest, CancelledScanChangesNothingAndClearsTheFlag) {
    test::HttpFileServer server(kPlaylist, "audio/x-mpegurl");
    app.tvPlaylistUrl = server.url("/tv.m3u8");
    app.startScan();
    app.scanProgress.cancel.store(true);  // what Escape does
    ASSERT_TRUE(waitForHandOver());
    app.finishScan();
    EXPECT_EQ(app.toastText, "Scan cancelled");
    EXPECT_FALSE(app.scanProgress.cancel.load());
    EXPECT_FALSE(app.onlineOnlyScan);
    ASSERT_EQ(app.channels.size(), 1u);
    EXPECT_EQ(app.channels[0].name, "Old Tuner");
    EXPECT_FALSE(std::filesystem::exists(app.channelListPath));

    // The next scan starts clean and is not taken for cancelled.
    app.startScan();
    ASSERT_TRUE(waitForHandOver());
    app.finishScan();
    EXPECT_EQ(app.toastText, "2 channels (0 tuner + 2 online)");
}

TEST_F(WindowScanTest, ASecondStartWhileScanningIsIgnored) {
    test::HttpFileServer server(kPlaylist, "audio/x-mpegurl");
    app.tvPlaylistUrl = server.url("/tv.m3u8");
    app.startScan();
    app.listOpen = true;
    app.startScan();  // either ignored (still scanning) or a fresh scan: never two threads
    ASSERT_TRUE(waitForHandOver());
    app.finishScan();
    EXPECT_EQ(app.channels.size(), 2u);
    EXPECT_FALSE(app.scanFinished.load());
}

TEST_F(WindowScanTest, ResultNotYetTakenIsNotHandedOverForTheNextScan) {
    test::HttpFileServer server(kPlaylist, "audio/x-mpegurl");
    app.tvPlaylistUrl = server.url("/tv.m3u8");
    app.startScan();
    while (app.scanning.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    while (!app.scanFinished.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The finished scan was not taken yet when the user starts another one.
    app.tvPlaylistUrl = refusedUrl();
    app.startScan();
    EXPECT_TRUE(app.scanning.load() || app.scanFinished.load());
    ASSERT_TRUE(waitForHandOver());
    // The hand-over signals the second scan's end, not the first one's stale flag.
    EXPECT_FALSE(handedOverWhileScanning);
    app.finishScan();
    EXPECT_EQ(app.toastText, "No channels found - kept the previous list");
    EXPECT_FALSE(app.scanFinished.load());  // no second, empty hand-over follows
}

TEST_F(WindowScanTest, OnlineOnlyScanNeverWritesTheFile) {
    test::HttpFileServer server(kPlaylist, "audio/x-mpegurl");
    app.tvPlaylistUrl = server.url("/tv.m3u8");
    test::writeFile(dir.file("not-a-dir"), "");
    app.channelListPath = dir.file("not-a-dir/channels.tsv");
    app.startScan();
    ASSERT_TRUE(waitForHandOver());
    app.finishScan();
    EXPECT_EQ(app.toastText, "2 channels (0 tuner + 2 online)");
    EXPECT_EQ(app.channels.size(), 2u);
    EXPECT_EQ(test::readFile(dir.file("not-a-dir")), "");
}

// The hand-over of a sweep that found one multiplex, as the scan thread leaves it.
void leaveSweepResult(App& app) {
    Service service;
    service.serviceId = 1025;
    service.pmtPid = 4096;
    service.videoPid = 256;
    service.audioPid = 257;
    service.pcrPid = 256;
    service.name = "Alpha TV";
    std::lock_guard lock(app.scanMutex);
    app.scanMuxResult = {Mux{474000000, 16, {service}}};
    app.scanOnlineFetched = false;
}

TEST_F(WindowScanTest, SaveFailureKeepsTheNewListInMemory) {
    test::writeFile(dir.file("not-a-dir"), "");
    app.channelListPath = dir.file("not-a-dir/channels.tsv");
    leaveSweepResult(app);
    app.finishScan();
    EXPECT_EQ(app.toastText, "Could not save channels: cannot write " + app.channelListPath);
    ASSERT_EQ(app.channels.size(), 1u);
    EXPECT_EQ(app.channels[0].name, "Alpha TV");
    EXPECT_TRUE(app.channels[0].isNew);
    EXPECT_TRUE(app.listOpen);
    EXPECT_EQ(app.currentIndex, -1);
}

TEST_F(WindowScanTest, SweepResultReplacesTheSavedList) {
    leaveSweepResult(app);
    app.finishScan();
    EXPECT_EQ(app.toastText, "1 channels (1 tuner + 0 online) - online list unchanged");
    auto saved = loadChannelList(app.channelListPath);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].name, "Alpha TV");
}

}  // namespace
}  // namespace vantiro
