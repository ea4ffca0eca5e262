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

constexpr std::uint8_t kPrivatePesType = 0x06;
constexpr std::uint8_t kRegistrationTag = 0x05;
constexpr std::uint8_t kVbiTeletextTag = 0x46;
constexpr std::uint8_t kTeletextTag = 0x56;
constexpr std::uint8_t kSubtitlingTag = 0x59;
constexpr std::array<std::uint8_t, 4> kAudioDescriptorTags = {0x6A, 0x7A, 0x7B, 0x7C};  // AC-3, E-AC-3, DTS, AAC
constexpr std::uint8_t kExtensionTag = 0x7F;
constexpr std::uint8_t kAc4ExtensionTag = 0x15;
// Registration format identifiers of audio carried as private data.
constexpr std::array<std::array<char, 4>, 5> kAudioFormats = {{
    {'A', 'C', '-', '3'}, {'E', 'A', 'C', '3'}, {'D', 'T', 'S', '1'}, {'D', 'T', 'S', '2'}, {'O', 'p', 'u', 's'}}};

// Calls `visit(tag, body)` for every well-formed descriptor of a loop.
template <typename Visit>
void forEachDescriptor(const std::vector<std::uint8_t>& loop, Visit visit) {
    std::size_t pos = 0;
    while (pos + 2 <= loop.size()) {
        std::size_t length = loop[pos + 1];
        if (pos + 2 + length > loop.size()) return;
        visit(loop[pos], loop.data() + pos + 2, length);
        pos += 2 + length;
    }
}

StreamKind privateDataKind(const std::vector<std::uint8_t>& descriptors) {
    StreamKind kind = StreamKind::Other;
    forEachDescriptor(descriptors, [&](std::uint8_t tag, const std::uint8_t* body, std::size_t length) {
        if (kind != StreamKind::Other) return;
        if (tag == kSubtitlingTag) {
            kind = StreamKind::Subtitles;
        } else if (tag == kTeletextTag || tag == kVbiTeletextTag) {
            kind = StreamKind::Teletext;
        } else if (std::find(kAudioDescriptorTags.begin(), kAudioDescriptorTags.end(), tag) !=
                   kAudioDescriptorTags.end()) {
            kind = StreamKind::Audio;
        } else if (tag == kExtensionTag && length >= 1 && body[0] == kAc4ExtensionTag) {
            kind = StreamKind::Audio;
        } else if (tag == kRegistrationTag && length >= 4) {
            for (const auto& format : kAudioFormats)
                if (std::equal(format.begin(), format.end(), body)) kind = StreamKind::Audio;
        }
    });
    return kind;
}

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

StreamKind streamKind(const Pmt::Stream& stream) {
    if (isVideoStreamType(stream.streamType)) return StreamKind::Video;
    if (isAudioStreamType(stream.streamType)) return StreamKind::Audio;
    if (stream.streamType == kPrivatePesType) return privateDataKind(stream.descriptors);
    return StreamKind::Other;
}

bool isPlayableStream(const Pmt::Stream& stream) { return streamKind(stream) != StreamKind::Other; }

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
        std::size_t infoStart = pos + kStreamHeaderBytes;
        std::size_t infoEnd = std::min(end, infoStart + readLength12(p + pos + 3));
        pmt.streams.push_back({p[pos], readPid(p + pos + 1), std::vector<std::uint8_t>(p + infoStart, p + infoEnd)});
        pos = infoStart + readLength12(p + pos + 3);
    }
    return pmt;
}

}  // namespace vantiro
