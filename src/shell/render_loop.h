#pragma once

#include <chrono>

namespace vantiro {

class App;

// SDL, window, GL context, player, render context, UI library, in this order.
// Prints the failing step's message to stderr and returns false on failure.
bool setUpWindowedPlayer(App& app);
// One frame: events, polls, the overlay built, then video, overlay, screenshot
// and swap when the video or the overlay changed or a redraw was asked for
// (returns true), else a short wait for libmpv's next picture (false); last
// the browser request.
bool runOneFrame(App& app);
// The main loop's frames at its pace. Without vsync (refused under Xvfb and by
// some drivers) a drawn frame is followed by a wait that caps the loop at 60
// frames per second; libmpv's next picture cuts the wait short and is drawn at
// once, so that the cap never delays a picture.
class PacedFrames {
public:
    explicit PacedFrames(App& app) : app_(app), deadline_(std::chrono::steady_clock::now()) {}
    // One frame (runOneFrame) and the wait after it; true when it was drawn.
    bool run();

private:
    App& app_;
    std::chrono::steady_clock::time_point deadline_;
};

// One frame after another, paced, until the quit request flag is set.
void runMainLoop(App& app);
// Scan, relay, player, UI library, GL context, window, SDL, in this order.
void shutDownWindowedPlayer(App& app);

}  // namespace vantiro
