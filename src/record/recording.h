#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "dvb/service_stream.h"
#include "dvb/unique_fd.h"

namespace vantiro {

// A recording's queue: many seconds of an HD service, for a disk that stalls.
inline constexpr PacketQueueLimits kRecordingQueueLimits{16u << 20, 64u << 20};

// One service written to a .ts file: the service's stream (its own bounded
// queue on the relay) drained by a writer thread of its own in batches of whole
// packets. Whatever ends it (a stop, its time being up, the tuner leaving the
// multiplex, a full disk), the file holds whole packets only, so it is a valid
// transport stream up to its last packet.
//
// `start` and `stop` belong to the owning thread; the rest may be read anywhere.
class Recording {
public:
    Recording() = default;
    ~Recording() { stop(); }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Creates `path` (its directory too; an existing file is replaced unless
    // `keepExisting`, which then picks "name (2).ts" and so on) and starts
    // writing `stream` to it, for `duration` when given. False with the reason
    // in `error` when the file cannot be made; the stream is dropped then.
    bool start(std::unique_ptr<ServiceStream> stream, const std::string& path,
               std::optional<std::chrono::milliseconds> duration, bool keepExisting, std::string* error);
    // Writes what is queued, ends the writer and closes the file. Safe twice.
    void stop();

    // The writer has ended (stopped, time up, multiplex left, or failed).
    bool ended() const { return ended_.load(); }
    // Why the writer ended early ("cannot write FILE: No space left on device"),
    // empty when it did not (yet).
    std::string failure() const;
    const std::string& path() const { return path_; }
    std::uint64_t bytesWritten() const { return bytesWritten_.load(); }
    // Seconds since the start, frozen when the writer ends.
    long long elapsedSeconds() const;

private:
    void writeLoop(std::chrono::steady_clock::time_point deadline);
    bool flush(std::vector<std::uint8_t>& batch);
    void fail(const std::string& reason);

    std::unique_ptr<ServiceStream> stream_;
    std::shared_ptr<PacketQueue> queue_;
    UniqueFd fd_;
    std::string path_;
    std::chrono::steady_clock::time_point startedAt_{};
    std::atomic<long long> endedAfterMs_{-1};
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<bool> ended_{false};
    std::atomic<bool> stopRequested_{false};
    mutable std::mutex failureMutex_;
    std::string failure_;
    std::thread thread_;
};

}  // namespace vantiro
