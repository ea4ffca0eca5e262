// The parts of every frame that need no window: polls, the connecting watch and
// the playback-error announcement. The main loop calls them in its order.
#include "shell/app.h"

#include "ui/overlay_panels.h"

namespace vantiro {

namespace {

constexpr double kPlayerPollSeconds = 0.4;
constexpr double kSignalPollSeconds = 1.0;
constexpr double kConnectLimitSeconds = 12.0;
constexpr double kAutoAdvanceWindowSeconds = 25.0;
constexpr int kMaxAutoAdvances = 3;

}  // namespace

void App::pollAudioOnly(double now) {
    if (now - lastPlayerPoll <= kPlayerPollSeconds) return;
    lastPlayerPoll = now;
    audioOnly = player.playing() ? player.isAudioOnly() : false;
}

void App::watchConnecting(double now) {
    if (!connecting) return;
    if (player.playing() || !player.lastError().empty()) {
        connecting = false;
    } else if (now - connectStart > kConnectLimitSeconds) {
        connecting = false;
        showToast("Still connecting - try another channel", kHintToastSeconds);
    }
}

void App::pollSignal(double now) {
    if (now - lastSignalPoll <= kSignalPollSeconds) return;
    lastSignalPoll = now;
    if (!tuner.isOpen() || tunedFrequency == 0) return;
    signalValid = !signalLost && tuner.hasLock();
    signalPercent = tuner.signalStrengthPercent();
    qualityPercent = tuner.signalQualityPercent();
    dvrOverflows = mux.health().overflows;
}

// The overlay shows a lost signal for as long as the watchdog retunes (see
// drawOverlay) and wakes on the loss and on the return, so that a viewer sees
// what happened to the picture.
void App::watchReception(double now) {
    switch (watchdog.poll(SignalWatchdog::Clock::now())) {
        case SignalWatchdog::Change::Lost:
            signalLost = true;
            signalValid = false;
            lastActivity = now;
            break;
        case SignalWatchdog::Change::Regained:
            signalLost = false;
            signalValid = true;
            lastActivity = now;
            showToast("Signal back on " + megahertzText(watchdog.frequency()), kChannelToastSeconds);
            break;
        case SignalWatchdog::Change::None:
            break;
    }
}

// Each failed start is handled once: the toast only when its text differs from
// the one announced last (the same text from two channels is shown once), the
// auto-advance for every failed start, so that three dead online channels in a
// row that all fail with "loading failed" are still skipped.
void App::announcePlaybackError(double now) {
    const std::string& error = player.lastError();
    if (error.empty() || playbackErrorHandled || scanning.load()) return;
    playbackErrorHandled = true;
    if (error != lastAnnouncedError) {
        lastAnnouncedError = error;
        showStartFailure("Playback error: " + error, kErrorToastSeconds);
    }
    const int count = channelCount();
    if (now - startTime < kAutoAdvanceWindowSeconds && autoAdvanceCount < kMaxAutoAdvances &&
        currentIndex >= 0 && currentIndex < count && channels[static_cast<size_t>(currentIndex)].isOnline()) {
        ++autoAdvanceCount;
        switchChannel(currentIndex + 1);
    }
}

}  // namespace vantiro
