#pragma once
#include <string>
#include <vector>

#include "channels/channel.h"
#include "online/online_service.h"

namespace vantiro {

// Where the windowed player downloads its playlists from unless
// VANTIRO_PLAYLIST_URL / VANTIRO_RADIO_URL say otherwise.
struct OnlineService {
    std::string host{kOnlineServiceHost};  // also the source label of downloaded channels
    std::string tvPlaylistUrl{kDefaultTvPlaylistUrl};
    std::string radioPlaylistUrl{kDefaultRadioPlaylistUrl};
};

// The online half of the windowed start-up, ready to be copied into the App.
struct OnlineChannels {
    std::vector<Channel> channels;      // TV entries, then radio entries not already listed
    std::vector<std::string> radioUrls;  // URLs of radio entries (a TV entry listed here is radio)
    std::string tvPlaylistUrl;          // re-downloaded by the background scan
    bool available = false;             // from the service or a reachable local playlist
    std::string sourceLabel = "online";  // the service's host or "local playlist" when available
};

// Downloads the TV and radio playlists (environment overrides applied), falls
// back to a reachable local playlist when both give nothing. Download failures
// are printed to stderr as "tv playlist: ..." / "radio playlist: ...". Blocks
// for up to about 16 s plus the probe.
OnlineChannels loadOnlineChannels(const OnlineService& service = OnlineService{});

// A local playlist as serve mode and the windowed fallback use it.
struct LocalPlaylist {
    std::string path;               // "" when no candidate file exists
    std::vector<Channel> channels;  // empty when none found or nothing parsed
    bool reachable = false;         // probeReachable(channels, kProbeTimeoutMs); false when empty
};

// findLocalPlaylist + loadM3uFile + probeReachable; prints nothing.
LocalPlaylist loadLocalPlaylist();

// fetchUrl + parseM3u: the playlist's channels, or an empty list and `error`
// when the download fails (as the background scan refreshes the TV list).
std::vector<Channel> downloadPlaylist(const std::string& url, std::string* error = nullptr);

}  // namespace vantiro
