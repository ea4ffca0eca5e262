#pragma once
#include <cstdint>
#include <string>

namespace vantiro {

// English name of a content descriptor's nibbles (level 1 << 4 | level 2), from the
// DVB content table: the level 2 name where one is defined, else the level 1 name.
// Empty for reserved and user-defined values.
std::string genreName(std::uint8_t nibbles);

}  // namespace vantiro
