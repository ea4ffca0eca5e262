// Everything drawn over the video, once per frame, in a fixed order: the
// visualiser at the back, the panels while the UI is awake, the toolbar last.
#include <imgui.h>

#include <algorithm>
#include <ctime>

#include "shell/app.h"
#include "ui/audio_visualiser.h"
#include "ui/channel_list_panel.h"
#include "ui/guide_panels.h"
#include "ui/overlay_geometry.h"
#include "ui/overlay_panels.h"
#include "ui/toolbar.h"

namespace vantiro {
namespace {

ScanProgressView scanProgressView(const App& app) {
    ScanProgressView view;
    view.onlineOnly = app.onlineOnlyScan;
    view.done = app.scanProgress.done.load();
    view.total = app.scanProgress.total.load();
    view.currentFrequency = static_cast<std::uint32_t>(app.scanProgress.currentFrequency.load());
    view.muxesFound = app.scanProgress.muxesFound.load();
    view.channelsFound = app.scanProgress.channelsFound.load();
    return view;
}

}  // namespace

void App::drawOverlay() {
    const ImGuiIO& io = ImGui::GetIO();
    const float w = io.DisplaySize.x;
    const float h = io.DisplaySize.y;
    const float dt = io.DeltaTime;
    const int count = channelCount();
    const double now = nowSeconds();
    const bool hasCurrent = currentIndex >= 0 && currentIndex < count;
    const auto wallTime = static_cast<UnixSeconds>(std::time(nullptr));
    guide.refresh(channels, currentIndex, wallTime);

    if (audioOnly && hasCurrent) {
        const Channel& current = channels[static_cast<size_t>(currentIndex)];
        drawAudioVisualiser(current, isAudioOnlyChannel(current) ? kCaptionRadio : kCaptionAudioOnly, w, h, now);
    }

    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 12);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0);

    const bool isScanning = scanning.load();
    if (isOverlayAwake(isScanning, connecting || signalLost, now, lastActivity)) {
        const PanelCentre middle = centredPanelPosition(w, h, listOpen);
        const ImVec2 centre(middle.x, middle.y);
        if (hasCurrent) {
            const Channel& current = channels[static_cast<size_t>(currentIndex)];
            drawNowPlayingPanel({current, currentIndex, count, isAudioOnlyChannel(current), sourceLabel, signalValid,
                                 signalPercent, qualityPercent, onlineAvailable, dvrOverflows, audioTrackLine(),
                                 recordingMark()});
            if (const NowNext* programme = guide.current()) drawNowPlayingGuide(*programme, wallTime);
        }
        if (!demoFilePath.empty() && currentIndex < 0) drawDemoPanel(demoFilePath, audioTrackLine());
        if (isScanning) drawScanProgressPanel(scanProgressView(*this), centre);
        if (listOpen) {
            const int clicked =
                drawChannelListPanel({channels, radioUrls, listSelection, listOpen, scrollToSelection, &guide.rowTitles()},
                                     w, h);
            if (clicked >= 0) switchChannel(clicked);
        }
        if (guide.infoOpen() && guide.infoEvent())
            drawGuideInfoPanel(*guide.infoEvent(), centre, w, h, guide.takeInfoScroll());
        if (connecting) drawConnectingPanel(connectingName, centre);
        else if (signalLost) drawSignalLostPanel(watchdog.frequency(), centre);
        if (!tunerOpen && currentIndex < 0) drawTunerMissingPanel(tunerError, centre);
        if (!toastText.empty() && toastUntil > now) drawToastPanel(toastText, w, h);
    }

    toolbarOffset = stepToolbarOffset(toolbarOffset, toolbarTargetOffset(isScanning, now, lastActivity), dt);
    if (isToolbarDrawn(toolbarOffset)) {
        ToolbarView view;
        view.listOpen = listOpen;
        view.scanning = isScanning;
        view.fullscreen = fullscreen;
        view.onlineAvailable = onlineAvailable;
        view.muted = player.muted();
        const ToolbarClicks clicks = drawToolbar(view, w, h, toolbarOffset);
        if (clicks.list) {
            listOpen = !listOpen;
            scrollToSelection = true;
            listSelection = std::max(currentIndex, 0);
        }
        if (clicks.scan) startScan();
        if (clicks.fullscreen) toggleFullscreen();
        if (clicks.web) openBrowserRequested = true;
        if (clicks.mute) toggleMute();
        if (clicks.quit) quitRequested = true;
    }

    ImGui::PopStyleVar(2);
}

}  // namespace vantiro
