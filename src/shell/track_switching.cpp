// The A and V keys: cycling the audio and subtitle tracks of what plays, and
// the optional log of track selections that the window tests read.
#include <cstdio>

#include "player/track_choice.h"
#include "shell/app.h"

namespace vantiro {

void App::cycleAudioTrack() {
    const TrackList& tracks = player.tracks();
    if (countTracks(tracks, TrackKind::Audio) == 0) {
        showTrackToast(audioTrackText(tracks));
        return;
    }
    std::string error;
    if (!player.selectAudioTrack(nextAudioTrack(tracks), &error)) {
        showToast("Player: " + error, kErrorToastSeconds);
        return;
    }
    showTrackToast(audioTrackText(player.tracks()));
}

void App::cycleSubtitles() {
    const TrackList& tracks = player.tracks();
    if (countTracks(tracks, TrackKind::Subtitle) == 0) {
        showTrackToast(subtitleTrackText(tracks));
        return;
    }
    std::string error;
    if (!player.selectSubtitleTrack(nextSubtitleTrack(tracks), &error)) {
        showToast("Player: " + error, kErrorToastSeconds);
        return;
    }
    showTrackToast(subtitleTrackText(player.tracks()));
}

void App::showTrackToast(const std::string& text) {
    showToast(text, kTrackToastSeconds);
    if (trackLog) std::fprintf(stderr, "track toast: %s\n", text.c_str());
}

std::string App::audioTrackLine() const {
    const TrackList& tracks = player.tracks();
    return countTracks(tracks, TrackKind::Audio) > 1 ? audioTrackText(tracks) : std::string();
}

// The log names what libmpv reports as selected, once per change; the empty
// list between two starts is left out.
void App::pollTracks() {
    if (player.tracksGeneration() == seenTracksGeneration) return;
    seenTracksGeneration = player.tracksGeneration();
    const TrackList& tracks = player.tracks();
    if (!trackLog || tracks.empty()) return;
    const std::string selection = audioTrackText(tracks) + ", " + subtitleTrackText(tracks);
    if (selection == loggedTrackSelection) return;
    loggedTrackSelection = selection;
    std::fprintf(stderr, "tracks: %s\n", selection.c_str());
}

}  // namespace vantiro
