// The bounded queue between a consumer and its slow reader.
#include "dvb/packet_queue.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/ts_packets.h"

namespace vantiro {
namespace {

using namespace std::chrono_literals;

std::string packets(int count, std::uint16_t pid = 256, int first = 0) {
    std::string out;
    for (int i = 0; i < count; ++i) out += test::tsPacket(pid, static_cast<std::uint8_t>(first + i));
    return out;
}

void push(PacketQueue& queue, const std::string& bytes) {
    queue.push({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

std::string takeAll(PacketQueue& queue) {
    std::string out;
    std::vector<std::uint8_t> block;
    while (queue.take(block, 0ms) == PacketQueue::Status::Data)
        out.append(reinterpret_cast<const char*>(block.data()), block.size());
    return out;
}

TEST(PacketQueue, HandsOverWhatWasPushedInBlocksOfManyPackets) {
    PacketQueue queue;
    std::string data = packets(1000);
    for (std::size_t at = 0; at < data.size(); at += 188 * 10) push(queue, data.substr(at, 188 * 10));
    std::vector<std::uint8_t> block;
    ASSERT_EQ(queue.take(block, 0ms), PacketQueue::Status::Data);
    EXPECT_EQ(block.size(), PacketQueue::kBlockBytes) << "one write carries a whole block";
    std::string out(block.begin(), block.end());
    out += takeAll(queue);
    EXPECT_EQ(out, data);
    EXPECT_EQ(queue.take(block, 0ms), PacketQueue::Status::Idle);
}

TEST(PacketQueue, AFullQueueDropsItsOldestDataAndCountsIt) {
    PacketQueue queue({PacketQueue::kBlockBytes * 2, PacketQueue::kBlockBytes * 100});
    const int perBlock = static_cast<int>(PacketQueue::kBlockPackets);
    push(queue, packets(perBlock * 5));
    EXPECT_EQ(queue.droppedPackets(), static_cast<std::uint64_t>(perBlock * 3));
    std::string kept = takeAll(queue);
    EXPECT_EQ(kept, packets(perBlock * 5).substr(static_cast<std::size_t>(perBlock * 3) * 188));
    EXPECT_FALSE(queue.closed());
}

TEST(PacketQueue, AReaderHopelesslyBehindIsClosed) {
    PacketQueue queue({PacketQueue::kBlockBytes, PacketQueue::kBlockBytes * 4});
    const std::string block = packets(static_cast<int>(PacketQueue::kBlockPackets));
    for (int i = 0; i < 5; ++i) push(queue, block);
    EXPECT_FALSE(queue.closed()) << "behind, but not hopelessly";
    takeAll(queue);  // the reader takes something: it is keeping up again
    for (int i = 0; i < 5; ++i) push(queue, block);
    EXPECT_FALSE(queue.closed());
    for (int i = 0; i < 3; ++i) push(queue, block);
    EXPECT_TRUE(queue.closed());
    EXPECT_TRUE(queue.hopeless());
    std::vector<std::uint8_t> out;
    EXPECT_EQ(queue.take(out, 0ms), PacketQueue::Status::Closed);
}

TEST(PacketQueue, FinishLetsTheReaderTakeTheRestFirst) {
    PacketQueue queue;
    push(queue, packets(3));
    queue.finish();
    push(queue, packets(2));  // nothing is taken after the end
    EXPECT_EQ(takeAll(queue), packets(3));
    std::vector<std::uint8_t> block;
    EXPECT_EQ(queue.take(block, 0ms), PacketQueue::Status::Finished);
}

TEST(PacketQueue, CloseDiscardsAndRefusesMore) {
    PacketQueue queue;
    push(queue, packets(3));
    queue.close();
    push(queue, packets(3));
    std::vector<std::uint8_t> block;
    EXPECT_EQ(queue.take(block, 0ms), PacketQueue::Status::Closed);
    EXPECT_EQ(queue.queuedBytes(), 0u);
}

// A lent descriptor takes data while nothing is queued; a write it cuts short
// inside a packet leaves the rest of that packet first in line, so the reader's
// stream stays whole packets, in order.
TEST(PacketQueue, DirectWritesGoFirstAndACutPacketIsFinishedByTheReader) {
    PacketQueue queue;
    std::string written;
    std::size_t room = 188 * 2 + 100;
    queue.setDirectWrite([&](std::span<const std::uint8_t> data) {
        std::size_t n = std::min(room, data.size());
        written.append(reinterpret_cast<const char*>(data.data()), n);
        room -= n;
        return static_cast<std::ptrdiff_t>(n);
    });
    push(queue, packets(2));
    EXPECT_EQ(written, packets(2));
    EXPECT_EQ(queue.queuedBytes(), 0u) << "nothing queued, nobody woken";
    push(queue, packets(3, 256, 2));
    EXPECT_EQ(written.size(), 188u * 2 + 100);
    push(queue, packets(1, 256, 5));  // queued behind the rest: never written past it
    room = 1 << 20;
    std::vector<std::uint8_t> block;
    ASSERT_EQ(queue.take(block, 0ms), PacketQueue::Status::Data);
    EXPECT_EQ(block.size(), 88u) << "the rest of the cut packet comes alone";
    push(queue, packets(1, 256, 6));  // the reader holds a block: queued, not written
    EXPECT_EQ(written.size(), 188u * 2 + 100);
    written.append(block.begin(), block.end());
    written += takeAll(queue);
    push(queue, packets(1, 256, 7));  // all taken and written: direct again
    queue.setDirectWrite({});
    push(queue, packets(1, 256, 8));
    EXPECT_EQ(written, packets(8));
    EXPECT_EQ(takeAll(queue), packets(1, 256, 8));
    EXPECT_EQ(queue.pushedPackets(), 9u);
}

// A descriptor that refuses is not tried again; the reader gets the data and
// meets the error itself.
TEST(PacketQueue, ARefusedDirectWriteLeavesTheDataToTheReader) {
    PacketQueue queue;
    int calls = 0;
    queue.setDirectWrite([&](std::span<const std::uint8_t>) {
        ++calls;
        return std::ptrdiff_t{-1};
    });
    push(queue, packets(2));
    std::vector<std::uint8_t> block;
    ASSERT_EQ(queue.take(block, 0ms), PacketQueue::Status::Data);
    push(queue, packets(1, 256, 2));
    queue.take(block, 0ms);
    push(queue, packets(1, 256, 3));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(takeAll(queue), packets(1, 256, 3));
}

}  // namespace
}  // namespace vantiro
