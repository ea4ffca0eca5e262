#include "dvb/ts_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/ts_packets.h"

namespace vantiro {
namespace {

using test::Pipe;
using test::readExactly;
using test::readToEnd;
using test::tsPacket;
using test::tsPids;
using test::writeAll;

int bytesQueued(int pipeFd) {
    int queued = 0;
    ::ioctl(pipeFd, FIONREAD, &queued);
    return queued;
}

// Waits until the relay has taken everything written into the source pipe.
void waitUntilDrained(const Pipe& source) {
    while (bytesQueued(source.writeEnd) > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Everything written before the relay's end marker has been processed once the
// marker arrives; nothing may be queued behind it.
void expectNothingMore(const TsRelay& relay) { EXPECT_EQ(bytesQueued(relay.readFd()), 0); }

const std::vector<std::uint16_t> kServicePids{0, 256, 512, 650, 512};

TEST(TsRelaySelection, KeepsListedPidsAndPatOnly) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), kServicePids));

    std::string input, expected;
    for (std::uint16_t pid : {0x11, 0, 256, 0x12, 512, 0x1FFF, 650, 513, 0x14, 511, 257}) {
        std::string packet = tsPacket(pid, static_cast<std::uint8_t>(pid));
        input += packet;
        if (pid == 0 || pid == 256 || pid == 512 || pid == 650) expected += packet;
    }
    std::string marker = tsPacket(650, 0xEE);
    ASSERT_TRUE(writeAll(source.writeEnd, input + marker));

    EXPECT_EQ(readExactly(relay.readFd(), expected.size() + 188), expected + marker);
    expectNothingMore(relay);
}

TEST(TsRelaySelection, PatPassesEvenWithEmptyList) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {}));
    ASSERT_TRUE(writeAll(source.writeEnd, tsPacket(0x11) + tsPacket(100) + tsPacket(0, 1) +
                                              tsPacket(0x1FFF) + tsPacket(0, 2)));
    EXPECT_EQ(tsPids(readExactly(relay.readFd(), 2 * 188)), (std::vector<std::uint16_t>{0, 0}));
    expectNothingMore(relay);
}

TEST(TsRelaySelection, ListedPidsAreTakenModulo8192) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {0x2000 | 100}));
    ASSERT_TRUE(writeAll(source.writeEnd, tsPacket(101) + tsPacket(100) + tsPacket(0)));
    EXPECT_EQ(tsPids(readExactly(relay.readFd(), 2 * 188)), (std::vector<std::uint16_t>{100, 0}));
}

TEST(TsRelaySelection, CountsRelayedPackets) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {300}));
    ASSERT_TRUE(writeAll(source.writeEnd, tsPacket(300) + tsPacket(301) + tsPacket(0)));
    readExactly(relay.readFd(), 2 * 188);
    while (relay.packetsRelayed() < 2) std::this_thread::yield();
    EXPECT_EQ(relay.packetsRelayed(), 2u);
}

TEST(TsRelayFraming, ResynchronisesAfterAPartialPacket) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {256}));
    std::string cut = tsPacket(256, 0x00).substr(88);  // stream starts mid-packet
    std::string whole = tsPacket(256, 0x01) + tsPacket(256, 0x02);
    ASSERT_TRUE(writeAll(source.writeEnd, cut + whole));
    EXPECT_EQ(readExactly(relay.readFd(), whole.size()), whole);
    expectNothingMore(relay);
}

TEST(TsRelayFraming, SkipsGarbageBetweenPackets) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {256}));
    std::string first = tsPacket(256, 1), second = tsPacket(256, 2);
    ASSERT_TRUE(writeAll(source.writeEnd, first + std::string(37, '\x00') + second));
    EXPECT_EQ(readExactly(relay.readFd(), 2 * 188), first + second);
}

