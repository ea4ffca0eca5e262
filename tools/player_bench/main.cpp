// player_bench MODE ...   (zap and start-up modes under tools/dvbsim/dvbsim-run, all with a display)
//
//   zap N               N rounds of zaps: Alpha -> Beta (same multiplex), Beta -> Delta and
//                       Delta -> Alpha (other multiplex); seconds from switchChannel to
//                       libmpv's "playback-restart" of the new start, read by a second client
//                       of the player as it arrives, and (*_drawn) to the first loop frame
//                       drawn after the loop saw it
//   peer-zap N SOCKET   the same zaps by mpv (started with --input-ipc-server=SOCKET) on our
//                       tuner, multiplex source and service pipe, switched as the window
//                       switches: seconds from the switch to mpv's "playback-restart" event
//   startup             seconds from the window set-up to the first frame of Alpha TV drawn
//   peer-startup SOCKET seconds from a new mpv's process start to its "playback-restart" of
//                       Alpha TV, our tuner and pipe set up meanwhile
//   frames FILE S       CPU of this process per second while the loop plays FILE for S seconds
//                       at 1280x720 with the overlay shown, and the frames per second the
//                       loop drew
//   peer-frames FILE S SOCKET  the same for mpv's own window (1280x720) playing FILE
//   idle                CPU share of the main loop with nothing playing for 3 s: the loop as
//                       it runs (drawing only what changed, capped at 60 fps when vsync is
//                       refused, as under Xvfb) and frames drawn back to back (the uncapped
//                       baseline)
//
// Experiments (never set by bench/player.sh): PLAYER_BENCH_LOG=LEVEL (e.g. "v") prints
// libmpv's messages of the zaps and every loop frame until the first picture (drawn or
// not, and how long it took) on standard error with the seconds since the switch
// began, to see where a zap spends its time; mpv's own are had with
// PLAYER_BENCH_MPV_OPTIONS="--log-file=FILE".
//
// mpv runs with the options of ours that matter for the measurement (the demuxer and its
// probing, hardware decoding, the null audio fallback) and, for zaps and the start-up, a
// 1280x720 window that stays open between files, as ours does. Zaps within the multiplex start at
// phases spread evenly over the 1 s GOP of the simulated streams, measured from the tune
// (the simulated stream is a function of the time since lock), so that both players meet
// the same key-frame waits. Results are printed as "name=value value ..." lines, one
// value per run.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <fcntl.h>
#include <mpv/client.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "shell/app.h"
#include "shell/render_loop.h"
#include "dvbsim/standard_band_channels.h"

using namespace vantiro;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kGopSeconds = 1.0;  // key-frame interval of the simulated streams
constexpr const char* kTuneLogFallback = "/tmp/player_bench_tunes.log";

// Alpha TV and Beta TV share 474 MHz; Delta TV is on 522 MHz.
constexpr int kAlpha = 0;
constexpr int kBeta = 1;
constexpr int kDelta = 3;

std::vector<Channel> benchChannels() { return dvbsim::standardBandChannels(); }

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void printValues(const char* name, const std::vector<double>& values) {
    std::printf("%s=", name);
    for (double v : values) std::printf("%.4f ", v);
    std::printf("\n");
}

// The simulator appends a line per tune to its tune log, with the wall clock as AT=<seconds>.
const char* tuneLogPath() {
    const char* path = std::getenv("DVBSIM_TUNE_LOG");
    if (!path || !*path) {
        ::setenv("DVBSIM_TUNE_LOG", kTuneLogFallback, 1);
        path = kTuneLogFallback;
    }
    return path;
}

double lastTuneWallTime() {
    std::ifstream in(tuneLogPath());
    std::string line;
    double when = -1;
    while (std::getline(in, line)) {
        auto at = line.find(" AT=");
        if (at != std::string::npos) when = std::atof(line.c_str() + at + 4);
    }
    return when;
}

// Waits until the time since the tune is `phase` seconds past a whole GOP.
void waitForPhase(double tuneWallTime, double phase) {
    if (tuneWallTime < 0) return;
    double since = wallSeconds() - tuneWallTime;
    double target = std::floor(since / kGopSeconds) * kGopSeconds + phase;
    if (target < since) target += kGopSeconds;
    std::this_thread::sleep_for(std::chrono::duration<double>(target - since));
}

