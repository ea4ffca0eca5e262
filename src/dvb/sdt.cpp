#include "dvb/sdt.h"

#include <algorithm>

#include "dvb/dvb_text.h"

namespace vantiro {
namespace {

constexpr std::size_t kMinBytesForNumbers = 8;
constexpr std::size_t kMinBytesForServices = 15;
constexpr std::size_t kMinServiceLoopEnd = 16;
constexpr std::size_t kFirstServiceOffset = 11;
constexpr std::size_t kServiceHeaderBytes = 5;
constexpr std::size_t kDescriptorHeaderBytes = 2;
constexpr std::uint8_t kSdtTableIdMask = 0xFB;  // also matches 0x46, the SDT of other streams

// The last non-empty name among an entry's service descriptors.
std::string nameFromDescriptors(const std::uint8_t* p, std::size_t pos, std::size_t end) {
    std::string name;
    while (pos + kDescriptorHeaderBytes <= end) {
        std::uint8_t tag = p[pos];
        std::size_t length = p[pos + 1];
        std::size_t payload = pos + kDescriptorHeaderBytes;
        if (payload + length > end) break;
        if (tag == kServiceDescriptorTag) {
            std::string decoded = serviceNameFromDescriptor(p + payload, length);
            if (!decoded.empty()) name = std::move(decoded);
        }
        pos = payload + length;
    }
    return name;
}

}  // namespace

std::optional<Sdt> parseSdt(SectionBytes section) {
    if (section.size() < kMinBytesForNumbers) return std::nullopt;
    const std::uint8_t* p = section.data();
    Sdt sdt;
    sdt.sectionNumber = p[6];
    sdt.lastSectionNumber = p[7];
    if (section.size() < kMinBytesForServices || (p[0] & kSdtTableIdMask) != kSdtActualTableId) return sdt;
    std::size_t size = sectionSize(section);
    if (size < kMinServiceLoopEnd + kCrcBytes) return sdt;
    std::size_t end = size - kCrcBytes;
    std::size_t entry = kFirstServiceOffset;
    while (entry + kServiceHeaderBytes <= end) {
        std::uint16_t serviceId = readBe16(p + entry);
        std::size_t descriptorsEnd = std::min(end, entry + kServiceHeaderBytes + readLength12(p + entry + 3));
        std::string name = nameFromDescriptors(p, entry + kServiceHeaderBytes, descriptorsEnd);
        if (!name.empty()) sdt.services.push_back({serviceId, std::move(name)});
        entry = descriptorsEnd;
    }
    return sdt;
}

}  // namespace vantiro
