#include "dvb/packet_hub.h"

#include <algorithm>

namespace vantiro {

void PacketHub::add(std::shared_ptr<PacketConsumer> consumer, const LeadIn& leadIn) {
    if (!consumer) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (closed_) {
            consumer->onEnd();
            return;
        }
        if (leadIn) leadIn(*consumer);
        consumer->setDemand(demand_);
        consumers_.push_back(std::move(consumer));
    }
    demand_->changed();
}

void PacketHub::remove(const PacketConsumer* consumer) {
    bool removed = false;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        removed = std::erase_if(consumers_, [consumer](const auto& c) {
                      if (c.get() != consumer) return false;
                      c->setDemand(nullptr);
                      return true;
                  }) > 0;
    }
    if (removed) demand_->changed();
}

std::size_t PacketHub::consumerCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return consumers_.size();
}

void PacketHub::setTap(std::shared_ptr<PacketConsumer> tap) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (tap_) tap_->setDemand(nullptr);
        tap_ = std::move(tap);
        if (tap_) tap_->setDemand(demand_);
    }
    demand_->changed();
}

// A tap that reads for consumers yet to come does not keep an idle source busy.
PidSet PacketHub::wantedPids() const {
    std::lock_guard<std::mutex> guard(mutex_);
    PidSet wanted;
    if (tap_ && !consumers_.empty()) wanted = tap_->wantedPids();
    for (const auto& consumer : consumers_) {
        wanted.merge(consumer->wantedPids());
        if (wanted.whole()) break;
    }
    return wanted;
}

// The lock is held while the consumers run so that `remove` can promise that a
// removed consumer is never called again; consumers do not block, so `remove`
// waits at most for one chunk.
void PacketHub::deliver(std::span<const std::uint8_t> packets) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (tap_) tap_->onPackets(packets);
    for (const auto& consumer : consumers_) consumer->onPackets(packets);
}

void PacketHub::signalDiscontinuity() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (tap_) tap_->onDiscontinuity();
    for (const auto& consumer : consumers_) consumer->onDiscontinuity();
}

void PacketHub::endConsumers() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        endConsumersLocked();
    }
    demand_->changed();
}

void PacketHub::close() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        closed_ = true;
        if (tap_) tap_->onEnd();
        endConsumersLocked();
    }
    demand_->changed();
}

void PacketHub::open() {
    std::lock_guard<std::mutex> guard(mutex_);
    closed_ = false;
}

void PacketHub::endConsumersLocked() {
    for (const auto& consumer : consumers_) {
        consumer->onEnd();
        consumer->setDemand(nullptr);
    }
    consumers_.clear();
}

HubMembership::HubMembership(std::shared_ptr<PacketHub> hub, std::shared_ptr<PacketConsumer> consumer,
                             const PacketHub::LeadIn& leadIn)
    : hub_(std::move(hub)), consumer_(std::move(consumer)) {
    if (hub_ && consumer_) hub_->add(consumer_, leadIn);
}

HubMembership& HubMembership::operator=(HubMembership&& other) noexcept {
    if (this != &other) {
        reset();
        hub_ = std::move(other.hub_);
        consumer_ = std::move(other.consumer_);
    }
    return *this;
}

void HubMembership::reset() {
    if (hub_ && consumer_) hub_->remove(consumer_.get());
    hub_.reset();
    consumer_.reset();
}

}  // namespace vantiro
