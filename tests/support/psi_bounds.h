#pragma once
// What the PAT, PMT and SDT parsers promise for any bytes, checked by the unit
// tests and the fuzzer alike: everything they return is read from inside the
// section (so it cannot hold more entries than the bytes have room for), PIDs
// are 13-bit, and service names are non-empty, valid UTF-8 of bounded size.
#include <string>

#include "dvb/pat.h"
#include "dvb/pmt.h"
#include "dvb/sdt.h"
#include "support/utf8_check.h"

namespace vantiro::test {

// Empty when every promise holds, else the first one broken.
inline std::string psiPromiseBroken(SectionBytes section) {
    const std::size_t size = section.size();
    constexpr std::uint16_t kMaxPid = 0x1FFF;
    if (auto pat = parsePat(section)) {
        if (pat->programs.size() * 4 > size) return "PAT: more programs than bytes";
        for (const auto& program : pat->programs)
            if (program.pmtPid > kMaxPid) return "PAT: PID above 13 bits";
    }
    if (auto pmt = parsePmt(section)) {
        if (pmt->pcrPid > kMaxPid) return "PMT: PCR PID above 13 bits";
        if (pmt->streams.size() * 5 > size) return "PMT: more streams than bytes";
        std::size_t descriptorBytes = 0;
        for (const auto& stream : pmt->streams) {
            if (stream.pid > kMaxPid) return "PMT: PID above 13 bits";
            descriptorBytes += stream.descriptors.size();
        }
        if (descriptorBytes > size) return "PMT: more descriptor bytes than the section";
    }
    if (auto sdt = parseSdt(section)) {
        if (sdt->services.size() * 5 > size) return "SDT: more services than bytes";
        std::size_t nameBytes = 0;
        for (const auto& service : sdt->services) {
            if (service.name.empty() || !isValidUtf8(service.name)) return "SDT: empty or invalid name";
            nameBytes += service.name.size();
        }
        // One byte of a DVB character table is at most three bytes of UTF-8.
        if (nameBytes > 3 * size) return "SDT: names longer than the section allows";
    }
    return {};
}

}  // namespace vantiro::test
