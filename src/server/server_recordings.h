#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dvb/service_stream.h"
#include "record/recording.h"

namespace vantiro {

// The server's recordings: at most one running, and those of this run that
// ended, for POST /record, POST /record/stop and GET /recordings.txt.
// Thread-safe: connection threads call it at once.
class ServerRecordings {
public:
    ServerRecordings() = default;
    ServerRecordings(const ServerRecordings&) = delete;
    ServerRecordings& operator=(const ServerRecordings&) = delete;

    // A recording is running (one that ended by itself is not).
    bool busy();
    // The channel being recorded; empty when none.
    std::string busyWith();
    // Starts writing `stream` (channel `name`) to `path`, for `duration` when
    // given. False with the reason in `error` when one is running or the file
    // cannot be made. The path taken (a number added) is in `takenPath`.
    bool begin(std::unique_ptr<ServiceStream> stream, const std::string& name, const std::string& path,
               std::optional<std::chrono::milliseconds> duration, std::string* takenPath, std::string* error);
    // Stops the running recording; false when there is none.
    bool stop();
    // One line per recording, oldest first: state ("recording", "done",
    // "stopped: REASON"), channel, seconds, bytes and path, tab-separated.
    std::string listText();

private:
    struct Entry {
        std::string name;
        std::string path;
        std::string state;
        long long seconds = 0;
        std::uint64_t bytes = 0;
    };
    void settleLocked();
    void retireLocked();

    std::mutex mutex_;
    std::unique_ptr<Recording> current_;
    std::string currentName_;
    std::vector<Entry> ended_;
};

}  // namespace vantiro
