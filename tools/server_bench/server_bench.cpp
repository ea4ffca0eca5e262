// Benchmark driver for the TS relay and the HTTP TV server.
//
//   server_bench relay ADAPTER FREQ_HZ DELSYS SECONDS PID...
//       tunes, relays the PIDs and reads the pipe as fast as it comes for
//       SECONDS; prints bytes, whether the DVR overflowed (or the relay ended) and
//       the process's CPU seconds.
//   server_bench load PORT THREADS REQUESTS TARGET
//       REQUESTS GETs of TARGET spread over THREADS, one connection each;
//       prints requests per second and failures.
//   server_bench respond
//       a trivial HTTP responder (a thread per connection, a fixed status
//       answer) on an ephemeral port; prints the port, serves until killed.
//   server_bench ttfb PORT TARGET_OR_- ROUNDS INDEX...
//       per round: POST /play?index=I (cycling through the indexes; skipped
//       when "-"), then GET TARGET... prints the milliseconds of every round
//       from the switch request to the first stream byte (ms=), and the
//       wall-clock time of each first byte (first_byte_wall=, seconds), to be
//       paired with the simulator's tune log.
//   server_bench firstbyte PATH
//       opens PATH (a FIFO another program writes), prints the wall-clock time
//       of the first byte (first_byte_wall=, seconds), then reads it to its end.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dvb/ts_relay.h"
#include "loopback_client.h"
#include "dvb/tuner.h"

namespace {

using bench::awaitFirstBodyByte;
using bench::connectLoopback;
using bench::sendAll;
using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One request on a new connection; the whole answer, or "" on failure.
std::string roundTrip(int port, const std::string& request) {
    int fd = connectLoopback(port);
    if (fd < 0) return "";
    sendAll(fd, request);
    std::string answer;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return answer;
}

std::string request(const std::string& method, const std::string& target) {
    return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

int runRelay(int argc, char** argv) {
    if (argc < 7) return 2;
    int adapter = std::atoi(argv[2]);
    auto frequency = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    int delsys = std::atoi(argv[4]);
    double duration = std::atof(argv[5]);
    std::vector<std::uint16_t> pids;
    for (int i = 6; i < argc; ++i) pids.push_back(static_cast<std::uint16_t>(std::strtoul(argv[i], nullptr, 0)));

    vantiro::Tuner tuner;
    std::string error;
    if (!tuner.open(adapter, &error) || !tuner.tune(frequency, delsys, 2500, &error)) {
        std::fprintf(stderr, "relay: %s\n", error.c_str());
        return 1;
    }
    vantiro::TsRelay relay;
    double cpuBefore = cpuSeconds();
    if (!relay.start(adapter, pids, &error)) {
        std::fprintf(stderr, "relay: %s\n", error.c_str());
        return 1;
    }
    auto start = Clock::now();
    std::vector<char> buffer(65536);
    std::uint64_t bytes = 0;
    bool ended = false;
    while (seconds(Clock::now() - start) < duration) {
        pollfd ready{relay.readFd(), POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        ssize_t n = ::read(relay.readFd(), buffer.data(), buffer.size());
        if (n <= 0) {
            ended = true;
            break;
        }
        bytes += static_cast<std::uint64_t>(n);
    }
    double elapsed = seconds(Clock::now() - start);
    // An overflow no longer ends the relay: it is counted.
    bool overflowed = ended || relay.overflowCount() > 0;
    relay.stop();
    std::printf("bytes=%llu seconds=%.3f overflow=%d cpu=%.3f\n", static_cast<unsigned long long>(bytes),
                elapsed, overflowed ? 1 : 0, cpuSeconds() - cpuBefore);
    return 0;
}

int runLoad(int argc, char** argv) {
    if (argc < 6) return 2;
    int port = std::atoi(argv[2]);
    int threads = std::atoi(argv[3]);
    int requests = std::atoi(argv[4]);
    std::string wire = request("GET", argv[5]);
    std::atomic<int> next{0}, failed{0};
    auto start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            while (next.fetch_add(1) < requests) {
                std::string answer = roundTrip(port, wire);
                if (answer.compare(0, 15, "HTTP/1.1 200 OK") != 0 && answer.compare(0, 15, "HTTP/1.0 200 OK") != 0)
                    ++failed;
            }
        });
    }
    for (auto& w : workers) w.join();
    double elapsed = seconds(Clock::now() - start);
    std::printf("rps=%.1f failed=%d seconds=%.3f\n", requests / elapsed, failed.load(), elapsed);
    return 0;
}

void respondTo(int client) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    static const std::string body = "current=0\nname=Demo clip\nchannels=1\nmode=demo\n";
    static const std::string answer =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body;
    sendAll(client, answer);
    ::close(client);
}

int runRespond() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) return 1;
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) std::thread(respondTo, client).detach();
    }
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Milliseconds from sending `wire` on a new connection to the first byte after
// the response header; -1 on failure. `wall` gets the wall-clock time of that byte.
double firstStreamByteMs(int port, const std::string& wire, Clock::time_point since, double& wall) {
    int fd = connectLoopback(port);
    if (fd < 0) return -1;
    double ms = -1;
    if (sendAll(fd, wire) && awaitFirstBodyByte(fd, 10000)) {
        ms = seconds(Clock::now() - since) * 1000;
        wall = wallSeconds();
    }
    ::close(fd);
    return ms;
}

int runTtfb(int argc, char** argv) {
    if (argc < 6) return 2;
    int port = std::atoi(argv[2]);
    std::string target = argv[3];
    int rounds = std::atoi(argv[4]);
    std::vector<std::string> indexes(argv + 5, argv + argc);
    std::vector<double> times;
    std::vector<double> walls;
    for (int r = 0; r < rounds; ++r) {
        auto since = Clock::now();
        const std::string& index = indexes[static_cast<std::size_t>(r) % indexes.size()];
        if (index != "-") {
            std::string answer = roundTrip(port, request("POST", "/play?index=" + index));
            if (answer.find("\r\n\r\nok\n") == std::string::npos) {
                std::fprintf(stderr, "ttfb: switch failed: %s\n", answer.c_str());
                return 1;
            }
        }
        double wall = 0;
        double ms = firstStreamByteMs(port, request("GET", target), since, wall);
        if (ms < 0) {
            std::fprintf(stderr, "ttfb: no stream\n");
            return 1;
        }
        times.push_back(ms);
        walls.push_back(wall);
    }
    std::printf("ms=");
    for (std::size_t i = 0; i < times.size(); ++i) std::printf("%s%.1f", i ? "," : "", times[i]);
    std::printf(" first_byte_wall=");
    for (std::size_t i = 0; i < walls.size(); ++i) std::printf("%s%.6f", i ? "," : "", walls[i]);
    std::printf("\n");
    return 0;
}

int runFirstByte(int argc, char** argv) {
    if (argc < 3) return 2;
    int fd = ::open(argv[2], O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    char buffer[65536];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        std::printf("first_byte_wall=%.6f\n", wallSeconds());
        std::fflush(stdout);
    }
    while (n > 0) n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int status = 2;
    if (mode == "relay") status = runRelay(argc, argv);
    else if (mode == "load") status = runLoad(argc, argv);
    else if (mode == "respond") status = runRespond();
    else if (mode == "ttfb") status = runTtfb(argc, argv);
    else if (mode == "firstbyte") status = runFirstByte(argc, argv);
    if (status == 2) std::fprintf(stderr, "usage: see the top of server_bench.cpp\n");
    return status;
}
