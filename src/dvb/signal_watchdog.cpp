#include "dvb/signal_watchdog.h"

#include <algorithm>
#include <mutex>

#include "dvb/tuned_mux.h"
#include "dvb/tuner.h"

namespace vantiro {

SignalWatchdog::SignalWatchdog(Tuner& tuner, TunedMux& mux) : tuner_(tuner), mux_(mux) {}

void SignalWatchdog::watch(Clock::time_point now) {
    watching_ = true;
    lost_ = false;
    frequency_ = mux_.frequency();
    deliverySystem_ = mux_.deliverySystem();
    since_ = now;
    nextLockCheck_ = now + kLockCheckInterval;
    retunes_ = 0;
}

void SignalWatchdog::forget() {
    watching_ = false;
    lost_ = false;
}

SignalWatchdog::Change SignalWatchdog::poll(Clock::time_point now) {
    if (!watching_ || frequency_ == 0) return Change::None;
    return lost_ ? pollLost(now) : pollReceiving(now);
}

// Unwatched, nothing is due sooner than a second from now: a `watch` meanwhile
// puts its first lock check a second after itself. While lost, the return of
// data is looked for as often as the frontend's lock is.
SignalWatchdog::Clock::time_point SignalWatchdog::nextDue(Clock::time_point now) const {
    if (!watching_ || frequency_ == 0) return now + kLockCheckInterval;
    if (lost_) return now + kRegainCheckInterval;
    const Clock::time_point silence = std::max(mux_.health().lastData, since_) + kSilenceLimit;
    return std::max(now, std::min(silence, nextLockCheck_));
}

SignalWatchdog::Change SignalWatchdog::pollReceiving(Clock::time_point now) {
    const Clock::time_point lastData = std::max(mux_.health().lastData, since_);
    bool gone = now - lastData >= kSilenceLimit;
    if (!gone && now >= nextLockCheck_) {
        nextLockCheck_ = now + kLockCheckInterval;
        gone = !tuner_.hasLock();
    }
    if (!gone) return Change::None;
    lost_ = true;
    lostAt_ = now;
    nextRetune_ = now;
    nextLockCheck_ = now;
    retunePause_ = kFirstRetunePause;
    retuneIfDue(now);
    return Change::Lost;
}

SignalWatchdog::Change SignalWatchdog::pollLost(Clock::time_point now) {
    // Data read after the loss was noticed may still be the DVR's backlog from
    // before it: back only when it flows and the frontend says so too.
    if (mux_.health().lastData > lostAt_ && now >= nextLockCheck_) {
        nextLockCheck_ = now + kRegainCheckInterval;
        if (tuner_.hasLock()) {
            lost_ = false;
            since_ = now;
            nextLockCheck_ = now + kLockCheckInterval;
            return Change::Regained;
        }
    }
    retuneIfDue(now);
    return Change::None;
}

void SignalWatchdog::retuneIfDue(Clock::time_point now) {
    if (now < nextRetune_) return;
    // A band scan holds the mutex for its whole sweep: never wait for it here.
    std::unique_lock<std::mutex> tuning(tuner_.mutex(), std::try_to_lock);
    if (!tuning.owns_lock()) return;
    // No lock wait: the frontend is only programmed; the lock is seen as data.
    tuner_.tuneUnlocked(frequency_, deliverySystem_, 0);
    ++retunes_;
    nextRetune_ = now + retunePause_;
    retunePause_ = std::min(retunePause_ * 2, kLongestRetunePause);
}

}  // namespace vantiro