// Frames are run as the window's main loop runs them, at its pace.
bool framesUntil(App& app, double limitSeconds, bool (*done)(App&)) {
    PacedFrames frames(app);
    auto start = Clock::now();
    while (secondsSince(start) < limitSeconds) {
        frames.run();
        if (done(app)) return true;
    }
    return false;
}

// libmpv reports the start of playback only after the render call of a loop frame has
// drawn the first picture; the loop sees that event at the start of its next frame. The
// picture was therefore on screen when the frame before the one that saw the event
// ended (its buffer swap), and that is the time taken, as mpv's own event marks the
// picture shown by its window. Returns seconds from `since`, or -1 after `limit`.
double secondsToFirstPicture(App& app, Clock::time_point since, double limit) {
    PacedFrames frames(app);
    auto previousEnd = Clock::now();
    while (secondsSince(since) < limit) {
        auto frameStart = Clock::now();
        bool drawn = frames.run();
        if (std::getenv("PLAYER_BENCH_LOG"))
            std::fprintf(stderr, "%8.4f frame %s %.4f\n", secondsSince(since), drawn ? "drawn" : "waited",
                         secondsSince(frameStart));
        if (app.player.presenting()) return std::chrono::duration<double>(previousEnd - since).count();
        previousEnd = Clock::now();
    }
    return -1;
}

// libmpv's "playback-restart" of ours as it arrives, read by a second client of the
// player on a thread of its own: the event mpv's IPC client reads of the peer. A start
// counts from its "start-file" on, so that events of the file before never count.
class RestartWatch {
public:
    explicit RestartWatch(Player& player) : client_(player.newClient("player_bench")) {
        if (const char* level = std::getenv("PLAYER_BENCH_LOG"); client_ && level) {
            mpv_request_log_messages(client_, level);
            logging_ = true;
        }
        if (client_) thread_ = std::thread([this] { run(); });
    }
    ~RestartWatch() {
        stopping_ = true;
        if (thread_.joinable()) {
            mpv_wakeup(client_);
            thread_.join();
        }
        if (client_) mpv_destroy(client_);
    }
    RestartWatch(const RestartWatch&) = delete;
    RestartWatch& operator=(const RestartWatch&) = delete;

    // A switch is about to start a file.
    void arm() {
        armedAt_ = Clock::now();
        restartedNs_ = -1;
        armed_ = true;
    }
    // Seconds from `since` to the restart of the file started after `arm`; -1 until it came.
    double secondsFrom(Clock::time_point since) const {
        std::int64_t at = restartedNs_.load();
        if (at < 0) return -1;
        return std::chrono::duration<double>(Clock::time_point(std::chrono::nanoseconds(at)) - since).count();
    }

private:
    void run() {
        bool started = false;
        while (!stopping_) {
            mpv_event* event = mpv_wait_event(client_, 0.1);
            if (event->event_id == MPV_EVENT_SHUTDOWN) return;
            if (logging_) log(*event);
            if (event->event_id == MPV_EVENT_START_FILE) started = armed_.exchange(false);
            if (event->event_id == MPV_EVENT_PLAYBACK_RESTART && started) {
                restartedNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   Clock::now().time_since_epoch()).count();
                started = false;
            }
        }
    }

    mpv_handle* client_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> armed_{false};
    void log(const mpv_event& event) const {
        double since = secondsSince(armedAt_.load());
        if (event.event_id == MPV_EVENT_LOG_MESSAGE) {
            auto* message = static_cast<mpv_event_log_message*>(event.data);
            std::fprintf(stderr, "%8.4f [%s] %s", since, message->prefix, message->text);
        } else if (event.event_id != MPV_EVENT_NONE) {
            std::fprintf(stderr, "%8.4f event %s\n", since, mpv_event_name(event.event_id));
        }
    }

    std::atomic<std::int64_t> restartedNs_{-1};
    std::atomic<Clock::time_point> armedAt_{Clock::now()};
    bool logging_ = false;
};

bool never(App&) { return false; }

bool setUp(App& app) {
    app.channels = benchChannels();
    app.openTuner();
    if (!app.tunerOpen) {
        std::fprintf(stderr, "player_bench: no tuner: %s\n", app.tunerError.c_str());
        return false;
    }
    app.tuneAhead(kAlpha);  // as the window does: Alpha TV is the first channel played
    if (!setUpWindowedPlayer(app)) return false;
    app.startTime = nowSeconds();
    app.lastActivity = app.startTime;
    return true;
}

