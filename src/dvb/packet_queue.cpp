#include "dvb/packet_queue.h"

#include <algorithm>

namespace vantiro {
namespace {

// Spare blocks kept for reuse, so that a steady stream allocates nothing.
constexpr std::size_t kSpareBlocks = 4;

}  // namespace

PacketQueue::PacketQueue(PacketQueueLimits limits) : limits_(limits) {}

std::vector<std::uint8_t> PacketQueue::freshBlock() {
    if (spare_.empty()) {
        std::vector<std::uint8_t> block;
        block.reserve(kBlockBytes);
        return block;
    }
    std::vector<std::uint8_t> block = std::move(spare_.back());
    spare_.pop_back();
    block.clear();
    return block;
}

// Under the lock. Returns what is left to queue: the packets after the first
// one the descriptor did not take whole; the rest of a cut packet goes to `carry_`.
std::span<const std::uint8_t> PacketQueue::writeDirect(std::span<const std::uint8_t> packets) {
    std::ptrdiff_t written = directWrite_(packets);
    if (written < 0) {
        directWrite_ = nullptr;  // the reader's own write reports why
        return packets;
    }
    auto done = static_cast<std::size_t>(written);
    std::size_t cut = done % kTsPacketSize;
    if (cut != 0) {
        std::size_t rest = kTsPacketSize - cut;
        carry_.assign(packets.begin() + static_cast<std::ptrdiff_t>(done),
                      packets.begin() + static_cast<std::ptrdiff_t>(done + rest));
        queuedBytes_ += rest;
        done += rest;
    }
    return packets.subspan(done);
}

void PacketQueue::push(std::span<const std::uint8_t> packets) {
    if (packets.empty()) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (closed_.load() || finished_) return;
        pushedPackets_.fetch_add(packets.size() / kTsPacketSize, std::memory_order_relaxed);
        if (directWrite_ && !readerWriting_ && blocks_.empty() && carry_.empty()) {
            packets = writeDirect(packets);
            if (packets.empty() && carry_.empty()) return;  // all written: the reader sleeps on
        }
        while (!packets.empty()) {
            if (blocks_.empty() || blocks_.back().size() + kTsPacketSize > kBlockBytes)
                blocks_.push_back(freshBlock());
            std::vector<std::uint8_t>& tail = blocks_.back();
            std::size_t room = (kBlockBytes - tail.size()) / kTsPacketSize * kTsPacketSize;
            std::size_t n = std::min(room, packets.size());
            tail.insert(tail.end(), packets.begin(), packets.begin() + static_cast<std::ptrdiff_t>(n));
            queuedBytes_ += n;
            packets = packets.subspan(n);
        }
        while (queuedBytes_ > limits_.capacityBytes && blocks_.size() > 1) dropOldest();
        if (droppedSinceTake_ > limits_.hopelessBytes) {
            hopeless_.store(true);
            closed_.store(true);
            blocks_.clear();
            carry_.clear();
            queuedBytes_ = 0;
        }
    }
    dataReady_.notify_one();
}

void PacketQueue::dropOldest() {
    std::size_t bytes = blocks_.front().size();
    queuedBytes_ -= bytes;
    droppedSinceTake_ += bytes;
    droppedPackets_.fetch_add(bytes / kTsPacketSize, std::memory_order_relaxed);
    if (spare_.size() < kSpareBlocks) spare_.push_back(std::move(blocks_.front()));
    blocks_.pop_front();
}

void PacketQueue::finish() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        finished_ = true;
    }
    dataReady_.notify_all();
}

void PacketQueue::close() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        closed_.store(true);
        blocks_.clear();
        carry_.clear();
        queuedBytes_ = 0;
    }
    dataReady_.notify_all();
}

PacketQueue::Status PacketQueue::take(std::vector<std::uint8_t>& block, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(mutex_);
    readerWriting_ = false;  // the block taken last is written
    dataReady_.wait_for(guard, timeout,
                        [this] { return closed_.load() || finished_ || !blocks_.empty() || !carry_.empty(); });
    if (closed_.load()) return Status::Closed;
    if (blocks_.empty() && carry_.empty()) return finished_ ? Status::Finished : Status::Idle;
    if (block.capacity() >= kBlockBytes && spare_.size() < kSpareBlocks) {
        block.clear();
        spare_.push_back(std::move(block));
    }
    if (!carry_.empty()) {
        block.assign(carry_.begin(), carry_.end());
        carry_.clear();
    } else {
        block = std::move(blocks_.front());
        blocks_.pop_front();
    }
    queuedBytes_ -= block.size();
    droppedSinceTake_ = 0;
    readerWriting_ = true;
    return Status::Data;
}

void PacketQueue::setDirectWrite(DirectWrite write) {
    std::lock_guard<std::mutex> guard(mutex_);
    directWrite_ = std::move(write);
}

std::size_t PacketQueue::queuedBytes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return queuedBytes_;
}

}  // namespace vantiro
