// App channel switching against the simulated adapter (tools/dvbsim), without a window.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "dvbsim/standard_band_channels.h"
#include "shell/app.h"
#include "shell/window_options.h"
#include "support/dvbsim_harness.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::TempDir;

int linesIn(const std::string& path) {
    std::ifstream file(path);
    int count = 0;
    for (std::string line; std::getline(file, line);) ++count;
    return count;
}

std::string bandWithAdapters(const TempDir& dir, const std::string& adapterLines) {
    std::string path = dir.file("band.conf");
    std::ofstream(path) << adapterLines << "mux freq=474000000 delsys=16 ts=" << test::standardBandDir()
                        << "/mux-474.ts\n";
    return path;
}

TEST(AppOnTheSimulatedAdapter, SwitchingWithinAMultiplexDoesNotRetune) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    TempDir dir;
    const std::string tuneLog = dir.file("tunes.log");
    ::setenv("DVBSIM_TUNE_LOG", tuneLog.c_str(), 1);
    App app;
    app.lastChannelPath = dir.file("last-channel");
    app.channels = dvbsim::standardBandChannels();
    app.openTuner();
    ASSERT_TRUE(app.tunerOpen) << app.tunerError;
    ASSERT_TRUE(app.player.create());

    app.switchChannel(0);
    EXPECT_EQ(app.currentIndex, 0);
    EXPECT_EQ(app.toastText, "Alpha TV");
    EXPECT_EQ(app.tunedFrequency, 474000000u);
    EXPECT_EQ(app.tunedDeliverySystem, 16);
    EXPECT_GE(app.livePipe.readFd(), 0);
    EXPECT_EQ(linesIn(tuneLog), 1);

    app.switchChannel(1);
    EXPECT_EQ(app.currentIndex, 1);
    app.switchChannel(2);
    EXPECT_EQ(app.currentIndex, 2);
    EXPECT_EQ(app.toastText, "[RADIO] Radio Gamma");
    EXPECT_EQ(linesIn(tuneLog), 1) << "same multiplex: no retune";
    EXPECT_EQ(test::readFile(app.lastChannelPath), "Radio Gamma\t\n");

    app.switchChannel(3);
    EXPECT_EQ(app.currentIndex, 3);
    EXPECT_EQ(app.tunedFrequency, 522000000u);
    EXPECT_EQ(app.tunedDeliverySystem, 3);
    EXPECT_EQ(linesIn(tuneLog), 2);

    // The signal poll reads the locked frontend: 39321 of 65535 and 17.5 dB.
    app.pollSignal(app.lastSignalPoll + 2.0);
    EXPECT_TRUE(app.signalValid);
    EXPECT_EQ(app.signalPercent, 60);
    EXPECT_EQ(app.qualityPercent, 50);
    app.stopTunerFeed();
    app.player.stop();
}

// The window tunes the first channel's multiplex while it opens; the channel's
// start takes that tune over instead of tuning again.
TEST(AppOnTheSimulatedAdapter, TheFirstStartTakesOverTheTuneBegunAhead) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    TempDir dir;
    const std::string tuneLog = dir.file("tunes.log");
    ::setenv("DVBSIM_TUNE_LOG", tuneLog.c_str(), 1);
    App app;
    app.channels = dvbsim::standardBandChannels();
    app.openTuner();
    ASSERT_TRUE(app.tunerOpen) << app.tunerError;
    app.tuneAhead(3);  // Delta TV, 522 MHz
    ASSERT_TRUE(app.player.create());  // meanwhile, as the window's set-up
    app.finishTuneAhead();
    EXPECT_EQ(app.tunedFrequency, 522000000u);
    EXPECT_EQ(linesIn(tuneLog), 1);

    app.switchChannel(3);
    EXPECT_EQ(app.currentIndex, 3);
    EXPECT_EQ(app.toastText, "Delta TV");
    EXPECT_EQ(app.tunedFrequency, 522000000u);
    EXPECT_EQ(app.tunedDeliverySystem, 3);
    EXPECT_TRUE(app.signalValid);
    EXPECT_GE(app.livePipe.readFd(), 0);
    EXPECT_EQ(linesIn(tuneLog), 1) << "the start tuned again";
    app.stopTunerFeed();
    app.player.stop();
}

TEST(AppOnTheSimulatedAdapter, AFailedTuneForgetsTheChannelAndNamesTheFrequency) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    App app;
    std::vector<Channel> channels = dvbsim::standardBandChannels();
    channels[0].deliverySystem = 3;  // 474 MHz carries DVB-T2 only: no lock
    app.channels = channels;
    app.openTuner();
    ASSERT_TRUE(app.tunerOpen);
    ASSERT_TRUE(app.player.create());
    app.switchChannel(1);
    ASSERT_EQ(app.currentIndex, 1);
    app.switchChannel(0);
    EXPECT_EQ(app.toastText, "No signal on 474 MHz");
    EXPECT_EQ(app.currentIndex, -1);
    EXPECT_EQ(app.tunedFrequency, 0u);
    EXPECT_EQ(app.tunedDeliverySystem, -1);
    EXPECT_FALSE(app.signalValid);
    EXPECT_FALSE(app.connecting);
}

