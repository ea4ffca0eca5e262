// The overlay drawn over the video every frame. For now: the now-playing panel
// and the toast; the other panels join here.
#include <imgui.h>

#include "shell/app.h"
#include "ui/overlay_panels.h"

namespace vantiro {

namespace {

constexpr double kIdleAfterSeconds = 10.0;

void drawNowPlaying(const App& app) {
    const Channel& channel = app.channels[static_cast<size_t>(app.currentIndex)];
    NowPlayingView view{channel,
                        app.currentIndex,
                        app.channelCount(),
                        app.isAudioOnlyChannel(channel),
                        app.sourceLabel,
                        app.signalValid,
                        app.signalPercent,
                        app.qualityPercent,
                        app.onlineAvailable};
    drawNowPlayingPanel(view);
}

}  // namespace

void App::drawOverlay() {
    const ImGuiIO& io = ImGui::GetIO();
    const double now = nowSeconds();
    const bool awake = scanning.load() || connecting || now - lastActivity < kIdleAfterSeconds;
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 12);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0);
    if (awake) {
        if (currentIndex >= 0 && currentIndex < channelCount()) drawNowPlaying(*this);
        if (!toastText.empty() && toastUntil > now) drawToastPanel(toastText, io.DisplaySize.x, io.DisplaySize.y);
    }
    ImGui::PopStyleVar(2);
}

}  // namespace vantiro
