#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantiro {

// Turns DVB-coded text (an optional character table selector, then the text) into
// UTF-8. Supported: 0x15 UTF-8; 0x07 and 0x10 0x00 0x0B ISO/IEC 8859-11 (Thai);
// 0x11 16-bit big-endian units; everything else read as ISO/IEC 8859-1. The result
// is always valid UTF-8.
std::string decodeDvbText(const std::uint8_t* bytes, std::size_t length);

// The service name held in the payload of a service descriptor (tag 0x48):
// service type, provider name length and name, service name length and name.
// Empty when the lengths do not fit the payload.
std::string serviceNameFromDescriptor(const std::uint8_t* bytes, std::size_t length);

}  // namespace vantiro
