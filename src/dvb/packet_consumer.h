#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "dvb/pid_set.h"

namespace vantiro {

class PidDemand;

// Something that receives the packets of a tuned multiplex from a `PacketHub`.
//
// Every call comes from the source's reading thread, one at a time. A consumer
// must never block there: it copies what it needs (into a bounded queue, a
// section store) and returns, so that one slow reader can never hold up the
// source or the other consumers.
//
// A consumer says which PIDs it needs with `wantPids`; the demux then passes
// the union of what the hub's consumers want (always with the PAT), and no more.
// One that says nothing gets the whole stream. It still receives the packets
// other consumers asked for and must pick out its own.
class PacketConsumer {
public:
    PacketConsumer() = default;
    virtual ~PacketConsumer();
    PacketConsumer(const PacketConsumer&) = delete;
    PacketConsumer& operator=(const PacketConsumer&) = delete;

    // Whole 188-byte packets, each starting with 0x47, in stream order.
    virtual void onPackets(std::span<const std::uint8_t> packets) = 0;
    // Data was lost before the next packets (the DVR buffer overflowed).
    virtual void onDiscontinuity() {}
    // The source ended or the multiplex was left: no packets will follow.
    virtual void onEnd() {}

    // What the consumer declared last; any thread.
    PidSet wantedPids() const;

protected:
    // Declares the PIDs wanted from now on (`PidSet::wholeStream()` for all of
    // them). Any thread, `onPackets` included; never blocks. A PID added
    // arrives once the demux has started its filter, a few milliseconds later
    // (what was broadcast before is not delivered); a PID wanted before and
    // after never misses a packet.
    void wantPids(PidSet pids);

private:
    friend class PacketHub;
    // The hub the consumer joined tells it where to report changes; null when it left.
    void setDemand(std::shared_ptr<PidDemand> demand);

    mutable std::mutex wishMutex_;
    PidSet wish_ = PidSet::wholeStream();     // guarded by wishMutex_
    std::shared_ptr<PidDemand> demand_;       // guarded by wishMutex_
};

}  // namespace vantiro
