#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "dvb/psi_section.h"

namespace vantiro {

// Reassembles the PSI/SI sections carried by the transport packets of one PID:
// pointer fields, sections spanning packets, several sections in one packet,
// stuffing. A continuity counter gap or a lying section length drops the
// section being collected; a repeated packet (same counter) is ignored.
// Sections come out as they are, CRC unchecked (see `sectionCrcOk`).
class SectionAssembler {
public:
    using Handler = std::function<void(SectionBytes section)>;

    // One packet of the PID (188 bytes).
    void feed(const std::uint8_t* packet, const Handler& handler);
    // Forgets the partial section and the counter (after a gap in the input).
    void reset();

private:
    void collect(const std::uint8_t* data, std::size_t size, const Handler& handler);

    std::vector<std::uint8_t> buffer_;
    bool collecting_ = false;
    int lastCounter_ = -1;
};

// A long-form section whose CRC32 checks out.
bool sectionCrcOk(SectionBytes section);

}  // namespace vantiro
