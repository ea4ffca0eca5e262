// libFuzzer target: the host and port the reachability probe reads from a
// playlist's stream URL (the playlist comes from the network or any file).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "online/stream_endpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string url(reinterpret_cast<const char*>(data), size);
    auto endpoint = vantiro::streamEndpoint(url);
    if (!endpoint) return 0;
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) __builtin_trap();
    // The host is a non-empty piece of the URL's authority.
    if (endpoint->host.empty() || url.find(endpoint->host) == std::string::npos) __builtin_trap();
    if (endpoint->host.find('/') != std::string::npos) __builtin_trap();
    // The port is plain decimal text of a TCP port.
    if (endpoint->port.empty() || endpoint->port.find_first_not_of("0123456789") != std::string::npos)
        __builtin_trap();
    long port = std::strtol(endpoint->port.c_str(), nullptr, 10);
    if (port < 1 || port > 65535 || std::to_string(port) != endpoint->port) __builtin_trap();
    return 0;
}
