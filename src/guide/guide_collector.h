#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "dvb/psi_section.h"
#include "guide/guide_store.h"
#include "guide/section_assembler.h"

namespace vantiro {

// Feeds a GuideStore from the EIT of the tuned multiplex. Whoever reads the
// multiplex hands it transport stream packets (`pushPackets`, PID 0x12 picked out
// here) or whole sections from a demux section filter (`pushSection`); both belong
// to one thread at a time (the relay's or the reader's). `setMultiplex` on a retune
// is for that same thread, or for any thread while nothing pushes.
class GuideCollector {
public:
    GuideCollector(GuideStore& store, std::uint32_t frequency);
    GuideCollector(const GuideCollector&) = delete;
    GuideCollector& operator=(const GuideCollector&) = delete;

    // The multiplex the next packets or sections come from; drops a half-gathered section.
    void setMultiplex(std::uint32_t frequency);

    // Whole 188-byte packets of the multiplex, any PIDs.
    void pushPackets(const std::uint8_t* data, std::size_t size);
    // One section (CRC included); other tables than EIT and broken CRCs are ignored.
    void pushSection(SectionBytes section);

    std::uint32_t frequency() const { return frequency_.load(); }
    // EIT sections taken since construction.
    std::uint64_t sectionsSeen() const { return sectionsSeen_.load(); }

private:
    GuideStore& store_;
    std::atomic<std::uint32_t> frequency_;
    SectionAssembler assembler_;
    std::atomic<std::uint64_t> sectionsSeen_{0};
};

}  // namespace vantiro