int startup() {
    auto start = Clock::now();
    App app;
    if (!setUp(app)) return 1;
    app.switchChannel(kAlpha);
    double shown = secondsToFirstPicture(app, start, 20.0);
    std::printf("startup_first_picture=%.4f\n", shown);
    shutDownWindowedPlayer(app);
    return shown > 0 ? 0 : 1;
}

// Alpha -> Beta at GOP phases i / rounds, then Beta -> Delta -> Alpha. Each zap is
// timed at libmpv's playback-restart (as mpv's is) and, for reference, at the end of
// the first loop frame drawn after the loop saw it.
int zap(int rounds) {
    tuneLogPath();
    App app;
    if (!setUp(app)) return 1;
    // Gone before the player: libmpv's shutdown waits for every client to let go.
    auto restarts = std::make_unique<RestartWatch>(app.player);
    std::vector<double> same, other, sameDrawn, otherDrawn;
    auto timeSwitch = [&](int index, std::vector<double>& into, std::vector<double>& drawn) {
        auto start = Clock::now();
        restarts->arm();
        app.switchChannel(index);
        if (std::getenv("PLAYER_BENCH_LOG")) std::fprintf(stderr, "%8.4f switch returned\n", secondsSince(start));
        double shown = secondsToFirstPicture(app, start, 15.0);
        if (shown > 0) drawn.push_back(shown);
        auto waited = Clock::now();  // the event reaches the watch's thread a moment later at most
        while (restarts->secondsFrom(start) < 0 && secondsSince(waited) < 1.0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (double restarted = restarts->secondsFrom(start); shown > 0 && restarted > 0) into.push_back(restarted);
        framesUntil(app, 0.5, never);  // let it play a moment
    };
    app.switchChannel(kAlpha);
    secondsToFirstPicture(app, Clock::now(), 15.0);
    framesUntil(app, 0.5, never);
    for (int i = 0; i < rounds; ++i) {
        waitForPhase(lastTuneWallTime(), kGopSeconds * i / rounds);
        timeSwitch(kBeta, same, sameDrawn);
        timeSwitch(kDelta, other, otherDrawn);
        timeSwitch(kAlpha, other, otherDrawn);
    }
    printValues("zap_same_mux", same);
    printValues("zap_other_mux", other);
    printValues("zap_same_mux_drawn", sameDrawn);
    printValues("zap_other_mux_drawn", otherDrawn);
    restarts.reset();
    shutDownWindowedPlayer(app);
    return 0;
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Frames of the video shown: those the playback clock passed (time-pos times the frame
// rate), less those the video output or the decoder dropped. The same properties are
// read from both players.
struct FrameCounts {
    double position = -1;
    double rate = -1;
    double droppedByOutput = -1;
    double droppedByDecoder = -1;
};

template <typename Get>
FrameCounts frameCounts(Get get) {
    double rate = get("container-fps");
    if (rate <= 0) rate = get("estimated-vf-fps");  // older libmpv names
    return {get("time-pos"), rate, get("vo-drop-frame-count"), get("decoder-frame-drop-count")};
}

// Prints PREFIX_cpu_ms_per_frame (CPU of the whole process per video frame shown) and
// PREFIX_shown_fps; -1 when the counts are missing or the run failed.
void printFrameCost(const char* prefix, bool ok, double cpuSeconds, double elapsed, const FrameCounts& before,
                    const FrameCounts& after) {
    bool counted = before.position >= 0 && after.position > before.position && after.rate > 0 &&
                   before.droppedByOutput >= 0 && before.droppedByDecoder >= 0;
    double shown = (after.position - before.position) * after.rate - (after.droppedByOutput - before.droppedByOutput) -
                   (after.droppedByDecoder - before.droppedByDecoder);
    if (std::getenv("PLAYER_BENCH_TRACE"))
        std::fprintf(stderr, "%s: position %.3f -> %.3f at %.2f fps, dropped %.0f + %.0f\n", prefix, before.position,
                     after.position, after.rate, after.droppedByOutput - before.droppedByOutput,
                     after.droppedByDecoder - before.droppedByDecoder);
    counted = counted && shown > 0;
    std::printf("%s_cpu_ms_per_frame=%.3f\n%s_shown_fps=%.2f\n", prefix, ok && counted ? cpuSeconds * 1000.0 / shown : -1.0,
                prefix, counted ? shown / elapsed : -1.0);
}

// Plays a file (no tuner) with the overlay kept on screen.
int frames(const char* path, double seconds) {
    App app;
    app.channels = benchChannels();
    if (!setUpWindowedPlayer(app)) return 1;
    app.startTime = nowSeconds();
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    std::string error;
    if (fd < 0 || !app.player.playFd(fd, &error)) {
        std::fprintf(stderr, "player_bench: cannot play %s: %s\n", path, error.c_str());
        return 1;
    }
    auto keepOverlay = +[](App& a) {
        if (std::getenv("PLAYER_BENCH_NO_OVERLAY")) return false;  // experiments: the video alone
        a.lastActivity = nowSeconds();
        return false;
    };
    bool shown = secondsToFirstPicture(app, Clock::now(), 15.0) > 0;
    framesUntil(app, 2.0, keepOverlay);  // past the start's decoder and cache warm-up
    FrameCounts before = frameCounts([&](const char* name) { return app.player.numberProperty(name); });
    double cpu = cpuSeconds();
    auto start = Clock::now();
    int loops = 0;
    PacedFrames paced(app);
    while (secondsSince(start) < seconds) {
        keepOverlay(app);
        if (paced.run()) ++loops;
    }
    double elapsed = secondsSince(start);
    double spent = cpuSeconds() - cpu;
    FrameCounts after = frameCounts([&](const char* name) { return app.player.numberProperty(name); });
    bool ok = shown && app.player.active();
    printFrameCost("frames", ok, spent, elapsed, before, after);
    std::printf("frames_loop_fps=%.2f\n", loops / elapsed);
    app.player.stop();
    shutDownWindowedPlayer(app);
    ::close(fd);
    return ok ? 0 : 1;
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
        app.redrawRequested = true;  // drawn whether or not anything changed
        runOneFrame(app);
        ++frames;
    }
    double uncapped = (cpuSeconds() - cpu) / secondsSince(start);
    std::printf("vsync=%d\nidle_cpu_loop=%.4f\nidle_cpu_uncapped=%.4f\nidle_fps_uncapped=%.0f\n", app.vsync ? 1 : 0,
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
        for (int attempt = 0; attempt < 1000; ++attempt) {
            fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return;
            ::close(fd_);
            fd_ = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~MpvIpc() {
        if (fd_ >= 0) ::close(fd_);
    }
    MpvIpc(const MpvIpc&) = delete;
    MpvIpc& operator=(const MpvIpc&) = delete;
    bool ok() const { return fd_ >= 0; }
    void send(const std::string& line) { (void)!::write(fd_, (line + "\n").data(), line.size() + 1); }
    // Forgets every line that has arrived so far.
    void drain() {
        buffer_.clear();
        char chunk[4096];
        while (::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT) > 0) {
        }
    }
    // Waits for a line containing `text` and returns it; empty after `limit` seconds.
    std::string waitFor(const std::string& text, double limit) {
        auto start = Clock::now();
        while (secondsSince(start) < limit) {
            auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (std::getenv("PLAYER_BENCH_TRACE")) std::fprintf(stderr, "ipc: %s\n", line.c_str());
                if (line.find(text) != std::string::npos) return line;
                continue;
            }
            char chunk[4096];
            timeval timeout{0, 20000};
            setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            ssize_t got = ::read(fd_, chunk, sizeof chunk);
            if (got > 0) buffer_.append(chunk, static_cast<size_t>(got));
        }
        return {};
    }

private:
    int fd_ = -1;
    std::string buffer_;
};

// The window of ours: 1280x720, open while nothing plays. mpv's own would be the
// video's size (a twelfth of the pixels for a software renderer to draw) and would
// close and open again at every zap.
const std::vector<std::string> kPeerWindow{"--force-window=yes", "--geometry=1280x720"};

// mpv as the peer: the options of ours that matter for a start (the transport stream
// demuxer without stream analysis, hardware decoding probing, the null audio fallback).
pid_t startMpv(const std::string& socketPath, const std::vector<std::string>& extra) {
    std::vector<std::string> args{"mpv",
                                  "--idle=yes",
                                  "--vo=gpu",
                                  "--gpu-sw=yes",
                                  "--really-quiet",
                                  "--no-terminal",
                                  "--no-config",
                                  "--demuxer-lavf-format=mpegts",
                                  "--demuxer-lavf-probe-info=nostreams",
                                  "--hwdec=auto-safe",
                                  "--audio-fallback-to-null=yes",
                                  "--input-ipc-server=" + socketPath};
    args.insert(args.end(), extra.begin(), extra.end());
    // More options for an experiment, blank separated (never set by bench/player.sh).
    if (const char* more = std::getenv("PLAYER_BENCH_MPV_OPTIONS")) {
        std::string list = more;
        for (size_t at = 0; at < list.size();) {
            size_t end = list.find(' ', at);
            if (end == std::string::npos) end = list.size();
            if (end > at) args.push_back(list.substr(at, end - at));
            at = end + 1;
        }
    }
    pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::unsetenv("LD_PRELOAD");  // mpv is the peer, not a user of the simulated adapter
        ::execvp("mpv", argv.data());
        ::_exit(127);
    }
    return child;
}

void stopMpv(MpvIpc& mpv, pid_t child) {
    if (mpv.ok()) mpv.send(R"({"command":["quit"]})");
    int status = 0;
    ::waitpid(child, &status, 0);
}

std::string pipePath(int fd) { return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd); }

