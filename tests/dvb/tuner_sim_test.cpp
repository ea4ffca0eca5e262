// The tuner and the table reader against the simulated adapter (tools/dvbsim).
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "dvb/section_reader.h"
#include "dvb/service_discovery.h"
#include "dvb/tuner.h"
#include "support/dvbsim_harness.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kT2Mux = 474000000;
constexpr std::uint32_t kTMux = 522000000;

// A band with one adapter over the standard band's 474 MHz file and the given mux keys.
std::string bandWith(const test::TempDir& dir, const std::string& muxKeys,
                     const std::string& adapterLine = "adapter 0 name=\"Silicon Labs Si2168\"") {
    std::string text = adapterLine + "\nmux freq=474000000 delsys=16 ts=" + test::standardBandDir() +
                       "/mux-474.ts " + muxKeys + "\n";
    std::string path = dir.file("band.conf");
    test::writeFile(path, text);
    return path;
}

TEST(TunerOnSim, OpensAndReadsTheFrontendName) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    std::string error = "untouched";
    ASSERT_TRUE(tuner.open(0, &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_TRUE(tuner.isOpen());
    EXPECT_EQ(tuner.frontendName(), "Silicon Labs Si2168");
    EXPECT_EQ(tuner.adapter(), 0);
    EXPECT_GE(tuner.demuxFd(), 0);
    // Statistics before any lock are not available, so unknown rather than 0 %.
    EXPECT_EQ(tuner.signalStrengthPercent(), -1);
    EXPECT_EQ(tuner.signalQualityPercent(), -1);
}

TEST(TunerOnSim, ReopeningReleasesTheOldDevicesFirst) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    // The frontend takes one writer at a time: a second open only works when the
    // first descriptor was closed before, and a destroyed tuner frees it too.
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    std::string error;
    EXPECT_TRUE(tuner.open(0, &error)) << error;
    {
        Tuner other;
        EXPECT_FALSE(other.open(0, &error));
        EXPECT_EQ(error, std::string("cannot open /dev/dvb/adapter0/frontend0: ") + std::strerror(EBUSY));
        EXPECT_FALSE(other.isOpen());
    }
    tuner.close();
    EXPECT_FALSE(tuner.isOpen());
    EXPECT_EQ(tuner.frontendName(), "Silicon Labs Si2168");  // kept after close
    Tuner third;
    EXPECT_TRUE(third.open(0));
}

TEST(TunerOnSim, LocksInItsOwnSystemOnlyAndClearsTheError) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    std::string error;
    EXPECT_FALSE(tuner.tune(kT2Mux, kSysDvbt, 600, &error));  // a DVB-T2 mux never locks as DVB-T
    EXPECT_EQ(error, "no signal");
    EXPECT_FALSE(tuner.hasLock());
    EXPECT_TRUE(tuner.tune(kT2Mux, kSysDvbt2, kChannelTuneTimeoutMs, &error));
    EXPECT_EQ(error, "");
    EXPECT_TRUE(tuner.hasLock());
    EXPECT_EQ(tuner.signalStrengthPercent(), 80);  // 52428 of 65535
    EXPECT_EQ(tuner.signalQualityPercent(), 80);   // 28 dB of 35
    EXPECT_TRUE(tuner.tune(kTMux, kSysDvbt, kChannelTuneTimeoutMs, &error));
    EXPECT_EQ(tuner.signalStrengthPercent(), 60);  // 39321
    EXPECT_EQ(tuner.signalQualityPercent(), 50);   // 17.5 dB
}

TEST(TunerOnSim, ARejectedTuneRequestNamesTheSystemError) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    std::string error;
    EXPECT_FALSE(tuner.tune(kT2Mux, 5 /* DVB-S, not this frontend's */, 500, &error));
    EXPECT_EQ(error, std::string("tuning failed: ") + std::strerror(EINVAL));
}

