#include "ui/overlay_geometry.h"

#include <algorithm>

namespace vantiro {
namespace {

constexpr float kListWidthShare = 0.44f;
constexpr float kListNarrowMaxWidth = 420.0f;
constexpr float kListWideMaxWidth = 640.0f;
constexpr float kListNarrowMargins = 32.0f;
constexpr float kListHeightReserve = 140.0f;
constexpr float kListMinHeight = 260.0f;
constexpr float kListMargin = 16.0f;
// The widest centred panel (scan progress, with its 460 px bar) and some air.
constexpr float kCentredPanelRoom = 540.0f;

bool recentlyActive(double now, double lastActivity) { return now - lastActivity < kIdleAfterSeconds; }

}  // namespace

bool isOverlayAwake(bool scanning, bool connecting, double now, double lastActivity) {
    return scanning || connecting || recentlyActive(now, lastActivity);
}

float toolbarTargetOffset(bool scanning, double now, double lastActivity) {
    return scanning || recentlyActive(now, lastActivity) ? 0.0f : kToolbarHiddenOffset;
}

float stepToolbarOffset(float offset, float target, float dt) {
    const float step = kToolbarSlideSpeed * dt;
    if (offset < target) return std::min(offset + step, target);
    if (offset > target) return std::max(offset - step, target);
    return offset;
}

bool isToolbarDrawn(float offset) { return offset < kToolbarDrawnBelow; }

float toolbarAlpha(float offset) { return (1.0f - offset / kToolbarHiddenOffset) * 0.72f; }

PanelSize channelListPanelSize(float displayWidth, float displayHeight) {
    const float share = kListWidthShare * displayWidth;
    PanelSize size;
    size.width = share > kListNarrowMaxWidth ? std::min(share, kListWideMaxWidth)
                                             : std::min(displayWidth - kListNarrowMargins, kListNarrowMaxWidth);
    size.height = std::max(displayHeight - kListHeightReserve, kListMinHeight);
    return size;
}

PanelCentre centredPanelPosition(float displayWidth, float displayHeight, bool listOpen) {
    PanelCentre centre{displayWidth * 0.5f, displayHeight * 0.5f};
    if (!listOpen) return centre;
    const float room = displayWidth - kListMargin - channelListPanelSize(displayWidth, displayHeight).width;
    if (room >= kCentredPanelRoom) centre.x = room * 0.5f;
    return centre;
}

float scanProgressFraction(int done, int total) {
    const float fraction = static_cast<float>(done) / static_cast<float>(std::max(total, 1));
    return std::min(fraction, 1.0f);
}

}  // namespace vantiro
