#include "online/stream_endpoint.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace vantiro {
namespace {

constexpr long kMaxPort = 65535;

// Port text after the authority's last ':', read like strtol (base 10,
// trailing text ignored); nullopt when it is no usable TCP port.
std::optional<long> parsePort(const std::string& text) {
    errno = 0;
    long port = std::strtol(text.c_str(), nullptr, 10);
    if (port <= 0 || port > kMaxPort) return std::nullopt;
    return port;
}

}  // namespace

std::optional<StreamEndpoint> streamEndpoint(const std::string& url) {
    if (url.size() < 3) return std::nullopt;
    size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) return std::nullopt;
    std::string_view scheme(url.data(), schemeEnd);
    long defaultPort;
    if (scheme == "http")
        defaultPort = 80;
    else if (scheme == "https")
        defaultPort = 443;
    else
        return std::nullopt;

    size_t authorityStart = schemeEnd + 3;
    size_t authorityEnd = url.find('/', authorityStart);
    if (authorityEnd == std::string::npos) authorityEnd = url.size();
    std::string authority = url.substr(authorityStart, authorityEnd - authorityStart);
    if (authority.empty()) return std::nullopt;

    // A bracketed IPv6 literal holds colons of its own; the port follows "]:".
    if (authority.front() == '[') {
        size_t close = authority.find(']');
        if (close != std::string::npos) {
            std::string host = authority.substr(1, close - 1);
            std::string rest = authority.substr(close + 1);
            long port = defaultPort;
            if (!rest.empty()) {
                if (rest.front() != ':') return std::nullopt;
                auto parsed = parsePort(rest.substr(1));
                if (!parsed) return std::nullopt;
                port = *parsed;
            }
            if (host.empty()) return std::nullopt;
            return StreamEndpoint{host, std::to_string(port)};
        }
    }

    size_t colon = authority.rfind(':');
    if (colon == std::string::npos) return StreamEndpoint{authority, std::to_string(defaultPort)};
    std::string host = authority.substr(0, colon);
    auto port = parsePort(authority.substr(colon + 1));
    if (host.empty() || !port) return std::nullopt;
    return StreamEndpoint{host, std::to_string(*port)};
}

}  // namespace vantiro
