#include "ui/channel_kind.h"

#include <algorithm>

namespace vantiro {

bool isAudioOnlyChannel(const Channel& channel, const std::vector<std::string>& radioUrls) {
    if (channel.url.empty()) return channel.videoPid == 0;
    return std::find(radioUrls.begin(), radioUrls.end(), channel.url) != radioUrls.end();
}

ChannelKind channelKind(const Channel& channel, const std::vector<std::string>& radioUrls) {
    if (isAudioOnlyChannel(channel, radioUrls)) return ChannelKind::Audio;
    if (!channel.url.empty()) return ChannelKind::Online;
    if (channel.isNew) return ChannelKind::New;
    return ChannelKind::Tuner;
}

ImU32 channelKindColour(ChannelKind kind) {
    switch (kind) {
        case ChannelKind::Audio: return IM_COL32(242, 204, 102, 255);
        case ChannelKind::Online: return IM_COL32(140, 204, 242, 255);
        case ChannelKind::New: return IM_COL32(115, 255, 140, 255);
        case ChannelKind::Tuner: break;
    }
    return IM_COL32(178, 242, 191, 255);
}

}  // namespace vantiro
