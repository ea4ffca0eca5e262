#include "dvb/dvb_text.h"

#include <algorithm>

namespace vantiro {
namespace {

constexpr std::uint8_t kSelectorThai = 0x07;                // ISO/IEC 8859-11
constexpr std::uint8_t kSelectorIso8859Part = 0x10;         // 0x10 0x00 <part>
constexpr std::uint8_t kSelectorTwoByte = 0x11;             // 16-bit big-endian units
constexpr std::uint8_t kSelectorUtf8 = 0x15;
constexpr std::uint8_t kLastSelector = 0x1F;
constexpr std::uint8_t kIso8859ThaiPart = 11;
constexpr std::uint32_t kThaiOffset = 0x0D60;               // 0xA1 -> U+0E01
constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Well-formed UTF-8 by RFC 3629: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        std::uint8_t b = p[i];
        std::size_t follow;
        std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            follow = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            follow = 2;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            follow = 3;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (n - i <= follow) return false;
        if (p[i + 1] < low || p[i + 1] > high) return false;
        for (std::size_t k = 2; k <= follow; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += follow + 1;
    }
    return true;
}

// One byte of a single-byte table; a text ends at its first 0x00 byte.
std::string decodeSingleByte(const std::uint8_t* p, std::size_t n, bool thai) {
    std::string out;
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n && p[i] != 0; ++i) {
        std::uint8_t b = p[i];
        if (thai && b >= 0xA1 && b <= 0xFB) {
            appendUtf8(out, b + kThaiOffset);
        } else if (thai && b >= 0x80 && b <= 0x9F) {
            continue;  // C1 control codes have no place in ISO/IEC 8859-11 text
        } else {
            appendUtf8(out, b);
        }
    }
    return out;
}

std::string decodeTwoByteUnits(const std::uint8_t* p, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        char32_t unit = static_cast<char32_t>(p[i] << 8 | p[i + 1]);
        if (unit == 0) break;
        bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        appendUtf8(out, surrogate ? kReplacement : unit);
    }
    return out;
}

}  // namespace

std::string decodeDvbText(const std::uint8_t* p, std::size_t n) {
    if (n == 0 || p == nullptr) return {};
    std::uint8_t first = p[0];
    if (first == kSelectorUtf8) {
        if (isValidUtf8(p + 1, n - 1)) return std::string(reinterpret_cast<const char*>(p + 1), n - 1);
        return decodeSingleByte(p + 1, n - 1, false);
    }
    if (first == kSelectorIso8859Part) {
        if (n < 3) return {};
        return decodeSingleByte(p + 3, n - 3, p[2] == kIso8859ThaiPart);
    }
    if (first == kSelectorTwoByte) return decodeTwoByteUnits(p + 1, n - 1);
    if (first >= 0x01 && first <= kLastSelector) return decodeSingleByte(p + 1, n - 1, first == kSelectorThai);
    return decodeSingleByte(p, n, false);
}

std::string serviceNameFromDescriptor(const std::uint8_t* p, std::size_t n) {
    if (p == nullptr || n <= 2) return {};
    std::size_t providerLength = p[1];
    if (providerLength + 2 >= n) return {};
    std::size_t nameLength = p[providerLength + 2];
    std::size_t nameStart = providerLength + 3;
    return decodeDvbText(p + nameStart, std::min(nameLength, n - nameStart));
}

}  // namespace vantiro