TEST(TunerOnSim, ZeroTimeoutTunesButDoesNotWait) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    std::string error;
    EXPECT_FALSE(tuner.tune(kT2Mux, kSysDvbt2, 0, &error));
    EXPECT_EQ(error, "no signal");
    // The tune request went out all the same: the frontend locks on its own.
    EXPECT_TRUE(tuner.waitForLock(2000));
}

TEST(TunerOnSim, StrengthOnOtherScales) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWith(dir, "strength=-45000dB cnr=40000 lock_ms=0"));
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    ASSERT_TRUE(tuner.tune(kT2Mux, kSysDvbt2, 1000));
    EXPECT_EQ(tuner.signalStrengthPercent(), 0);
    EXPECT_EQ(tuner.signalQualityPercent(), 100);
}

TEST(TunerOnSim, NoStatisticsIsUnknown) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWith(dir, "strength=none cnr=none lock_ms=0"));
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    ASSERT_TRUE(tuner.tune(kT2Mux, kSysDvbt2, 1000));
    EXPECT_EQ(tuner.signalStrengthPercent(), -1);
    EXPECT_EQ(tuner.signalQualityPercent(), -1);
}

TEST(TunerOnSim, FullStrengthAndHalf) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWith(dir, "strength=65535 lock_ms=0"));
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    ASSERT_TRUE(tuner.tune(kT2Mux, kSysDvbt2, 1000));
    EXPECT_EQ(tuner.signalStrengthPercent(), 100);
}

TEST(TunerOnSim, LockLostIsSeenByHasLock) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWith(dir, "lock_ms=0 faults=lock-lost:200"));
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    ASSERT_TRUE(tuner.tune(kT2Mux, kSysDvbt2, 1000));
    auto deadline = Clock::now() + std::chrono::seconds(3);
    while (tuner.hasLock() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(tuner.hasLock());
}

TEST(SectionReaderOnSim, ReadsOneCheckedSectionOrTimesOut) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    ASSERT_TRUE(tuner.tune(kT2Mux, kSysDvbt2, kChannelTuneTimeoutMs));
    std::lock_guard<std::mutex> lock(tuner.mutex());
    std::vector<std::uint8_t> section;
    ASSERT_TRUE(readSection(tuner, 0x0000, 0x00, 1500, section));
    EXPECT_EQ(section[0], 0x00);
    EXPECT_EQ(section.size(), ((section[1] & 0x0F) << 8 | section[2]) + 3u);
    // Nothing on that PID: false after about the timeout.
    auto start = Clock::now();
    EXPECT_FALSE(readSection(tuner, 0x1FF0, 0x00, 300, section));
    auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    // The PMT of one program, chosen by program number on a shared PID.
    SectionFilter pmt{0x1001, 0x02, std::uint16_t{1026}};
    ASSERT_TRUE(readSection(tuner, pmt, 1500, section));
    EXPECT_EQ(section[3] << 8 | section[4], 1026);
}

TEST(SectionReaderOnSim, DiscoveryOnAClosedDemuxFindsNothing) {
    Tuner tuner;
    std::vector<std::uint8_t> section;
    EXPECT_FALSE(readSection(tuner, 0, 0, 100, section));
    EXPECT_TRUE(discoverServices(tuner, 100).empty());
}

TEST(ServiceDiscoveryOnSim, SplitSdtNamesEveryService) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWith(dir, "lock_ms=0 sdt_ms=400 faults=sdt-split"));
    Tuner tuner;
    ASSERT_TRUE(tuner.open(0));
    ASSERT_TRUE(tuner.tune(kT2Mux, kSysDvbt2, 1000));
    std::lock_guard<std::mutex> lock(tuner.mutex());
    auto services = discoverServices(tuner, 1500);
    ASSERT_EQ(services.size(), 3u);
    EXPECT_EQ(services[0].name, "Alpha TV");
    EXPECT_EQ(services[1].name, "Beta TV");
    EXPECT_EQ(services[2].name, "Radio Gamma");
    EXPECT_EQ(services[2].videoPid, 0);
    EXPECT_EQ(services[2].audioPid, 0x104);
}

}  // namespace
}  // namespace vantiro
