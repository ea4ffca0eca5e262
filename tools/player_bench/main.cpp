// player_bench MODE ...   (run under tools/dvbsim/dvbsim-run with a display)
//
//   startup            seconds from the window set-up to the first video frame of Alpha TV
//   zap N              N zaps each within the multiplex and across multiplexes:
//                      median seconds from switchChannel to the player's playing flag
//   peer-zap N SOCKET  the same zaps done by an mpv already running with
//                      --input-ipc-server=SOCKET: our tuner and relay, mpv loads the pipe
//   frames N           mean milliseconds per loop frame (overlay shown) while playing
//   idle               CPU share of the main loop with nothing playing for 3 s: the
//                      loop as it runs (capped at 60 fps when vsync is refused, as
//                      under Xvfb) and frames drawn back to back (the uncapped baseline)
//   peer-startup SOCKET seconds from the start to mpv's first picture of Alpha TV: our
//                      tuner and relay, then a new mpv (--idle, IPC at SOCKET) loads the pipe
//
// Results are printed as "name=value" lines.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dvb/ts_relay.h"
#include "shell/app.h"
#include "shell/render_loop.h"

using namespace vantiro;
using Clock = std::chrono::steady_clock;

namespace {

Channel service(const char* name, std::uint32_t frequency, std::int32_t system, std::uint16_t pmt,
                std::uint16_t video, std::uint16_t audio) {
    Channel c;
    c.name = name;
    c.frequency = frequency;
    c.deliverySystem = system;
    c.pmtPid = pmt;
    c.videoPid = video;
    c.audioPid = audio;
    c.pcrPid = video;
    return c;
}

// Alpha and Beta share 474 MHz; Delta is on 522 MHz.
std::vector<Channel> benchChannels() {
    return {service("Alpha TV", 474000000, 16, 0x1000, 0x100, 0x101),
            service("Beta TV", 474000000, 16, 0x1001, 0x102, 0x103),
            service("Delta TV", 522000000, 3, 0x1000, 0x100, 0x101)};
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The centre of the frame just drawn (the back buffer keeps it after the swap
// with Mesa under X) differs from the window's clear colour.
bool videoVisible() {
    unsigned char pixel[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(640, 360, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    return pixel[0] > 24 || pixel[1] > 24 || pixel[2] > 24;
}

bool framesUntil(App& app, double limitSeconds, bool (*done)(App&)) {
    auto start = Clock::now();
    while (secondsSince(start) < limitSeconds) {
        runOneFrame(app);
        if (done(app)) return true;
    }
    return false;
}

bool playing(App& app) { return app.player.playing(); }

bool setUp(App& app) {
    app.channels = benchChannels();
    app.openTuner();
    if (!app.tunerOpen) {
        std::fprintf(stderr, "player_bench: no tuner: %s\n", app.tunerError.c_str());
        return false;
    }
    if (!setUpWindowedPlayer(app)) return false;
    app.startTime = nowSeconds();
    app.lastActivity = app.startTime;
    return true;
}

int startup() {
    auto start = Clock::now();
    App app;
    if (!setUp(app)) return 1;
    app.switchChannel(0);
    bool ok = framesUntil(app, 20.0, [](App&) { return videoVisible(); });
    std::printf("startup_first_frame=%.3f\n", ok ? secondsSince(start) : -1.0);
    shutDownWindowedPlayer(app);
    return ok ? 0 : 1;
}

// Zaps Alpha -> Beta (same multiplex) and Beta -> Delta -> Alpha (other multiplex).
int zap(int rounds) {
    App app;
    if (!setUp(app)) return 1;
    std::vector<double> same, other;
    auto timeSwitch = [&](int index, std::vector<double>& into) {
        auto start = Clock::now();
        app.switchChannel(index);
        if (framesUntil(app, 15.0, playing)) into.push_back(secondsSince(start));
        framesUntil(app, 0.5, [](App&) { return false; });  // let it play a moment
    };
    app.switchChannel(0);
    framesUntil(app, 15.0, playing);
    for (int i = 0; i < rounds; ++i) {
        timeSwitch(1, same);   // Alpha -> Beta
        timeSwitch(2, other);  // Beta -> Delta
        timeSwitch(0, other);  // Delta -> Alpha
    }
    std::printf("zap_same_mux=%.3f\nzap_other_mux=%.3f\n", median(same), median(other));
    shutDownWindowedPlayer(app);
    return 0;
}

int frames(int count) {
    App app;
    if (!setUp(app)) return 1;
    app.switchChannel(0);
    framesUntil(app, 15.0, playing);
    framesUntil(app, 1.0, [](App&) { return false; });
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        app.lastActivity = nowSeconds();  // keep the overlay shown
        runOneFrame(app);
    }
    std::printf("frame_ms=%.2f\n", secondsSince(start) * 1000.0 / count);
    shutDownWindowedPlayer(app);
    return 0;
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int idle() {
    App app;
    if (!setUpWindowedPlayer(app)) return 1;
    constexpr double kSeconds = 3.0;
    // The loop ends itself after its screenshot.
    app.startTime = nowSeconds();
    app.lastActivity = app.startTime;
    app.screenshotPath = "/dev/null";
    app.screenshotDelay = kSeconds;
    double cpu = cpuSeconds();
    auto start = Clock::now();
    runMainLoop(app);
    double capped = (cpuSeconds() - cpu) / secondsSince(start);

    cpu = cpuSeconds();
    start = Clock::now();
    int frames = 0;
    while (secondsSince(start) < kSeconds) {
        runOneFrame(app);
        ++frames;
    }
    double uncapped = (cpuSeconds() - cpu) / secondsSince(start);
    std::printf("vsync=%d\nidle_cpu_loop=%.3f\nidle_cpu_uncapped=%.3f\nidle_fps_uncapped=%.0f\n", app.vsync ? 1 : 0,
                capped, uncapped, frames / kSeconds);
    shutDownWindowedPlayer(app);
    return 0;
}

// A line-based client of mpv's JSON IPC.
class MpvIpc {
public:
    // Retries while mpv is still starting (a fresh socket each time).
    explicit MpvIpc(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        for (int attempt = 0; attempt < 400; ++attempt) {
            fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return;
            ::close(fd_);
            fd_ = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~MpvIpc() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void send(const std::string& line) { (void)!::write(fd_, (line + "\n").data(), line.size() + 1); }
    // Waits for a line containing `text`; false after `limit` seconds.
    bool waitFor(const std::string& text, double limit) {
        auto start = Clock::now();
        while (secondsSince(start) < limit) {
            auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (std::getenv("PLAYER_BENCH_TRACE")) std::fprintf(stderr, "ipc: %s\n", line.c_str());
                if (line.find(text) != std::string::npos) return true;
                continue;
            }
            char chunk[4096];
            timeval timeout{0, 100000};
            setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            ssize_t got = ::read(fd_, chunk, sizeof chunk);
            if (got > 0) buffer_.append(chunk, static_cast<size_t>(got));
        }
        return false;
    }

private:
    int fd_ = -1;
    std::string buffer_;
};

std::string pipePath(const TsRelay& relay) {
    return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(relay.readFd());
}

int peerStartup(const std::string& socketPath) {
    auto begin = Clock::now();
    Channel alpha = benchChannels()[0];
    Tuner tuner;
    TsRelay relay;
    std::string error;
    if (!tuner.open(0, &error) || !tuner.tune(alpha.frequency, alpha.deliverySystem, kChannelTuneTimeoutMs, &error) ||
        !relay.start(tuner.adapter(), {0, alpha.pmtPid, alpha.videoPid, alpha.audioPid, alpha.pcrPid}, &error)) {
        std::fprintf(stderr, "player_bench: %s\n", error.c_str());
        return 1;
    }
    pid_t child = ::fork();
    if (child == 0) {
        std::string ipc = "--input-ipc-server=" + socketPath;
        const char* extra = std::getenv("PLAYER_BENCH_MPV_OPTION");  // one more mpv option, if any
        ::unsetenv("LD_PRELOAD");  // mpv is the peer, not a user of the simulated adapter
        ::execlp("mpv", "mpv", "--idle=yes", "--vo=gpu", "--gpu-sw=yes", "--really-quiet", "--demuxer-lavf-format=mpegts",
                 ipc.c_str(), extra ? extra : "--no-terminal", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    MpvIpc mpv(socketPath);
    bool shown = false;
    if (mpv.ok()) {
        mpv.send(R"({"command":["loadfile",")" + pipePath(relay) + R"(","replace"]})");
        shown = mpv.waitFor("\"playback-restart\"", 20.0);
    }
    std::printf("peer_startup_first_frame=%.3f\n", shown ? secondsSince(begin) : -1.0);
    if (mpv.ok()) mpv.send(R"({"command":["quit"]})");
    int status = 0;
    ::waitpid(child, &status, 0);
    relay.stop();
    return shown ? 0 : 1;
}

// Our tuner and relay, mpv playing the relay's pipe through /proc/<pid>/fd.
int peerZap(int rounds, const std::string& socketPath) {
    MpvIpc mpv(socketPath);
    if (!mpv.ok()) {
        std::fprintf(stderr, "player_bench: no mpv at %s\n", socketPath.c_str());
        return 1;
    }
    std::vector<Channel> channels = benchChannels();
    Tuner tuner;
    TsRelay relay;
    std::string error;
    if (!tuner.open(0, &error)) {
        std::fprintf(stderr, "player_bench: %s\n", error.c_str());
        return 1;
    }
    std::uint32_t tunedFrequency = 0;
    auto start = [&](int index) {
        const Channel& c = channels[static_cast<size_t>(index)];
        mpv.send(R"({"command":["stop"]})");
        relay.stop();
        if (c.frequency != tunedFrequency) {
            tuner.tune(c.frequency, c.deliverySystem, kChannelTuneTimeoutMs);
            tunedFrequency = c.frequency;
        }
        relay.start(tuner.adapter(), {0, c.pmtPid, c.videoPid, c.audioPid, c.pcrPid});
        mpv.send(R"({"command":["loadfile",")" + pipePath(relay) + R"(","replace"]})");
    };
    std::vector<double> same, other;
    auto timeSwitch = [&](int index, std::vector<double>& into) {
        auto begin = Clock::now();
        start(index);
        if (mpv.waitFor("\"file-loaded\"", 15.0)) into.push_back(secondsSince(begin));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    };
    start(0);
    mpv.waitFor("\"file-loaded\"", 15.0);
    for (int i = 0; i < rounds; ++i) {
        timeSwitch(1, same);
        timeSwitch(2, other);
        timeSwitch(0, other);
    }
    mpv.send(R"({"command":["quit"]})");
    relay.stop();
    std::printf("peer_zap_same_mux=%.3f\npeer_zap_other_mux=%.3f\n", median(same), median(other));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int count = argc > 2 ? std::atoi(argv[2]) : 3;
    if (mode == "startup") return startup();
    if (mode == "zap") return zap(count);
    if (mode == "frames") return frames(count);
    if (mode == "idle") return idle();
    if (mode == "peer-zap" && argc > 3) return peerZap(count, argv[3]);
    if (mode == "peer-startup" && argc > 2) return peerStartup(argv[2]);
    std::fprintf(stderr, "usage: player_bench startup | zap N | frames N | idle | peer-zap N SOCKET\n");
    return 64;
}
