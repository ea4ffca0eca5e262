#pragma once
#include <optional>
#include <string>

namespace vantiro {

// Where an http(s) stream URL's host listens.
struct StreamEndpoint {
    std::string host;  // without the brackets of an IPv6 literal
    std::string port;  // decimal 1..65535, as getaddrinfo takes it
};

// Host and port of an http or https URL (port 80 or 443 when it names none), or
// nothing when the entry cannot be probed: another scheme, no authority, no
// host, or a port that is not 1..65535 (read like strtol, trailing text ignored).
std::optional<StreamEndpoint> streamEndpoint(const std::string& url);

}  // namespace vantiro
