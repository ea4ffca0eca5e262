#include "player/track_preferences.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace vantiro {

namespace {

constexpr std::string_view kAudioKey = "audio-language";
constexpr std::string_view kSubtitleKey = "subtitle-language";
constexpr std::size_t kLongestCode = 16;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

bool isLanguageCode(std::string_view code) {
    if (code.empty() || code.size() > kLongestCode) return false;
    for (char c : code)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    return true;
}

void overrideFromEnvironment(const char* name, std::string& value) {
    if (const char* text = std::getenv(name); text && *text) value = cleanLanguageList(text);
}

}  // namespace

std::string cleanLanguageList(std::string_view list) {
    std::string result;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view code = trimmed(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (!isLanguageCode(code)) continue;
        if (!result.empty()) result += ',';
        result += code;
    }
    return result;
}

TrackPreferences loadTrackPreferences(const std::string& settingsPath) {
    TrackPreferences preferences;
    std::ifstream file(settingsPath);
    std::string line;
    while (file && std::getline(file, line)) {
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#') continue;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(text.substr(0, equals));
        const std::string_view value = text.substr(equals + 1);
        if (key == kAudioKey) preferences.audioLanguages = cleanLanguageList(value);
        if (key == kSubtitleKey) preferences.subtitleLanguages = cleanLanguageList(value);
    }
    overrideFromEnvironment("VANTIRO_AUDIO_LANG", preferences.audioLanguages);
    overrideFromEnvironment("VANTIRO_SUB_LANG", preferences.subtitleLanguages);
    return preferences;
}

std::string settingsPathFor(const std::string& channelListPath) {
    const auto slash = channelListPath.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : channelListPath.substr(0, slash);
    return directory + "/settings";
}

}  // namespace vantiro