TEST(AppOnTheSimulatedAdapter, TheFirstAdapterThatOpensIsTaken) {
    TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWithAdapters(dir, "adapter 0 open=enoent\nadapter 2 name=\"Third stick\"\n"));
    App app;
    app.openTuner();
    EXPECT_TRUE(app.tunerOpen);
    EXPECT_EQ(app.tuner.adapter(), 2);
    EXPECT_EQ(app.tuner.frontendName(), "Third stick");
}

TEST(AppOnTheSimulatedAdapter, ABusyTunerSaysAnotherPlayerHasIt) {
    TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWithAdapters(dir, "adapter 0 open=ebusy\n"));
    App app;
    app.openTuner();
    EXPECT_FALSE(app.tunerOpen);
    EXPECT_EQ(app.tunerError,
              "cannot open /dev/dvb/adapter0/frontend0: Device or resource busy"
              " (another player already uses the tuner)");
    StatusFacts facts;
    facts.tunerError = app.tunerError;
    EXPECT_EQ(buildStatusLine(facts), "Offline - tuner busy (close the other player)");
}

TEST(AppOnTheSimulatedAdapter, ATunerHeldByAnotherProgramIsOpenedOnTheNextTunerChannel) {
    TempDir dir;
    std::ofstream(dir.file("held")) << "";
    VANTIRO_UNDER_DVBSIM(bandWithAdapters(dir, "adapter 0 busy_while=held\n"));
    // The body runs again in a child: the file beside the band it was given.
    const std::string held = std::filesystem::path(std::getenv("DVBSIM_BAND")).parent_path() / "held";
    App app;
    app.channels = dvbsim::standardBandChannels();
    app.openTuner();
    ASSERT_FALSE(app.tunerOpen);
    ASSERT_TRUE(app.player.create());
    app.switchChannel(0);
    EXPECT_EQ(app.toastText, "Tuner not available - check the USB stick");
    std::remove(held.c_str());  // the other program lets go
    app.switchChannel(0);
    EXPECT_TRUE(app.tunerOpen) << app.tunerError;
    EXPECT_EQ(app.currentIndex, 0);
    EXPECT_EQ(app.toastText, "Alpha TV");
    app.stopTunerFeed();
    app.player.stop();
}

// Polls the frame's reception watch (as the main loop does) until `done`, for 60 s at most.
bool watchUntil(App& app, const std::function<bool()>& done) {
    for (int i = 0; i < 1200 && !done(); ++i) {
        app.watchReception(nowSeconds());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// The lock goes 1.5 s after it was gained and only a retune brings it back. While a
// band scan holds the tuner the watch neither waits for it nor retunes; once it is
// free the multiplex is tuned again, the same service pipe carries data again and
// nothing was restarted.
TEST(AppOnTheSimulatedAdapter, ALostSignalIsRetunedWithoutWaitingForTheTunerAndThePictureGoesOn) {
    TempDir dir;
    std::string band = dir.file("band.conf");
    std::ofstream(band) << "adapter 0\nmux freq=474000000 delsys=16 ts=" << test::standardBandDir()
                        << "/mux-474.ts faults=lock-lost:1500\n";
    VANTIRO_UNDER_DVBSIM(band);
    const std::string tuneLog = dir.file("tunes.log");
    ::setenv("DVBSIM_TUNE_LOG", tuneLog.c_str(), 1);
    App app;
    app.channels = dvbsim::standardBandChannels();
    app.openTuner();
    ASSERT_TRUE(app.tunerOpen) << app.tunerError;
    ASSERT_TRUE(app.player.create());
    app.switchChannel(0);
    ASSERT_EQ(app.currentIndex, 0);
    const int pipe = app.livePipe.readFd();

    std::promise<void> release;
    std::promise<void> holding;
    std::thread scan([&] {
        std::lock_guard<std::mutex> tuning(app.tuner.mutex());
        holding.set_value();
        release.get_future().wait();
    });
    holding.get_future().wait();
    EXPECT_TRUE(watchUntil(app, [&] { return app.signalLost; })) << "the loss was not noticed";
    EXPECT_FALSE(app.signalValid);
    EXPECT_EQ(app.watchdog.retunes(), 0u) << "retuned under the scan's lock";
    EXPECT_EQ(linesIn(tuneLog), 1);
    release.set_value();
    scan.join();

    const std::uint64_t before = app.liveService->queue().pushedPackets();
    EXPECT_TRUE(watchUntil(app, [&] { return !app.signalLost; })) << "the signal never came back";
    EXPECT_GE(app.watchdog.retunes(), 1u);
    EXPECT_GE(linesIn(tuneLog), 2);
    EXPECT_EQ(app.toastText, "Signal back on 474 MHz");
    EXPECT_EQ(app.currentIndex, 0);
    EXPECT_EQ(app.livePipe.readFd(), pipe) << "the player's pipe was replaced";
    EXPECT_TRUE(watchUntil(app, [&] { return app.liveService->queue().pushedPackets() > before; }));
    EXPECT_FALSE(app.livePipe.ended());
    app.player.stop();
    app.stopTunerFeed();
}

}  // namespace
}  // namespace vantiro
