#pragma once
#include <cstdint>
#include <optional>

namespace vantiro {

// Seconds since 1970-01-01 00:00 UTC; 64 bits so that dates past 2038 stay exact.
using UnixSeconds = std::int64_t;

// A DVB start time: 16-bit Modified Julian Date, then hours, minutes and seconds in
// BCD (five bytes). Empty for the "undefined" pattern (all bits set) and for BCD
// digits above 9 or fields out of range (hour 24, minute 60...).
std::optional<UnixSeconds> decodeMjdUtc(const std::uint8_t* fiveBytes);

// A DVB duration: hours, minutes, seconds in BCD (three bytes). Empty for the
// "undefined" pattern and for bad BCD digits or minutes/seconds past 59.
std::optional<std::int32_t> decodeBcdDuration(const std::uint8_t* threeBytes);

// The inverse of decodeMjdUtc, for tools and tests that write tables. Times before
// 1858-11-17 or past MJD 65535 (year 2038 + 141) are clamped to that range.
void encodeMjdUtc(UnixSeconds time, std::uint8_t* fiveBytes);
void encodeBcdDuration(std::int32_t seconds, std::uint8_t* threeBytes);

}  // namespace vantiro
