#pragma once
#include <cstdint>

namespace vantiro {

// The Si2168-D60 demodulator firmware, embedded at build time.
// kFirmwareImageSize is 0 when the build was given no image.
extern const unsigned char* const kFirmwareImage;
extern const std::uint64_t kFirmwareImageSize;

}  // namespace vantiro
