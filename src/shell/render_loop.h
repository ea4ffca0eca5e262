#pragma once

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
// One frame after another until the quit request flag is set.
void runMainLoop(App& app);
// Scan, relay, player, UI library, GL context, window, SDL, in this order.
void shutDownWindowedPlayer(App& app);

}  // namespace vantiro
