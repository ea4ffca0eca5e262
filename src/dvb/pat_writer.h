#pragma once
#include <array>
#include <cstdint>

#include "dvb/ts_packet.h"

namespace vantiro {

// What a single-program PAT says.
struct SingleProgramPat {
    std::uint16_t transportStreamId = 0;
    std::uint16_t programNumber = 0;
    std::uint16_t pmtPid = 0;
    std::uint8_t version = 0;  // 0..31

    // The transport stream id is left out: a PAT sent from a first guess learns
    // it from the multiplex's PAT, and a player has no use for it.
    bool sameProgram(const SingleProgramPat& other) const {
        return programNumber == other.programNumber && pmtPid == other.pmtPid;
    }
};

// One transport packet on PID 0 carrying the PAT section for `pat` (CRC
// computed), with the given continuity counter; the rest is stuffing.
std::array<std::uint8_t, kTsPacketSize> singleProgramPatPacket(const SingleProgramPat& pat,
                                                               std::uint8_t continuityCounter);

}  // namespace vantiro
