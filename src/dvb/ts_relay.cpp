#include "dvb/ts_relay.h"

#include "dvb/pid_filter.h"

namespace vantiro {

TsRelay::~TsRelay() { stop(); }

bool TsRelay::start(int adapter, const std::vector<std::uint16_t>& pids, std::string* error) {
    stop();
    hub_ = std::make_shared<PacketHub>();
    auto source = std::make_unique<DvrSource>(hub_);
    if (!source->openAdapter(adapter, error)) return false;
    if (!output_.open(error)) return false;  // `source` closes the devices
    return run(std::move(source), pids, error);
}

// The pipe comes first: a shortage of descriptors is reported as the pipe's.
bool TsRelay::startFromSource(int sourceFd, const std::vector<std::uint16_t>& pids, std::string* error) {
    stop();
    UniqueFd source(sourceFd);
    if (!output_.open(error)) return false;
    hub_ = std::make_shared<PacketHub>();
    auto reader = std::make_unique<DvrSource>(hub_);
    reader->adopt(source.release());
    return run(std::move(reader), pids, error);
}

// The pipe is open; joins the filter and starts both threads.
bool TsRelay::run(std::unique_ptr<DvrSource> source, const std::vector<std::uint16_t>& pids, std::string* error) {
    auto queue = std::make_shared<PacketQueue>();
    output_.run(queue);
    filter_ = HubMembership(hub_, std::make_shared<PidFilter>(pids, queue));
    if (!source->start(error)) {
        stop();
        return false;
    }
    source_ = std::move(source);
    return true;
}

void TsRelay::stop() {
    source_.reset();  // ends the filter's queue: the writer drains it and closes the pipe
    filter_.reset();
    output_.stop();
    hub_.reset();
}

}  // namespace vantiro
