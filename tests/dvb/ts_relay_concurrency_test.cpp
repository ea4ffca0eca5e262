#include "dvb/ts_relay.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/ts_packets.h"

namespace vantiro {
namespace {

using test::Pipe;
using test::readExactly;
using test::tsPacket;
using test::writeAll;

// A recorded multiplex: the file is always readable, so the relay runs at full speed.
int recordedSource(const test::TempDir& dir, int packets, std::uint16_t pid) {
    std::string stream;
    for (int i = 0; i < packets; ++i) stream += tsPacket(pid, static_cast<std::uint8_t>(i));
    std::string path = dir.file("mux.ts");
    test::writeFile(path, stream);
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

TEST(TsRelayThreads, StopEndsARelayBlockedOnAConsumerThatStoppedReading) {
    test::TempDir dir;
    TsRelay relay;
    // Far more than the pipe holds: the relay ends up waiting in writePacket.
    ASSERT_TRUE(relay.startFromSource(recordedSource(dir, 4000, 256), {256}));
    std::string some = readExactly(relay.readFd(), 188 * 10);
    ASSERT_EQ(some.size(), 188u * 10);
    while (relay.packetsRelayed() < 300) std::this_thread::yield();
    relay.stop();
    EXPECT_EQ(relay.readFd(), -1);
    EXPECT_LT(relay.packetsRelayed(), 4000u);
}

TEST(TsRelayThreads, NothingIsLostWhileTheConsumerKeepsUp) {
    Pipe source;
    TsRelay relay;
    ASSERT_TRUE(relay.startFromSource(source.releaseReadEnd(), {256, 0}));
    constexpr int kPackets = 5000;
    std::string expected;
    std::thread producer([&] {
        std::string batch;
        for (int i = 0; i < kPackets; ++i) {
            batch += tsPacket(i % 3 == 0 ? 0x1FFF : 256, static_cast<std::uint8_t>(i));
            if (batch.size() > 8000) {
                writeAll(source.writeEnd, batch);
                batch.clear();
            }
        }
        writeAll(source.writeEnd, batch);
    });
    for (int i = 0; i < kPackets; ++i)
        if (i % 3 != 0) expected += tsPacket(256, static_cast<std::uint8_t>(i));
    std::string received = readExactly(relay.readFd(), expected.size());
    producer.join();
    EXPECT_TRUE(received == expected);
    relay.stop();
}

TEST(TsRelayThreads, RepeatedRestartsUnderLoad) {
    test::TempDir dir;
    TsRelay relay;
    std::atomic<bool> watching{true};
    std::thread observer([&] {
        std::uint64_t seen = 0;
        while (watching) seen = std::max(seen, relay.packetsRelayed());
    });
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(relay.startFromSource(recordedSource(dir, 500, 256), {256}));
        EXPECT_EQ(readExactly(relay.readFd(), 188 * 3).size(), 188u * 3);
    }
    relay.stop();
    watching = false;
    observer.join();
}

TEST(TsRelayThreads, DestructionWhileRunningJoinsTheThread) {
    test::TempDir dir;
    for (int i = 0; i < 10; ++i) {
        TsRelay relay;
        ASSERT_TRUE(relay.startFromSource(recordedSource(dir, 2000, 256), {256}));
    }
}

}  // namespace
}  // namespace vantiro
