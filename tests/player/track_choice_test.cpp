#include "player/track_choice.h"

#include <gtest/gtest.h>

namespace vantiro {
namespace {

MediaTrack track(std::int64_t id, TrackKind kind, std::string language, bool selected = false,
                 std::string title = "") {
    return MediaTrack{id, kind, std::move(language), std::move(title), selected};
}

// libmpv lists video, audio and subtitle tracks mixed, each kind numbered from 1.
TrackList broadcast(std::int64_t audio, std::int64_t subtitle) {
    return {track(1, TrackKind::Video, ""),
            track(1, TrackKind::Audio, "tha", audio == 1),
            track(1, TrackKind::Subtitle, "eng", subtitle == 1),
            track(2, TrackKind::Audio, "eng", audio == 2),
            track(2, TrackKind::Subtitle, "", subtitle == 2, "Hearing impaired"),
            track(3, TrackKind::Subtitle, "", subtitle == 3)};
}

TEST(TrackChoice, AudioCyclesThroughEveryTrackAndWraps) {
    EXPECT_EQ(nextAudioTrack(broadcast(1, 0)), 2);
    EXPECT_EQ(nextAudioTrack(broadcast(2, 0)), 1);
    EXPECT_EQ(nextAudioTrack(broadcast(0, 0)), 1);  // audio switched off: back to the first
    EXPECT_EQ(nextAudioTrack({track(1, TrackKind::Video, "")}), kNoTrack);
}

TEST(TrackChoice, SubtitlesGoOffThenEachTrackThenOffAgain) {
    EXPECT_EQ(nextSubtitleTrack(broadcast(1, 0)), 1);
    EXPECT_EQ(nextSubtitleTrack(broadcast(1, 1)), 2);
    EXPECT_EQ(nextSubtitleTrack(broadcast(1, 2)), 3);
    EXPECT_EQ(nextSubtitleTrack(broadcast(1, 3)), kNoTrack);
    EXPECT_EQ(nextSubtitleTrack({track(1, TrackKind::Audio, "tha", true)}), kNoTrack);
}

TEST(TrackChoice, TextsNameLanguageElseTitleElsePosition) {
    EXPECT_EQ(audioTrackText(broadcast(2, 0)), "Audio: eng (2/2)");
    EXPECT_EQ(audioTrackText(broadcast(1, 0)), "Audio: tha (1/2)");
    EXPECT_EQ(audioTrackText(broadcast(0, 0)), "No audio track");
    EXPECT_EQ(subtitleTrackText(broadcast(1, 0)), "Subtitles off");
    EXPECT_EQ(subtitleTrackText(broadcast(1, 1)), "Subtitles: eng");
    EXPECT_EQ(subtitleTrackText(broadcast(1, 2)), "Subtitles: Hearing impaired");
    EXPECT_EQ(subtitleTrackText(broadcast(1, 3)), "Subtitles: track 3");
    EXPECT_EQ(subtitleTrackText({track(1, TrackKind::Audio, "tha", true)}), "No subtitles");
    // The position counts tracks of the same kind only.
    const TrackList unnamed{track(1, TrackKind::Video, ""), track(1, TrackKind::Audio, ""),
                            track(2, TrackKind::Audio, "", true)};
    EXPECT_EQ(audioTrackText(unnamed), "Audio: track 2 (2/2)");
}

}  // namespace
}  // namespace vantiro
