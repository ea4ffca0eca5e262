// The window's recording: R writes the playing tuner channel's service to the
// default place beside what the player reads. Zapping within the multiplex
// keeps it going; anything that would move the tuner is refused meanwhile.
#include <cstdio>
#include <ctime>

#include "record/recording_path.h"
#include "shell/app.h"

namespace vantiro {
namespace {

constexpr const char* kRefusal = "Recording - press R to stop it first";

}  // namespace

void App::toggleRecording() {
    if (!recordingName.empty()) {
        recording.stop();
        std::string failure = recording.failure();
        showToast((failure.empty() ? "Recording saved: " : "Recording stopped: " + failure + " - kept ") +
                      recording.path(),
                  kStatusToastSeconds);
        recordingName.clear();
        return;
    }
    if (currentIndex < 0 || channels[static_cast<size_t>(currentIndex)].isOnline() || !liveService) {
        showToast("Only a tuner channel that plays can be recorded", kHintToastSeconds);
        return;
    }
    const Channel& channel = channels[static_cast<size_t>(currentIndex)];
    std::string error;
    if (!recording.start(mux.openService(serviceSpecOf(channel), &error, kRecordingQueueLimits),
                         defaultRecordingPath(channel.name, std::time(nullptr)), std::nullopt, true, &error)) {
        showToast("Cannot record: " + error, kErrorToastSeconds);
        return;
    }
    recordingName = channel.name;
    showToast("Recording to " + recording.path(), kStatusToastSeconds);
}

bool App::refusedWhileRecording(const Channel& channel) {
    if (recordingName.empty() || recording.ended()) return false;
    if (!channel.isOnline() && channel.frequency == tunedFrequency && channel.deliverySystem == tunedDeliverySystem)
        return false;
    showToast(kRefusal, kHintToastSeconds);
    return true;
}

void App::pollRecording() {
    if (recordingName.empty() || !recording.ended()) return;
    recording.stop();
    showToast("Recording stopped: " + recording.failure() + " - kept " + recording.path(), kErrorToastSeconds);
    std::fprintf(stderr, "recording stopped: %s\n", recording.failure().c_str());
    recordingName.clear();
}

std::string App::recordingMark() const {
    if (recordingName.empty()) return {};
    long long seconds = recording.elapsedSeconds();
    char text[32];
    std::snprintf(text, sizeof text, "REC %02lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace vantiro
