#include "dvb/tuned_mux.h"

#include "channels/channel.h"
#include "dvb/tuner.h"

namespace vantiro {

ServiceSpec serviceSpecOf(const Channel& channel) {
    return {channel.serviceId, channel.pmtPid, {channel.videoPid, channel.audioPid, channel.pcrPid}};
}

TunedMux::TunedMux(Tuner& tuner) : tuner_(tuner) {
    if (!zapCacheWanted()) return;
    zapCache_ = std::make_shared<ZapCache>();
    hub_->setTap(zapCache_);
}

bool TunedMux::isOn(std::uint32_t frequency, std::int32_t deliverySystem) const {
    return frequency_ != 0 && frequency == frequency_ && deliverySystem == deliverySystem_ && sourceRunning();
}

bool TunedMux::tune(std::uint32_t frequency, std::int32_t deliverySystem, int timeoutMs, std::string* error) {
    close();
    if (!tuner_.tune(frequency, deliverySystem, timeoutMs, error)) return false;
    frequency_ = frequency;
    deliverySystem_ = deliverySystem;
    return true;
}

bool TunedMux::startTune(std::uint32_t frequency, std::int32_t deliverySystem, std::string* error) {
    close();
    if (!tuner_.startTune(frequency, deliverySystem, error)) return false;
    frequency_ = frequency;
    deliverySystem_ = deliverySystem;
    return true;
}

bool TunedMux::awaitLock(int timeoutMs, std::string* error) {
    if (frequency_ != 0 && tuner_.waitForLock(timeoutMs)) return true;
    if (error) *error = "no signal";
    return false;
}

TunedMux::Start TunedMux::start(std::uint32_t frequency, std::int32_t deliverySystem, bool retune, int timeoutMs,
                                const std::function<bool(std::string*)>& join, std::string* error) {
    if (retune && !startTune(frequency, deliverySystem, error)) return Start::NoSignal;
    if (!startSource(error) || !join(error)) {
        if (retune) close();
        return Start::Failed;
    }
    if (retune && !awaitLock(timeoutMs, error)) {
        close();
        return Start::NoSignal;
    }
    return Start::Ready;
}

bool TunedMux::retune(int timeoutMs, std::string* error) {
    if (frequency_ == 0) {
        if (error) *error = "no multiplex is tuned";
        return false;
    }
    return tuner_.tune(frequency_, deliverySystem_, timeoutMs, error);
}

bool TunedMux::startSource(std::string* error) {
    if (sourceRunning()) return true;
    auto source = std::make_unique<DvrSource>(hub_);
    source_.reset();  // a source that ended by itself releases the DVR first
    if (!source->openAdapter(tuner_.adapter(), error)) return false;
    return startPrepared(std::move(source), error);
}

bool TunedMux::startSourceFromFd(int fd, std::string* error) {
    source_.reset();
    auto source = std::make_unique<DvrSource>(hub_);
    source->adopt(fd);
    return startPrepared(std::move(source), error);
}

bool TunedMux::startPrepared(std::unique_ptr<DvrSource> source, std::string* error) {
    if (overflowObserver_) source->setOverflowObserver(overflowObserver_);
    if (!source->start(error)) return false;
    source_ = std::move(source);
    return true;
}

void TunedMux::endConsumers() { hub_->endConsumers(); }

void TunedMux::close() {
    source_.reset();  // stopping the source ends its consumers
    hub_->endConsumers();
    frequency_ = 0;
    deliverySystem_ = -1;
}

std::unique_ptr<ServiceStream> TunedMux::openService(const ServiceSpec& wanted, std::string* error,
                                                     PacketQueueLimits limits) {
    if (!sourceRunning()) {
        if (error) *error = "no multiplex is being received";
        return nullptr;
    }
    PacketHub::LeadIn leadIn;
    if (zapCache_)
        leadIn = [cache = zapCache_, wanted](PacketConsumer& consumer) { cache->leadIn(wanted, consumer); };
    return std::make_unique<ServiceStream>(hub_, wanted, limits, leadIn);
}

HubMembership TunedMux::addConsumer(std::shared_ptr<PacketConsumer> consumer) {
    return HubMembership(hub_, std::move(consumer));
}

bool TunedMux::sourceRunning() const {
    if (!source_) return false;
    SourceHealth health = source_->health();
    return health.running && !health.ended;
}

SourceHealth TunedMux::health() const { return source_ ? source_->health() : SourceHealth{}; }

void TunedMux::setOverflowObserver(std::function<void(std::uint64_t)> observer) {
    overflowObserver_ = std::move(observer);
}

}  // namespace vantiro
