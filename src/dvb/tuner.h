#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "dvb/unique_fd.h"

namespace vantiro {

// Delivery systems as the Linux DVB API numbers them (fe_delivery_system).
inline constexpr std::int32_t kSysDvbt = 3;
inline constexpr std::int32_t kSysDvbt2 = 16;

// Lock wait used when switching to a channel.
inline constexpr int kChannelTuneTimeoutMs = 2500;

// One DVB adapter's frontend 0 and demux 0.
//
// `mutex()` serialises everything that reprograms the frontend or reads tables
// from the demux: `tune` holds it for the whole tune-and-wait, the band scan holds
// it for the whole sweep and calls `tuneUnlocked`. `open`, `close`, `hasLock` and
// the signal queries do not take it; open and close only while no other thread
// uses the tuner.
class Tuner {
public:
    Tuner() = default;
    ~Tuner();
    Tuner(const Tuner&) = delete;
    Tuner& operator=(const Tuner&) = delete;

    // Opens /dev/dvb/adapter<N>/frontend0 and demux0 (closing whatever was open).
    // On failure the tuner is closed and `error` (may be null) says why.
    bool open(int adapter, std::string* error = nullptr);

    // Stops and closes the demux, closes the frontend. Safe when closed.
    void close();

    bool isOpen() const { return frontendFd_.valid(); }

    // Takes `mutex()`, then does `tuneUnlocked`.
    bool tune(std::uint32_t frequency, std::int32_t deliverySystem, int timeoutMs,
              std::string* error = nullptr);

    // Tunes `frequency` (Hz) with `deliverySystem` (16 DVB-T2, 3 DVB-T) and waits up to
    // `timeoutMs` for lock. For callers that already hold `mutex()`.
    // Errors: "tuner is not open", "tuning failed: <errno text>", "no signal";
    // cleared to empty on lock.
    bool tuneUnlocked(std::uint32_t frequency, std::int32_t deliverySystem, int timeoutMs,
                      std::string* error = nullptr);

    // The first half of `tune`: takes `mutex()` for the request alone and returns
    // without waiting for lock (`waitForLock` is the second half), so that the
    // caller can set up its demux filters while the frontend locks. Errors as
    // `tuneUnlocked`'s first two.
    bool startTune(std::uint32_t frequency, std::int32_t deliverySystem, std::string* error = nullptr);

    // Polls the frontend status every 50 ms until lock or `timeoutMs` has passed.
    bool waitForLock(int timeoutMs);

    bool hasLock() const;

    // 0..100, or -1 when the frontend is closed or reports no statistic.
    int signalStrengthPercent() const;
    int signalQualityPercent() const;

    const std::string& frontendName() const { return frontendName_; }
    int adapter() const { return adapter_; }
    int demuxFd() const { return demuxFd_.get(); }
    std::mutex& mutex() { return mutex_; }

private:
    void closeDevices();
    // Sends the tuning parameters and DTV_TUNE; the caller holds `mutex()`.
    bool requestUnlocked(std::uint32_t frequency, std::int32_t deliverySystem, std::string* error);

    UniqueFd frontendFd_;
    UniqueFd demuxFd_;
    int adapter_ = 0;
    std::string frontendName_;
    std::mutex mutex_;
};

// The percentage formulas, apart from the device so that they can be checked directly.
// `strength` on the relative scale 0..65535; `cnrMilliDb` in 0.001 dB (35 dB = 100 %).
int strengthPercentFromStatistic(std::int64_t strength);
int qualityPercentFromCnr(std::int64_t cnrMilliDb);

}  // namespace vantiro
