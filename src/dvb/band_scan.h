#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "channels/channel.h"
#include "dvb/service_discovery.h"
#include "dvb/tuner.h"

namespace vantiro {

// The UHF band swept by default, 470 to 862 MHz, in 8 MHz channels. Multiplexes sit
// at the channel centres (channel N at 306 + 8 N MHz: 474, 482, ..., 858), so the
// sweep tunes those: see `channelCentresIn`.
inline constexpr std::uint32_t kBandStartHz = 470000000;
inline constexpr std::uint32_t kBandEndHz = 862000000;
inline constexpr std::uint32_t kBandStepHz = 8000000;

// Lock waits per frequency (DVB-T2 first, then DVB-T) and the per-table read limit.
inline constexpr int kScanDvbt2LockMs = 1100;
inline constexpr int kScanDvbtLockMs = 800;
inline constexpr int kScanTableTimeoutMs = 1500;

// One multiplex that locked and carried at least one service.
struct Mux {
    std::uint32_t frequency = 0;          // Hz, as tuned
    std::int32_t deliverySystem = kSysDvbt2;  // the system that locked: 16 or 3
    std::vector<Service> services;            // PAT order
};

// Progress of a running scan, shared with observers on other threads. The owner
// zeroes it before a scan; the scan sets `done` and `total`. Observers only read,
// except `cancel`, which only the scan reads.
struct ScanProgress {
    std::atomic<int> done{0};              // frequencies started (1 while the first is tried)
    std::atomic<int> total{0};             // frequencies in the range
    std::atomic<int> currentFrequency{0};  // Hz
    std::atomic<bool> cancel{false};
    std::atomic<bool> locked{false};       // the current frequency locked; tables are read
    std::atomic<bool> finished{false};
    std::atomic<int> muxesFound{0};
    std::atomic<int> channelsFound{0};

    void reset();
};

// Steps the tuner through the frequencies of [startHz, endHz] by `stepHz` (for the
// 8 MHz step, the channel centres there, see `channelCentresIn`), trying DVB-T2 then
// DVB-T at each one, and lists the multiplexes that carry services, in frequency order.
// Holds the tuner's mutex throughout. A closed tuner gives an empty list and leaves
// `progress` untouched. Cancellation (`progress.cancel`) is noticed before each
// frequency, between the two tuning attempts and before the tables are read.
std::vector<Mux> scanBand(Tuner& tuner, std::uint32_t startHz, std::uint32_t endHz,
                          std::uint32_t stepHz, ScanProgress& progress);

// First and last frequency to tune for the range [startHz, endHz] and `stepHz`.
// With the 8 MHz step of the UHF band, the centres of the channels the range covers:
// a centre is taken when it lies within half a channel of the range, so 470-862 MHz
// (the band's edges) gives 474-858 MHz and a range given by centres stays as it is.
// Any other step keeps the range unchanged. `last` < `first` when nothing is left.
struct FrequencyRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};
FrequencyRange channelCentresIn(std::uint32_t startHz, std::uint32_t endHz, std::uint32_t stepHz);

// What the sweep needs from a tuner, so that the sweep itself can run against anything.
struct ScanReceiver {
    std::function<bool(std::uint32_t frequency, std::int32_t deliverySystem, int timeoutMs)> tune;
    std::function<std::vector<Service>()> discover;
};

// The sweep of `scanBand` without the tuner: no lock taken, no open check, and the
// frequencies exactly startHz, startHz + stepHz, ... up to endHz.
std::vector<Mux> sweepBand(const ScanReceiver& receiver, std::uint32_t startHz, std::uint32_t endHz,
                           std::uint32_t stepHz, ScanProgress& progress);

// Number of frequencies in [startHz, endHz] by `stepHz`: (end - start) / step + 1 in
// signed arithmetic rounded down, so 0 or less whenever end < start. A step of 0 stands for the start
// frequency alone.
int frequencyCount(std::uint32_t startHz, std::uint32_t endHz, std::uint32_t stepHz);

// One tuner channel per service, mux by mux, in order; nothing filtered.
std::vector<Channel> channelsFromScan(const std::vector<Mux>& muxes);

}  // namespace vantiro
