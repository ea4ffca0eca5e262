#include "online/reachability_probe.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace vantiro {
namespace {

constexpr int kTestTimeoutMs = 300;

// A socket on a loopback port, held for the test. `Listening` accepts
// connections (the kernel completes them), `Refusing` is bound but never
// listens, `Unanswered` listens with a full queue so new connects hang.
class LoopbackPort {
public:
    enum Kind { Listening, Refusing, Unanswered };

    explicit LoopbackPort(Kind kind, int family = AF_INET) : fd_(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (fd_ < 0) return;
        sockaddr_storage storage{};
        socklen_t length;
        if (family == AF_INET6) {
            auto& address = reinterpret_cast<sockaddr_in6&>(storage);
            address.sin6_family = AF_INET6;
            address.sin6_addr = in6addr_loopback;
            length = sizeof address;
        } else {
            auto& address = reinterpret_cast<sockaddr_in&>(storage);
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof address;
        }
        auto* address = reinterpret_cast<sockaddr*>(&storage);
        if (::bind(fd_, address, length) != 0 || ::getsockname(fd_, address, &length) != 0) return;
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(storage).sin6_port
                                         : reinterpret_cast<sockaddr_in&>(storage).sin_port);
        if (kind == Listening) ::listen(fd_, 16);
        if (kind == Unanswered) {
            ::listen(fd_, 0);
            for (int& filler : fillers_) {
                filler = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                ::connect(filler, address, length);
            }
        }
    }
    ~LoopbackPort() {
        for (int filler : fillers_)
            if (filler >= 0) ::close(filler);
        if (fd_ >= 0) ::close(fd_);
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    bool ok() const { return port_ > 0; }
    std::string port() const { return std::to_string(port_); }

private:
    int fd_;
    int port_ = 0;
    int fillers_[4] = {-1, -1, -1, -1};
};

std::vector<Channel> streams(const std::vector<std::string>& urls) {
    std::vector<Channel> channels;
    for (const std::string& url : urls) {
        Channel channel;
        channel.name = "x";
        channel.url = url;
        channels.push_back(channel);
    }
    return channels;
}

// Host names that glibc rejects before asking any name server.
const std::string kUnresolvable[] = {"http://bad..name/a", "https://x_y!/b", "http://a b:8080/c"};

TEST(ProbeReachable, AcceptingHostIsReachable) {
    LoopbackPort listening(LoopbackPort::Listening);
    ASSERT_TRUE(listening.ok());
    EXPECT_TRUE(probeReachable(streams({"http://127.0.0.1:" + listening.port() + "/live.m3u8"}), kTestTimeoutMs));
    EXPECT_TRUE(probeReachable(streams({"https://127.0.0.1:" + listening.port()}), kTestTimeoutMs));
    // The port is read like strtol: digits, then anything.
    EXPECT_TRUE(probeReachable(streams({"http://127.0.0.1:" + listening.port() + "x/"}), kTestTimeoutMs));
}

TEST(ProbeReachable, RefusingOrSilentHostIsNotReachable) {
    LoopbackPort refusing(LoopbackPort::Refusing);
    LoopbackPort unanswered(LoopbackPort::Unanswered);
    EXPECT_FALSE(probeReachable(streams({"http://127.0.0.1:" + refusing.port() + "/"}), kTestTimeoutMs));
    EXPECT_FALSE(probeReachable(streams({"http://127.0.0.1:" + unanswered.port() + "/"}), kTestTimeoutMs));
    EXPECT_FALSE(probeReachable({}, kTestTimeoutMs));
}

TEST(ProbeReachable, GivesUpAfterThreeFailedHosts) {
    LoopbackPort listening(LoopbackPort::Listening);
    LoopbackPort refusing(LoopbackPort::Refusing);
    std::string reachable = "http://127.0.0.1:" + listening.port() + "/";
    std::string refused = "http://127.0.0.1:" + refusing.port() + "/";

    std::vector<std::string> urls(std::begin(kUnresolvable), std::end(kUnresolvable));
    urls.push_back(reachable);
    EXPECT_FALSE(probeReachable(streams(urls), kTestTimeoutMs));

    EXPECT_TRUE(probeReachable(streams({kUnresolvable[0], refused, reachable}), kTestTimeoutMs));
    EXPECT_FALSE(probeReachable(streams({refused, kUnresolvable[1], refused, reachable}), kTestTimeoutMs));
}

TEST(ProbeReachable, EntriesWithoutHttpAuthorityAreSkippedUncounted) {
    LoopbackPort listening(LoopbackPort::Listening);
    std::string port = listening.port();
    std::vector<std::string> skipped = {
        "",
        "ab",
        "127.0.0.1:" + port,
        "rtmp://127.0.0.1:" + port + "/live",
        "udp://@239.0.0.1:" + port,
        "HTTP://127.0.0.1:" + port + "/",
        "http:///path",
        "http://:" + port + "/",
        "http://127.0.0.1:0/",
        "http://127.0.0.1:abc/",
        "http://127.0.0.1:-5/",
        "http://127.0.0.1:70000/",
    };
    // Never probed, so a host that would answer is still not offered.
    EXPECT_FALSE(probeReachable(streams(skipped), kTestTimeoutMs));

    std::vector<std::string> urls = skipped;
    urls.insert(urls.end(), {kUnresolvable[0], kUnresolvable[1], "http://127.0.0.1:" + port + "/"});
    EXPECT_TRUE(probeReachable(streams(urls), kTestTimeoutMs));
}

TEST(ProbeReachable, UserInformationStaysPartOfTheHostName) {
    LoopbackPort listening(LoopbackPort::Listening);
    EXPECT_FALSE(probeReachable(streams({"http://user:pw@127.0.0.1:" + listening.port() + "/"}), kTestTimeoutMs));
}

TEST(ProbeReachable, BracketedIpv6LiteralIsProbed) {
    LoopbackPort listening(LoopbackPort::Listening, AF_INET6);
    if (!listening.ok()) GTEST_SKIP() << "no IPv6 loopback here";
    EXPECT_TRUE(probeReachable(streams({"http://[::1]:" + listening.port() + "/live"}), kTestTimeoutMs));
    LoopbackPort refusing(LoopbackPort::Refusing, AF_INET6);
    EXPECT_FALSE(probeReachable(streams({"http://[::1]:" + refusing.port() + "/live"}), kTestTimeoutMs));
}

}  // namespace
}  // namespace vantiro
