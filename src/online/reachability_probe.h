#pragma once
#include <vector>

#include "channels/channel.h"

namespace vantiro {

// Time limit per connection attempt that callers of probeReachable use.
inline constexpr int kProbeTimeoutMs = 1200;

// Whether at least one http/https stream host of `channels` accepts a TCP
// connection within `timeoutMs` (per address). Entries without a usable
// http(s) authority are skipped; the probe gives up after three hosts that
// fail. Nothing is ever sent.
bool probeReachable(const std::vector<Channel>& channels, int timeoutMs);

}  // namespace vantiro
