#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "dvb/packet_consumer.h"
#include "dvb/pid_demand.h"
#include "dvb/pid_set.h"

namespace vantiro {

// Hands the packets of one source to any number of consumers. Consumers are
// added and removed from any thread at any time; `deliver` runs on the source's
// thread and calls each consumer in turn (consumers never block, see
// `PacketConsumer`). After `remove` returns, the consumer is not called again.
//
// It also gathers what its consumers want: `wantedPids` is the union of their
// declarations, and `demand()` is told whenever that may have changed (a
// consumer joined, left or declared new PIDs), so that the source can set the
// demux's filters to it.
class PacketHub {
public:
    // Hands a joining consumer what it should get before its first packets.
    // It runs under the hub's lock, between two deliveries, so that the
    // consumer's next packets follow it with nothing lost or repeated between.
    using LeadIn = std::function<void(PacketConsumer& consumer)>;

    void add(std::shared_ptr<PacketConsumer> consumer, const LeadIn& leadIn = {});
    void remove(const PacketConsumer* consumer);
    std::size_t consumerCount() const;
    // The union of the consumers' wanted PIDs, and the tap's while there are
    // consumers; empty without consumers.
    PidSet wantedPids() const;
    // Sees every packet before the consumers, the discontinuities and the end of
    // each source (`close`). It is not a consumer: `endConsumers` keeps it and
    // `consumerCount` leaves it out. Null removes it.
    void setTap(std::shared_ptr<PacketConsumer> tap);
    const std::shared_ptr<PidDemand>& demand() const { return demand_; }

    // Source side.
    void deliver(std::span<const std::uint8_t> packets);
    void signalDiscontinuity();
    // Tells every consumer that its stream ended and lets go of them all. New
    // consumers are taken as before.
    void endConsumers();
    // The source ended: `endConsumers`, and a consumer added later is ended at
    // once instead of waiting forever, until `open`.
    void close();
    // A new source starts feeding the hub.
    void open();

private:
    void endConsumersLocked();

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<PacketConsumer>> consumers_;
    std::shared_ptr<PacketConsumer> tap_;
    bool closed_ = false;
    const std::shared_ptr<PidDemand> demand_ = std::make_shared<PidDemand>();
};

// Membership of one consumer in a hub: removes it when destroyed. Holds the hub,
// so it may outlive the hub's owner.
class HubMembership {
public:
    HubMembership() = default;
    HubMembership(std::shared_ptr<PacketHub> hub, std::shared_ptr<PacketConsumer> consumer,
                  const PacketHub::LeadIn& leadIn = {});
    ~HubMembership() { reset(); }
    HubMembership(HubMembership&& other) noexcept = default;
    HubMembership& operator=(HubMembership&& other) noexcept;
    HubMembership(const HubMembership&) = delete;
    HubMembership& operator=(const HubMembership&) = delete;

    void reset();
    PacketConsumer* consumer() const { return consumer_.get(); }

private:
    std::shared_ptr<PacketHub> hub_;
    std::shared_ptr<PacketConsumer> consumer_;
};

}  // namespace vantiro
