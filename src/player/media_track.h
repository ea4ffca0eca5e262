#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vantiro {

enum class TrackKind { Video, Audio, Subtitle, Other };

// One entry of libmpv's "track-list": the id is libmpv's, counted per kind from 1.
struct MediaTrack {
    std::int64_t id = 0;
    TrackKind kind = TrackKind::Other;
    std::string language;  // ISO 639 code from the stream's language descriptor, may be empty
    std::string title;
    bool selected = false;
};

using TrackList = std::vector<MediaTrack>;

}  // namespace vantiro
