// libFuzzer target: the M3U parser must take any bytes, and what it returns
// must keep the parser's promises.
#include <cstdint>
#include <string>
#include <string_view>

#include "online/m3u_playlist.h"

namespace {

bool isTrimmed(const std::string& text) {
    return !text.empty() && vantiro::trimWhitespace(text) == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t bytes = 0;
    for (const vantiro::Channel& channel : vantiro::parseM3u(text)) {
        if (!isTrimmed(channel.name) || !isTrimmed(channel.url)) __builtin_trap();
        if (channel.url.find('\n') != std::string::npos || channel.name.find('\n') != std::string::npos)
            __builtin_trap();
        if (channel.url.front() == '#' || channel.deliverySystem != 0 || channel.frequency != 0) __builtin_trap();
        bytes += channel.name.size() + channel.url.size();
    }
    if (bytes > size) __builtin_trap();
    std::string trimmed = vantiro::trimWhitespace(text);
    if (vantiro::trimWhitespace(trimmed) != trimmed) __builtin_trap();
    return 0;
}
