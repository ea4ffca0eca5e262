#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dvb/section_reader.h"

namespace vantiro {

class Tuner;

// One program of a multiplex as listed in its PAT.
struct Service {
    std::uint16_t serviceId = 0;  // the program number
    std::uint16_t pmtPid = 0;
    std::uint16_t videoPid = 0;   // 0 when not found
    std::uint16_t audioPid = 0;
    std::uint16_t pcrPid = 0;
    std::string name;             // UTF-8
};

// At most this many SDT sections are read per multiplex.
inline constexpr int kMaxSdtSections = 4;

// Delivers one section matching the filter within the timeout, as `readSection` does.
using SectionSource =
    std::function<bool(const SectionFilter& filter, int timeoutMs, std::vector<std::uint8_t>& out)>;

// The services of the tuned multiplex, in PAT order: names from the SDT (or
// "Service <id>"), PIDs from each program's PMT (0 when it does not come). Empty when
// no PAT arrives. `timeoutMs` bounds each single table read. The caller holds the
// tuner's mutex.
std::vector<Service> discoverServices(Tuner& tuner, int timeoutMs);

// The same over any source of sections.
std::vector<Service> discoverServices(const SectionSource& source, int timeoutMs);

}  // namespace vantiro
