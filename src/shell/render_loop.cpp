#include "shell/render_loop.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "shell/app.h"
#include "shell/screenshot.h"
#include "shell/sdl_platform.h"
#include "shell/ui_context.h"

namespace vantiro {

namespace {

// Without vsync (SDL_GL_SetSwapInterval fails under Xvfb and on some drivers)
// an idle loop would spin at hundreds of frames per second.
constexpr std::chrono::microseconds kCappedFrameTime{1000000 / 60};
// A frame with nothing new to show waits this long at most for libmpv's next
// picture; keys, the mouse and the overlay's clocks are looked at again after it.
constexpr std::chrono::milliseconds kUnchangedFrameWait{1000 / 60};

// While a start holds the last picture, the window takes it from the canvas
// (drawn once, or again for a new picture); otherwise libmpv draws into the
// window itself.
void drawVideo(App& app, bool newPicture, int width, int height) {
    if (app.player.holdsLastPicture()) {
        if (newPicture || !app.videoCanvas.holds(width, height))
            app.player.render(app.videoCanvas.beginPicture(width, height), width, height);
        app.videoCanvas.show();
    } else {
        app.videoCanvas.forget();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        clearToWindowBackground(width, height);
        app.player.render(0, width, height);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
}

bool screenshotDue(const App& app, double now) {
    return !app.screenshotPath.empty() && now - app.startTime >= app.screenshotDelay;
}

void takeScreenshotIfDue(App& app, double now, int width, int height) {
    if (!screenshotDue(app, now)) return;
    std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    writePpmScreenshot(app.screenshotPath, width, height, rgba);
    app.screenshotPath.clear();
    app.quitRequested = true;
}

}  // namespace

// The overlay is built every frame (it answers keys and the mouse and follows
// the clock), but the window is drawn only when that changed what it shows or
// libmpv has a picture to draw: drawing the same pixels again costs a software
// renderer as much as new ones, and every such frame took CPU from decoding.
bool runOneFrame(App& app) {
    app.finishTuneAhead();  // the loop polls the tuner
    pollSdlEvents(app);
    if (app.scanFinished.exchange(false)) {
        app.finishScan();
        app.lastActivity = nowSeconds();
    }
    app.player.pumpEvents();
    app.pollTracks();
    double now = nowSeconds();
    app.pollAudioOnly(now);
    app.watchConnecting(now);
    app.pollSignal(now);
    app.pollRecording();
    app.watchReception(now);
    app.announcePlaybackError(now);

    int width = 0;
    int height = 0;
    windowSizeInPixels(app.window, width, height);
    const bool newPicture = app.player.takeVideoUpdate();
    beginUiFrame();
    app.drawOverlay();
    const bool overlayChanged = endUiFrame();
    const bool draw = newPicture || overlayChanged || app.redrawRequested || screenshotDue(app, nowSeconds());
    if (draw) {
        app.redrawRequested = false;
        drawVideo(app, newPicture, width, height);
        drawUiFrame(width, height);
        takeScreenshotIfDue(app, nowSeconds(), width, height);
        swapWindow(app.window);
    } else {
        app.player.waitForVideoUpdate(kUnchangedFrameWait);
    }
    if (app.openBrowserRequested) {
        app.openBrowserRequested = false;
        app.openBrowser();
    }
    return draw;
}

bool setUpWindowedPlayer(App& app) {
    if (!openSdlWindow(app)) return false;
    std::string error;
    if (!app.player.create(&error)) {
        std::fprintf(stderr, "player: %s\n", error.c_str());
        return false;
    }
    if (!app.player.createRenderContext(&error)) {
        std::fprintf(stderr, "render: %s\n", error.c_str());
        return false;
    }
    setUpUi(app);
    app.uiReady = true;
    return true;
}

bool PacedFrames::run() {
    const bool drawn = runOneFrame(app_);
    if (app_.vsync) return drawn;  // the swap waited for the display
    const auto now = std::chrono::steady_clock::now();
    if (!drawn) {
        deadline_ = now;  // the frame waited for libmpv already
        return false;
    }
    deadline_ += kCappedFrameTime;
    if (deadline_ < now)
        deadline_ = now;  // a slow frame does not earn a burst of fast ones
    else
        app_.player.waitForVideoUpdate(deadline_ - now);
    return true;
}

void runMainLoop(App& app) {
    PacedFrames frames(app);
    while (!app.quitRequested) frames.run();
}

void shutDownWindowedPlayer(App& app) {
    app.finishTuneAhead();
    app.scanProgress.cancel.store(true);
    if (app.scanThread.joinable()) app.scanThread.join();
    app.player.stop();  // before the service pipe it may still be reading
    app.stopTunerFeed();
    app.mux.close();
    app.currentIndex = -1;
    app.player.shutdown();
    app.videoCanvas.release();
    if (app.uiReady) shutDownUi();
    app.uiReady = false;
    closeSdlWindow(app);
}

}  // namespace vantiro
