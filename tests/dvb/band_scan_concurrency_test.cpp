#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "dvb/band_scan.h"
#include "dvb/tuner.h"
#include "support/dvbsim_harness.h"

namespace vantiro {
namespace {

using namespace std::chrono_literals;

Service namedService(std::uint16_t id) {
    Service s;
    s.serviceId = id;
    s.name = "S" + std::to_string(id);
    return s;
}

// Every frequency locks in DVB-T2 after a short wait and carries two services.
ScanReceiver slowBand(std::atomic<int>& tunes) {
    return ScanReceiver{
        [&tunes](std::uint32_t, std::int32_t, int) {
            tunes.fetch_add(1);
            std::this_thread::sleep_for(2ms);
            return true;
        },
        [] { return std::vector<Service>{namedService(1), namedService(2)}; },
    };
}

TEST(BandScanConcurrency, ObserverCancelsAndSeesConsistentCounters) {
    ScanProgress progress;
    std::atomic<int> tunes{0};
    std::vector<Mux> muxes;
    std::thread scan([&] { muxes = sweepBand(slowBand(tunes), 0, 4000000000u, kBandStepHz, progress); });

    // The observer reads everything the overlay would while the scan runs.
    int lastDone = 0;
    while (progress.done.load() < 5) {
        int done = progress.done.load();
        EXPECT_GE(done, lastDone);
        lastDone = done;
        EXPECT_LE(progress.muxesFound.load(), progress.done.load());
        EXPECT_EQ(progress.total.load() == 0 || progress.total.load() == 501, true);
        std::this_thread::yield();
    }
    progress.cancel = true;
    scan.join();

    EXPECT_TRUE(progress.finished);
    EXPECT_LT(progress.done.load(), 501);
    // The frequency being tried when the flag went up may still finish, nothing after it.
    EXPECT_LE(tunes.load(), progress.done.load());
    EXPECT_EQ(static_cast<int>(muxes.size()), progress.muxesFound.load());
    EXPECT_EQ(progress.channelsFound.load(), 2 * progress.muxesFound.load());
}

TEST(BandScanConcurrency, ATuneDuringAScanWaitsForItsEnd) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    ScanProgress progress;
    std::vector<Mux> muxes;
    std::thread scan([&] { muxes = scanBand(tuner, 474000000, 490000000, kBandStepHz, progress); });
    while (progress.done.load() == 0) std::this_thread::sleep_for(1ms);

    // The switch asks for the tuner while the sweep holds it: it runs after the sweep.
    std::string error;
    bool locked = tuner.tune(522000000, kSysDvbt, kChannelTuneTimeoutMs, &error);
    EXPECT_TRUE(progress.finished.load());
    scan.join();
    EXPECT_TRUE(locked) << error;
    EXPECT_TRUE(tuner.hasLock());
    ASSERT_EQ(muxes.size(), 1u);
    EXPECT_EQ(muxes[0].services.size(), 3u);
    EXPECT_EQ(progress.done.load(), 3);
}

TEST(BandScanConcurrency, CancellingARealScanStopsItEarly) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    ScanProgress progress;
    std::thread scan([&] { scanBand(tuner, kBandStartHz, kBandEndHz, kBandStepHz, progress); });
    while (progress.done.load() < 2) {
        EXPECT_EQ(progress.total.load() == 0 || progress.total.load() == 49, true);
        std::this_thread::sleep_for(5ms);
    }
    progress.cancel = true;
    scan.join();
    EXPECT_TRUE(progress.finished.load());
    EXPECT_LE(progress.done.load(), 3);
    // The tuner is free again at once.
    EXPECT_TRUE(tuner.mutex().try_lock());
    tuner.mutex().unlock();
}

}  // namespace
}  // namespace vantiro
