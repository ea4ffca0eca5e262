// A service opened on a multiplex while the tuner locks, on the simulated adapter,
// judged by ffprobe.
#include "dvb/tuned_mux.h"

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dvb/tuner.h"
#include "support/dvbsim_harness.h"
#include "support/media.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

std::string ffprobe(const std::string& arguments) {
    std::string text = test::commandOutput("ffprobe -v error " + arguments + " 2>/dev/null");
    while (!text.empty() && (text.back() == '\n' || text.back() == ',')) text.pop_back();
    return text;
}

// The simulated air starts its stream file at the lock, so the first key frame
// sent after the lock is the file's first one: Delta TV's comes 22 ms after it.
// The multiplex locks 210 ms after the tune, between two of the tuner's 50 ms
// polls, so that the lock is seen some 40 ms late, as a real frontend's often is:
// a stream opened only then would have lost that key frame and would start a GOP
// later. Opened while the tuner locks, the demux passes its PIDs from the first
// packet after the lock.
TEST(TunedMuxOnTheSimulatedAdapter, AServiceOpenedWhileTheTunerLocksStartsAtTheFirstKeyFrameAfterLock) {
    test::TempDir dir;
    const std::string air = test::standardBandDir() + "/mux-522.ts";
    const std::string band = dir.file("band.conf");
    std::ofstream(band) << "adapter 0 name=\"Silicon Labs Si2168\"\n"
                        << "mux freq=522000000 delsys=3 lock_ms=210 ts=" << air << "\n";
    VANTIRO_UNDER_DVBSIM(band);
    Tuner tuner;
    std::string error;
    ASSERT_TRUE(tuner.open(0, &error)) << error;
    TunedMux mux(tuner);

    ASSERT_TRUE(mux.startTune(522000000, kSysDvbt, &error)) << error;
    ASSERT_TRUE(mux.startSource(&error)) << error;
    auto delta = mux.openService({2049, 0x1000, {0x100, 0x101, 0x100}}, &error);
    ASSERT_TRUE(delta) << error;
    ASSERT_TRUE(mux.awaitLock(kChannelTuneTimeoutMs, &error)) << error;

    // A quarter of a second of the service: its first key frame and a few pictures after it.
    const std::string received = dir.file("delta.ts");
    {
        std::ofstream out(received, std::ios::binary);
        std::vector<std::uint8_t> block;
        std::size_t bytes = 0;
        while (bytes < 40000 && delta->queue().take(block, std::chrono::seconds(5)) == PacketQueue::Status::Data) {
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
            bytes += block.size();
        }
        ASSERT_GE(bytes, 40000u);
    }
    mux.close();

    const std::string firstKeyOnAir = ffprobe("-select_streams i:0x100 -show_entries packet=pts_time,flags -of csv=p=0 '" +
                                              air + "' | grep -m1 K | cut -d, -f1");
    ASSERT_FALSE(firstKeyOnAir.empty());
    EXPECT_EQ(ffprobe("-select_streams v:0 -show_entries frame=key_frame,pts_time -read_intervals %+#1 -of csv=p=0 '" +
                      received + "'"),
              "1," + firstKeyOnAir)
        << "the first picture decoded is the first key frame the air sent after lock";
}

}  // namespace
}  // namespace vantiro
