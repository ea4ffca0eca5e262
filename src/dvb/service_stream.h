#pragma once
#include <memory>

#include "dvb/packet_hub.h"
#include "dvb/packet_queue.h"
#include "dvb/service_filter.h"

namespace vantiro {

// One reader's share of the multiplex: a `ServiceFilter` following one program,
// joined to the hub, and the bounded queue its reader drains (the writer thread
// of a pipe for libmpv, an HTTP connection's thread, a recording). Leaving the
// hub and closing the queue happen when it is destroyed, from any thread. A
// `leadIn` hands the filter what comes before its first live packets (see
// `ZapCache`).
class ServiceStream {
public:
    ServiceStream(std::shared_ptr<PacketHub> hub, ServiceSpec wanted, PacketQueueLimits limits = {},
                  const PacketHub::LeadIn& leadIn = {});
    ~ServiceStream();
    ServiceStream(const ServiceStream&) = delete;
    ServiceStream& operator=(const ServiceStream&) = delete;

    PacketQueue& queue() { return *queue_; }
    const std::shared_ptr<PacketQueue>& sharedQueue() const { return queue_; }
    const ServiceFilter& filter() const { return *filter_; }

private:
    std::shared_ptr<PacketQueue> queue_;
    std::shared_ptr<ServiceFilter> filter_;
    HubMembership membership_;
};

}  // namespace vantiro
