#pragma once
#include <string>
#include <string_view>

namespace vantiro {

// Languages to pick at every start, most wanted first, as libmpv's "alang" and
// "slang" take them: comma-separated ISO 639 codes ("tha,eng"). Empty = no wish.
struct TrackPreferences {
    std::string audioLanguages;
    std::string subtitleLanguages;
};

// Reads the settings file (lines "audio-language=tha,eng" and
// "subtitle-language=eng"; '#' starts a comment line; other keys are left to
// others) and then lets VANTIRO_AUDIO_LANG and VANTIRO_SUB_LANG override it.
// A missing or unreadable file means no wish.
TrackPreferences loadTrackPreferences(const std::string& settingsPath);

// Keeps the codes of a comma list made of letters, digits and '-' (at most 16
// characters each) and joins them with ','; anything else is dropped, so the
// result can be handed to libmpv as it is.
std::string cleanLanguageList(std::string_view list);

// "<directory of channelListPath>/settings" ("." when the path has no '/').
std::string settingsPathFor(const std::string& channelListPath);

}  // namespace vantiro
