// One multiplex shared by many consumers on their own threads: the band's
// recorded multiplex fed through a pipe, single-program streams judged by
// ffprobe, a reader that stalls, consumers joining and leaving while packets flow.
#include "dvb/tuned_mux.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include "dvb/pid_filter.h"
#include "dvb/pipe_output.h"
#include "dvb/queue_drain.h"
#include "dvb/tuner.h"
#include "support/dvbsim_harness.h"
#include "support/temp_dir.h"
#include "support/ts_packets.h"
#include "support/ts_sections.h"

namespace vantiro {
namespace {

// Alpha TV and Beta TV of the band's 474 MHz multiplex.
const ServiceSpec kAlphaAsStored{1025, 0x1000, {0x100, 0x101, 0x100}};
const ServiceSpec kBetaWithoutPids{1026, 0, {}};

std::string recordedMultiplex() {
    if (test::standardBandPath().empty()) return {};
    return test::readFile(test::standardBandDir() + "/mux-474.ts");
}

// Drains `queue` into a new file on a thread of its own.
class FileDrain {
public:
    FileDrain(std::shared_ptr<PacketQueue> queue, const std::string& path)
        : queue_(std::move(queue)), fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
        thread_ = std::thread([this] { end_ = drainQueue(*queue_, fd_, {}); });
    }
    ~FileDrain() { wait(); }
    DrainEnd wait() {
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return end_;
    }

private:
    std::shared_ptr<PacketQueue> queue_;
    int fd_;
    DrainEnd end_ = DrainEnd::Stopped;
    std::thread thread_;
};

TEST(TunedMuxThreads, EveryConsumerGetsItsOwnStreamAndAStalledOneHoldsNobodyUp) {
    std::string multiplex = recordedMultiplex();
    ASSERT_FALSE(multiplex.empty());
    test::TempDir dir;
    Tuner tuner;  // never opened: the multiplex comes from a pipe
    TunedMux mux(tuner);
    test::Pipe input;
    ASSERT_TRUE(mux.startSourceFromFd(input.releaseReadEnd()));

    auto alpha = mux.openService(kAlphaAsStored);
    auto beta = mux.openService(kBetaWithoutPids);
    auto everything = std::make_shared<PacketQueue>();
    HubMembership whole = mux.addConsumer(PidFilter::allPids(everything));
    // Nobody reads this one: it falls behind, drops and gives up.
    auto stalled = mux.openService(kBetaWithoutPids, nullptr, {PacketQueue::kBlockBytes, PacketQueue::kBlockBytes * 2});
    ASSERT_TRUE(alpha && beta && stalled);

    FileDrain alphaFile(alpha->sharedQueue(), dir.file("alpha.ts"));
    FileDrain betaFile(beta->sharedQueue(), dir.file("beta.ts"));
    FileDrain wholeFile(everything, dir.file("whole.ts"));
    std::thread writer([&] {
        for (int round = 0; round < 2; ++round) test::writeAll(input.writeEnd, multiplex);
        input.closeWriteEnd();  // end of the source: every consumer finishes
    });
    writer.join();
    EXPECT_EQ(alphaFile.wait(), DrainEnd::Finished);
    EXPECT_EQ(betaFile.wait(), DrainEnd::Finished);
    EXPECT_EQ(wholeFile.wait(), DrainEnd::Finished);

    EXPECT_TRUE(stalled->queue().hopeless());
    EXPECT_GT(stalled->queue().droppedPackets(), 0u);
    EXPECT_EQ(alpha->queue().droppedPackets(), 0u);
    EXPECT_EQ(test::readFile(dir.file("whole.ts")), multiplex + multiplex) << "the whole multiplex, unchanged";
    EXPECT_EQ(test::probeStreams(dir.file("alpha.ts")), "programs=1 audio,0x101 video,0x100");
    EXPECT_EQ(test::probeStreams(dir.file("beta.ts")), "programs=1 audio,0x103 video,0x102");
    EXPECT_EQ(mux.health().bytes, 2 * multiplex.size());
    EXPECT_FALSE(mux.sourceRunning()) << "the pipe ended";
}

TEST(TunedMuxThreads, ConsumersJoinAndLeaveWhilePacketsFlow) {
    std::signal(SIGPIPE, SIG_IGN);  // the writer learns of the closed source from EPIPE
    std::string multiplex = recordedMultiplex();
    ASSERT_FALSE(multiplex.empty());
    Tuner tuner;
    TunedMux mux(tuner);
    test::Pipe input;
    ASSERT_TRUE(mux.startSourceFromFd(input.releaseReadEnd()));
    std::atomic<bool> flowing{true};
    std::thread writer([&] {
        while (flowing) test::writeAll(input.writeEnd, multiplex);
    });
    // The owner hands streams out; other threads read and drop them, as HTTP
    // connection threads do.
    std::vector<std::thread> viewers;
    for (int i = 0; i < 8; ++i) {
        std::shared_ptr<ServiceStream> stream = mux.openService(i % 2 ? kAlphaAsStored : kBetaWithoutPids);
        ASSERT_TRUE(stream);
        viewers.emplace_back([stream] {
            std::vector<std::uint8_t> block;
            std::size_t bytes = 0;
            while (bytes < 200000 && stream->queue().take(block, std::chrono::seconds(5)) == PacketQueue::Status::Data)
                bytes += block.size();
            EXPECT_GE(bytes, 200000u);
        });
    }
    for (std::thread& viewer : viewers) viewer.join();
    EXPECT_EQ(mux.hub()->consumerCount(), 0u) << "every stream left the hub when dropped";
    flowing = false;
    mux.close();  // the writer's next write fails: the source's end is closed
    writer.join();
}

TEST(TunedMuxThreads, APipeForThePlayerEndsWithItsMultiplex) {
    std::string multiplex = recordedMultiplex();
    ASSERT_FALSE(multiplex.empty());
    Tuner tuner;
    TunedMux mux(tuner);
    test::Pipe input;
    ASSERT_TRUE(mux.startSourceFromFd(input.releaseReadEnd()));
    auto stream = mux.openService(kBetaWithoutPids);
    PipeOutput pipe;
    ASSERT_TRUE(pipe.start(stream->sharedQueue()));
    std::thread writer([&] { test::writeAll(input.writeEnd, multiplex); });
    std::string first = test::readExactly(pipe.readFd(), 188 * 100);
    EXPECT_EQ(test::tsPid(first, 0), 0) << "the stream opens with the program's PAT";
    writer.join();
    mux.close();  // leaving the multiplex ends the stream: the player sees end of file
    test::readToEnd(pipe.readFd());
    EXPECT_TRUE(pipe.ended());
    EXPECT_GT(pipe.packetsWritten(), 100u);
}

}  // namespace
}  // namespace vantiro
