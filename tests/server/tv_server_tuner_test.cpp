// The server on the simulated adapter (tools/dvbsim): live streaming paths that
// need a tuner.
#include <fstream>

#include <gtest/gtest.h>

#include "server/tv_server.h"
#include "support/dvbsim_harness.h"
#include "support/http_client.h"
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

// The stick is pulled a second after the stream began: the DVR read fails, and
// dvr0 cannot be opened again.
std::string bandWithAPulledStick(const test::TempDir& dir) {
    std::string path = dir.file("band.conf");
    std::ofstream(path) << "adapter 0 dvr_opens=1\nmux freq=474000000 delsys=16 ts="
                        << test::standardBandDir() << "/mux-474.ts lock_ms=100 faults=dvr-gone:1000\n";
    return path;
}

TEST(ServerOnSimulatedTuner, AStreamWhoseSourceCannotRestartLeavesNoCurrentChannel) {
    test::TempDir dir;
    VANTIRO_UNDER_DVBSIM(bandWithAPulledStick(dir));
    test::ServerHarness harness{test::ServerSetup{{alphaTv()}, {}, "", false}};
    ASSERT_TRUE(harness.started());
    ASSERT_EQ(harness.fetch("/status.txt"), "current=0\nname=Alpha TV\nchannels=1\nmode=tuner\n");

    testing::internal::CaptureStderr();
    // The first viewer's stream ends when the stick goes (or, on a slow machine
    // that got here after that, it is refused at once).
    std::string first = test::httpExchange(harness.port(), test::getRequest("/stream.ts"), 20000);
    std::string second = harness.fetch("/stream.ts");
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(second, "no channel\n");
    EXPECT_NE(printed.find("stream of Alpha TV stopped: cannot open /dev/dvb/adapter0/dvr0: "
                           "Device or resource busy\n"),
              std::string::npos)
        << printed;
    // Nothing can stream, so the status names no channel.
    EXPECT_EQ(harness.fetch("/status.txt"), "current=-1\nname=\nchannels=1\nmode=tuner\n");
}

}  // namespace
}  // namespace vantiro
