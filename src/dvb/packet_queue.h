#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "dvb/ts_packet.h"

namespace vantiro {

struct PacketQueueLimits {
    // Bytes held at most; beyond it the oldest data is dropped. About 1.6 s of a
    // whole 40 Mbit/s multiplex, many seconds of one service.
    std::size_t capacityBytes = 8u << 20;
    // Bytes dropped while the reader took nothing: the reader is hopelessly
    // behind and the queue closes.
    std::size_t hopelessBytes = 32u << 20;
};

// The bounded queue between a consumer (filled on the source's thread) and the
// thread that writes to the slow end: a pipe, a socket, a file. Filling never
// waits: a queue that is full drops its own oldest data (counted; its reader sees
// a discontinuity) and closes itself when its reader takes nothing for too long.
// Data is kept in blocks of whole packets so that the reader writes many packets
// per system call.
//
// A reader may also lend the filling side its descriptor (`setDirectWrite`):
// while nothing is queued and the reader is not itself writing, `push` hands
// the data straight to it on the filling thread, and the reader is not woken
// at all. A relayed stream then costs one wake-up per batch (the source's)
// instead of two.
class PacketQueue {
public:
    // Packets per block: one block fills a default pipe (64 KiB) in one write.
    static constexpr std::size_t kBlockPackets = 348;
    static constexpr std::size_t kBlockBytes = kBlockPackets * kTsPacketSize;

    enum class Status { Data, Idle, Finished, Closed };

    // Writes what it can of the data without waiting; returns the bytes taken,
    // or -1 when the descriptor refuses for good (data is then queued for the
    // reader, whose own write meets the error).
    using DirectWrite = std::function<std::ptrdiff_t(std::span<const std::uint8_t>)>;

    explicit PacketQueue(PacketQueueLimits limits = {});

    // Filling side. Whole packets only.
    void push(std::span<const std::uint8_t> packets);
    // No more data will come; the reader gets what is queued, then Finished.
    void finish();

    // Either side: discards what is queued; the reader gets Closed, pushes are ignored.
    void close();

    // Reading side: waits up to `timeout` for data. Data: `block` holds the oldest
    // queued bytes (whole packets, or the rest of a packet a direct write cut
    // short; its old contents are recycled). The reader writes it before it
    // calls `take` again: meanwhile nothing is written directly. Idle: nothing
    // came in time. Finished/Closed: see above.
    Status take(std::vector<std::uint8_t>& block, std::chrono::milliseconds timeout);
    // Reading side: lends (or, empty, takes back) the descriptor for direct
    // writes. Once it returns, `write` is not called again.
    void setDirectWrite(DirectWrite write);

    bool closed() const { return closed_.load(); }
    // Closed because the reader fell hopelessly behind.
    bool hopeless() const { return hopeless_.load(); }
    std::uint64_t droppedPackets() const { return droppedPackets_.load(); }
    std::uint64_t pushedPackets() const { return pushedPackets_.load(); }
    std::size_t queuedBytes() const;

private:
    std::vector<std::uint8_t> freshBlock();
    void dropOldest();
    std::span<const std::uint8_t> writeDirect(std::span<const std::uint8_t> packets);

    const PacketQueueLimits limits_;
    mutable std::mutex mutex_;
    std::condition_variable dataReady_;
    std::deque<std::vector<std::uint8_t>> blocks_;
    std::vector<std::vector<std::uint8_t>> spare_;
    std::size_t queuedBytes_ = 0;
    std::size_t droppedSinceTake_ = 0;
    DirectWrite directWrite_;
    // The reader holds a block it has not finished writing.
    bool readerWriting_ = false;
    // The rest of a packet a direct write cut short: handed out before any
    // block and never dropped, so the reader's stream stays whole packets.
    std::vector<std::uint8_t> carry_;
    bool finished_ = false;
    std::atomic<bool> closed_{false};
    std::atomic<bool> hopeless_{false};
    std::atomic<std::uint64_t> droppedPackets_{0};
    std::atomic<std::uint64_t> pushedPackets_{0};
};

}  // namespace vantiro
