#include "player/track_choice.h"

namespace vantiro {

namespace {

// Position (from 1) of the selected track among those of `kind`, 0 when none is selected.
int selectedPosition(const TrackList& tracks, TrackKind kind, const MediaTrack** selected) {
    int position = 0;
    for (const MediaTrack& track : tracks) {
        if (track.kind != kind) continue;
        ++position;
        if (track.selected) {
            *selected = &track;
            return position;
        }
    }
    return 0;
}

// The track of `kind` that follows the selected one. After the last comes
// "off" when `offAfterLast`, else the first again.
std::int64_t nextOfKind(const TrackList& tracks, TrackKind kind, bool offAfterLast) {
    const MediaTrack* first = nullptr;
    bool takeNext = false;
    bool anySelected = false;
    for (const MediaTrack& track : tracks) {
        if (track.kind != kind) continue;
        if (!first) first = &track;
        if (takeNext) return track.id;
        if (track.selected) {
            takeNext = true;
            anySelected = true;
        }
    }
    if (!first) return kNoTrack;
    if (anySelected && offAfterLast) return kNoTrack;
    return first->id;
}

}  // namespace

std::int64_t nextAudioTrack(const TrackList& tracks) { return nextOfKind(tracks, TrackKind::Audio, false); }

std::int64_t nextSubtitleTrack(const TrackList& tracks) { return nextOfKind(tracks, TrackKind::Subtitle, true); }

std::string trackLabel(const MediaTrack& track, int position) {
    if (!track.language.empty()) return track.language;
    if (!track.title.empty()) return track.title;
    return "track " + std::to_string(position);
}

int countTracks(const TrackList& tracks, TrackKind kind) {
    int count = 0;
    for (const MediaTrack& track : tracks) count += track.kind == kind ? 1 : 0;
    return count;
}

std::string audioTrackText(const TrackList& tracks) {
    const MediaTrack* selected = nullptr;
    const int position = selectedPosition(tracks, TrackKind::Audio, &selected);
    if (!selected) return "No audio track";
    return "Audio: " + trackLabel(*selected, position) + " (" + std::to_string(position) + "/" +
           std::to_string(countTracks(tracks, TrackKind::Audio)) + ")";
}

std::string subtitleTrackText(const TrackList& tracks) {
    if (countTracks(tracks, TrackKind::Subtitle) == 0) return "No subtitles";
    const MediaTrack* selected = nullptr;
    const int position = selectedPosition(tracks, TrackKind::Subtitle, &selected);
    if (!selected) return "Subtitles off";
    return "Subtitles: " + trackLabel(*selected, position);
}

}  // namespace vantiro
