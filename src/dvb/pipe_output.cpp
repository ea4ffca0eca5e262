#include "dvb/pipe_output.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantiro {

bool PipeOutput::start(std::shared_ptr<PacketQueue> queue, std::string* error) {
    if (!open(error)) return false;
    run(std::move(queue));
    return true;
}

bool PipeOutput::open(std::string* error) {
    stop();
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    readFd_.reset(ends[0]);
    writeFd_.reset(ends[1]);
    // Only the write end is non-blocking: the writer must be able to give up on
    // a stalled reader, while the reader may simply block in read.
    int flags = ::fcntl(writeFd_.get(), F_GETFL);
    ::fcntl(writeFd_.get(), F_SETFL, flags | O_NONBLOCK);
    wakeFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeFd_) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        stop();
        return false;
    }
    return true;
}

void PipeOutput::run(std::shared_ptr<PacketQueue> queue) {
    queue_ = std::move(queue);
    bytesWritten_ = 0;
    ended_ = false;
    thread_ = std::thread(&PipeOutput::writeLoop, this);
}

void PipeOutput::stop() {
    if (thread_.joinable()) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_.get(), &one, sizeof one);
        if (queue_) queue_->close();
        thread_.join();
    }
    if (queue_) queue_->close();
    queue_.reset();
    writeFd_.reset();
    readFd_.reset();
    wakeFd_.reset();
}

void PipeOutput::writeLoop() {
    DrainControl control;
    control.wakeFd = wakeFd_.get();
    control.bytesWritten = &bytesWritten_;
    drainQueue(*queue_, writeFd_.get(), control);
    writeFd_.reset();  // the reader sees end of file
    ended_ = true;
}

}  // namespace vantiro
