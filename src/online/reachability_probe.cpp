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

#include "online/stream_endpoint.h"

namespace vantiro {
namespace {

constexpr int kMaxFailedHosts = 3;

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

bool hostAcceptsConnection(const StreamEndpoint& endpoint, int timeoutMs) {
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
