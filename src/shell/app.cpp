#include "shell/app.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "guide/guide_cache.h"
#include "online/online_service.h"
#include "system/browser_launch.h"
#include "system/file_replace.h"
#include "ui/channel_kind.h"

namespace vantiro {

namespace {

constexpr const char* kBusyHint = " (another player already uses the tuner)";

std::string megahertzText(std::uint32_t hertz) {
    char text[32];
    std::snprintf(text, sizeof text, "%u MHz", hertz / 1000000u);
    return text;
}

}  // namespace

App::App() : guide(guideCacheDirectory()) {}

App::~App() {
    // The scan thread is joined by the shutdown of the main loop; a thread still
    // joinable here (an aborted start-up) must not take the process down.
    scanProgress.cancel.store(true);
    if (scanThread.joinable()) scanThread.join();
    if (tuneAheadThread.joinable()) tuneAheadThread.join();
}

void App::showToast(const std::string& text, double seconds) {
    toastText = text;
    toastUntil = nowSeconds() + seconds;
}

void App::showStartFailure(const std::string& text, double seconds) {
    std::fprintf(stderr, "vantiro: channel start failed: %s\n", text.c_str());
    showToast(text, seconds);
}

void App::openTuner() {
    std::string firstError;
    for (int adapter = 0; adapter <= kLastAdapter; ++adapter) {
        std::string error;
        if (tuner.open(adapter, &error)) {
            tunerOpen = true;
            return;
        }
        if (firstError.empty()) firstError = error;
    }
    tunerOpen = false;
    tunerError = firstError;
    if (tunerError.find("busy") != std::string::npos) tunerError += kBusyHint;
}

int App::readLastChannel() const {
    if (lastChannelPath.empty()) return -1;
    std::ifstream file(lastChannelPath);
    std::string line;
    if (!file || !std::getline(file, line)) return -1;
    std::string name = line;
    std::string url;
    if (auto tab = line.find('\t'); tab != std::string::npos) {
        name = line.substr(0, tab);
        url = line.substr(tab + 1);
    }
    if (channels.empty()) return -1;
    if (!url.empty()) {
        for (size_t i = 0; i < channels.size(); ++i)
            if (channels[i].url == url) return static_cast<int>(i);
    }
    for (size_t i = 0; i < channels.size(); ++i)
        if (channels[i].name == name) return static_cast<int>(i);
    return -1;
}

void App::saveLastChannel(const Channel& channel) const {
    if (lastChannelPath.empty()) return;
    // Replaced, not rewritten in place: the file is never seen half written,
    // and a crash while saving keeps the channel saved before.
    replaceFile(lastChannelPath, channel.name + '\t' + channel.url + '\n');
}

void App::tuneAhead(int index) {
    if (index < 0 || index >= channelCount() || tuneAheadThread.joinable() || !tuner.isOpen()) return;
    const Channel& channel = channels[static_cast<size_t>(index)];
    if (channel.isOnline()) return;
    tuneAheadFrequency = channel.frequency;
    tuneAheadSystem = channel.deliverySystem;
    tuneAheadLocked = false;
    tuneAheadThread = std::thread([this] {
        tuneAheadLocked = mux.tune(tuneAheadFrequency, tuneAheadSystem, kChannelTuneTimeoutMs);
    });
}

void App::finishTuneAhead() {
    if (!tuneAheadThread.joinable()) return;
    tuneAheadThread.join();
    if (!tuneAheadLocked) return;  // the channel's start tunes again and says why it failed
    tunedFrequency = tuneAheadFrequency;
    tunedDeliverySystem = tuneAheadSystem;
    signalValid = true;
    signalLost = false;
    watchdog.watch(SignalWatchdog::Clock::now());
}

void App::switchChannel(int index) {
    finishTuneAhead();
    if (index < 0 || index >= channelCount()) return;
    const Channel channel = channels[static_cast<size_t>(index)];
    // The sweep holds the tuner until it ends: a tune now would stop the window
    // for the rest of it. Online channels need no tuner.
    if (scanning.load() && !channel.isOnline()) {
        showToast("A scan is running - press Esc to cancel it", kHintToastSeconds);
        return;
    }
    if (refusedWhileRecording(channel)) return;
    audioOnly = false;
    connecting = true;
    connectingName = channel.name;
    connectStart = nowSeconds();
    // The player is not stopped first: libmpv replaces what it plays with the
    // next start (it reads a descriptor of its own, so the old pipe may close
    // under it), and a stop would have the window wait until libmpv is idle,
    // which it is only after its video output has had the old picture drawn
    // by this very thread.
    stopTunerFeed();
    bool started = channel.isOnline() ? startOnlineChannel(index, channel) : startTunerChannel(index, channel);
    if (!started) player.stop();
}

bool App::startOnlineChannel(int index, const Channel& channel) {
    std::string error;
    if (!player.playUrl(channel.url, &error)) {
        connecting = false;
        showStartFailure("IPTV: " + error, kErrorToastSeconds);
        return false;
    }
    markStarted(index, channel);
    forgetTunedMultiplex();
    showToast("[NET] " + channel.name, kChannelToastSeconds);
    return true;
}

bool App::startTunerChannel(int index, const Channel& channel) {
    // A tuner that was busy or unplugged may be back: try the adapters again.
    if (!tuner.isOpen() && !scanning.load()) openTuner();
    if (!tuner.isOpen()) {
        connecting = false;
        showStartFailure("Tuner not available - check the USB stick", kErrorToastSeconds);
        return false;
    }
    // Another multiplex is asked for first and the service opened on it while
    // the tuner locks, so that the demux passes the service's PIDs from the
    // first packet after lock (see TunedMux::start). Within the multiplex the
    // source keeps reading: only the service's consumer and its pipe are new.
    const bool retune = channel.frequency != tunedFrequency || channel.deliverySystem != tunedDeliverySystem;
    auto openFeed = [&](std::string* error) {
        guide.follow(mux);
        liveService = mux.openService(serviceSpecOf(channel), error);
        return liveService && livePipe.start(liveService->sharedQueue(), error);
    };
    std::string error;
    switch (mux.start(channel.frequency, channel.deliverySystem, retune, kChannelTuneTimeoutMs, openFeed, &error)) {
        case TunedMux::Start::NoSignal:
            noSignalOn(channel);
            return false;
        case TunedMux::Start::Failed:
            if (retune) forgetTunedMultiplex();
            liveService.reset();
            connecting = false;
            showStartFailure(error, kErrorToastSeconds);
            return false;
        case TunedMux::Start::Ready:
            break;
    }
    if (retune) {
        tunedFrequency = channel.frequency;
        tunedDeliverySystem = channel.deliverySystem;
        signalValid = true;
        signalLost = false;
        watchdog.watch(SignalWatchdog::Clock::now());
    }
    if (!player.playFd(livePipe.readFd(), &error)) {
        connecting = false;
        showStartFailure("Player: " + error, kPlayerErrorToastSeconds);
        stopTunerFeed();
        return false;
    }
    markStarted(index, channel);
    bool radio = channel.videoPid == 0 && channel.url.empty();
    showToast((radio ? "[RADIO] " : "") + channel.name, kChannelToastSeconds);
    return true;
}

void App::noSignalOn(const Channel& channel) {
    currentIndex = -1;
    forgetTunedMultiplex();
    connecting = false;
    showStartFailure("No signal on " + megahertzText(channel.frequency), kErrorToastSeconds);
}

void App::markStarted(int index, const Channel& channel) {
    currentIndex = index;
    playbackErrorHandled = false;
    saveLastChannel(channel);
    listSelection = index;
    guide.channelStarted(channel);
}

void App::stopTunerFeed() {
    livePipe.stop();
    liveService.reset();
}

void App::forgetTunedMultiplex() {
    stopTunerFeed();
    mux.close();
    watchdog.forget();
    signalLost = false;
    tunedFrequency = 0;
    tunedDeliverySystem = -1;
    signalValid = false;
    dvrOverflows = 0;
}

bool App::isAudioOnlyChannel(const Channel& channel) const { return vantiro::isAudioOnlyChannel(channel, radioUrls); }

void App::openBrowser() {
    launchBrowser(onlineAvailable, std::string(kOnlineWebPageUrl),
                  [this](const std::string& text, double seconds) { showToast(text, seconds); });
}

std::string lastChannelPathFor(const std::string& channelListPath) {
    auto slash = channelListPath.rfind('/');
    std::string directory = slash == std::string::npos ? "." : channelListPath.substr(0, slash);
    return directory + "/last-channel";
}

}  // namespace vantiro
