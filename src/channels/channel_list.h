#pragma once
#include <string>
#include <vector>

#include "channels/channel.h"

namespace vantiro {

// Where the channel list lives: $XDG_CONFIG_HOME/vantiro/channels.tsv,
// else $HOME/.config/vantiro/channels.tsv, else ./vantiro/channels.tsv.
std::string channelListPath();

// Reads the list; malformed lines are skipped. A missing file gives an empty
// list and "no channel list at <path>" in `error`.
std::vector<Channel> loadChannelList(const std::string& path, std::string* error = nullptr);

// Replaces the file with the whole list. The old file survives any failure.
bool saveChannelList(const std::string& path, const std::vector<Channel>& channels,
                     std::string* error = nullptr);

// `text` with every tab, CR and LF replaced by a blank, so that it fits one
// field of a tab-separated line.
std::string singleLineField(std::string text);

}  // namespace vantiro
