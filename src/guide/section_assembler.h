#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "dvb/psi_section.h"

namespace vantiro {

// Reassembles the PSI/SI sections of one PID from its transport stream packets, the
// way a demux section filter would: payload unit start and pointer field, sections
// spanning packets, several sections in one packet, stuffing (0xFF) after the last.
// A continuity counter gap, a scrambled or malformed packet drops the section being
// gathered. Only sections whose CRC32 checks out are handed on.
class SectionAssembler {
public:
    using SectionHandler = std::function<void(SectionBytes)>;

    SectionAssembler(std::uint16_t pid, SectionHandler handler) : pid_(pid), handler_(std::move(handler)) {}

    // One 188-byte packet; packets of other PIDs are ignored.
    void pushPacket(const std::uint8_t* packet);
    // Any number of whole packets back to back (`size` a multiple of 188; a tail is ignored).
    void pushPackets(const std::uint8_t* data, std::size_t size);

    // Sections whose CRC failed, for diagnostics and tests.
    std::uint64_t crcFailures() const { return crcFailures_; }

private:
    void consume(const std::uint8_t* p, std::size_t n);
    void finishIfComplete();
    void reset();

    std::uint16_t pid_;
    SectionHandler handler_;
    std::vector<std::uint8_t> buffer_;
    bool gathering_ = false;
    int lastCounter_ = -1;
    std::uint64_t crcFailures_ = 0;
};

}  // namespace vantiro
