#pragma once

namespace vantiro {

// Panels stay up this long after the last input.
inline constexpr double kIdleAfterSeconds = 10.0;

// The toolbar slides down by this many pixels to hide, at kToolbarSlideSpeed px/s,
// and is no longer drawn once it is nearly out (kToolbarDrawnBelow).
inline constexpr float kToolbarHiddenOffset = 104.0f;
inline constexpr float kToolbarSlideSpeed = 900.0f;
inline constexpr float kToolbarDrawnBelow = 103.5f;

// The UI is awake while a scan runs, while a channel is connecting, and for a
// while after the last input.
bool isOverlayAwake(bool scanning, bool connecting, double now, double lastActivity);

// Where the toolbar heads: shown while scanning or recently used, else hidden.
// Connecting does not keep the toolbar out.
float toolbarTargetOffset(bool scanning, double now, double lastActivity);

// Moves `offset` towards `target` by at most kToolbarSlideSpeed * dt, never past it.
float stepToolbarOffset(float offset, float target, float dt);

bool isToolbarDrawn(float offset);

// Background alpha of the toolbar at a given slide offset: fades as it slides out.
float toolbarAlpha(float offset);

struct PanelSize {
    float width = 0;
    float height = 0;
};

// The channel list panel for display size W x H: 44 % of the width within
// 420..640 on wide windows, at most 420 (and 16 px margins) on narrow ones;
// all the height but 140 px, never under 260.
PanelSize channelListPanelSize(float displayWidth, float displayHeight);

struct PanelCentre {
    float x = 0;
    float y = 0;
};

// Middle of the centred panels (scan progress, connecting, tuner missing): the
// window's middle, or the middle of the room left of the open channel list when
// that room is wide enough for them, so that they do not cover the list.
PanelCentre centredPanelPosition(float displayWidth, float displayHeight, bool listOpen);

// Progress bar fraction of the band scan: done / max(total, 1), capped at 1.
float scanProgressFraction(int done, int total);

}  // namespace vantiro
