#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "dvb/psi_section.h"
#include "guide/guide_store.h"

namespace vantiro {

// Feeds a GuideStore from the EIT of the tuned multiplex. Whoever reads the
// multiplex hands it whole sections of PID 0x12: a demux section filter, or the
// relay's section tap on the packets it reads. `pushSection` belongs to one thread
// at a time; `setMultiplex` may be called from any thread (on a retune).
class GuideCollector {
public:
    GuideCollector(GuideStore& store, std::uint32_t frequency);
    GuideCollector(const GuideCollector&) = delete;
    GuideCollector& operator=(const GuideCollector&) = delete;

    // The multiplex the next sections come from.
    void setMultiplex(std::uint32_t frequency) { frequency_.store(frequency); }

    // One section (CRC included); other tables than EIT and broken CRCs are ignored.
    void pushSection(SectionBytes section);

    std::uint32_t frequency() const { return frequency_.load(); }
    // EIT sections taken since construction.
    std::uint64_t sectionsSeen() const { return sectionsSeen_.load(); }

private:
    GuideStore& store_;
    std::atomic<std::uint32_t> frequency_;
    std::atomic<std::uint64_t> sectionsSeen_{0};
};

}  // namespace vantiro
