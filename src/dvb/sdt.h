#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dvb/psi_section.h"

namespace vantiro {

// Service description table (actual transport stream): the services' names. Only the
// service descriptor (tag 0x48) is read.
struct Sdt {
    struct Service {
        std::uint16_t serviceId = 0;
        std::string name;  // UTF-8, never empty
    };
    std::uint8_t sectionNumber = 0;
    std::uint8_t lastSectionNumber = 0;
    std::vector<Service> services;  // section order; services without a name are left out
};

inline constexpr std::uint8_t kServiceDescriptorTag = 0x48;

// Empty when fewer than 8 bytes came (no section numbers). A section of at least 8
// bytes always gives its section numbers; the services only when it is an SDT
// section long enough to hold them.
std::optional<Sdt> parseSdt(SectionBytes section);

}  // namespace vantiro
