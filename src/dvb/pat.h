#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "dvb/psi_section.h"

namespace vantiro {

// Program association table: the programs of a multiplex and their PMT PIDs.
struct Pat {
    struct Program {
        std::uint16_t programNumber = 0;
        std::uint16_t pmtPid = 0;
    };
    std::uint16_t transportStreamId = 0;
    std::vector<Program> programs;  // section order, without the network PID entry (program 0)
};

// Empty when the bytes are not a usable PAT section (wrong table id, too short).
std::optional<Pat> parsePat(SectionBytes section);

}  // namespace vantiro
