#include "ui/overlay_panels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <imgui_internal.h>

#include "ui/draw_shapes.h"
#include "ui/overlay_fonts.h"
#include "ui/overlay_geometry.h"
#include "ui/overlay_windows.h"

namespace vantiro {
namespace {

const ImVec4 kOnlineColour(0.55f, 0.8f, 0.95f, 1.0f);
const ImVec4 kLiveTvColour(0.6f, 0.95f, 0.7f, 1.0f);
const ImVec4 kRadioColour(0.95f, 0.8f, 0.4f, 1.0f);
const ImVec4 kSignalColour(0.55f, 0.85f, 0.6f, 1.0f);
const ImVec4 kWarningColour(0.95f, 0.65f, 0.3f, 1.0f);
const ImVec4 kAudioTrackColour(0.85f, 0.87f, 0.92f, 1.0f);
const ImVec4 kRecordingColour(0.95f, 0.2f, 0.2f, 1.0f);
constexpr ImU32 kSpinnerColour = IM_COL32(249, 115, 22, 255);

// Keeps very long texts inside the window instead of running off its edge.
constexpr float kTextMargin = 48.0f;

void placeCentred(ImVec2 centre, float alpha) {
    ImGui::SetNextWindowPos(centre, ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowBgAlpha(alpha);
}

void placeTopLeft(float alpha) {
    ImGui::SetNextWindowPos(ImVec2(24, 24), ImGuiCond_Always, ImVec2(0, 0));
    ImGui::SetNextWindowBgAlpha(alpha);
}

// The spinner turns in steps, ten a second: between steps the overlay draws the
// same pixels, so the window is not redrawn every frame while a channel starts.
// A software renderer would otherwise spend a core on redraws that compete
// with the start itself.
constexpr double kSpinnerStepsPerSecond = 10.0;
constexpr float kSpinnerStepAngle = 0.4f;

void drawSpinner() {
    const ImVec2 p = ImGui::GetCursorScreenPos();
    const float step = static_cast<float>(std::floor(ImGui::GetTime() * kSpinnerStepsPerSecond));
    const float start = kSpinnerStepAngle * step;
    addArc(ImGui::GetWindowDrawList(), offset(p, 10, 11), 8.0f, start, start + 4.4f, kSpinnerColour, 3.0f);
    ImGui::Dummy(ImVec2(22, 22));
}

void textAtSize(float pixels, const std::string& text) {
    ScopedFont font(pixels);
    ImGui::TextUnformatted(text.c_str());
}

// Status panels stay readable above the channel list, which comes to the front
// whenever it is clicked.
void keepInFront() { ImGui::BringWindowToDisplayFront(ImGui::GetCurrentWindow()); }

void colouredLine(const PanelLine& line) { ImGui::TextColored(line.colour, "%s", line.text.c_str()); }

}  // namespace

std::string megahertzText(std::uint32_t hertz) {
    char text[32];
    std::snprintf(text, sizeof text, "%u MHz", hertz / 1000000u);
    return text;
}

PanelLine nowPlayingDetailLine(const NowPlayingView& view) {
    const Channel& ch = view.channel;
    char text[512];
    if (!ch.url.empty()) {
        std::snprintf(text, sizeof text, "%s   CH %d/%d   ONLINE", view.audioOnly ? "RADIO" : "IPTV", view.index + 1,
                      view.count);
        return {text, kOnlineColour};
    }
    std::snprintf(text, sizeof text, "%s   CH %d/%d   %s%s", megahertzText(ch.frequency).c_str(), view.index + 1,
                  view.count, ch.videoPid != 0 ? "LIVE TV" : "RADIO", ch.isNew ? "   NEW" : "");
    return {text, ch.videoPid != 0 ? kLiveTvColour : kRadioColour};
}

PanelLine nowPlayingSignalLine(const NowPlayingView& view) {
    if (!view.channel.url.empty()) return {view.sourceLabel, kOnlineColour};
    if (!view.signalValid) return {"no signal", kWarningColour};
    char text[96];
    int length = std::snprintf(text, sizeof text, "signal %d%%   quality %d%%", std::max(view.signalPercent, 0),
                               std::max(view.qualityPercent, 0));
    if (view.dvrOverflows > 0 && length > 0 && static_cast<std::size_t>(length) < sizeof text)
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "   %llu DVR overflows",
                      static_cast<unsigned long long>(view.dvrOverflows));
    return {text, kSignalColour};
}

std::string scanProgressOverlayText(int done, int total) {
    char text[64];
    std::snprintf(text, sizeof text, "%d / %d", done, std::max(total, 1));
    return text;
}

std::string scanProgressCountsText(const ScanProgressView& view) {
    char text[128];
    std::snprintf(text, sizeof text, "%s    %d muxes    %d channels", megahertzText(view.currentFrequency).c_str(),
                  view.muxesFound, view.channelsFound);
    return text;
}

void drawNowPlayingPanel(const NowPlayingView& view) {
    placeTopLeft(0.62f);
    if (ImGui::Begin("##nowplaying", nullptr, kFixedPanelFlags)) {
        textAtSize(36, view.channel.name);
        if (!view.recordingMark.empty()) {
            ImGui::SameLine();
            colouredLine({view.recordingMark, kRecordingColour});
        }
        colouredLine(nowPlayingDetailLine(view));
        colouredLine(nowPlayingSignalLine(view));
        if (!view.audioTrack.empty()) colouredLine({view.audioTrack, kAudioTrackColour});
        if (view.channel.url.empty() && !view.onlineAvailable)
            ImGui::TextColored(kWarningColour, "OFFLINE - tuner only");
    }
    ImGui::End();
}

void drawDemoPanel(const std::string& demoPath, const std::string& audioTrack) {
    placeTopLeft(0.62f);
    if (ImGui::Begin("##demo", nullptr, kLoosePanelFlags)) {
        textAtSize(34, "Demo playback");
        ImGui::TextDisabled("%s", demoPath.c_str());
        if (!audioTrack.empty()) colouredLine({audioTrack, kAudioTrackColour});
    }
    ImGui::End();
}

void drawScanProgressPanel(const ScanProgressView& view, ImVec2 centre) {
    placeCentred(centre, 0.92f);
    if (ImGui::Begin("##scanning", nullptr, kLoosePanelFlags)) {
        keepInFront();
        if (view.onlineOnly) {
            ImGui::TextUnformatted("Scanning online channels...");
        } else {
            ImGui::TextUnformatted("Scanning UHF 470-862 MHz for DVB-T2 / DVB-T");
            ImGui::ProgressBar(scanProgressFraction(view.done, view.total), ImVec2(460, 0),
                               scanProgressOverlayText(view.done, view.total).c_str());
            ImGui::TextUnformatted(scanProgressCountsText(view).c_str());
        }
        ImGui::TextDisabled("Esc - cancel");
    }
    ImGui::End();
}

void drawConnectingPanel(const std::string& channelName, ImVec2 centre) {
    placeCentred(centre, 0.9f);
    if (ImGui::Begin("##connecting", nullptr, kFixedPanelFlags)) {
        keepInFront();
        drawSpinner();
        ImGui::SameLine();
        ImGui::TextUnformatted("Connecting...");
        textAtSize(24, channelName);
    }
    ImGui::End();
}

void drawSignalLostPanel(std::uint32_t frequency, ImVec2 centre) {
    placeCentred(centre, 0.9f);
    if (ImGui::Begin("##signallost", nullptr, kFixedPanelFlags)) {
        keepInFront();
        {
            ScopedFont font(30);
            ImGui::TextColored(kWarningColour, "Signal lost on %s", megahertzText(frequency).c_str());
        }
        drawSpinner();
        ImGui::SameLine();
        ImGui::TextDisabled("Retuning - the picture comes back by itself");
    }
    ImGui::End();
}

void drawTunerMissingPanel(const std::string& tunerError, ImVec2 centre) {
    placeCentred(centre, 0.95f);
    if (ImGui::Begin("##nodevice", nullptr, kLoosePanelFlags)) {
        keepInFront();
        textAtSize(30, "Tuner not available");
        ImGui::Spacing();
        ImGui::TextWrapped("%s", tunerError.c_str());
        ImGui::Spacing();
        if (tunerError.find("busy") != std::string::npos) {
            ImGui::TextUnformatted("Close the other player using the tuner, then retry.");
        } else {
            ImGui::TextUnformatted("The Si2168 firmware is built into Vantiro:");
            ImGui::TextDisabled("  vantiro --install-firmware   (or tools/install-firmware.sh)");
            ImGui::TextDisabled("then replug the tuner.");
        }
    }
    ImGui::End();
}

void drawToastPanel(const std::string& text, float w, float h) {
    ImGui::SetNextWindowPos(ImVec2(w * 0.5f, h - 120.0f), ImGuiCond_Always, ImVec2(0.5f, 1.0f));
    ImGui::SetNextWindowBgAlpha(0.78f);
    if (ImGui::Begin("##toast", nullptr, kLoosePanelFlags)) {
        keepInFront();
        ScopedFont font(32);
        ImGui::PushTextWrapPos(std::max(w - kTextMargin, 100.0f));
        ImGui::TextUnformatted(text.c_str());
        ImGui::PopTextWrapPos();
    }
    ImGui::End();
}

}  // namespace vantiro
