#pragma once
#include <string>
#include <vector>

#include "channels/channel.h"
#include "guide/guide_store.h"

namespace vantiro {

// A tuner channel as the guide's writers see it: its service and its name.
struct GuideChannel {
    ServiceKey key;
    std::string name;
};

// The tuner channels of a channel list, in list order (online channels have no EIT).
std::vector<GuideChannel> guideChannels(const std::vector<Channel>& channels);

inline ServiceKey serviceKeyOf(const Channel& channel) { return {channel.frequency, channel.serviceId}; }

}  // namespace vantiro
