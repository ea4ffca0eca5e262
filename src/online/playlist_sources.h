#pragma once
#include <string>
#include <vector>

namespace vantiro {

// Built-in names of a local playlist file, searched in this order.
inline constexpr const char* kLocalPlaylistNames[] = {"online-channels.m3u8", "vorudiv.m3u8"};

// Directory of the running executable without a trailing slash ("" if unknown
// or if the executable sits directly in "/").
std::string executableDir();

// The paths findLocalPlaylist tries, in order: `iptvVariable` (the value of
// VANTIRO_IPTV) when non-empty, then each built-in name in the working
// directory and, when `exeDir` is non-empty, beside, above and in
// ../share/vantiro of the executable's directory.
std::vector<std::string> localPlaylistCandidates(const std::string& iptvVariable,
                                                 const std::string& exeDir);

// The first candidate (VANTIRO_IPTV, then the built-in names) that can be
// opened for reading, or "".
std::string findLocalPlaylist();

}  // namespace vantiro
