#include "dvb/dvr_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dvb/psi_section.h"
#include "dvb/ts_aligner.h"

namespace vantiro {
namespace {

// A read shorter than this is followed by the coalescing nap.
constexpr std::size_t kShortReadBytes = 32 * 1024;

std::string adapterDevicePath(int adapter, const char* device) {
    char path[64];
    std::snprintf(path, sizeof path, "/dev/dvb/adapter%d/%s", adapter, device);
    return path;
}

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

std::int64_t steadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

DvrSource::DvrSource(std::shared_ptr<PacketHub> hub) : hub_(std::move(hub)) {}

bool DvrSource::openAdapter(int adapter, std::string* error) {
    stop();
    filters_.setDevice(adapterDevicePath(adapter, "demux0"));
    PidSet wanted = hub_->wantedPids();
    wanted.add(kPatPid);
    if (!filters_.apply(wanted, error)) {
        filters_ = DemuxFilters{};
        return false;
    }
    std::string dvrPath = adapterDevicePath(adapter, "dvr0");
    UniqueFd dvr(::open(dvrPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!dvr) {
        setError(error, "cannot open " + dvrPath + ": " + std::strerror(errno));
        filters_ = DemuxFilters{};
        return false;
    }
    sourceFd_ = std::move(dvr);
    return true;
}

void DvrSource::adopt(int fd) {
    stop();
    sourceFd_.reset(fd);
}

bool DvrSource::start(std::string* error) {
    if (thread_.joinable()) return true;
    if (!sourceFd_) {
        setError(error, "no source to read");
        return false;
    }
    wakeFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeFd_) {
        setError(error, std::string("eventfd: ") + std::strerror(errno));
        stop();
        return false;
    }
    stopping_ = false;
    ended_ = false;
    bytes_ = 0;
    overflows_ = 0;
    lastDataNs_ = 0;
    running_ = true;
    hub_->open();
    hub_->demand()->setWakeFd(wakeFd_.get());
    thread_ = std::thread(&DvrSource::readLoop, this);
    return true;
}

void DvrSource::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_.get(), &one, sizeof one);
        thread_.join();
    }
    if (wakeFd_) hub_->demand()->setWakeFd(-1);
    sourceFd_.reset();
    filters_ = DemuxFilters{};
    wakeFd_.reset();
}

SourceHealth DvrSource::health() const {
    SourceHealth health;
    health.running = running_.load();
    health.ended = ended_.load();
    health.bytes = bytes_.load();
    health.overflows = overflows_.load();
    health.lastData = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(lastDataNs_.load()));
    return health;
}

// Returns early when woken (to stop, or to follow a change of the wanted PIDs).
void DvrSource::nap(std::chrono::milliseconds delay) {
    pollfd wake{wakeFd_.get(), POLLIN, 0};
    ::poll(&wake, 1, static_cast<int>(delay.count()));
}

void DvrSource::drainWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(wakeFd_.get(), &count, sizeof count);
}

// Sets the demux's filters to what the consumers want now. A filter the
// device refuses falls back to the whole stream (see `DemuxFilters`): the
// consumers pick out their own packets either way.
void DvrSource::followDemand() {
    if (!hub_->demand()->takeChange() || !filters_.hasDevice()) return;
    PidSet wanted = hub_->wantedPids();
    wanted.add(kPatPid);
    filters_.apply(wanted);
}

void DvrSource::readLoop() {
    TsAligner aligner(kChunkPackets, [this](std::span<const std::uint8_t> packets) { hub_->deliver(packets); });
    followDemand();  // consumers that joined between opening and starting
    while (!stopping_) {
        pollfd fds[2] = {{sourceFd_.get(), POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents & POLLIN) {
            drainWake();
            if (stopping_) break;
            followDemand();
            continue;
        }
        std::span<std::uint8_t> room = aligner.freeSpace();
        ssize_t n = ::read(sourceFd_.get(), room.data(), room.size());
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            if (errno == EOVERFLOW) {
                // The kernel dropped its buffer; the packets around the gap are unrelated.
                std::uint64_t total = overflows_.fetch_add(1) + 1;
                aligner.reset();
                hub_->signalDiscontinuity();
                if (overflowObserver_) overflowObserver_(total);
                continue;
            }
            ended_ = true;
            break;
        }
        if (n == 0) {
            ended_ = true;  // end of file: a pipe's writer went, a recording ended
            break;
        }
        bytes_.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        lastDataNs_.store(steadyNowNs(), std::memory_order_relaxed);
        aligner.commit(static_cast<std::size_t>(n));
        // A consumer that read a new PMT in these packets gets its new PIDs now,
        // not after the nap.
        followDemand();
        if (static_cast<std::size_t>(n) < kShortReadBytes && coalesceDelay_.count() > 0) nap(coalesceDelay_);
    }
    hub_->close();
    running_ = false;
}

}  // namespace vantiro
