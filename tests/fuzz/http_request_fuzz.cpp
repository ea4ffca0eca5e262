// libFuzzer target: what a client sends before the server answers. The request
// line parser, the escape decoder and the /play index reader take any bytes and
// keep their promises.
#include <cstdint>
#include <string>
#include <string_view>

#include "server/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view head(reinterpret_cast<const char*>(data), size);
    vantiro::requestHeadComplete(head);

    if (auto request = vantiro::parseRequestLine(head)) {
        std::string_view line = head.substr(0, head.find("\r\n"));
        // Method and target are the first two blank-separated words of the first line.
        if (request->method.find(' ') != std::string::npos || request->target.find(' ') != std::string::npos)
            __builtin_trap();
        if (line.substr(0, request->method.size() + 1) != request->method + " ") __builtin_trap();
        if (line.substr(request->method.size() + 1, request->target.size() + 1) != request->target + " ")
            __builtin_trap();
        long index = vantiro::channelIndexFromTarget(request->target);
        if (index < -1 || index > vantiro::kMaxChannelIndex) __builtin_trap();
    }

    // An escape turns three bytes into one, '+' stays one byte.
    if (auto decoded = vantiro::urlDecode(head)) {
        if (decoded->size() > size) __builtin_trap();
    }
    long index = vantiro::channelIndexFromTarget(head);
    if (index < -1 || index > vantiro::kMaxChannelIndex) __builtin_trap();
    return 0;
}
