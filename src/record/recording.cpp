#include "record/recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "dvb/ts_packet.h"

namespace vantiro {
namespace {

using Clock = std::chrono::steady_clock;

// A write per this many bytes, or per second when the service is slower (radio):
// few system calls, and little lost if the machine goes down.
constexpr std::size_t kBatchBytes = 256u << 10;
constexpr auto kBatchAge = std::chrono::seconds(1);
constexpr auto kTakeTimeout = std::chrono::milliseconds(100);
constexpr int kMaxNameTries = 100;

std::string withNumber(const std::string& path, int number) {
    std::filesystem::path p(path);
    std::string stem = p.stem().string() + " (" + std::to_string(number) + ")";
    return (p.parent_path() / (stem + p.extension().string())).string();
}

// Opens the file to write; with `keepExisting` a taken name gets a number.
UniqueFd openTarget(std::string& path, bool keepExisting, std::string* error) {
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    const std::string wanted = path;
    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        if (attempt > 1) path = withNumber(wanted, attempt);
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (keepExisting ? O_EXCL : O_TRUNC);
        UniqueFd fd(::open(path.c_str(), flags, 0644));
        if (fd) return fd;
        if (!(keepExisting && errno == EEXIST)) break;
    }
    if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
    return UniqueFd();
}

}  // namespace

bool Recording::start(std::unique_ptr<ServiceStream> stream, const std::string& path,
                      std::optional<std::chrono::milliseconds> duration, bool keepExisting, std::string* error) {
    stop();
    if (!stream) return false;  // its opener said why
    path_ = path;
    fd_ = openTarget(path_, keepExisting, error);
    if (!fd_) return false;
    stream_ = std::move(stream);
    queue_ = stream_->sharedQueue();
    bytesWritten_ = 0;
    ended_ = false;
    stopRequested_ = false;
    endedAfterMs_ = -1;
    {
        std::lock_guard<std::mutex> guard(failureMutex_);
        failure_.clear();
    }
    startedAt_ = Clock::now();
    Clock::time_point deadline = duration ? startedAt_ + *duration : Clock::time_point::max();
    thread_ = std::thread(&Recording::writeLoop, this, deadline);
    return true;
}

void Recording::stop() {
    if (thread_.joinable()) {
        stopRequested_ = true;
        if (queue_) queue_->finish();  // what is queued is still written
        thread_.join();
    }
    stream_.reset();
    queue_.reset();
    fd_.reset();
}

std::string Recording::failure() const {
    std::lock_guard<std::mutex> guard(failureMutex_);
    return failure_;
}

long long Recording::elapsedSeconds() const {
    if (startedAt_ == Clock::time_point{}) return 0;
    long long endedMs = endedAfterMs_.load();
    if (endedMs >= 0) return endedMs / 1000;
    return std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - startedAt_).count();
}

void Recording::fail(const std::string& reason) {
    std::lock_guard<std::mutex> guard(failureMutex_);
    if (failure_.empty()) failure_ = reason;
}

// Writes the batch; on a refusal (full disk, file size limit) the file is cut
// back to its last whole packet and the recording fails with the system's reason.
bool Recording::flush(std::vector<std::uint8_t>& batch) {
    std::size_t done = 0;
    while (done < batch.size()) {
        ssize_t n = ::write(fd_.get(), batch.data() + done, batch.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            bytesWritten_.fetch_add(static_cast<std::uint64_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        int saved = n < 0 ? errno : ENOSPC;
        std::uint64_t whole = bytesWritten_.load() / kTsPacketSize * kTsPacketSize;
        if (::ftruncate(fd_.get(), static_cast<off_t>(whole)) == 0) bytesWritten_ = whole;
        fail("cannot write " + path_ + ": " + std::strerror(saved));
        batch.clear();
        return false;
    }
    batch.clear();
    return true;
}

void Recording::writeLoop(Clock::time_point deadline) {
    std::vector<std::uint8_t> block;
    std::vector<std::uint8_t> batch;
    batch.reserve(kBatchBytes + PacketQueue::kBlockBytes);
    Clock::time_point lastFlush = Clock::now();
    bool writing = true;
    while (writing) {
        PacketQueue::Status status = queue_->take(block, kTakeTimeout);
        if (status == PacketQueue::Status::Data) batch.insert(batch.end(), block.begin(), block.end());
        bool timeUp = Clock::now() >= deadline;
        bool over = status == PacketQueue::Status::Finished || status == PacketQueue::Status::Closed || timeUp;
        if (over || batch.size() >= kBatchBytes || (!batch.empty() && Clock::now() - lastFlush >= kBatchAge)) {
            if (!flush(batch)) break;
            lastFlush = Clock::now();
        }
        if (status == PacketQueue::Status::Closed) {
            fail(queue_->hopeless() ? "the disk is too slow for " + path_ : "the recording was cut off");
        } else if (status == PacketQueue::Status::Finished && !stopRequested_ && !timeUp) {
            fail("the tuner left the multiplex");
        }
        writing = !over;
    }
    endedAfterMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - startedAt_).count();
    // The source goes at once: a recording that ended by itself takes no more packets.
    queue_->close();
    ended_ = true;
}

}  // namespace vantiro
