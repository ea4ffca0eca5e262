#pragma once
#include <string>
#include <vector>

#include <imgui.h>

#include "channels/channel.h"

namespace vantiro {

// How a row of the channel list presents a channel; also picks its icon.
enum class ChannelKind { Audio, Online, New, Tuner };

// A DVB radio service (no video PID, no URL), or an online stream whose URL is
// one of the radio playlist's URLs (compared byte for byte).
bool isAudioOnlyChannel(const Channel& channel, const std::vector<std::string>& radioUrls);

// Tested in the order audio, online, new, tuner.
ChannelKind channelKind(const Channel& channel, const std::vector<std::string>& radioUrls);

// Colour of a row's icon and name.
ImU32 channelKindColour(ChannelKind kind);

}  // namespace vantiro
