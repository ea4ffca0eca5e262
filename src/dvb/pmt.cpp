#include "dvb/pmt.h"

#include <algorithm>
#include <array>

namespace vantiro {
namespace {

constexpr std::array<std::uint8_t, 8> kVideoTypes = {0x01, 0x02, 0x10, 0x1B, 0x24, 0x42, 0xD1, 0xEA};
constexpr std::array<std::uint8_t, 7> kAudioTypes = {0x03, 0x04, 0x0F, 0x11, 0x81, 0x84, 0x87};

constexpr std::size_t kMinSectionSize = 16;
constexpr std::size_t kProgramInfoLengthOffset = 10;
constexpr std::size_t kFirstStreamOffset = 12;
constexpr std::size_t kStreamHeaderBytes = 5;

template <typename Pred>
std::uint16_t firstPid(const std::vector<Pmt::Stream>& streams, Pred matches) {
    auto it = std::find_if(streams.begin(), streams.end(),
                           [&](const Pmt::Stream& s) { return matches(s.streamType); });
    return it == streams.end() ? 0 : it->pid;
}

}  // namespace

bool isVideoStreamType(std::uint8_t t) {
    return std::find(kVideoTypes.begin(), kVideoTypes.end(), t) != kVideoTypes.end();
}

bool isAudioStreamType(std::uint8_t t) {
    return std::find(kAudioTypes.begin(), kAudioTypes.end(), t) != kAudioTypes.end();
}

std::uint16_t Pmt::firstVideoPid() const { return firstPid(streams, isVideoStreamType); }
std::uint16_t Pmt::firstAudioPid() const { return firstPid(streams, isAudioStreamType); }

std::optional<Pmt> parsePmt(SectionBytes section) {
    if (section.size() < kMinSectionSize || section[0] != kPmtTableId) return std::nullopt;
    std::size_t size = sectionSize(section);
    if (size < kMinSectionSize) return std::nullopt;
    const std::uint8_t* p = section.data();
    Pmt pmt;
    pmt.programNumber = readBe16(p + 3);
    pmt.pcrPid = readPid(p + 8);
    std::size_t end = size - kCrcBytes;
    std::size_t pos = kFirstStreamOffset + readLength12(p + kProgramInfoLengthOffset);
    while (pos + kStreamHeaderBytes <= end) {
        pmt.streams.push_back({p[pos], readPid(p + pos + 1)});
        pos += kStreamHeaderBytes + readLength12(p + pos + 3);
    }
    return pmt;
}

}  // namespace vantiro
