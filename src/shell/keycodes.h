#pragma once
#include <cstdint>

namespace vantiro {

// The keycodes `onKeyDown` acts on. SDL2 and SDL3 give these keys the same
// values; letters arrive as lower-case keycodes whatever the modifiers.
namespace key {
inline constexpr std::int32_t kTab = 9;
inline constexpr std::int32_t kReturn = 13;
inline constexpr std::int32_t kEscape = 27;
inline constexpr std::int32_t kSpace = 32;
inline constexpr std::int32_t kA = 'a';
inline constexpr std::int32_t kF = 'f';
inline constexpr std::int32_t kI = 'i';
inline constexpr std::int32_t kL = 'l';
inline constexpr std::int32_t kM = 'm';
inline constexpr std::int32_t kQ = 'q';
inline constexpr std::int32_t kR = 'r';
inline constexpr std::int32_t kS = 's';
inline constexpr std::int32_t kV = 'v';
inline constexpr std::int32_t kW = 'w';
inline constexpr std::int32_t kF11 = 0x40000044;
inline constexpr std::int32_t kDown = 0x40000051;
inline constexpr std::int32_t kUp = 0x40000052;
inline constexpr std::int32_t kKeypadEnter = 0x40000058;
}  // namespace key

}  // namespace vantiro
