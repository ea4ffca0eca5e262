#include "record/record_command.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <thread>
#include <vector>

#include "channels/channel_list.h"
#include "dvb/tuned_mux.h"
#include "dvb/tuner.h"
#include "record/recording.h"
#include "record/recording_path.h"

namespace vantiro {
namespace {

constexpr int kRecordAdapter = 0;
constexpr auto kPollInterval = std::chrono::milliseconds(200);
constexpr double kMaxMinutes = 24 * 60;
constexpr double kBytesPerMegabyte = 1e6;

volatile std::sig_atomic_t gStopSignal = 0;

void onStopSignal(int signal) { gStopSignal = signal; }

// SIGINT and SIGTERM end the recording cleanly instead of the process.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// The tuner channel named by its name or by its number in `vantiro list` (from 1).
std::optional<Channel> findChannel(const std::vector<Channel>& all, const std::string& wanted) {
    for (const Channel& channel : all)
        if (!channel.isOnline() && channel.name == wanted) return channel;
    char* end = nullptr;
    long number = std::strtol(wanted.c_str(), &end, 10);
    if (!wanted.empty() && end && *end == '\0' && number >= 1 && static_cast<std::size_t>(number) <= all.size() &&
        !all[static_cast<std::size_t>(number - 1)].isOnline())
        return all[static_cast<std::size_t>(number - 1)];
    return std::nullopt;
}

void drawProgress(const Recording& recording) {
    long long seconds = recording.elapsedSeconds();
    std::fprintf(stderr, "\r\x1b[Krecording %02lld:%02lld  %.1f MB", seconds / 60, seconds % 60,
                 static_cast<double>(recording.bytesWritten()) / kBytesPerMegabyte);
    std::fflush(stderr);
}

}  // namespace

RecordOptions parseRecordOptions(int argc, char** argv) {
    RecordOptions options;
    for (int i = 2; i < argc; ++i) {
        bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--minutes") == 0 && hasValue) {
            char* end = nullptr;
            options.minutes = std::strtod(argv[++i], &end);
            if (!end || *end != '\0' || !std::isfinite(options.minutes) || options.minutes <= 0 ||
                options.minutes > kMaxMinutes)
                options.problem = std::string("bad --minutes ") + argv[i];
        } else if (std::strcmp(argv[i], "--out") == 0 && hasValue) {
            options.outPath = argv[++i];
        } else if (options.channel.empty() && argv[i][0] != '-') {
            options.channel = argv[i];
        } else {
            options.problem = std::string("unexpected ") + argv[i];
        }
    }
    if (options.problem.empty() && options.channel.empty()) options.problem = "no channel given";
    return options;
}

int runRecordCommand(const RecordOptions& options, const std::string& channelListPath) {
    if (!options.problem.empty()) {
        std::fprintf(stderr, "record: %s\nusage: vantiro record CHANNEL --minutes M [--out FILE]\n",
                     options.problem.c_str());
        return 2;
    }
    std::string error;
    std::vector<Channel> all = loadChannelList(channelListPath, &error);
    if (all.empty()) {
        std::fprintf(stderr, "%s\n", error.empty() ? "no channels" : error.c_str());
        return 1;
    }
    std::optional<Channel> channel = findChannel(all, options.channel);
    if (!channel) {
        std::fprintf(stderr, "no tuner channel %s (see vantiro list)\n", options.channel.c_str());
        return 1;
    }
    Tuner tuner;
    if (!tuner.open(kRecordAdapter, &error)) {
        std::fprintf(stderr, "cannot open tuner: %s\n", error.c_str());
        return 1;
    }
    TunedMux mux(tuner);
    if (!mux.tune(channel->frequency, channel->deliverySystem, kChannelTuneTimeoutMs, &error)) {
        std::fprintf(stderr, "no signal on %u MHz\n", static_cast<unsigned>(channel->frequency / 1000000));
        return 1;
    }
    if (!mux.startSource(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    catchStopSignals();
    const bool explicitPath = !options.outPath.empty();
    std::string path = explicitPath ? options.outPath : defaultRecordingPath(channel->name, std::time(nullptr));
    std::optional<std::chrono::milliseconds> duration;
    if (options.minutes > 0)
        duration = std::chrono::milliseconds(static_cast<long long>(std::llround(options.minutes * 60000.0)));
    Recording recording;
    if (!recording.start(mux.openService(serviceSpecOf(*channel), &error, kRecordingQueueLimits), path, duration,
                         !explicitPath, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("recording %s to %s\n", channel->name.c_str(), recording.path().c_str());
    std::fflush(stdout);

    const bool terminal = ::isatty(STDERR_FILENO);
    while (!recording.ended() && gStopSignal == 0) {
        if (terminal) drawProgress(recording);
        std::this_thread::sleep_for(kPollInterval);
    }
    recording.stop();
    if (terminal) std::fputs("\r\x1b[K", stderr);
    const std::string failure = recording.failure();
    if (!failure.empty()) std::fprintf(stderr, "recording stopped: %s\n", failure.c_str());
    std::printf("saved %s (%.1f MB)\n", recording.path().c_str(),
                static_cast<double>(recording.bytesWritten()) / kBytesPerMegabyte);
    return failure.empty() ? 0 : 1;
}

}  // namespace vantiro
