// The demux filters of a `TunedMux` on the simulated adapter follow what its
// consumers declare, as the simulator's demux log shows, and a service that
// stays wanted never misses a packet while the filters change around it.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "dvb/pid_filter.h"
#include "dvb/section_tap.h"
#include "dvb/tuned_mux.h"
#include "dvb/tuner.h"
#include "support/dvbsim_harness.h"
#include "support/temp_dir.h"
#include "support/ts_packets.h"
#include "support/ts_sections.h"

namespace vantiro {
namespace {

using Clock = std::chrono::steady_clock;

// The PIDs the DVR carries now, from the simulator's demux log ("0 0x0000 ...").
std::string dvrCarries(const std::string& log) {
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last.empty() ? "" : last.substr(last.find(' ') + 1);
}

// Waits until the DVR carries `pids`; false after a minute (a broken build, not a slow one).
bool waitUntilDvrCarries(const std::string& log, const std::string& pids) {
    auto give_up = Clock::now() + std::chrono::seconds(60);
    while (dvrCarries(log) != pids) {
        if (Clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Takes everything a queue delivers until it ends, on a thread of its own.
class Collector {
public:
    explicit Collector(std::shared_ptr<PacketQueue> queue) : queue_(std::move(queue)) {
        thread_ = std::thread([this] {
            std::vector<std::uint8_t> block;
            for (;;) {
                PacketQueue::Status status = queue_->take(block, std::chrono::milliseconds(200));
                if (status == PacketQueue::Status::Finished || status == PacketQueue::Status::Closed) break;
                if (status == PacketQueue::Status::Data) {
                    bytes_.insert(bytes_.end(), block.begin(), block.end());
                    size_ = bytes_.size();
                }
            }
        });
    }
    ~Collector() { wait(); }
    std::size_t size() const { return size_.load(); }
    // Waits for the end of the queue; the bytes collected.
    const std::string& wait() {
        if (thread_.joinable()) thread_.join();
        return bytes_;
    }

private:
    std::shared_ptr<PacketQueue> queue_;
    std::string bytes_;
    std::atomic<std::size_t> size_{0};
    std::thread thread_;
};

bool waitUntilGrown(const Collector& collector, std::size_t size) {
    auto give_up = Clock::now() + std::chrono::seconds(60);
    while (collector.size() <= size) {
        if (Clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Continuity errors per PID among `pids` (a repeated counter is allowed, as a
// duplicate packet; an adaptation-only packet keeps its counter).
std::map<std::uint16_t, int> continuityErrors(const std::string& stream, const std::vector<std::uint16_t>& pids) {
    std::map<std::uint16_t, int> errors, last;
    for (std::uint16_t pid : pids) errors[pid] = 0;
    for (std::size_t at = stream.find('\x47'); at + kTsPacketSize <= stream.size(); at += kTsPacketSize) {
        auto packet = reinterpret_cast<const std::uint8_t*>(stream.data() + at);
        std::uint16_t pid = tsPacketPid(packet);
        if (!errors.contains(pid)) continue;
        int counter = tsContinuityCounter(packet);
        if (auto it = last.find(pid); it != last.end() && counter != it->second &&
                                      (!tsHasPayload(packet) || counter != (it->second + 1) % 16))
            ++errors[pid];
        last[pid] = counter;
    }
    return errors;
}

TEST(DemuxFiltersOnDevice, FollowTheConsumersAndNeverInterruptAPidThatStays) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    test::TempDir dir;
    const std::string log = dir.file("demux.log");
    ::setenv("DVBSIM_DEMUX_LOG", log.c_str(), 1);
    // The zap cache asks for every TV service's PIDs while anyone reads the
    // multiplex; this test is about what the consumers ask for.
    ::setenv("VANTIRO_ZAP_CACHE", "0", 1);
    Tuner tuner;
    std::string error;
    ASSERT_TRUE(tuner.open(0, &error)) << error;
    TunedMux mux(tuner);
    ASSERT_TRUE(mux.tune(474000000, kSysDvbt2, 2500, &error)) << error;
    ASSERT_TRUE(mux.startSource(&error)) << error;
    EXPECT_TRUE(waitUntilDvrCarries(log, "0x0000")) << "the PAT flows with no consumer: " << dvrCarries(log);

    // Alpha TV as a scan stored it, and the SDT for a section tap.
    auto alpha = mux.openService({1025, 0x1000, {0x100, 0x101, 0x100}});
    ASSERT_TRUE(alpha);
    Collector alphaBytes(alpha->sharedQueue());
    std::atomic<int> sdtSections{0};
    HubMembership sdtTap = mux.addConsumer(std::make_shared<SectionTap>(
        std::vector<std::uint16_t>{0x11}, [&](std::uint16_t, SectionBytes) { ++sdtSections; }));
    ASSERT_TRUE(waitUntilDvrCarries(log, "0x0000 0x0011 0x0100 0x0101 0x1000")) << dvrCarries(log);
    ASSERT_TRUE(waitUntilGrown(alphaBytes, 100 * kTsPacketSize));

    // A consumer of the whole stream, as a recording of every PID would be.
    auto everything = std::make_shared<PacketQueue>();
    HubMembership whole = mux.addConsumer(PidFilter::allPids(everything));
    Collector wholeBytes(everything);
    ASSERT_TRUE(waitUntilDvrCarries(log, "all")) << dvrCarries(log);
    ASSERT_TRUE(waitUntilGrown(wholeBytes, 2000 * kTsPacketSize));
    whole.reset();
    everything->finish();
    sdtTap.reset();
    ASSERT_TRUE(waitUntilDvrCarries(log, "0x0000 0x0100 0x0101 0x1000")) << dvrCarries(log);
    std::size_t alphaSoFar = alphaBytes.size();
    ASSERT_TRUE(waitUntilGrown(alphaBytes, alphaSoFar + 100 * kTsPacketSize));
    mux.close();

    std::vector<std::uint16_t> wholePids = test::tsPids(wholeBytes.wait());
    EXPECT_TRUE(std::count(wholePids.begin(), wholePids.end(), 0x102) > 0) << "Beta TV's video in the whole stream";
    EXPECT_TRUE(std::count(wholePids.begin(), wholePids.end(), 0x12) > 0) << "the EIT in the whole stream";
    EXPECT_GT(sdtSections.load(), 0);
    std::string alphaStream = alphaBytes.wait();
    EXPECT_EQ(continuityErrors(alphaStream, {0x100, 0x101}), (std::map<std::uint16_t, int>{{0x100, 0}, {0x101, 0}}))
        << "Alpha TV lost packets while the filters changed";
    test::writeFile(dir.file("alpha.ts"), alphaStream);
    EXPECT_EQ(test::probeStreams(dir.file("alpha.ts")), "programs=1 audio,0x101 video,0x100");
    // Nothing but what some consumer wanted ever reached the DVR.
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.substr(2) == "all") continue;
        for (const char* unwanted : {"0x0010", "0x0014", "0x0102", "0x1001", "0x1002"}) {
            EXPECT_EQ(line.find(unwanted), std::string::npos) << line;
        }
    }
}

}  // namespace
}  // namespace vantiro
