#include "dvb/band_scan.h"

#include <algorithm>
#include <climits>
#include <mutex>

namespace vantiro {

void ScanProgress::reset() {
    done = 0;
    total = 0;
    currentFrequency = 0;
    cancel = false;
    locked = false;
    finished = false;
    muxesFound = 0;
    channelsFound = 0;
}

int frequencyCount(std::uint32_t startHz, std::uint32_t endHz, std::uint32_t stepHz) {
    const std::int64_t span = static_cast<std::int64_t>(endHz) - static_cast<std::int64_t>(startHz);
    if (stepHz == 0) return span >= 0 ? 1 : 0;
    // Rounded down, so that an end below the start by less than a step counts 0, not 1.
    std::int64_t step = stepHz;
    std::int64_t count = (span >= 0 ? span / step : -((-span + step - 1) / step)) + 1;
    return static_cast<int>(std::clamp<std::int64_t>(count, INT_MIN, INT_MAX));
}

namespace {

// The UHF channel raster of 8 MHz channels: centres at 306 MHz + 8 MHz x N.
constexpr std::int64_t kChannelGridOriginHz = 306000000;

// Tries DVB-T2, then DVB-T; the system that locked, or 0.
std::int32_t lockEitherSystem(const ScanReceiver& receiver, std::uint32_t frequency,
                              const ScanProgress& progress) {
    if (receiver.tune(frequency, kSysDvbt2, kScanDvbt2LockMs)) return kSysDvbt2;
    if (progress.cancel) return 0;
    if (receiver.tune(frequency, kSysDvbt, kScanDvbtLockMs)) return kSysDvbt;
    return 0;
}

}  // namespace

FrequencyRange channelCentresIn(std::uint32_t startHz, std::uint32_t endHz, std::uint32_t stepHz) {
    if (stepHz != kBandStepHz) return {startHz, endHz};
    const std::int64_t step = stepHz, half = step / 2;
    // A channel counts when its centre lies strictly within half a channel of the
    // range: the lowest centre > start - half and the highest < end + half.
    auto floorDiv = [](std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    std::int64_t firstIndex = floorDiv(std::int64_t{startHz} - half - kChannelGridOriginHz, step) + 1;
    std::int64_t lastIndex = floorDiv(std::int64_t{endHz} + half - 1 - kChannelGridOriginHz, step);
    std::int64_t first = kChannelGridOriginHz + firstIndex * step;
    std::int64_t last = kChannelGridOriginHz + lastIndex * step;
    // Keep to 32 bits: a centre past the top is dropped from the range.
    if (last > UINT32_MAX) last -= step;
    if (first > UINT32_MAX || last < 0 || last < first) {
        // Nothing to tune: an empty range that still counts 0 or less frequencies.
        return {static_cast<std::uint32_t>(std::clamp<std::int64_t>(first, 0, UINT32_MAX)),
                static_cast<std::uint32_t>(std::clamp<std::int64_t>(last, 0, UINT32_MAX))};
    }
    return {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last)};
}

std::vector<Mux> sweepBand(const ScanReceiver& receiver, std::uint32_t startHz, std::uint32_t endHz,
                           std::uint32_t stepHz, ScanProgress& progress) {
    std::vector<Mux> muxes;
    progress.total = frequencyCount(startHz, endHz, stepHz);
    progress.done = 0;
    // 64 bits so that stepping past the top of the 32-bit range ends the loop.
    const std::uint64_t step = stepHz == 0 ? std::uint64_t{UINT32_MAX} + 1 : stepHz;
    for (std::uint64_t f = startHz; f <= endHz; f += step) {
        if (progress.cancel) break;
        const auto frequency = static_cast<std::uint32_t>(f);
        progress.currentFrequency = static_cast<int>(frequency);
        progress.done += 1;
        progress.locked = false;

        std::int32_t system = lockEitherSystem(receiver, frequency, progress);
        if (system == 0 || progress.cancel) continue;

        progress.locked = true;
        std::vector<Service> services = receiver.discover();
        if (services.empty()) continue;
        progress.muxesFound += 1;
        progress.channelsFound += static_cast<int>(services.size());
        muxes.push_back(Mux{frequency, system, std::move(services)});
    }
    progress.finished = true;
    return muxes;
}

std::vector<Mux> scanBand(Tuner& tuner, std::uint32_t startHz, std::uint32_t endHz,
                          std::uint32_t stepHz, ScanProgress& progress) {
    std::lock_guard<std::mutex> lock(tuner.mutex());
    if (!tuner.isOpen()) return {};
    ScanReceiver receiver{
        [&tuner](std::uint32_t frequency, std::int32_t system, int timeoutMs) {
            return tuner.tuneUnlocked(frequency, system, timeoutMs);
        },
        [&tuner] { return discoverServices(tuner, kScanTableTimeoutMs); },
    };
    FrequencyRange range = channelCentresIn(startHz, endHz, stepHz);
    return sweepBand(receiver, range.first, range.last, stepHz, progress);
}

std::vector<Channel> channelsFromScan(const std::vector<Mux>& muxes) {
    std::vector<Channel> channels;
    for (const Mux& mux : muxes) {
        for (const Service& service : mux.services) {
            Channel channel;
            channel.name = service.name;
            channel.frequency = mux.frequency;
            channel.deliverySystem = mux.deliverySystem;
            channel.serviceId = service.serviceId;
            channel.pmtPid = service.pmtPid;
            channel.videoPid = service.videoPid;
            channel.audioPid = service.audioPid;
            channel.pcrPid = service.pcrPid;
            channels.push_back(std::move(channel));
        }
    }
    return channels;
}

}  // namespace vantiro
