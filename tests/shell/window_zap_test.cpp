// Zaps in a real window on the simulated adapter, judged by what reached the
// screen after every drawn frame.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "dvbsim/standard_band_channels.h"
#include "shell/app.h"
#include "shell/render_loop.h"
#include "shell/sdl_platform.h"
#include "support/dvbsim_harness.h"
#include "support/temp_dir.h"
#include "support/xvfb_display.h"

namespace vantiro {
namespace {

using Clock = std::chrono::steady_clock;

// Share of the shown window's row at three quarters of its height, inside the
// 4:3 picture and below the panels, that carries a picture: both test pictures
// (Alpha's and Beta's) are mostly bright there, an empty window is dark.
double pictureShareOfShownRow(App& app) {
    int width = 0;
    int height = 0;
    windowSizeInPixels(app.window, width, height);
    const int left = width / 4;
    const int count = width / 2;
    std::vector<unsigned char> row(static_cast<size_t>(count) * 4);
    // Mesa's software renderer swaps by copying the back buffer to the window
    // and keeps it, so after a swap it holds what the window shows (its front
    // buffer is not kept up to date).
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(left, height / 4, count, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
    int bright = 0;
    for (int i = 0; i < count; ++i) {
        const unsigned char* p = &row[static_cast<size_t>(i) * 4];
        if (std::max({p[0], p[1], p[2]}) > 48) ++bright;
    }
    return static_cast<double>(bright) / count;
}

// Frames until the current start shows its first picture; the share of every
// frame drawn meanwhile, in order.
std::vector<double> framesUntilPresenting(App& app) {
    std::vector<double> shares;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (!app.player.presenting() && Clock::now() < deadline)
        if (runOneFrame(app)) shares.push_back(pictureShareOfShownRow(app));
    return shares;
}

void framesFor(App& app, std::chrono::milliseconds span) {
    const auto until = Clock::now() + span;
    while (Clock::now() < until) runOneFrame(app);
}

// While a zap within the multiplex starts, libmpv lets go of the last file and
// asks for redraws with nothing to draw. The window keeps showing the last
// picture under its connecting panel until the new one: no frame in between
// may show an empty window.
TEST(WindowOnTheSimulatedAdapter, EveryFrameOfAZapShowsTheLastPictureUntilTheNewOne) {
    VANTIRO_UNDER_DVBSIM(test::standardBandPath());
    test::XvfbDisplay display;
    if (!display.ok()) GTEST_SKIP() << "no X server";
    ::setenv("VANTIRO_AUDIO_OUTPUT", "null", 1);
    test::TempDir dir;
    App app;
    app.lastChannelPath = dir.file("last-channel");
    app.channels = dvbsim::standardBandChannels();
    app.openTuner();
    ASSERT_TRUE(app.tunerOpen) << app.tunerError;
    ASSERT_TRUE(setUpWindowedPlayer(app));
    app.startTime = nowSeconds();
    app.lastActivity = app.startTime;

    app.switchChannel(0);
    ASSERT_FALSE(framesUntilPresenting(app).empty()) << "Alpha TV never showed a picture";
    for (int zap = 1; zap <= 6; ++zap) {
        framesFor(app, std::chrono::milliseconds(300));
        const int to = zap % 2;  // Beta TV, Alpha TV, ...
        ASSERT_GT(pictureShareOfShownRow(app), 0.5) << "no picture before zap " << zap;
        app.switchChannel(to);
        const std::vector<double> shares = framesUntilPresenting(app);
        ASSERT_TRUE(app.player.presenting()) << "zap " << zap << " never showed a picture";
        for (size_t frame = 0; frame < shares.size(); ++frame)
            EXPECT_GT(shares[frame], 0.5) << "zap " << zap << ", frame " << frame << " of " << shares.size()
                                          << " showed no picture";
    }
    shutDownWindowedPlayer(app);
}

}  // namespace
}  // namespace vantiro
