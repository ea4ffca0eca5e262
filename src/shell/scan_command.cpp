#include "shell/scan_command.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "channels/channel_list.h"
#include "dvb/band_scan.h"
#include "dvb/tuner.h"

namespace vantiro {
namespace {

constexpr int kScanAdapter = 0;
constexpr std::uint32_t kHzPerMHz = 1000000;
constexpr auto kLiveProgressInterval = std::chrono::milliseconds(200);

// A frequency argument in MHz. Parsed like strtol base 10; the product is kept to
// 32 bits by unsigned (wrapping) arithmetic, so no value can overflow.
std::uint32_t megahertzArgument(const char* text) {
    long mhz = std::strtol(text, nullptr, 10);
    return static_cast<std::uint32_t>(mhz) * kHzPerMHz;
}

const char* deliverySystemName(std::int32_t system) { return system == kSysDvbt2 ? "DVB-T2" : "DVB-T"; }

// While the scan runs on the main thread, redraws one status line on standard error
// when that is a terminal. Standard output keeps only the result lines.
class LiveProgressLine {
public:
    explicit LiveProgressLine(const ScanProgress& progress) : progress_(progress) {
        if (::isatty(STDERR_FILENO)) thread_ = std::thread([this] { run(); });
    }
    ~LiveProgressLine() { stop(); }
    LiveProgressLine(const LiveProgressLine&) = delete;
    LiveProgressLine& operator=(const LiveProgressLine&) = delete;

    // Ends the redrawing and erases the line.
    void stop() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, kLiveProgressInterval, [this] { return stopping_; })) draw();
    }

    void draw() const {
        unsigned mhz = static_cast<unsigned>(static_cast<std::uint32_t>(progress_.currentFrequency.load()) / kHzPerMHz);
        std::fprintf(stderr, "\r\x1b[K%u MHz  %d/%d  %d muxes  %d channels", mhz, progress_.done.load(),
                     progress_.total.load(), progress_.muxesFound.load(), progress_.channelsFound.load());
        std::fflush(stderr);
    }

    const ScanProgress& progress_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

void printScanResult(const std::vector<Mux>& muxes) {
    for (const Mux& mux : muxes) {
        std::printf("%u MHz (%s):\n", static_cast<unsigned>(mux.frequency / kHzPerMHz),
                    deliverySystemName(mux.deliverySystem));
        for (const Service& s : mux.services) {
            std::printf("    %-44s sid=%u vpid=%u apid=%u\n", s.name.c_str(), unsigned{s.serviceId},
                        unsigned{s.videoPid}, unsigned{s.audioPid});
        }
    }
}

}  // namespace

int runScanCommand(int argc, char** argv, const std::string& channelListPath) {
    Tuner tuner;
    std::string error;
    if (!tuner.open(kScanAdapter, &error)) {
        std::fprintf(stderr, "cannot open tuner: %s\n", error.c_str());
        return 1;
    }
    std::printf("frontend: %s\n", tuner.frontendName().c_str());

    std::uint32_t startHz = argc > 2 ? megahertzArgument(argv[2]) : kBandStartHz;
    std::uint32_t endHz = argc > 3 ? megahertzArgument(argv[3]) : kBandEndHz;
    // Say what is tuned: the channel centres the range covers (500-500 tunes 498).
    FrequencyRange tuned = channelCentresIn(startHz, endHz, kBandStepHz);
    if (tuned.first <= tuned.last) {
        startHz = tuned.first;
        endHz = tuned.last;
    }
    std::printf("scanning %u-%u MHz...\n", static_cast<unsigned>(startHz / kHzPerMHz),
                static_cast<unsigned>(endHz / kHzPerMHz));
    std::fflush(stdout);

    ScanProgress progress;
    std::vector<Mux> muxes;
    {
        LiveProgressLine live(progress);
        muxes = scanBand(tuner, startHz, endHz, kBandStepHz, progress);
    }
    std::printf("scan finished: %zu muxes\n", muxes.size());
    std::fflush(stdout);

    std::vector<Channel> channels = channelsFromScan(muxes);
    printScanResult(muxes);
    std::printf("saving %zu channels...\n", channels.size());
    std::fflush(stdout);

    error.clear();
    if (!saveChannelList(channelListPath, channels, &error)) {
        // A write that fails after the open leaves no text of its own.
        if (error.empty()) error = "cannot write " + channelListPath;
        std::fprintf(stderr, "cannot save channels: %s\n", error.c_str());
        return 1;
    }
    std::printf("%zu channels saved to %s\n", channels.size(), channelListPath.c_str());
    return channels.empty() ? 2 : 0;
}

}  // namespace vantiro
