#pragma once
#include <cstdint>
#include <string>

#include "player/media_track.h"

namespace vantiro {

// The id that means "no track" to the selection functions below.
inline constexpr std::int64_t kNoTrack = 0;

// The audio track after the selected one, wrapping round; the first when none
// is selected; kNoTrack when the stream has no audio.
std::int64_t nextAudioTrack(const TrackList& tracks);
// Subtitles go off -> first track -> ... -> last track -> off.
std::int64_t nextSubtitleTrack(const TrackList& tracks);

// How a track is named to the user: its language, else its title, else
// "track N" with N its position among the tracks of its kind (from 1).
std::string trackLabel(const MediaTrack& track, int position);

// "Audio: tha (2/2)" for the selected audio track; "No audio track" without one.
std::string audioTrackText(const TrackList& tracks);
// "Subtitles: eng", "Subtitles off", or "No subtitles" when the stream has none.
std::string subtitleTrackText(const TrackList& tracks);

int countTracks(const TrackList& tracks, TrackKind kind);

}  // namespace vantiro
