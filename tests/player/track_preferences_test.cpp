#include "player/track_preferences.h"

#include <gtest/gtest.h>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::ScopedEnv;
using test::TempDir;

TEST(TrackPreferences, SettingsFileGivesBothListsAndKeepsToItsOwnKeys) {
    TempDir dir;
    ScopedEnv audio("VANTIRO_AUDIO_LANG", nullptr);
    ScopedEnv subtitles("VANTIRO_SUB_LANG", nullptr);
    test::writeFile(dir.file("settings"),
                    "# preferred languages\n"
                    "audio-language = tha, eng\n"
                    "volume=80\n"
                    "subtitle-language=eng\n");
    const TrackPreferences preferences = loadTrackPreferences(dir.file("settings"));
    EXPECT_EQ(preferences.audioLanguages, "tha,eng");
    EXPECT_EQ(preferences.subtitleLanguages, "eng");
    EXPECT_EQ(loadTrackPreferences(dir.file("missing")).audioLanguages, "");
}

TEST(TrackPreferences, EnvironmentOverridesTheFile) {
    TempDir dir;
    test::writeFile(dir.file("settings"), "audio-language=tha\nsubtitle-language=tha\n");
    ScopedEnv audio("VANTIRO_AUDIO_LANG", "eng,fra");
    ScopedEnv subtitles("VANTIRO_SUB_LANG", "");
    const TrackPreferences preferences = loadTrackPreferences(dir.file("settings"));
    EXPECT_EQ(preferences.audioLanguages, "eng,fra");
    EXPECT_EQ(preferences.subtitleLanguages, "tha");  // empty means unset
}

// The lists go to libmpv as option values: nothing may smuggle in another option.
TEST(TrackPreferences, OnlyPlainLanguageCodesReachThePlayer) {
    EXPECT_EQ(cleanLanguageList(" eng , ,pt-BR,x=y,\"fra\",tha "), "eng,pt-BR,tha");
    EXPECT_EQ(cleanLanguageList("eng,sid=1"), "eng");
    EXPECT_EQ(settingsPathFor("/home/u/.config/vantiro/channels.tsv"), "/home/u/.config/vantiro/settings");
}

}  // namespace
}  // namespace vantiro
