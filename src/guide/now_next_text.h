#pragma once
#include <string>
#include <vector>

#include "guide/guide_channel.h"
#include "guide/guide_store.h"

namespace vantiro {

// "HH:MM-HH:MM" of an event in local time.
std::string eventTimeRange(const EitEvent& event);

// The plain now/next table of `channels` at `time`, local time, one block per channel:
//   Alpha TV  474 MHz
//     now   20:00-21:00  Evening News
//     next  21:00-22:30  Film
// A channel without guide data says "  (no guide data)".
std::string nowNextText(const std::vector<GuideChannel>& channels, const GuideStore& store, UnixSeconds time);

}  // namespace vantiro
