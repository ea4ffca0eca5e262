// The server on the simulated adapter (tools/dvbsim): live streaming paths that
// need a tuner.
#include <fstream>

#include <gtest/gtest.h>

#include "server/tv_server.h"
#include "support/dvbsim_harness.h"
#include "support/server_harness.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

Channel alphaTv() {
    Channel channel;
    channel.name = "Alpha TV";
    channel.frequency = 474000000;
    channel.deliverySystem = 16;
    channel.serviceId = 1025;
    channel.pmtPid = 0x1000;
    channel.videoPid = 0x100;
    channel.audioPid = 0x101;
    channel.pcrPid = 0x100;
    return channel;
}

// The DVR device opens once (for the switch at start-up); after that another
// program holds it, so the relay's restart for a streaming client fails.
std::string bandWithATakenDvr(const test::TempDir& dir) {
    std::string path = dir.file("band.conf");
    std::ofstream(path) << "adapter 0 dvr_opens=1\nmux freq=474000000 delsys=16 ts="
                        << test::standardBandDir() << "/mux-474.ts lock_ms=100\n";
    return path;
}

TEST(ServerOnSimulatedTuner, AStreamWhoseRelayCannotRestartLeavesNoCurrentChannel) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWithATakenDvr(dir));
    test::ServerHarness harness{test::ServerSetup{{alphaTv()}, {}, "", false}};
    ASSERT_TRUE(harness.started());
    ASSERT_EQ(harness.fetch("/status.txt"), "current=0\nname=Alpha TV\nchannels=1\nmode=tuner\n");

    testing::internal::CaptureStderr();
    std::string answer = harness.fetch("/stream.ts");
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, "no channel\n");
    EXPECT_NE(printed.find("stream of Alpha TV stopped: cannot open /dev/dvb/adapter0/dvr0: "
                           "Device or resource busy\n"),
              std::string::npos)
        << printed;
    // Nothing streams, so the status names no channel.
    EXPECT_EQ(harness.fetch("/status.txt"), "current=-1\nname=\nchannels=1\nmode=tuner\n");
    EXPECT_EQ(harness.fetch("/stream.ts"), "no channel\n");
}

}  // namespace
}  // namespace vantiro
