#pragma once
#include <cstddef>
#include <cstdint>

namespace vantiro {

// CRC-32/MPEG-2 (polynomial 0x04C11DB7, initial 0xFFFFFFFF, no reflection, no final
// xor), the checksum at the end of every PSI/SI section. Over a whole section,
// CRC included, it yields 0.
std::uint32_t crc32Mpeg(const std::uint8_t* data, std::size_t length);

}  // namespace vantiro
