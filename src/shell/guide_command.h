#pragma once
#include <string>

namespace vantiro {

// Seconds `vantiro guide` listens on each multiplex unless told otherwise.
inline constexpr int kDefaultGuideSeconds = 15;

struct GuideOptions {
    std::string channel;  // a channel name or its 1-based number in the list; empty = all
    int seconds = kDefaultGuideSeconds;
};

// `guide` arguments, scanned from argv[2] on: `--seconds N` and one channel.
GuideOptions parseGuideOptions(int argc, char** argv);

// `vantiro guide [CHANNEL]`: tunes each multiplex of the chosen channels, reads its
// EIT for up to the given seconds (less once every table is complete), saves the
// guide cache and prints now/next per channel. 0 when any channel has guide data.
int runGuideCommand(const GuideOptions& options, const std::string& channelListPath);

}  // namespace vantiro
