// The relay on the simulated adapter's demux and DVR devices.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include <gtest/gtest.h>

#include "dvb/ts_relay.h"
#include "dvb/tuner.h"
#include "support/dvbsim_harness.h"
#include "support/temp_dir.h"
#include "support/ts_packets.h"

namespace vantiro {
namespace {

constexpr std::uint32_t kAlphaMux = 474000000;
// Beta TV on the standard band: PMT, video (also PCR), audio.
const std::vector<std::uint16_t> kBetaPids{0, 0x1001, 0x102, 0x103, 0x102};

std::string bandWithFault(const test::TempDir& dir, const std::string& fault) {
    std::string path = dir.file("band.conf");
    test::writeFile(path, "adapter 0 name=\"Test\"\nadapter 1 open=ebusy\n"
                          "mux freq=474000000 delsys=16 ts=" + test::standardBandDir() +
                              "/mux-474.ts lock_ms=100 " + fault + "\n");
    return path;
}

void tuneAlpha(Tuner& tuner) {
    std::string error;
    ASSERT_TRUE(tuner.open(0, &error)) << error;
    ASSERT_TRUE(tuner.tune(kAlphaMux, kSysDvbt2, 2500, &error)) << error;
}

TEST(TsRelayOnDevice, RelaysOnlyTheServicePidsOfTheTunedMux) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    tuneAlpha(tuner);
    TsRelay relay;
    std::string error;
    ASSERT_TRUE(relay.start(0, kBetaPids, &error)) << error;
    std::string stream = test::readExactly(relay.readFd(), 188 * 600);
    ASSERT_EQ(stream.size(), 188u * 600);
    std::vector<std::uint16_t> pids = test::tsPids(stream);
    std::set<std::uint16_t> seen(pids.begin(), pids.end());
    EXPECT_EQ(seen, (std::set<std::uint16_t>{0, 0x1001, 0x102, 0x103}));
}

TEST(TsRelayOnDevice, ASecondStartReleasesTheDvrBeforeOpeningIt) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    Tuner tuner;
    tuneAlpha(tuner);
    TsRelay relay;
    std::string error;
    ASSERT_TRUE(relay.start(0, kBetaPids, &error)) << error;
    ASSERT_EQ(test::readExactly(relay.readFd(), 188).size(), 188u);
    // The DVR device takes one reader at a time.
    ASSERT_TRUE(relay.start(0, {0, 0x1000, 0x100, 0x101, 0x100}, &error)) << error;
    std::vector<std::uint16_t> pids = test::tsPids(test::readExactly(relay.readFd(), 188 * 200));
    EXPECT_TRUE(std::count(pids.begin(), pids.end(), 0x100) > 0);
    EXPECT_EQ(std::count(pids.begin(), pids.end(), 0x102), 0);
}

// An overflow of the DVR buffer is a glitch: the relay counts it and goes on
// reading (it used to end the relay with end of file).
TEST(TsRelayOnDevice, DvrOverflowIsCountedAndTheStreamGoesOn) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWithFault(dir, "faults=dvr-overflow:400"));
    Tuner tuner;
    tuneAlpha(tuner);
    TsRelay relay;
    ASSERT_TRUE(relay.start(0, kBetaPids));
    while (relay.overflowCount() == 0)
        ASSERT_EQ(test::readExactly(relay.readFd(), 188).size(), 188u) << "the stream ended before the overflow";
    std::string after = test::readExactly(relay.readFd(), 188 * 400);
    EXPECT_EQ(after.size(), 188u * 400) << "bytes keep arriving after the overflow";
    std::vector<std::uint16_t> pids = test::tsPids(after.substr(after.find('\x47')));
    EXPECT_GT(std::count(pids.begin(), pids.end(), 0x102), 0);
    EXPECT_EQ(relay.overflowCount(), 1u);
    relay.stop();
}

TEST(TsRelayOnDevice, ABusyDemuxIsReportedWithItsPath) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWithFault(dir, ""));
    TsRelay relay;
    std::string error;
    EXPECT_FALSE(relay.start(1, {0}, &error));
    EXPECT_EQ(error, "cannot open /dev/dvb/adapter1/demux0: Device or resource busy");
    EXPECT_EQ(relay.readFd(), -1);
}

}  // namespace
}  // namespace vantiro
