#include "guide/dvb_time.h"

#include <algorithm>

namespace vantiro {
namespace {

// MJD 40587 is 1970-01-01.
constexpr std::int64_t kMjdOfUnixEpoch = 40587;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kMaxMjd = 0xFFFF;

// Two BCD digits of one byte, or -1 when either digit is above 9.
int bcdByte(std::uint8_t b) {
    int high = b >> 4;
    int low = b & 0x0F;
    if (high > 9 || low > 9) return -1;
    return high * 10 + low;
}

std::uint8_t toBcd(int value) { return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10)); }

// Hours, minutes and seconds of three BCD bytes; hours capped at `maxHours`.
std::optional<std::int32_t> bcdTime(const std::uint8_t* p, int maxHours) {
    int h = bcdByte(p[0]);
    int m = bcdByte(p[1]);
    int s = bcdByte(p[2]);
    if (h < 0 || m < 0 || s < 0 || h > maxHours || m > 59 || s > 59) return std::nullopt;
    return h * 3600 + m * 60 + s;
}

}  // namespace

std::optional<UnixSeconds> decodeMjdUtc(const std::uint8_t* p) {
    if (p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF && p[4] == 0xFF) return std::nullopt;
    std::int64_t mjd = p[0] << 8 | p[1];
    auto seconds = bcdTime(p + 2, 23);
    if (!seconds) return std::nullopt;
    return (mjd - kMjdOfUnixEpoch) * kSecondsPerDay + *seconds;
}

std::optional<std::int32_t> decodeBcdDuration(const std::uint8_t* p) {
    if (p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF) return std::nullopt;
    return bcdTime(p, 99);
}

void encodeMjdUtc(UnixSeconds time, std::uint8_t* p) {
    std::int64_t day = time >= 0 ? time / kSecondsPerDay : -((-time + kSecondsPerDay - 1) / kSecondsPerDay);
    std::int64_t mjd = std::clamp<std::int64_t>(day + kMjdOfUnixEpoch, 0, kMaxMjd);
    std::int64_t rest = std::clamp<std::int64_t>(time - (mjd - kMjdOfUnixEpoch) * kSecondsPerDay, 0,
                                                 kSecondsPerDay - 1);
    p[0] = static_cast<std::uint8_t>(mjd >> 8);
    p[1] = static_cast<std::uint8_t>(mjd & 0xFF);
    p[2] = toBcd(static_cast<int>(rest / 3600));
    p[3] = toBcd(static_cast<int>(rest / 60 % 60));
    p[4] = toBcd(static_cast<int>(rest % 60));
}

void encodeBcdDuration(std::int32_t seconds, std::uint8_t* p) {
    seconds = std::clamp(seconds, 0, 99 * 3600 + 59 * 60 + 59);
    p[0] = toBcd(seconds / 3600);
    p[1] = toBcd(seconds / 60 % 60);
    p[2] = toBcd(seconds % 60);
}

}  // namespace vantiro
