#include "shell/windowed_startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "channels/channel_list.h"
#include "dvb/unique_fd.h"
#include "online/online_channels.h"
#include "player/track_preferences.h"
#include "shell/app.h"
#include "shell/render_loop.h"
#include "shell/window_options.h"
#include "system/firmware_installer.h"
#include "system/tuner_usb.h"

namespace vantiro {

namespace {

bool readable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

int installFirmwareOnly() {
    std::string error;
    if (!installFirmware(&error)) {
        std::fprintf(stderr, "firmware install failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("Si2168 firmware installed in /lib/firmware\n");
    return 0;
}

void createConfigDirectory(const std::string& channelListPath) {
    auto parent = std::filesystem::path(channelListPath).parent_path();
    std::error_code ignored;
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
}

bool writeDeclinedMarker(const std::string& marker, std::string* error) {
    UniqueFd fd(::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    constexpr std::string_view kText = "declined\n";
    bool ok = fd && ::write(fd.get(), kText.data(), kText.size()) == static_cast<ssize_t>(kText.size());
    if (ok) ok = ::close(fd.release()) == 0;
    if (!ok) *error = "cannot write " + marker + ": " + std::strerror(errno);
    return ok;
}

// Offered once per start while the stick is plugged in without its firmware,
// until the user declines (the marker file then keeps it quiet).
void offerFirmwareInstall(App& app, const StartupSystem& system) {
    const std::string marker = firmwareDeclinedPathFor(app.channelListPath);
    std::error_code ignored;
    if (readable(system.firmwarePath) || !findTunerUsb(system.usbDevicesDir) ||
        std::filesystem::exists(marker, ignored))
        return;
    std::fprintf(stderr, "installing Si2168 tuner firmware (admin authorization)...\n");
    std::string error;
    if (system.installFirmware(&error)) {
        std::filesystem::remove(marker, ignored);
        app.openTuner();
        std::fprintf(stderr, "Si2168 firmware installed\n");
        return;
    }
    std::string whyNot;
    bool remembered = writeDeclinedMarker(marker, &whyNot);
    std::fprintf(stderr, "%s\n", error.c_str());
    // Otherwise the user is asked again at every start without knowing why.
    if (!remembered)
        std::fprintf(stderr, "the firmware offer cannot be remembered as declined (%s); it comes again at the next start\n",
                     whyNot.c_str());
}

void addOnlineChannels(App& app) {
    OnlineChannels online = loadOnlineChannels();
    app.radioUrls = std::move(online.radioUrls);
    app.tvPlaylistUrl = std::move(online.tvPlaylistUrl);
    app.onlineAvailable = online.available;
    app.sourceLabel = std::move(online.sourceLabel);
    if (online.channels.empty()) return;
    app.onlineChannels = online.channels;
    app.onlineCount = static_cast<int>(online.channels.size());
    app.channels.insert(app.channels.end(), online.channels.begin(), online.channels.end());
}

std::string statusLineOf(const App& app, const StartupSystem& system) {
    StatusFacts facts;
    facts.channelCount = app.channelCount();
    facts.onlineCount = app.onlineCount;
    facts.sourceLabel = app.sourceLabel;
    facts.tunerOpen = app.tunerOpen;
    facts.frontendName = app.tuner.frontendName();
    facts.firmwareReadable = readable(system.firmwarePath);
    facts.tunerError = app.tunerError;
    return buildStatusLine(facts);
}

void startFirstPlayback(App& app, UniqueFd& demoFd) {
    if (app.demoPlaying()) {
        demoFd.reset(::open(app.demoFilePath.c_str(), O_RDONLY | O_CLOEXEC));
        if (!demoFd) {
            std::fprintf(stderr, "cannot open %s\n", app.demoFilePath.c_str());
            return;
        }
        app.player.playFd(demoFd.get());
        return;
    }
    if (!app.channels.empty()) app.switchChannel(std::max(app.readLastChannel(), 0));
    app.showToast(app.statusLine, kStatusToastSeconds);
}

}  // namespace

void prepareWindowedApp(App& app, const StartupSystem& system) {
    app.channelListPath = channelListPath();
    app.lastChannelPath = lastChannelPathFor(app.channelListPath);
    app.channels = loadChannelList(app.channelListPath);
    app.guide.loadCache();
    app.openTuner();
    createConfigDirectory(app.channelListPath);
    offerFirmwareInstall(app, system);
    addOnlineChannels(app);
    app.statusLine = statusLineOf(app, system);
}

int runWindowedPlayer(int argc, char** argv) {
    App app;
    applyWindowOptions(app, argc, argv);
    if (app.installFirmwareAtStart) return installFirmwareOnly();
    prepareWindowedApp(app);
    // The first channel's multiplex locks while the window and the player are set up.
    if (!app.demoPlaying() && !app.channels.empty()) app.tuneAhead(std::max(app.readLastChannel(), 0));

    if (!setUpWindowedPlayer(app)) {
        shutDownWindowedPlayer(app);
        return 1;
    }
    app.startTime = nowSeconds();
    app.lastActivity = app.startTime;
    app.player.setTrackPreferences(loadTrackPreferences(settingsPathFor(app.channelListPath)));
    const char* trackLog = std::getenv("VANTIRO_TRACK_LOG");
    app.trackLog = trackLog && *trackLog;

    UniqueFd demoFd;  // outlives the player's use of it: the loop and its shutdown
    startFirstPlayback(app, demoFd);
    if (app.scanAtStart) app.startScan();
    if (app.listOpenAtStart) {
        app.listSelection = std::max(app.currentIndex, 0);
        app.listOpen = true;
        app.scrollToSelection = true;
    }
    // The first playback may have waited for the tune: the overlay's idle time
    // counts from the first frame, so it never hides before it was seen.
    app.lastActivity = nowSeconds();
    runMainLoop(app);
    shutDownWindowedPlayer(app);
    return 0;
}

}  // namespace vantiro
