// Benchmark driver for many viewers of `vantiro serve`.
//
//   viewer_bench watch PORT SECONDS STALLED TARGET...
//       opens one connection per TARGET at once and reads them all for SECONDS.
//       The first STALLED viewers read the answer's first bytes and then
//       nothing. Per reading viewer it checks the transport stream's continuity
//       counters; prints the viewers that read, how many of them saw a packet
//       missing (lossy=), their median and lowest rate in Mbit/s, and whether
//       each stalled viewer was disconnected (dropped=).
//   viewer_bench ttfb PORT TARGET ROUNDS
//       per round a new connection asks for TARGET; prints the milliseconds from
//       the request to the first byte after the answer's header (ms=a,b,...).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "loopback_client.h"

namespace {

using bench::awaitFirstBodyByte;
using bench::connectLoopback;
using bench::sendAll;
using Clock = std::chrono::steady_clock;
constexpr std::size_t kPacket = 188;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool sendRequest(int fd, const std::string& target) {
    return sendAll(fd, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

// Follows the continuity counters of every PID of one viewer's stream.
class ContinuityCheck {
public:
    void feed(const std::uint8_t* data, std::size_t size) {
        pending_.insert(pending_.end(), data, data + size);
        std::size_t at = 0;
        for (; at + kPacket <= pending_.size(); at += kPacket) packet(&pending_[at]);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    }
    std::uint64_t gaps() const { return gaps_; }

private:
    void packet(const std::uint8_t* p) {
        if (p[0] != 0x47) {
            ++gaps_;  // lost alignment counts as loss
            return;
        }
        unsigned pid = ((p[1] & 0x1Fu) << 8) | p[2];
        if (pid == 0x1FFF) return;
        unsigned control = (p[3] >> 4) & 3u;
        unsigned counter = p[3] & 0x0Fu;
        bool discontinuity = (control & 2u) && p[4] > 0 && (p[5] & 0x80u);
        if (!(control & 1u)) return;  // no payload: the counter does not advance
        int& last = last_[pid];
        if (last >= 0 && !discontinuity && counter != ((static_cast<unsigned>(last) + 1) & 0x0Fu) &&
            counter != static_cast<unsigned>(last))
            ++gaps_;
        last = static_cast<int>(counter);
    }

    std::vector<std::uint8_t> pending_;
    std::array<int, 8192> last_ = [] {
        std::array<int, 8192> a{};
        a.fill(-1);
        return a;
    }();
    std::uint64_t gaps_ = 0;
};

struct Viewer {
    int fd = -1;
    bool stalled = false;
    bool headerDone = false;
    bool ended = false;
    std::string head;
    std::uint64_t bytes = 0;
    ContinuityCheck check;
};

// Takes what arrived on one viewer; false when its connection ended.
bool readViewer(Viewer& viewer, std::vector<std::uint8_t>& buffer) {
    ssize_t n = ::recv(viewer.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
    if (n <= 0) return true;
    const std::uint8_t* data = buffer.data();
    std::size_t size = static_cast<std::size_t>(n);
    if (!viewer.headerDone) {
        viewer.head.append(reinterpret_cast<const char*>(data), size);
        std::size_t end = viewer.head.find("\r\n\r\n");
        if (end == std::string::npos) return true;
        viewer.headerDone = true;
        std::string body = viewer.head.substr(end + 4);
        viewer.check.feed(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
        viewer.bytes += body.size();
        return true;
    }
    viewer.check.feed(data, size);
    viewer.bytes += size;
    return true;
}

int runWatch(int argc, char** argv) {
    if (argc < 6) return 2;
    int port = std::atoi(argv[2]);
    double duration = std::atof(argv[3]);
    int stalled = std::atoi(argv[4]);
    std::vector<Viewer> viewers(static_cast<std::size_t>(argc - 5));
    for (std::size_t i = 0; i < viewers.size(); ++i) {
        Viewer& v = viewers[i];
        v.stalled = static_cast<int>(i) < stalled;
        // A player that stops reading holds little in its own buffer.
        v.fd = connectLoopback(port, v.stalled ? 16384 : 0);
        if (v.fd < 0 || !sendRequest(v.fd, argv[5 + i])) {
            std::fprintf(stderr, "watch: cannot connect\n");
            return 1;
        }
    }
    std::vector<std::uint8_t> buffer(1 << 16);
    std::vector<pollfd> fds(viewers.size());
    auto start = Clock::now();
    while (seconds(Clock::now() - start) < duration) {
        for (std::size_t i = 0; i < viewers.size(); ++i) {
            Viewer& v = viewers[i];
            // A stalled viewer only notices whether its connection was closed.
            bool wants = !v.ended && (!v.stalled || !v.headerDone);
            fds[i] = {v.fd, static_cast<short>(wants ? POLLIN : 0), 0};
        }
        if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
        for (std::size_t i = 0; i < viewers.size(); ++i) {
            Viewer& v = viewers[i];
            if (v.ended) continue;
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && !readViewer(v, buffer)) v.ended = true;
            if (v.stalled && v.headerDone && (fds[i].revents & (POLLHUP | POLLERR))) v.ended = true;
        }
    }
    double elapsed = seconds(Clock::now() - start);
    // Whether the server closed each stalled viewer: drain what its socket holds.
    for (Viewer& v : viewers) {
        if (!v.stalled || v.ended) continue;
        for (;;) {
            ssize_t n = ::recv(v.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n > 0) continue;
            if (n == 0) v.ended = true;
            break;
        }
    }
    std::vector<double> rates;
    int lossy = 0;
    int ended = 0;
    for (const Viewer& v : viewers) {
        if (v.stalled) continue;
        rates.push_back(static_cast<double>(v.bytes) * 8 / elapsed / 1e6);
        if (v.check.gaps() > 0) ++lossy;
        if (v.ended) ++ended;
    }
    std::sort(rates.begin(), rates.end());
    std::printf("readers=%zu lossy=%d ended=%d median_mbps=%.3f min_mbps=%.3f dropped=", rates.size(), lossy, ended,
                rates.empty() ? 0.0 : rates[rates.size() / 2], rates.empty() ? 0.0 : rates.front());
    bool first = true;
    for (const Viewer& v : viewers) {
        if (!v.stalled) continue;
        std::printf("%s%d", first ? "" : ",", v.ended ? 1 : 0);
        first = false;
    }
    std::printf("\n");
    for (Viewer& v : viewers) ::close(v.fd);
    return 0;
}

int runTtfb(int argc, char** argv) {
    if (argc < 5) return 2;
    int port = std::atoi(argv[2]);
    std::string target = argv[3];
    int rounds = std::atoi(argv[4]);
    std::printf("ms=");
    for (int r = 0; r < rounds; ++r) {
        auto since = Clock::now();
        int fd = connectLoopback(port);
        if (fd < 0 || !sendRequest(fd, target)) return 1;
        double ms = awaitFirstBodyByte(fd, 10000) ? seconds(Clock::now() - since) * 1000 : -1;
        ::close(fd);
        if (ms < 0) {
            std::fprintf(stderr, "ttfb: no stream from %s\n", target.c_str());
            return 1;
        }
        std::printf("%s%.2f", r ? "," : "", ms);
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int status = 2;
    if (mode == "watch") status = runWatch(argc, argv);
    else if (mode == "ttfb") status = runTtfb(argc, argv);
    if (status == 2) std::fprintf(stderr, "usage: see the top of viewer_bench.cpp\n");
    return status;
}
