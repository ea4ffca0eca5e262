#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "dvb/psi_section.h"

namespace vantiro {

// Program map table: the elementary streams of one program.
struct Pmt {
    struct Stream {
        std::uint8_t streamType = 0;
        std::uint16_t pid = 0;
        std::vector<std::uint8_t> descriptors;  // the raw ES info loop
    };
    std::uint16_t programNumber = 0;
    std::uint16_t pcrPid = 0;
    std::vector<Stream> streams;  // section order

    // First stream of a video or audio type in section order; 0 when there is none.
    std::uint16_t firstVideoPid() const;
    std::uint16_t firstAudioPid() const;
};

// MPEG-2, MPEG-1, H.264, H.265, AVS/VC-1 style video types the player can show.
bool isVideoStreamType(std::uint8_t streamType);
// MPEG audio, AAC (ADTS and LATM), AC-3, E-AC-3 and DTS-HD types.
bool isAudioStreamType(std::uint8_t streamType);

// What a player makes of an elementary stream. Private PES data (type 0x06) is
// told apart by its descriptors: AC-3, E-AC-3, DTS and AAC audio, DVB
// subtitles, teletext.
enum class StreamKind { Video, Audio, Subtitles, Teletext, Other };
StreamKind streamKind(const Pmt::Stream& stream);
// Video, audio, subtitles and teletext: what a player can use.
bool isPlayableStream(const Pmt::Stream& stream);

// Empty when the bytes are not a usable PMT section (wrong table id, too short).
std::optional<Pmt> parsePmt(SectionBytes section);

}  // namespace vantiro
