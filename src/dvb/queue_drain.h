#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "dvb/packet_queue.h"

namespace vantiro {

// How `drainQueue` ended.
enum class DrainEnd {
    Finished,     // the queue finished and everything was written
    Closed,       // the queue was closed (by its owner, or hopelessly behind)
    WriteFailed,  // the descriptor refused (reader gone, socket shut down)
    Stopped,      // `keepGoing` said no, or the wake descriptor was signalled
};

struct DrainControl {
    // Asked at least every `checkEvery` while waiting; false ends the drain.
    std::function<bool()> keepGoing;
    // Readable (an eventfd, say) when the drain is to end at once; -1 for none.
    int wakeFd = -1;
    std::chrono::milliseconds checkEvery{100};
    // Bytes written, added as they go (may be null).
    std::atomic<std::uint64_t>* bytesWritten = nullptr;
    // Lets the queue's filling thread write to `fd` itself while the drain has
    // nothing queued (see `PacketQueue::setDirectWrite`), so that a steady
    // stream does not wake the drain's thread for every batch. The drain's
    // checks then run at least every `checkEvery`, and at once when the
    // descriptor refuses.
    bool writeThrough = false;
};

// Writes the queue's data to `fd` (a pipe or a socket) block by block until one
// of the ends above. Waiting for the descriptor never blocks without checking
// the control and the queue, so a reader that stops reading cannot hold the
// drain forever: its queue closes once hopelessly behind and the drain returns.
// Pipes must have O_NONBLOCK on their write end; sockets are written with
// MSG_DONTWAIT and MSG_NOSIGNAL.
DrainEnd drainQueue(PacketQueue& queue, int fd, const DrainControl& control);

}  // namespace vantiro
