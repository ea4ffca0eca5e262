#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "dvb/packet_hub.h"
#include "guide/guide_collector.h"

namespace vantiro {

class TunedMux;

// Keeps a GuideCollector joined to the tuned multiplex's reader: a section tap on
// PID 0x12 among the hub's consumers, so that the guide is read while a channel
// plays, on the reader's thread, without a demux filter of its own. The tap ends
// with the multiplex's consumers (a retune, a switch that ends them); `follow`
// joins again. Belongs to the multiplex's owner (its thread or lock).
class GuideTap {
public:
    explicit GuideTap(GuideCollector& collector) : collector_(collector) {}
    GuideTap(const GuideTap&) = delete;
    GuideTap& operator=(const GuideTap&) = delete;

    // After `mux`'s source started: joins it unless already joined to that multiplex.
    // The collector counts what follows as the multiplex's sections.
    void follow(TunedMux& mux);
    // Leaves the hub; no section reaches the collector after it returns.
    void leave();
    // Joined and not ended: sections of `frequency()` arrive.
    bool joined() const;
    std::uint32_t frequency() const { return frequency_; }

private:
    GuideCollector& collector_;
    HubMembership membership_;
    std::shared_ptr<std::atomic<bool>> ended_;
    std::uint32_t frequency_ = 0;
};

}  // namespace vantiro
