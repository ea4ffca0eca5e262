// A stream opened on a multiplex that is already being read starts at the last
// key frame of its service's video and runs on into the live packets with
// nothing lost or repeated. The band's recorded multiplex is fed through a pipe
// and held back in the middle of a GOP while the stream opens; ffprobe and
// ffmpeg judge what the stream carries, and its packets are compared with the
// multiplex's own.
#include "dvb/tuned_mux.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "dvb/pid_filter.h"
#include "dvb/queue_drain.h"
#include "dvb/tuner.h"
#include "support/dvbsim_harness.h"
#include "support/media.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/ts_packets.h"

namespace vantiro {
namespace {

// Beta TV of the band's 474 MHz multiplex, asked for as a channel saved
// without PIDs: the stream learns its PMT PID from the PAT it is handed.
const ServiceSpec kBeta{1026, 0, {}};
constexpr std::uint16_t kBetaPmt = 0x1001;
constexpr std::uint16_t kBetaVideo = 0x102;
constexpr std::uint16_t kBetaAudio = 0x103;
constexpr std::size_t kPacket = 188;

std::vector<std::string> packetsOf(const std::string& bytes) {
    std::vector<std::string> packets;
    for (std::size_t at = 0; at + kPacket <= bytes.size(); at += kPacket) packets.push_back(bytes.substr(at, kPacket));
    return packets;
}

std::uint16_t pidOf(const std::string& packet) {
    return static_cast<std::uint16_t>((packet[1] & 0x1F) << 8 | static_cast<std::uint8_t>(packet[2]));
}

// The packet opens a PES with the adaptation field's random access indicator.
bool randomAccess(const std::string& packet) {
    bool start = (packet[1] & 0x40) != 0;
    bool adaptation = (packet[3] & 0x20) != 0;
    return start && adaptation && static_cast<std::uint8_t>(packet[4]) > 0 && (packet[5] & 0x40) != 0;
}

// PIDs whose continuity counter does not go up by one from packet to packet
// (packets without payload keep theirs).
std::set<std::uint16_t> continuityBreaks(const std::vector<std::string>& packets) {
    std::set<std::uint16_t> broken;
    std::array<int, 8192> last;
    last.fill(-1);
    for (const std::string& packet : packets) {
        std::uint16_t pid = pidOf(packet);
        int counter = packet[3] & 0x0F;
        bool payload = (packet[3] & 0x10) != 0;
        if (last[pid] >= 0 && counter != (payload ? (last[pid] + 1) & 0x0F : last[pid])) broken.insert(pid);
        last[pid] = counter;
    }
    return broken;
}

// Feeds the first `join` packets of the multiplex, opens Beta's stream once
// the hub has handed all of them on, feeds the rest and returns what the
// stream carried to its end.
std::string betaJoiningAt(const std::vector<std::string>& multiplex, std::size_t join, const std::string& path) {
    Tuner tuner;  // never opened: the multiplex comes from a pipe
    TunedMux mux(tuner);
    test::Pipe input;
    EXPECT_TRUE(mux.startSourceFromFd(input.releaseReadEnd()));
    // Everything the hub delivered: once it holds the first part, so does the cache.
    auto delivered = std::make_shared<PacketQueue>(PacketQueueLimits{64u << 20, 128u << 20});
    HubMembership whole = mux.addConsumer(PidFilter::allPids(delivered));
    std::string head, rest;
    for (std::size_t i = 0; i < multiplex.size(); ++i) (i < join ? head : rest) += multiplex[i];
    std::thread writer([&] { test::writeAll(input.writeEnd, head); });
    writer.join();
    for (int i = 0; i < 5000 && delivered->pushedPackets() < join; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(delivered->pushedPackets(), join);

    auto beta = mux.openService(kBeta);
    EXPECT_TRUE(beta);
    if (!beta) return {};
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::thread drain([&] { drainQueue(beta->queue(), fd, {}); });
    writer = std::thread([&] {
        test::writeAll(input.writeEnd, rest);
        input.closeWriteEnd();  // the source ends, and with it the stream
    });
    writer.join();
    drain.join();
    ::close(fd);
    return test::readFile(path);
}

// What Beta's stream must carry after its own PATs when it starts at packet
// `start` of the multiplex: the PMT sent last before it, then every packet of
// Beta's PMT, video and audio from there to the end.
std::vector<std::string> betaFrom(const std::vector<std::string>& multiplex, std::size_t start) {
    std::vector<std::string> expected;
    for (std::size_t i = start; i-- > 0;) {
        if (pidOf(multiplex[i]) == kBetaPmt) {
            expected.push_back(multiplex[i]);
            break;
        }
    }
    for (std::size_t i = start; i < multiplex.size(); ++i) {
        std::uint16_t pid = pidOf(multiplex[i]);
        if (pid == kBetaPmt || pid == kBetaVideo || pid == kBetaAudio) expected.push_back(multiplex[i]);
    }
    return expected;
}

std::vector<std::string> withoutPat(const std::vector<std::string>& packets) {
    std::vector<std::string> rest;
    for (const std::string& packet : packets)
        if (pidOf(packet) != 0) rest.push_back(packet);
    return rest;
}

class ZapCacheStream : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(test::standardBandPath().empty());
        multiplex_ = packetsOf(test::readFile(test::standardBandDir() + "/mux-474.ts"));
        for (std::size_t i = 0; i < multiplex_.size(); ++i)
            if (pidOf(multiplex_[i]) == kBetaVideo && randomAccess(multiplex_[i])) keyFrames_.push_back(i);
        ASSERT_GE(keyFrames_.size(), 3u) << "the recorded multiplex has a key frame a second";
    }

