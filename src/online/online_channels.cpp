#include "online/online_channels.h"

#include <cstdio>
#include <cstdlib>
#include <unordered_set>

#include "online/http_fetch.h"
#include "online/m3u_playlist.h"
#include "online/playlist_sources.h"
#include "online/reachability_probe.h"

namespace vantiro {
namespace {

constexpr const char* kLocalPlaylistLabel = "local playlist";

// An environment variable that is set but empty counts as unset.
std::string urlOverride(const char* variable, const std::string& fallback) {
    const char* value = std::getenv(variable);
    return value && *value ? std::string(value) : fallback;
}

// Radio entries join the list unless a TV entry already has their URL; every
// radio URL is remembered, so such a TV entry plays as radio.
void mergeRadio(OnlineChannels& result, std::vector<Channel> radio) {
    std::unordered_set<std::string> listedUrls;
    for (const Channel& channel : result.channels) listedUrls.insert(channel.url);
    for (Channel& entry : radio) {
        result.radioUrls.push_back(entry.url);
        if (listedUrls.insert(entry.url).second) result.channels.push_back(std::move(entry));
    }
}

std::vector<Channel> downloadOrReport(const std::string& url, const char* what) {
    std::string error;
    std::vector<Channel> channels = downloadPlaylist(url, &error);
    if (!error.empty()) std::fprintf(stderr, "%s playlist: %s\n", what, error.c_str());
    return channels;
}

}  // namespace

std::vector<Channel> downloadPlaylist(const std::string& url, std::string* error) {
    std::string body;
    if (!fetchUrl(url, body, error)) return {};
    return parseM3u(body);
}

LocalPlaylist loadLocalPlaylist() {
    LocalPlaylist playlist;
    playlist.path = findLocalPlaylist();
    if (playlist.path.empty()) return playlist;
    playlist.channels = loadM3uFile(playlist.path);
    playlist.reachable = !playlist.channels.empty() && probeReachable(playlist.channels, kProbeTimeoutMs);
    return playlist;
}

OnlineChannels loadOnlineChannels(const OnlineService& service) {
    OnlineChannels result;
    result.tvPlaylistUrl = urlOverride("VANTIRO_PLAYLIST_URL", service.tvPlaylistUrl);
    std::string radioUrl = urlOverride("VANTIRO_RADIO_URL", service.radioPlaylistUrl);

    result.channels = downloadOrReport(result.tvPlaylistUrl, "tv");
    if (!radioUrl.empty() && radioUrl != result.tvPlaylistUrl) mergeRadio(result, downloadOrReport(radioUrl, "radio"));

    if (!result.channels.empty()) {
        result.available = true;
        result.sourceLabel = service.host;
        return result;
    }
    LocalPlaylist local = loadLocalPlaylist();
    if (local.reachable) {
        result.channels = std::move(local.channels);
        result.available = true;
        result.sourceLabel = kLocalPlaylistLabel;
    }
    return result;
}

}  // namespace vantiro
