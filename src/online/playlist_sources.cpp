#include "online/playlist_sources.h"

#include <unistd.h>

#include <cstdlib>

#include "online/readable_file.h"

namespace vantiro {
namespace {

constexpr const char* kSelfExeLink = "/proc/self/exe";
constexpr size_t kExeLinkBufferSize = 4096;

// Places around the executable's directory where an installed or a built
// program keeps its playlist.
constexpr const char* kExeRelativeDirs[] = {"/", "/../", "/../../", "/../share/vantiro/"};

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string executableDir() {
    char buffer[kExeLinkBufferSize];
    ssize_t length = ::readlink(kSelfExeLink, buffer, sizeof buffer - 1);
    if (length <= 0) return "";
    std::string path(buffer, static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash);
}

std::vector<std::string> localPlaylistCandidates(const std::string& iptvVariable,
                                                 const std::string& exeDir) {
    std::vector<std::string> candidates;
    if (!iptvVariable.empty()) candidates.push_back(iptvVariable);
    for (const char* name : kLocalPlaylistNames) {
        candidates.emplace_back(name);
        if (exeDir.empty()) continue;
        for (const char* dir : kExeRelativeDirs) candidates.push_back(exeDir + dir + name);
    }
    return candidates;
}

std::string findLocalPlaylist() {
    for (const std::string& candidate :
         localPlaylistCandidates(environmentValue("VANTIRO_IPTV"), executableDir())) {
        if (ReadableFile(candidate).isOpen()) return candidate;
    }
    return "";
}

}  // namespace vantiro
