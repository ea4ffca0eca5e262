#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "dvb/ts_packet.h"

namespace vantiro {

// Cuts a byte stream into whole transport packets. Bytes are read straight into
// `freeSpace()`; `commit` then hands every run of consecutive whole packets to
// the handler (a run ends at bytes that are not a packet start) and keeps the
// incomplete tail for the next read. A byte other than 0x47 where a packet should
// start is skipped, so a stream that begins mid-packet, or garbage between
// packets, costs only the bytes up to the next 0x47.
class TsAligner {
public:
    using RunHandler = std::function<void(std::span<const std::uint8_t> packets)>;

    // `capacityPackets`: how many packets one read may bring at most.
    TsAligner(std::size_t capacityPackets, RunHandler handler);

    // Room after the held tail; never empty.
    std::span<std::uint8_t> freeSpace();
    // `count` bytes were written at the start of `freeSpace()`.
    void commit(std::size_t count);
    // Copies `bytes` in (in pieces when they exceed the room) and commits them.
    void feed(std::span<const std::uint8_t> bytes);
    // Forgets the held tail (after a gap in the input).
    void reset() { fill_ = 0; }
    std::size_t heldBytes() const { return fill_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t fill_ = 0;
    RunHandler handler_;
};

}  // namespace vantiro
