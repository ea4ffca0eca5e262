#include "server/channel_playlist.h"

#include "guide/guide_channel.h"
#include "guide/xmltv_writer.h"

namespace vantiro {
namespace {

// An attribute value or title stays on its line and inside its quotes: line
// breaks and tabs become blanks, double quotes single ones.
std::string playlistText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
        else if (c == '"') c = '\'';
    }
    return out;
}

// The demo mode's stand-in channel has no frequency: neither radio nor in the guide.
bool onAir(const Channel& channel) { return !channel.isOnline() && channel.frequency != 0; }

bool isRadio(const Channel& channel) { return onAir(channel) && channel.videoPid == 0; }

}  // namespace

const char* playlistGroup(const Channel& channel) {
    if (channel.isOnline()) return "Online";
    return isRadio(channel) ? "Radio" : "TV";
}

std::string channelPlaylist(const std::vector<Channel>& channels, std::string_view baseUrl) {
    const std::string base(baseUrl);
    std::string out = "#EXTM3U url-tvg=\"" + base + "/epg.xml\"\n";
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const Channel& channel = channels[i];
        const std::string name = playlistText(channel.name);
        const std::string id = onAir(channel) ? xmltvChannelId(serviceKeyOf(channel)) : std::string();
        out += "#EXTINF:-1 tvg-id=\"" + id + "\" tvg-name=\"" + name + "\" group-title=\"" +
               playlistGroup(channel) + "\"" + (isRadio(channel) ? " radio=\"true\"" : "") + "," + name + "\n";
        out += base + "/watch/" + std::to_string(i) + ".ts\n";
    }
    return out;
}

}  // namespace vantiro
