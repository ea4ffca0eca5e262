#pragma once
#include <atomic>
#include <mutex>

namespace vantiro {

// Tells the source of a hub that the PIDs its consumers want changed, so that
// it sets the demux's filters anew. Shared by the hub, its consumers and the
// source, since a consumer may declare new PIDs from any thread while the hub
// and the source come and go.
class PidDemand {
public:
    // Any thread, never blocks: marks the wanted set stale and wakes the source.
    void changed();
    // The source's thread: true once after one or more changes.
    bool takeChange() { return changed_.exchange(false); }
    // An eventfd the source polls, written on every change; -1: none. The
    // source sets it when it starts and clears it before closing it.
    void setWakeFd(int fd);

private:
    std::atomic<bool> changed_{false};
    std::mutex mutex_;  // keeps the source from closing wakeFd_ while it is written
    int wakeFd_ = -1;
};

}  // namespace vantiro
