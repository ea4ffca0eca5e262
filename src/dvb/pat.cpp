#include "dvb/pat.h"

namespace vantiro {
namespace {

constexpr std::size_t kMinReadBytes = 12;
constexpr std::size_t kMinSectionSize = 16;  // header, one entry, CRC
constexpr std::size_t kFirstEntry = 8;
constexpr std::size_t kEntryBytes = 4;

}  // namespace

std::optional<Pat> parsePat(SectionBytes section) {
    if (section.size() < kMinReadBytes || section[0] != kPatTableId) return std::nullopt;
    std::size_t size = sectionSize(section);
    if (size < kMinSectionSize) return std::nullopt;
    Pat pat;
    pat.transportStreamId = readBe16(section.data() + 3);
    std::size_t loopEnd = size / kEntryBytes * kEntryBytes - kCrcBytes;
    for (std::size_t entry = kFirstEntry; entry < loopEnd; entry += kEntryBytes) {
        std::uint16_t programNumber = readBe16(section.data() + entry);
        if (programNumber == 0) continue;  // the network PID entry
        pat.programs.push_back({programNumber, readPid(section.data() + entry + 2)});
    }
    return pat;
}

}  // namespace vantiro
