#include "dvb/packet_consumer.h"

#include "dvb/pid_demand.h"

namespace vantiro {

PacketConsumer::~PacketConsumer() = default;

PidSet PacketConsumer::wantedPids() const {
    std::lock_guard<std::mutex> guard(wishMutex_);
    return wish_;
}

// The demand is told outside the lock, which is only ever held for a copy.
void PacketConsumer::wantPids(PidSet pids) {
    std::shared_ptr<PidDemand> demand;
    {
        std::lock_guard<std::mutex> guard(wishMutex_);
        if (pids == wish_) return;
        wish_ = std::move(pids);
        demand = demand_;
    }
    if (demand) demand->changed();
}

void PacketConsumer::setDemand(std::shared_ptr<PidDemand> demand) {
    std::lock_guard<std::mutex> guard(wishMutex_);
    demand_ = std::move(demand);
}

}  // namespace vantiro
