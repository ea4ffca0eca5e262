#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantiro {

// One PSI/SI section as read from the demux, starting with the table id.
using SectionBytes = std::span<const std::uint8_t>;

// Table ids and PIDs the program reads.
inline constexpr std::uint16_t kPatPid = 0x0000;
inline constexpr std::uint16_t kSdtPid = 0x0011;
inline constexpr std::uint8_t kPatTableId = 0x00;
inline constexpr std::uint8_t kPmtTableId = 0x02;
inline constexpr std::uint8_t kSdtActualTableId = 0x42;
inline constexpr std::size_t kMaxSectionBytes = 4096;
inline constexpr std::size_t kCrcBytes = 4;

inline std::uint16_t readBe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}
inline std::uint16_t readPid(const std::uint8_t* p) { return readBe16(p) & 0x1FFF; }
inline std::uint16_t readLength12(const std::uint8_t* p) { return readBe16(p) & 0x0FFF; }

// The section's own length (section_length + 3), cut to the bytes actually held, so
// that a lying length never leads outside the buffer. Needs at least 3 bytes.
inline std::size_t sectionSize(SectionBytes section) {
    if (section.size() < 3) return section.size();
    std::size_t declared = static_cast<std::size_t>(readLength12(section.data() + 1)) + 3;
    return declared < section.size() ? declared : section.size();
}

}  // namespace vantiro
