#include "dvb/ts_aligner.h"

#include <algorithm>
#include <cstring>

namespace vantiro {

TsAligner::TsAligner(std::size_t capacityPackets, RunHandler handler)
    // One packet more than a read may bring, for the tail kept from the last one.
    : buffer_((std::max<std::size_t>(capacityPackets, 1) + 1) * kTsPacketSize), handler_(std::move(handler)) {}

std::span<std::uint8_t> TsAligner::freeSpace() {
    return {buffer_.data() + fill_, buffer_.size() - fill_};
}

void TsAligner::commit(std::size_t count) {
    fill_ += std::min(count, buffer_.size() - fill_);
    const std::uint8_t* data = buffer_.data();
    std::size_t i = 0;
    std::size_t runStart = 0;
    while (i + kTsPacketSize <= fill_) {
        if (data[i] == kTsSyncByte) {
            i += kTsPacketSize;
            continue;
        }
        if (i > runStart) handler_({data + runStart, i - runStart});
        // Resynchronise on the next sync byte.
        const void* next = std::memchr(data + i + 1, kTsSyncByte, fill_ - i - 1);
        i = next ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - data) : fill_;
        runStart = i;
    }
    if (i > runStart) handler_({data + runStart, i - runStart});
    std::size_t tail = fill_ - std::min(i, fill_);
    if (tail > 0) std::memmove(buffer_.data(), data + fill_ - tail, tail);
    fill_ = tail;
}

void TsAligner::feed(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        std::span<std::uint8_t> room = freeSpace();
        std::size_t n = std::min(room.size(), bytes.size());
        std::memcpy(room.data(), bytes.data(), n);
        commit(n);
        bytes = bytes.subspan(n);
    }
}

}  // namespace vantiro
