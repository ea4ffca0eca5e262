#include <algorithm>
#include <ctime>

#include "shell/app.h"
#include "shell/keycodes.h"
#include "shell/sdl_platform.h"

namespace vantiro {

void App::onKeyDown(std::int32_t code) {
    if (demoPlaying()) {
        switch (code) {
        case key::kEscape:
        case key::kQ: escapeChain(); break;
        case key::kF:
        case key::kF11: toggleFullscreen(); break;
        case key::kM: toggleMute(); break;
        case key::kA: cycleAudioTrack(); break;
        case key::kV: cycleSubtitles(); break;
        default: break;
        }
        return;
    }
    const int count = channelCount();
    // While the programme info is open the arrow keys scroll its text.
    if (guide.infoOpen() && (code == key::kUp || code == key::kDown)) {
        guide.scrollInfo(code == key::kDown ? 1 : -1);
        return;
    }
    switch (code) {
    case key::kDown: moveInList(+1); break;
    case key::kUp: moveInList(-1); break;
    case key::kReturn:
    case key::kSpace:
    case key::kKeypadEnter:
        if (listOpen) {
            if (count >= 1) switchChannel(listSelection);
            listOpen = false;
        } else if (count >= 1) {
            listSelection = std::max(currentIndex, 0);
            listOpen = true;
            scrollToSelection = true;
        }
        break;
    case key::kTab:
    case key::kL:
        listOpen = !listOpen;
        scrollToSelection = true;
        listSelection = std::max(currentIndex, 0);
        break;
    case key::kEscape:
    case key::kQ: escapeChain(); break;
    case key::kF:
    case key::kF11: toggleFullscreen(); break;
    case key::kM: toggleMute(); break;
    case key::kI: toggleGuideInfo(); break;
    case key::kA: cycleAudioTrack(); break;
    case key::kV: cycleSubtitles(); break;
    case key::kS:
        if (!scanning.load() && !refusedWhileRecording(Channel{})) startScan();
        break;
    case key::kR: toggleRecording(); break;
    case key::kW:
        if (onlineAvailable)
            openBrowserRequested = true;
        else
            showToast("Offline - connect to use Lunaricast", kHintToastSeconds);
        break;
    default: break;
    }
}

void App::moveInList(int step) {
    const int count = channelCount();
    if (listOpen && count >= 1) {
        listSelection = (listSelection + step + count) % count;
        scrollToSelection = true;
        return;
    }
    if (scanning.load()) return;
    if (count == 0) {
        showToast("No channels yet - press S to scan", kErrorToastSeconds);
        return;
    }
    zapBy(step);
}

void App::zapBy(int step) {
    const int count = channelCount();
    if (currentIndex < 0) {
        switchChannel(step > 0 ? 0 : count - 1);
        return;
    }
    switchChannel((currentIndex + step + count) % count);
}

void App::escapeChain() {
    if (guide.infoOpen()) {
        guide.closeInfo();
    } else if (scanning.load()) {
        scanProgress.cancel.store(true);
        showToast("Cancelling scan...", kCancelToastSeconds);
    } else if (listOpen) {
        listOpen = false;
    } else {
        quitRequested = true;
    }
}

void App::toggleFullscreen() {
    fullscreen = !fullscreen;
    setWindowFullscreen(window, fullscreen);
}

void App::toggleGuideInfo() {
    // A key may come before the first frame has looked at the guide.
    guide.refresh(channels, currentIndex, static_cast<UnixSeconds>(std::time(nullptr)));
    if (!guide.toggleInfo()) showToast("No programme information for this channel", kHintToastSeconds);
}

void App::toggleMute() {
    player.setMute(!player.muted());
    showToast(player.muted() ? "Muted" : "Sound on", kMuteToastSeconds);
}

}  // namespace vantiro