TEST(TsRelayFraming, KeepsAShortReadUntilThePacketCompletes) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {256}));
    std::string packet = tsPacket(256, 0x5A), next = tsPacket(0, 0x5B);

    ASSERT_TRUE(writeAll(source.writeEnd, packet.substr(0, 100)));
    waitUntilDrained(source);  // the relay now holds exactly 100 bytes
    EXPECT_EQ(bytesQueued(relay.readFd()), 0);
    ASSERT_TRUE(writeAll(source.writeEnd, packet.substr(100) + next));
    EXPECT_EQ(readExactly(relay.readFd(), 2 * 188), packet + next);
}

TEST(TsRelayFraming, PacketsSplitAcrossManyReadsArriveWhole) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {256}));
    std::string stream;
    for (int i = 0; i < 300; ++i) stream += tsPacket(256, static_cast<std::uint8_t>(i));
    // Odd-sized pieces, each taken by the relay before the next one comes.
    for (std::size_t at = 0; at < stream.size(); at += 1001) {
        ASSERT_TRUE(writeAll(source.writeEnd, stream.substr(at, 1001)));
        if (at % 7 == 0) waitUntilDrained(source);
    }
    EXPECT_EQ(readExactly(relay.readFd(), stream.size()), stream);
}

TEST(TsRelayLifecycle, StopWithoutStartAndTwiceIsHarmless) {
    TsRelay relay;
    relay.stop();
    relay.stop();
    EXPECT_EQ(relay.readFd(), -1);
    EXPECT_EQ(relay.packetsRelayed(), 0u);
}

TEST(TsRelayLifecycle, StopClosesTheReadEnd) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {256}));
    int readFd = relay.readFd();
    relay.stop();
    EXPECT_EQ(relay.readFd(), -1);
    EXPECT_EQ(::fcntl(readFd, F_GETFD), -1);  // closed (nothing else opened a descriptor since)
    relay.stop();
}

bool peerClosed(int writeEnd) {
    pollfd p{writeEnd, POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLERR);
}

TEST(TsRelayLifecycle, SecondStartEndsTheFirstRun) {
    Pipe first, second;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(first.releaseReadEnd(), {256}));
    ASSERT_TRUE(writeAll(first.writeEnd, tsPacket(256, 1)));
    readExactly(relay.readFd(), 188);

    ASSERT_TRUE(relay.startFromSource(second.releaseReadEnd(), {512}));
    EXPECT_TRUE(peerClosed(first.writeEnd));  // the first run's source is closed
    ASSERT_TRUE(writeAll(second.writeEnd, tsPacket(256, 2) + tsPacket(512, 3)));
    EXPECT_EQ(readExactly(relay.readFd(), 188), tsPacket(512, 3));
    while (relay.packetsRelayed() < 1) std::this_thread::yield();
    EXPECT_EQ(relay.packetsRelayed(), 1u);  // counted from the new start
}

TEST(TsRelayLifecycle, ReadErrorEndsTheRelayAndTheConsumerSeesEndOfFile) {
    test::TempDir dir;
    // A directory reads as an error at once, like an overflowing DVR device.
    int source = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(source, 0);
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source, {256}));
    EXPECT_EQ(readToEnd(relay.readFd()), "");
    relay.stop();
}

TEST(TsRelayErrors, MissingAdapterNamesTheDemuxDevice) {
    TsRelay relay;
    std::string error;
    EXPECT_FALSE(relay.start(9, {0, 256}, &error));
    EXPECT_EQ(error, "cannot open /dev/dvb/adapter9/demux0: No such file or directory");
    EXPECT_EQ(relay.readFd(), -1);
    EXPECT_FALSE(relay.start(9, {0, 256}));  // no error string wanted
}

TEST(TsRelayErrors, PipeFailureIsReportedAndLeavesTheRelayStopped) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int source = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        rlimit limit{static_cast<rlim_t>(source + 1), static_cast<rlim_t>(source + 1)};
        ::setrlimit(RLIMIT_NOFILE, &limit);  // no descriptor left for the pipe
        TsRelay relay;
        std::string error;
        bool started = relay.startFromSource(source, {256}, &error);
        bool ok = !started && error == "pipe: Too many open files" && relay.readFd() == -1 &&
                  ::fcntl(source, F_GETFD) == -1;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace vantiro