std::string loadCommand(const std::string& target) {
    return R"({"command":["loadfile",")" + target + R"(","replace"]})";
}

// A numeric property through the IPC; -1 when mpv has none.
double ipcNumber(MpvIpc& mpv, const char* name) {
    static int requestId = 100;
    int id = ++requestId;
    mpv.send(std::string(R"({"command":["get_property",")") + name + R"("],"request_id":)" + std::to_string(id) + "}");
    std::string answer = mpv.waitFor("\"request_id\":" + std::to_string(id), 2.0);
    auto at = answer.find("\"data\":");
    if (at == std::string::npos || answer.find("\"error\":\"success\"") == std::string::npos) return -1;
    return std::strtod(answer.c_str() + at + 7, nullptr);
}

// The switch the window does (App::switchChannel), with mpv as the player: the
// service's stream and pipe end, another multiplex is asked for (within the multiplex
// the DVR source keeps reading), a stream of the new service is opened with its pipe
// (before the lock, so that the demux passes its PIDs from the first packet after it),
// the lock is waited for, and mpv loads that pipe in place of what it played, as the
// window's libmpv does: neither is stopped first.
class PeerSwitch {
public:
    explicit PeerSwitch(MpvIpc& mpv) : mpv_(mpv) {}
    bool open(std::string* error) { return tuner_.open(0, error); }
    bool start(const Channel& c, std::string* error = nullptr) {
        stopFeed();
        bool retune = !mux_.isOn(c.frequency, c.deliverySystem);
        if (retune && !mux_.startTune(c.frequency, c.deliverySystem, error)) return false;
        if (!mux_.startSource(error)) return false;
        service_ = mux_.openService(serviceSpecOf(c), error);
        if (!service_ || !pipe_.start(service_->sharedQueue(), error)) return false;
        if (retune && !mux_.awaitLock(kChannelTuneTimeoutMs, error)) return false;
        mpv_.drain();
        mpv_.send(loadCommand(pipePath(pipe_.readFd())));
        return true;
    }
    void stop() {
        stopFeed();
        mux_.close();
    }

private:
    void stopFeed() {
        pipe_.stop();
        service_.reset();
    }

    MpvIpc& mpv_;
    Tuner tuner_;
    TunedMux mux_{tuner_};
    std::unique_ptr<ServiceStream> service_;
    PipeOutput pipe_;
};

bool waitForPicture(MpvIpc& mpv, double limit) {
    auto start = Clock::now();
    if (mpv.waitFor("\"start-file\"", limit).empty()) return false;
    return !mpv.waitFor("\"playback-restart\"", limit - secondsSince(start)).empty();
}

// From mpv's process start: the tuner, the multiplex's source and the service's pipe
// come up while mpv starts, as the window sets itself up before its first tune.
int peerStartup(const std::string& socketPath) {
    auto begin = Clock::now();
    pid_t child = startMpv(socketPath, kPeerWindow);
    MpvIpc mpv(socketPath);
    PeerSwitch peer(mpv);
    std::string error;
    bool shown = false;
    if (!mpv.ok() || !peer.open(&error) || !peer.start(benchChannels()[kAlpha], &error))
        std::fprintf(stderr, "player_bench: %s\n", mpv.ok() ? error.c_str() : "no mpv");
    else
        shown = waitForPicture(mpv, 20.0);
    std::printf("peer_startup_first_picture=%.4f\n", shown ? secondsSince(begin) : -1.0);
    stopMpv(mpv, child);
    peer.stop();
    return shown ? 0 : 1;
}

int peerZap(int rounds, const std::string& socketPath) {
    tuneLogPath();
    pid_t child = startMpv(socketPath, kPeerWindow);
    MpvIpc mpv(socketPath);
    if (!mpv.ok()) {
        std::fprintf(stderr, "player_bench: no mpv at %s\n", socketPath.c_str());
        return 1;
    }
    std::vector<Channel> channels = benchChannels();
    PeerSwitch peer(mpv);
    std::string error;
    if (!peer.open(&error)) {
        std::fprintf(stderr, "player_bench: %s\n", error.c_str());
        return 1;
    }
    std::vector<double> same, other;
    auto timeSwitch = [&](int index, std::vector<double>& into) {
        auto begin = Clock::now();
        peer.start(channels[static_cast<size_t>(index)]);
        if (waitForPicture(mpv, 15.0)) into.push_back(secondsSince(begin));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    };
    peer.start(channels[kAlpha]);
    waitForPicture(mpv, 15.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (int i = 0; i < rounds; ++i) {
        waitForPhase(lastTuneWallTime(), kGopSeconds * i / rounds);
        timeSwitch(kBeta, same);
        timeSwitch(kDelta, other);
        timeSwitch(kAlpha, other);
    }
    stopMpv(mpv, child);
    peer.stop();
    printValues("peer_zap_same_mux", same);
    printValues("peer_zap_other_mux", other);
    return 0;
}

double processCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    // Fields after the command name: state is field 3; utime and stime are 14 and 15.
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        fields.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (fields.size() < 13) return -1;
    double ticks = std::atof(fields[11].c_str()) + std::atof(fields[12].c_str());
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

int peerFrames(const char* path, double seconds, const std::string& socketPath) {
    pid_t child = startMpv(socketPath, {"--force-window=yes", "--geometry=1280x720", "--no-border", "--osc=no"});
    MpvIpc mpv(socketPath);
    bool shown = false;
    if (mpv.ok()) {
        mpv.send(loadCommand(path));
        shown = waitForPicture(mpv, 15.0);
    }
    bool ok = false;
    if (shown) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        auto get = [&](const char* name) { return ipcNumber(mpv, name); };
        FrameCounts before = frameCounts(get);
        double cpu = processCpuSeconds(child);
        auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        double spent = processCpuSeconds(child) - cpu;
        double elapsed = secondsSince(start);
        FrameCounts after = frameCounts(get);
        ok = cpu >= 0 && ipcNumber(mpv, "playlist-pos") >= 0;
        printFrameCost("peer_frames", ok, spent, elapsed, before, after);
    } else {
        printFrameCost("peer_frames", false, 0, 1, {}, {});
    }
    stopMpv(mpv, child);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int count = argc > 2 ? std::atoi(argv[2]) : 3;
    if (mode == "startup") return startup();
    if (mode == "zap") return zap(count);
    if (mode == "frames" && argc > 3) return frames(argv[2], std::atof(argv[3]));
    if (mode == "idle") return idle();
    if (mode == "peer-zap" && argc > 3) return peerZap(count, argv[3]);
    if (mode == "peer-startup" && argc > 2) return peerStartup(argv[2]);
    if (mode == "peer-frames" && argc > 4) return peerFrames(argv[2], std::atof(argv[3]), argv[4]);
    std::fprintf(stderr,
                 "usage: player_bench zap N | peer-zap N SOCKET | startup | peer-startup SOCKET |\n"
                 "                    frames FILE SECONDS | peer-frames FILE SECONDS SOCKET | idle\n");
    return 64;
}
