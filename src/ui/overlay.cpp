// The overlay drawn over the video every frame. For now: what plays and the toast.
#include <imgui.h>

#include <cstdio>

#include "shell/app.h"
#include "shell/ui_fonts.h"

namespace vantiro {

namespace {

constexpr ImGuiWindowFlags kFixedPanel = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                         ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                                         ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_AlwaysAutoResize |
                                         ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNavInputs |
                                         ImGuiWindowFlags_NoNavFocus;
constexpr double kIdleAfterSeconds = 10.0;

void drawNowPlaying(const App& app) {
    const Channel& channel = app.channels[static_cast<size_t>(app.currentIndex)];
    ImGui::SetNextWindowPos(ImVec2(24, 24), ImGuiCond_Always, ImVec2(0, 0));
    ImGui::SetNextWindowBgAlpha(0.62f);
    if (ImGui::Begin("##nowplaying", nullptr, kFixedPanel)) {
        pushFontSize(36);
        ImGui::TextUnformatted(channel.name.c_str());
        popFontSize();
        ImGui::Text("CH %d/%d", app.currentIndex + 1, app.channelCount());
    }
    ImGui::End();
}

void drawToast(const App& app, float width, float height) {
    ImGui::SetNextWindowPos(ImVec2(width * 0.5f, height - 120), ImGuiCond_Always, ImVec2(0.5f, 1.0f));
    ImGui::SetNextWindowBgAlpha(0.78f);
    if (ImGui::Begin("##toast", nullptr, kFixedPanel & ~ImGuiWindowFlags_NoMove)) {
        pushFontSize(32);
        ImGui::TextUnformatted(app.toastText.c_str());
        popFontSize();
    }
    ImGui::End();
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
        if (!toastText.empty() && toastUntil > now) drawToast(*this, io.DisplaySize.x, io.DisplaySize.y);
    }
    ImGui::PopStyleVar(2);
}

}  // namespace vantiro
