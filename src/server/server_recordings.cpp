#include "server/server_recordings.h"

#include <cstdio>

namespace vantiro {

bool ServerRecordings::busy() {
    std::lock_guard<std::mutex> guard(mutex_);
    settleLocked();
    return current_ != nullptr;
}

std::string ServerRecordings::busyWith() {
    std::lock_guard<std::mutex> guard(mutex_);
    settleLocked();
    return current_ ? currentName_ : std::string();
}

bool ServerRecordings::begin(std::unique_ptr<ServiceStream> stream, const std::string& name, const std::string& path,
                             std::optional<std::chrono::milliseconds> duration, std::string* takenPath,
                             std::string* error) {
    std::lock_guard<std::mutex> guard(mutex_);
    settleLocked();
    if (current_) {
        if (error) *error = "already recording " + currentName_;
        return false;
    }
    auto recording = std::make_unique<Recording>();
    if (!recording->start(std::move(stream), path, duration, true, error)) return false;
    if (takenPath) *takenPath = recording->path();
    current_ = std::move(recording);
    currentName_ = name;
    std::printf("recording %s to %s\n", name.c_str(), current_->path().c_str());
    std::fflush(stdout);
    return true;
}

bool ServerRecordings::stop() {
    std::lock_guard<std::mutex> guard(mutex_);
    settleLocked();
    if (!current_) return false;
    retireLocked();
    return true;
}

std::string ServerRecordings::listText() {
    std::lock_guard<std::mutex> guard(mutex_);
    settleLocked();
    std::string text;
    auto line = [&text](const std::string& state, const std::string& name, long long seconds, std::uint64_t bytes,
                        const std::string& path) {
        text += state + '\t' + name + '\t' + std::to_string(seconds) + '\t' + std::to_string(bytes) + '\t' + path + '\n';
    };
    for (const Entry& entry : ended_) line(entry.state, entry.name, entry.seconds, entry.bytes, entry.path);
    if (current_) line("recording", currentName_, current_->elapsedSeconds(), current_->bytesWritten(), current_->path());
    return text;
}

// A recording that ended by itself (time up, multiplex left, disk full) joins
// the ended ones.
void ServerRecordings::settleLocked() {
    if (current_ && current_->ended()) retireLocked();
}

void ServerRecordings::retireLocked() {
    current_->stop();
    std::string failure = current_->failure();
    if (!failure.empty()) {
        std::fprintf(stderr, "recording stopped: %s\n", failure.c_str());
        std::fflush(stderr);
    }
    ended_.push_back(Entry{currentName_, current_->path(), failure.empty() ? "done" : "stopped: " + failure,
                           current_->elapsedSeconds(), current_->bytesWritten()});
    current_.reset();
    currentName_.clear();
}

}  // namespace vantiro
