#include "dvb/section_tap.h"

namespace vantiro {

SectionTap::SectionTap(const std::vector<std::uint16_t>& pids, Handler handler, bool checkCrc)
    : handler_(std::move(handler)), checkCrc_(checkCrc) {
    slot_.fill(-1);
    for (std::uint16_t pid : pids) {
        pid &= kTsPidMask;
        if (slot_[pid] >= 0) continue;
        slot_[pid] = static_cast<std::int16_t>(assemblers_.size());
        assemblers_.push_back({pid, SectionAssembler{}});
    }
    wantPids(PidSet(pids));
}

void SectionTap::onPackets(std::span<const std::uint8_t> packets) {
    for (std::size_t at = 0; at + kTsPacketSize <= packets.size(); at += kTsPacketSize) {
        const std::uint8_t* packet = packets.data() + at;
        std::int16_t slot = slot_[tsPacketPid(packet)];
        if (slot < 0) continue;
        PidAssembler& entry = assemblers_[static_cast<std::size_t>(slot)];
        entry.assembler.feed(packet, [&](SectionBytes section) {
            if (!checkCrc_ || sectionCrcOk(section)) handler_(entry.pid, section);
        });
    }
}

void SectionTap::onDiscontinuity() {
    for (PidAssembler& entry : assemblers_) entry.assembler.reset();
}

void SectionTap::onEnd() {
    if (endHandler_) endHandler_();
}

}  // namespace vantiro
