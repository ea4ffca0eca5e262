#include "online/reachability_probe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantiro {
namespace {

constexpr int kMaxFailedHosts = 3;
constexpr long kMaxPort = 65535;

struct Endpoint {
    std::string host;
    std::string port;  // decimal text, as getaddrinfo takes it
};

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

struct AddrInfoFree {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// Port text after the authority's last ':', read like strtol (base 10,
// trailing text ignored); nullopt when it is no usable TCP port.
std::optional<long> parsePort(const std::string& text) {
    errno = 0;
    long port = std::strtol(text.c_str(), nullptr, 10);
    if (port <= 0 || port > kMaxPort) return std::nullopt;
    return port;
}

// Host and port of an http(s) stream URL, or nullopt when the entry is not
// probe-able (other scheme, no authority, no host, bad port).
std::optional<Endpoint> streamEndpoint(const std::string& url) {
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
            return Endpoint{host, std::to_string(port)};
        }
    }

    size_t colon = authority.rfind(':');
    if (colon == std::string::npos) return Endpoint{authority, std::to_string(defaultPort)};
    std::string host = authority.substr(0, colon);
    auto port = parsePort(authority.substr(colon + 1));
    if (host.empty() || !port) return std::nullopt;
    return Endpoint{host, std::to_string(*port)};
}

// Waits until `fd` is writable or `timeoutMs` has passed, riding out signals.
bool waitWritable(int fd, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd, POLLOUT, 0};
        int ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

bool connectsWithin(const addrinfo& address, int timeoutMs) {
    Socket socket(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                           address.ai_protocol));
    if (socket.get() < 0) return false;
    if (::connect(socket.get(), address.ai_addr, address.ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    if (!waitWritable(socket.get(), timeoutMs)) return false;
    int socketError = 0;
    socklen_t length = sizeof socketError;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &socketError, &length) != 0) return false;
    return socketError == 0;
}

bool hostAcceptsConnection(const Endpoint& endpoint, int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    if (::getaddrinfo(endpoint.host.c_str(), endpoint.port.c_str(), &hints, &raw) != 0) return false;
    AddrInfoList addresses(raw);
    for (const addrinfo* address = addresses.get(); address; address = address->ai_next) {
        if (connectsWithin(*address, timeoutMs)) return true;
    }
    return false;
}

}  // namespace

bool probeReachable(const std::vector<Channel>& channels, int timeoutMs) {
    int failedHosts = 0;
    for (const Channel& channel : channels) {
        auto endpoint = streamEndpoint(channel.url);
        if (!endpoint) continue;
        if (hostAcceptsConnection(*endpoint, timeoutMs)) return true;
        if (++failedHosts == kMaxFailedHosts) return false;
    }
    return false;
}

}  // namespace vantiro
