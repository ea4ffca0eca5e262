#pragma once
#include <cstdint>
#include <span>

namespace vantiro {

// Something that receives the packets of a tuned multiplex from a `PacketHub`.
//
// Every call comes from the source's reading thread, one at a time. A consumer
// must never block there: it copies what it needs (into a bounded queue, a
// section store) and returns, so that one slow reader can never hold up the
// source or the other consumers.
class PacketConsumer {
public:
    virtual ~PacketConsumer() = default;
    // Whole 188-byte packets, each starting with 0x47, in stream order.
    virtual void onPackets(std::span<const std::uint8_t> packets) = 0;
    // Data was lost before the next packets (the DVR buffer overflowed).
    virtual void onDiscontinuity() {}
    // The source ended or the multiplex was left: no packets will follow.
    virtual void onEnd() {}
};

}  // namespace vantiro
