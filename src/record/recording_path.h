#pragma once
#include <ctime>
#include <string>

namespace vantiro {

// Where recordings go: $XDG_VIDEOS_DIR, else the XDG_VIDEOS_DIR line of
// user-dirs.dirs in the configuration home, else ~/Videos; then "Vantiro".
std::string recordingsDirectory();

// "<directory>/<channel name> <YYYY-MM-DD HH.MM>.ts" at local time `when`; a
// '/' or control character in the name becomes '_'.
std::string defaultRecordingPath(const std::string& channelName, std::time_t when);

}  // namespace vantiro
