#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "dvb/packet_queue.h"
#include "dvb/queue_drain.h"
#include "dvb/unique_fd.h"

namespace vantiro {

// A pipe fed from a packet queue by a writer thread of its own: what libmpv (or
// any reader of a descriptor) reads a service from. The writer writes whole
// blocks of packets; when the queue finishes or closes, or the reader goes, it
// closes the write end so that the reader sees end of file.
//
// `start` and `stop` belong to the owning thread; the counters may be read anywhere.
class PipeOutput {
public:
    PipeOutput() = default;
    ~PipeOutput() { stop(); }
    PipeOutput(const PipeOutput&) = delete;
    PipeOutput& operator=(const PipeOutput&) = delete;

    // Stops any previous run, makes the pipe (close-on-exec, write end
    // non-blocking) and starts draining `queue` into it. On failure `error`
    // (may be null) gets "pipe: " and the system's text.
    bool start(std::shared_ptr<PacketQueue> queue, std::string* error = nullptr);
    // The two halves of `start`: the pipe alone (nothing is allocated before it,
    // so that a shortage of descriptors is reported as the pipe's), then the writer.
    bool open(std::string* error = nullptr);
    void run(std::shared_ptr<PacketQueue> queue);
    // Ends the writer, closes the queue and both ends of the pipe. Safe twice.
    void stop();

    // Read end; valid after a successful start until the next stop, else -1.
    // The reader must not close it.
    int readFd() const { return readFd_.get(); }
    std::uint64_t bytesWritten() const { return bytesWritten_.load(); }
    std::uint64_t packetsWritten() const { return bytesWritten() / kTsPacketSize; }
    // The writer has ended (queue finished or closed, reader gone, stopped).
    bool ended() const { return ended_.load(); }

private:
    void writeLoop();

    std::shared_ptr<PacketQueue> queue_;
    UniqueFd readFd_;
    UniqueFd writeFd_;
    UniqueFd wakeFd_;
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

}  // namespace vantiro
