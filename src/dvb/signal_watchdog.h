#pragma once
#include <chrono>
#include <cstdint>

namespace vantiro {

class Tuner;
class TunedMux;

// Notices that the tuned multiplex went quiet and brings it back. The signal
// counts as lost when no data has come from the DVR for `kSilenceLimit`, or the
// frontend reports no lock; while it is lost the same multiplex is tuned again,
// with pauses that grow up to `kLongestRetunePause`, until data flows again
// with the frontend locked. The consumers of the multiplex stay joined all the
// while, so that players and stream clients go on by themselves.
//
// Every call returns at once, so that a render loop may drive it: a retune only
// programs the frontend (the lock shows later, as data), and it waits for a
// later turn while another thread holds the tuner's mutex (a band scan).
//
// Not thread-safe: the owner of the `TunedMux` calls it (the window's main
// thread, the server under its lock).
class SignalWatchdog {
public:
    using Clock = std::chrono::steady_clock;
    enum class Change { None, Lost, Regained };

    static constexpr std::chrono::milliseconds kSilenceLimit{2000};
    // The frontend's status is read at most this often while data flows.
    static constexpr std::chrono::milliseconds kLockCheckInterval{1000};
    // ... and at most this often while data comes back after a loss.
    static constexpr std::chrono::milliseconds kRegainCheckInterval{200};
    // The first retune happens when the loss is noticed; then after these pauses,
    // doubling: a demodulator needs about a second to lock, so retuning faster
    // would keep it from ever locking.
    static constexpr std::chrono::milliseconds kFirstRetunePause{1500};
    static constexpr std::chrono::milliseconds kLongestRetunePause{8000};

    SignalWatchdog(Tuner& tuner, TunedMux& mux);
    SignalWatchdog(const SignalWatchdog&) = delete;
    SignalWatchdog& operator=(const SignalWatchdog&) = delete;

    // Starts watching the multiplex the `TunedMux` is on now (just tuned, its
    // source reading). Silence is counted from `now`.
    void watch(Clock::time_point now);
    // Nothing to watch (the multiplex was left).
    void forget();
    // Looks at the multiplex; a change is reported once.
    Change poll(Clock::time_point now);
    // The latest time `poll` should be called next to miss nothing: the silence
    // limit, a lock check or a retune falling due (data that comes meanwhile
    // only moves it later). A thread of its own sleeps until then instead of
    // looking a few times a second.
    Clock::time_point nextDue(Clock::time_point now) const;

    bool watching() const { return watching_; }
    bool lost() const { return lost_; }
    // Frequency (Hz) and delivery system of the watched multiplex.
    std::uint32_t frequency() const { return frequency_; }
    std::int32_t deliverySystem() const { return deliverySystem_; }
    // Retunes since the last `watch`.
    unsigned retunes() const { return retunes_; }

private:
    Change pollReceiving(Clock::time_point now);
    Change pollLost(Clock::time_point now);
    void retuneIfDue(Clock::time_point now);

    Tuner& tuner_;
    TunedMux& mux_;
    bool watching_ = false;
    bool lost_ = false;
    std::uint32_t frequency_ = 0;
    std::int32_t deliverySystem_ = -1;
    Clock::time_point since_{};          // silence is counted from here at the earliest
    Clock::time_point lostAt_{};
    Clock::time_point nextLockCheck_{};
    Clock::time_point nextRetune_{};
    std::chrono::milliseconds retunePause_ = kFirstRetunePause;
    unsigned retunes_ = 0;
};

}  // namespace vantiro
