#include "dvb/pid_filter.h"

namespace vantiro {

PidFilter::PidFilter(const std::vector<std::uint16_t>& pids, std::shared_ptr<PacketQueue> output)
    : output_(std::move(output)) {
    PidSet wanted(pids);
    wanted.add(0);
    for (std::uint16_t pid : wanted.pids()) pass_[pid] = true;
    wantPids(std::move(wanted));
}

std::shared_ptr<PidFilter> PidFilter::allPids(std::shared_ptr<PacketQueue> output) {
    auto filter = std::make_shared<PidFilter>(std::vector<std::uint16_t>{}, std::move(output));
    filter->all_ = true;
    filter->wantPids(PidSet::wholeStream());
    return filter;
}

void PidFilter::onPackets(std::span<const std::uint8_t> packets) {
    if (all_) {
        output_->push(packets);
        return;
    }
    scratch_.clear();
    for (std::size_t at = 0; at + kTsPacketSize <= packets.size(); at += kTsPacketSize) {
        const std::uint8_t* packet = packets.data() + at;
        if (pass_[tsPacketPid(packet)]) scratch_.insert(scratch_.end(), packet, packet + kTsPacketSize);
    }
    output_->push(scratch_);
}

}  // namespace vantiro
