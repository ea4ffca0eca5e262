#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "guide/guide_channel.h"
#include "guide/guide_store.h"

namespace vantiro {

// The XMLTV id of a service, stable across rescans because it is made of what
// identifies the service on air: "<MHz>.<service id>.vantiro" ("474.1025.vantiro"),
// with the frequency in kHz and a "k" when it is not a whole number of MHz.
std::string xmltvChannelId(const ServiceKey& key);

// "YYYYMMDDhhmmss +0000".
std::string xmltvTime(UnixSeconds time);

// Text made fit for XML character data and attribute values: markup characters as
// entities, control characters (C0 but tab and line ends, C1) left out, except DVB's
// line break U+008A, which becomes a line end.
std::string xmlText(std::string_view utf8);

// The guide as an XMLTV document: one <channel> per channel with programmes, then
// their <programme>s in channel order and by start.
std::string writeXmltv(const std::vector<GuideChannel>& channels, const GuideStore& store);

}  // namespace vantiro
