#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "dvb/demux_filters.h"
#include "dvb/packet_hub.h"
#include "dvb/unique_fd.h"

namespace vantiro {

// What a source tells about itself; read from any thread.
struct SourceHealth {
    bool running = false;  // the reading thread is alive
    bool ended = false;    // the source ended by itself (read error, end of file)
    std::uint64_t bytes = 0;
    std::uint64_t overflows = 0;  // DVR buffer overflows ridden out
    // When data last arrived (steady clock); the epoch when none has yet.
    std::chrono::steady_clock::time_point lastData{};
};

// Reads the transport stream of the tuned multiplex from the adapter's DVR
// device (or from any descriptor: a pipe, a recorded file) on a thread of its
// own, in large chunks cut into whole packets, and hands them to a hub.
// It lives as long as the tuner stays on the multiplex: zapping between the
// multiplex's services adds and removes consumers, never reopens the DVR.
//
// On an adapter the demux passes only what the hub's consumers want (see
// `PacketConsumer::wantPids`), and always the PAT, which keeps data flowing
// for the signal watchdog when nobody wants anything. The reading thread owns
// the demux filters and sets them anew whenever the wanted set changes: right
// after the packets whose tables changed it (a consumer read a new PMT), or
// when woken by a consumer joining or leaving on another thread.
//
// An overflow of the DVR buffer is counted and reading goes on (the kernel has
// already emptied its buffer): a glitch, not an end. A read error or end of
// file ends the source; either way the hub's consumers are ended.
//
// Every method belongs to the owning thread except `health`.
class DvrSource {
public:
    // Packets read at most per system call.
    static constexpr std::size_t kChunkPackets = 1024;

    explicit DvrSource(std::shared_ptr<PacketHub> hub);
    ~DvrSource() { stop(); }
    DvrSource(const DvrSource&) = delete;
    DvrSource& operator=(const DvrSource&) = delete;

    // Starts the demux filters for what the hub's consumers want now on
    // /dev/dvb/adapter<N>/demux0 and opens dvr0. On failure `error` (may be
    // null) gets "cannot open <path>: <reason>" or "cannot start the TS filter:
    // <reason>" and nothing stays open.
    bool openAdapter(int adapter, std::string* error = nullptr);
    // Reads `fd` (taken over) instead of a DVR device.
    void adopt(int fd);
    // Starts the reading thread on what was opened or adopted.
    bool start(std::string* error = nullptr);
    // Ends the thread, ends the hub's consumers and closes the devices. Safe twice.
    void stop();

    // Called on the reading thread after every overflow with the total so far.
    // Set before `start`.
    void setOverflowObserver(std::function<void(std::uint64_t total)> observer) {
        overflowObserver_ = std::move(observer);
    }
    // After a short read the thread naps this long so that the next read brings
    // a batch rather than a few packets (0: read as soon as data is there).
    void setCoalesceDelay(std::chrono::milliseconds delay) { coalesceDelay_ = delay; }

    SourceHealth health() const;
    const std::shared_ptr<PacketHub>& hub() const { return hub_; }

private:
    void readLoop();
    void nap(std::chrono::milliseconds delay);
    void drainWake();
    void followDemand();

    std::shared_ptr<PacketHub> hub_;
    DemuxFilters filters_;
    UniqueFd sourceFd_;
    // Written to stop the thread and whenever the wanted PIDs change.
    UniqueFd wakeFd_;
    std::atomic<bool> stopping_{false};
    std::function<void(std::uint64_t)> overflowObserver_;
    // 30 ms is a tenth of what the kernel's 1.8 MiB DVR buffer holds of a full
    // 50 Mbit/s multiplex, and cuts the wake-ups of a 40 Mbit/s multiplex to a
    // few dozen reads a second.
    std::chrono::milliseconds coalesceDelay_{30};
    std::thread thread_;

    std::atomic<bool> running_{false};
    std::atomic<bool> ended_{false};
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<std::uint64_t> overflows_{0};
    std::atomic<std::int64_t> lastDataNs_{0};
};

}  // namespace vantiro