    // The stream plays from its first picture on, whole (a picture with side data,
    // such as the encoder's SEI, gets more fields and lines from ffprobe).
    void expectPlayableFromTheFirstPicture(const std::string& path) {
        EXPECT_EQ(test::commandOutput("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame,pict_type "
                                "-read_intervals %+#1 -of csv=p=0 '" + path + "' 2>&1 | head -1 | cut -d, -f1,2"),
                  "1,I\n")
            << "the first picture decoded is a key frame";
        EXPECT_EQ(test::commandOutput("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1"), "") << "decodes without an error";
    }

    std::vector<std::string> multiplex_;
    std::vector<std::size_t> keyFrames_;  // packets of Beta's video with the random access indicator
    test::TempDir dir_;
};

TEST_F(ZapCacheStream, OpenedLateInAGopItStartsAtItsKeyFrameAndRunsOnIntoTheLivePackets) {
    std::size_t join = keyFrames_[2] - 20;  // most of the GOP from keyFrames_[1] has gone by
    std::string path = dir_.file("late.ts");
    std::vector<std::string> stream = packetsOf(betaJoiningAt(multiplex_, join, path));
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(pidOf(stream[0]), 0) << "the stream opens with the program's PAT";
    std::vector<std::string> rest = withoutPat(stream);
    EXPECT_TRUE(rest == betaFrom(multiplex_, keyFrames_[1]))
        << "PMT, then Beta's packets from its last key frame to the end, none lost or repeated ("
        << rest.size() << " packets)";
    EXPECT_EQ(continuityBreaks(stream), std::set<std::uint16_t>{});
    expectPlayableFromTheFirstPicture(path);
}

TEST_F(ZapCacheStream, OpenedJustAfterAKeyFrameItStartsAtTheOneBefore) {
    std::size_t join = keyFrames_[2] + 20;  // a few packets into the GOP: too little to start a player on
    std::string path = dir_.file("early.ts");
    std::vector<std::string> stream = packetsOf(betaJoiningAt(multiplex_, join, path));
    ASSERT_FALSE(stream.empty());
    std::vector<std::string> rest = withoutPat(stream);
    EXPECT_TRUE(rest == betaFrom(multiplex_, keyFrames_[1]))
        << "the GOP before the last key frame too, in one piece (" << rest.size() << " packets)";
    EXPECT_EQ(continuityBreaks(stream), std::set<std::uint16_t>{});
    expectPlayableFromTheFirstPicture(path);
}

// Right after a tune the air sends pictures before the cache has read the
// tables: here the multiplex's PAT and PMTs come only after Beta's first key
// frame. The cache keeps the packets until it knows the programs, so a stream
// opened just after Beta's second key frame still gets the GOP before it, from
// the first key frame on, with the PMT first.
TEST_F(ZapCacheStream, KeyFramesSentBeforeTheTablesAreKept) {
    std::vector<std::string> multiplex;
    std::size_t firstKey = keyFrames_[0];
    for (std::size_t i = 0; i < multiplex_.size(); ++i) {
        std::uint16_t pid = pidOf(multiplex_[i]);
        bool table = pid == 0 || (pid >= 0x1000 && pid <= 0x1002);
        if (!(table && i < firstKey + 50)) multiplex.push_back(multiplex_[i]);
    }
    std::vector<std::size_t> keys;
    for (std::size_t i = 0; i < multiplex.size(); ++i)
        if (pidOf(multiplex[i]) == kBetaVideo && randomAccess(multiplex[i])) keys.push_back(i);
    ASSERT_GE(keys.size(), 2u);
    std::string path = dir_.file("after-tune.ts");
    std::vector<std::string> stream = packetsOf(betaJoiningAt(multiplex, keys[1] + 20, path));
    ASSERT_FALSE(stream.empty());

    std::vector<std::string> expected = betaFrom(multiplex, keys[0]);
    auto pmt = std::find_if(expected.begin(), expected.end(), [](const std::string& p) { return pidOf(p) == kBetaPmt; });
    ASSERT_NE(pmt, expected.end());
    std::rotate(expected.begin(), pmt, pmt + 1);  // the PMT read later goes first, once
    std::vector<std::string> rest = withoutPat(stream);
    EXPECT_TRUE(rest == expected) << "the PMT, then Beta's packets from its first key frame on (" << rest.size()
                                  << " packets, " << expected.size() << " expected)";
    EXPECT_EQ(continuityBreaks(stream), std::set<std::uint16_t>{});
    expectPlayableFromTheFirstPicture(path);
}

TEST_F(ZapCacheStream, WithoutTheCacheTheStreamStartsWithTheLivePackets) {
    test::ScopedEnv off("VANTIRO_ZAP_CACHE", "0");
    std::size_t join = (keyFrames_[1] + keyFrames_[2]) / 2;
    std::vector<std::string> stream = packetsOf(betaJoiningAt(multiplex_, join, dir_.file("live.ts")));
    auto video = std::find_if(stream.begin(), stream.end(), [](const std::string& p) { return pidOf(p) == kBetaVideo; });
    ASSERT_NE(video, stream.end());
    EXPECT_FALSE(randomAccess(*video)) << "the middle of a GOP: the player would wait for the next key frame";
    EXPECT_NE(std::find(multiplex_.begin() + static_cast<std::ptrdiff_t>(join), multiplex_.end(), *video),
              multiplex_.end())
        << "a packet sent after the join";
}

}  // namespace
}  // namespace vantiro
