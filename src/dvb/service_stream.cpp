#include "dvb/service_stream.h"

namespace vantiro {

ServiceStream::ServiceStream(std::shared_ptr<PacketHub> hub, ServiceSpec wanted, PacketQueueLimits limits,
                             const PacketHub::LeadIn& leadIn)
    : queue_(std::make_shared<PacketQueue>(limits)),
      filter_(std::make_shared<ServiceFilter>(std::move(wanted), queue_)),
      membership_(std::move(hub), filter_, leadIn) {}

ServiceStream::~ServiceStream() {
    membership_.reset();  // no more packets for the queue
    queue_->close();
}

}  // namespace vantiro
