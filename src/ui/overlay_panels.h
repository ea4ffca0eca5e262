#pragma once
#include <cstdint>
#include <string>

#include <imgui.h>

#include "channels/channel.h"

namespace vantiro {

// What the now-playing panel shows about the current channel.
struct NowPlayingView {
    const Channel& channel;
    int index = 0;  // 0-based
    int count = 0;
    bool audioOnly = false;  // isAudioOnlyChannel of the channel
    const std::string& sourceLabel;
    bool signalValid = false;
    int signalPercent = -1;
    int qualityPercent = -1;
    bool onlineAvailable = false;
    std::uint64_t dvrOverflows = 0;  // shown after the signal reading when not 0
    std::string audioTrack;  // "Audio: tha (2/2)" while the stream has several audio tracks, else empty
    std::string recordingMark;  // "REC mm:ss" while recording, else empty
};

struct PanelLine {
    std::string text;
    ImVec4 colour;
};

// Line 2: kind, position in the list and, for tuner channels, the frequency.
PanelLine nowPlayingDetailLine(const NowPlayingView& view);
// Line 3: the online source, or the tuner's signal reading (with the DVR
// overflows of the multiplex, when there were any).
PanelLine nowPlayingSignalLine(const NowPlayingView& view);

// "474 MHz" from hertz.
std::string megahertzText(std::uint32_t hertz);

struct ScanProgressView {
    bool onlineOnly = false;
    int done = 0;
    int total = 0;
    std::uint32_t currentFrequency = 0;
    int muxesFound = 0;
    int channelsFound = 0;
};

// "%d / %d" over the progress bar, with the total at least 1.
std::string scanProgressOverlayText(int done, int total);
// "<freq> MHz    <n> muxes    <n> channels"
std::string scanProgressCountsText(const ScanProgressView& view);

void drawNowPlayingPanel(const NowPlayingView& view);
// `audioTrack` as in NowPlayingView.
void drawDemoPanel(const std::string& demoPath, const std::string& audioTrack);
// The centred panels are placed with their middle at `centre` (see centredPanelPosition).
void drawScanProgressPanel(const ScanProgressView& view, ImVec2 centre);
// While the tuned multiplex is being tuned again after a loss of signal.
void drawSignalLostPanel(std::uint32_t frequency, ImVec2 centre);
void drawConnectingPanel(const std::string& channelName, ImVec2 centre);
void drawTunerMissingPanel(const std::string& tunerError, ImVec2 centre);
void drawToastPanel(const std::string& text, float displayWidth, float displayHeight);

}  // namespace vantiro
