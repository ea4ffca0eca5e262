#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "channels/channel.h"

namespace vantiro {

// The channel list as an extended M3U playlist that VLC, mpv and Kodi's IPTV
// Simple client open directly: "#EXTM3U" naming the guide, then per channel an
// #EXTINF line with `tvg-id` (the channel id of /epg.xml; empty for online
// channels, which have no guide), `tvg-name`, `group-title` (TV, Radio, Online;
// radio services also `radio="true"`, which Kodi files under radio) and the
// channel's own "/watch/N.ts" URL. `baseUrl` is "http://host:port" as the
// client reached the server.
std::string channelPlaylist(const std::vector<Channel>& channels, std::string_view baseUrl);

// The group a channel is filed under in the playlist.
const char* playlistGroup(const Channel& channel);

}  // namespace vantiro
