// A drain that lends its socket to the filling thread: whatever mix of direct
// writes, cut writes and queued blocks a slow and then quick reader causes, the
// reader gets every packet once, whole and in order.
#include "dvb/queue_drain.h"

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "support/ts_packets.h"

namespace vantiro {
namespace {

using namespace std::chrono_literals;

TEST(QueueDrainThreads, WriteThroughKeepsEveryPacketWholeAndInOrder) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    int small = 4096;  // a small buffer, so that direct writes are cut short
    ::setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(ends[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);

    PacketQueue queue;
    std::string sent;
    for (int i = 0; i < 3000; ++i)
        sent += test::tsPacket(static_cast<std::uint16_t>(256 + i % 7), static_cast<std::uint8_t>(i));

    DrainControl control;
    control.writeThrough = true;
    control.checkEvery = 20ms;
    std::atomic<std::uint64_t> bytes{0};
    control.bytesWritten = &bytes;
    DrainEnd end = DrainEnd::Stopped;
    std::thread drain([&] { end = drainQueue(queue, ends[0], control); });
    std::thread fill([&] {
        // Batches of 1 to 9 packets, as a source's reads bring them.
        std::size_t at = 0;
        for (int i = 0; at < sent.size(); ++i) {
            std::size_t n = std::min<std::size_t>(188 * static_cast<std::size_t>(1 + i % 9), sent.size() - at);
            queue.push({reinterpret_cast<const std::uint8_t*>(sent.data()) + at, n});
            at += n;
            if (i % 50 == 0) std::this_thread::sleep_for(1ms);
        }
        queue.finish();
    });
    // The reader dawdles at first, so that data piles up behind a cut write.
    std::string got = test::readExactly(ends[1], 188 * 40);
    std::this_thread::sleep_for(50ms);
    got += test::readExactly(ends[1], sent.size() - got.size());
    fill.join();
    drain.join();
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(end, DrainEnd::Finished);
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent) << "a packet was lost, repeated, reordered or split";
    EXPECT_EQ(bytes.load(), sent.size());
}

}  // namespace
}  // namespace vantiro
