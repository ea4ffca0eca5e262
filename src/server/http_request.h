#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantiro {

// A request is read until its header ends or this much has arrived.
inline constexpr std::size_t kMaxRequestHeadBytes = 16384;
// Highest channel index a switch request may name.
inline constexpr long kMaxChannelIndex = 100000;

struct RequestLine {
    std::string method;
    std::string target;
};

// Whether `received` already holds the blank line that ends a request head.
bool requestHeadComplete(std::string_view received);

// Method and target of the first line of `head` (up to the first CR LF, or all of
// it): the text before the first blank and between the first and second blank.
// Nothing when either blank is missing.
std::optional<RequestLine> parseRequestLine(std::string_view head);

// Decodes %XX escapes and '+' (a blank). A '%' with fewer than two characters
// after it is kept. The two characters are read as a hexadecimal number the way
// strtol does; when they start with no hexadecimal digit at all the text cannot
// be decoded and the result is empty.
std::optional<std::string> urlDecode(std::string_view text);

// The channel index of a switch request target such as "/play?index=3": the last
// "index=" piece of the query wins; -1 when there is no query, no index, or the
// value is not a decimal number from 0 to 100000.
long channelIndexFromTarget(std::string_view target);

// Whether `target` names a per-channel stream ("/watch/...").
bool isWatchTarget(std::string_view target);

// The channel index of a per-channel stream target "/watch/N.ts" (a query after
// it is ignored); -1 when the target is not of that form or N is not a decimal
// number from 0 to 100000.
long watchIndexFromTarget(std::string_view target);

// The value of the header `name` (compared without regard to case) in a request
// head, without the blanks around it; empty when the head has no such header.
std::string headerValue(std::string_view head, std::string_view name);

}  // namespace vantiro
