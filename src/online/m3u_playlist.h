#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "channels/channel.h"

namespace vantiro {

// Online channels of an M3U playlist, in playlist order: each "#EXTINF:" title
// (the text after the line's first comma) paired with the next URL line.
// Never fails; anything else is skipped. Every record has a non-empty url and
// deliverySystem 0.
std::vector<Channel> parseM3u(std::string_view text);

// parseM3u of a whole file. A file that cannot be opened gives an empty list
// and "cannot open <path>" in `error`; otherwise `error` is cleared.
std::vector<Channel> loadM3uFile(const std::string& path, std::string* error = nullptr);

// `text` without leading and trailing space, tab, LF and CR (nothing else).
std::string trimWhitespace(std::string_view text);

}  // namespace vantiro
