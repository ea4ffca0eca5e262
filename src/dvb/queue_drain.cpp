#include "dvb/queue_drain.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <span>
#include <vector>

namespace vantiro {
namespace {

bool isSocket(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
}

bool wakeSignalled(int wakeFd) {
    if (wakeFd < 0) return false;
    pollfd p{wakeFd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

bool shouldStop(const DrainControl& control) {
    return (control.keepGoing && !control.keepGoing()) || wakeSignalled(control.wakeFd);
}

// Waits until `fd` takes data, the wake descriptor fires or the check interval passes.
// False when the drain must end (wake or a poll error).
bool waitWritable(int fd, const DrainControl& control) {
    pollfd fds[2] = {{fd, POLLOUT, 0}, {control.wakeFd, POLLIN, 0}};
    int count = control.wakeFd >= 0 ? 2 : 1;
    int polled = ::poll(fds, static_cast<nfds_t>(count), static_cast<int>(control.checkEvery.count()));
    if (polled < 0) return errno == EINTR;
    if (count == 2 && (fds[1].revents & POLLIN)) return false;
    return true;
}

// Writes all of `block`; the end of the drain when it cannot.
std::optional<DrainEnd> writeBlock(PacketQueue& queue, int fd, bool socket, const std::vector<std::uint8_t>& block,
                                   const DrainControl& control) {
    std::size_t done = 0;
    while (done < block.size()) {
        ssize_t n = socket ? ::send(fd, block.data() + done, block.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT)
                           : ::write(fd, block.data() + done, block.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            if (control.bytesWritten) control.bytesWritten->fetch_add(static_cast<std::uint64_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return DrainEnd::WriteFailed;
        if (!waitWritable(fd, control)) return DrainEnd::Stopped;
        if (control.keepGoing && !control.keepGoing()) return DrainEnd::Stopped;
        if (queue.closed()) return DrainEnd::Closed;
    }
    return std::nullopt;
}

// One write that never waits: the bytes taken, 0 when the descriptor is full,
// -1 when it refuses.
std::ptrdiff_t writeNow(int fd, bool socket, std::span<const std::uint8_t> data) {
    for (;;) {
        ssize_t n = socket ? ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                           : ::write(fd, data.data(), data.size());
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

// Lends `fd` to the queue's filling side for as long as the drain runs.
class DirectWriteLoan {
public:
    DirectWriteLoan(PacketQueue& queue, int fd, bool socket, std::atomic<std::uint64_t>* bytesWritten)
        : queue_(queue) {
        queue_.setDirectWrite([fd, socket, bytesWritten](std::span<const std::uint8_t> data) {
            std::ptrdiff_t n = writeNow(fd, socket, data);
            if (n > 0 && bytesWritten) bytesWritten->fetch_add(static_cast<std::uint64_t>(n));
            return n;
        });
    }
    ~DirectWriteLoan() { queue_.setDirectWrite({}); }
    DirectWriteLoan(const DirectWriteLoan&) = delete;
    DirectWriteLoan& operator=(const DirectWriteLoan&) = delete;

private:
    PacketQueue& queue_;
};

DrainEnd drainLoop(PacketQueue& queue, int fd, bool socket, const DrainControl& control) {
    std::vector<std::uint8_t> block;
    for (;;) {
        switch (queue.take(block, control.checkEvery)) {
            case PacketQueue::Status::Closed:
                return DrainEnd::Closed;
            case PacketQueue::Status::Finished:
                return DrainEnd::Finished;
            case PacketQueue::Status::Idle:
                if (shouldStop(control)) return DrainEnd::Stopped;
                continue;
            case PacketQueue::Status::Data:
                break;
        }
        if (std::optional<DrainEnd> end = writeBlock(queue, fd, socket, block, control)) return *end;
        if (control.keepGoing && !control.keepGoing()) return DrainEnd::Stopped;
    }
}

}  // namespace

DrainEnd drainQueue(PacketQueue& queue, int fd, const DrainControl& control) {
    const bool socket = isSocket(fd);
    if (!control.writeThrough) return drainLoop(queue, fd, socket, control);
    DirectWriteLoan loan(queue, fd, socket, control.bytesWritten);
    return drainLoop(queue, fd, socket, control);
}

}  // namespace vantiro
