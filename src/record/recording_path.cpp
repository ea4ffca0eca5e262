#include "record/recording_path.h"

#include <cstdlib>
#include <fstream>

namespace vantiro {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string homeDirectory() {
    std::string home = environment("HOME");
    return home.empty() ? "/tmp" : home;
}

// The XDG_VIDEOS_DIR line of user-dirs.dirs, a shell assignment such as
// XDG_VIDEOS_DIR="$HOME/Videos"; empty when there is none.
std::string userDirsVideos() {
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty()) config = homeDirectory() + "/.config";
    std::ifstream in(config + "/user-dirs.dirs");
    const std::string key = "XDG_VIDEOS_DIR=";
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0) value = homeDirectory() + value.substr(5);
        if (!value.empty() && value.front() == '/') return value;
    }
    return "";
}

std::string fileNameOf(const std::string& name) {
    std::string safe = name.empty() ? "channel" : name;
    for (char& c : safe)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    if (safe.front() == '.') safe.front() = '_';  // never a hidden file, nor "." or ".."
    return safe;
}

}  // namespace

std::string recordingsDirectory() {
    std::string videos = environment("XDG_VIDEOS_DIR");
    if (videos.empty()) videos = userDirsVideos();
    if (videos.empty()) videos = homeDirectory() + "/Videos";
    return videos + "/Vantiro";
}

std::string defaultRecordingPath(const std::string& channelName, std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M", &local);
    return recordingsDirectory() + "/" + fileNameOf(channelName) + " " + stamp + ".ts";
}

}  // namespace vantiro
