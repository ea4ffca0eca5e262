#include "guide/guide_channel.h"

namespace vantiro {

std::vector<GuideChannel> guideChannels(const std::vector<Channel>& channels) {
    std::vector<GuideChannel> out;
    for (const Channel& channel : channels)
        if (!channel.isOnline() && channel.frequency != 0) out.push_back({serviceKeyOf(channel), channel.name});
    return out;
}

}  // namespace vantiro
