#include "ui/toolbar.h"

#include <imgui_internal.h>

#include <initializer_list>
#include <numbers>

#include "ui/draw_shapes.h"
#include "shell/ui_fonts.h"
#include "ui/overlay_fonts.h"
#include "ui/overlay_geometry.h"
#include "ui/overlay_windows.h"

namespace vantiro {
namespace {

constexpr float kLabelFontSize = 12.0f;
constexpr float kIconTop = 23.0f;
constexpr float kLabelFromBottom = 17.0f;
constexpr float kRounding = 12.0f;
constexpr ImU32 kInkEnabled = IM_COL32(229, 231, 235, 255);
constexpr ImU32 kInkDisabled = IM_COL32(100, 116, 139, 255);
constexpr const char* kKeyHint = "Up/Down: channel   A: audio   V: subtitles   R: record";
constexpr float kHintGap = 14.0f;
constexpr float kButtonGap = 6.0f;
constexpr int kButtonCount = 6;

void drawListLines(ImDrawList* dl, ImVec2 c, ImU32 ink) {
    constexpr float kGap = 22.0f * 0.26f;
    for (float dy : {-kGap, 0.0f, kGap}) dl->AddLine(offset(c, -9.24f, dy), offset(c, 9.24f, dy), ink, 2.2f);
}

void drawMagnifier(ImDrawList* dl, ImVec2 c, ImU32 ink) {
    dl->AddCircle(offset(c, -1.76f, -1.76f), 6.16f, ink, 24, 2.2f);
    dl->AddLine(offset(c, 2.86f, 2.86f), offset(c, 9.24f, 9.24f), ink, 2.6f);
}

void drawCorners(ImDrawList* dl, ImVec2 c, ImU32 ink) {
    constexpr float kReach = 8.8f;
    constexpr float kArm = 4.4f;
    for (float sx : {-1.0f, 1.0f}) {
        for (float sy : {-1.0f, 1.0f}) {
            const ImVec2 corner = offset(c, sx * kReach, sy * kReach);
            dl->AddLine(corner, offset(corner, -sx * kArm, 0), ink, 2.2f);
            dl->AddLine(corner, offset(corner, 0, -sy * kArm), ink, 2.2f);
        }
    }
}

void drawGlobe(ImDrawList* dl, ImVec2 c, ImU32 ink) {
    dl->AddCircle(c, 7.92f, ink, 28, 2.2f);
    addEllipse(dl, c, 3.52f, 7.92f, ink, 24, 2.0f);
    dl->AddLine(offset(c, -7.92f, 0), offset(c, 7.92f, 0), ink, 2.0f);
    dl->AddLine(offset(c, -6.16f, -3.96f), offset(c, 6.16f, -3.96f), ink, 1.5f);
    dl->AddLine(offset(c, -6.16f, 3.96f), offset(c, 6.16f, 3.96f), ink, 1.5f);
}

void drawSpeaker(ImDrawList* dl, ImVec2 c, ImU32 ink, bool muted) {
    dl->AddRectFilled(offset(c, -8.8f, -2.42f), offset(c, -4.84f, 2.42f), ink);
    dl->AddTriangleFilled(offset(c, -4.84f, -2.42f), offset(c, 0.44f, -6.6f), offset(c, 0.44f, 6.6f), ink);
    if (muted) {
        dl->AddLine(offset(c, 3.52f, -3.08f), offset(c, 8.8f, 3.08f), ink, 2.4f);
        dl->AddLine(offset(c, 8.8f, -3.08f), offset(c, 3.52f, 3.08f), ink, 2.4f);
    } else {
        for (float radius : {5.28f, 8.8f}) addArc(dl, offset(c, 1.32f, 0), radius, -0.95f, 0.95f, ink, 2.0f);
    }
}

// The ring's gap faces up, where the stroke enters it. Angles count from +x
// towards +y (down), so the arc is turned back by a quarter turn.
void drawPower(ImDrawList* dl, ImVec2 c, ImU32 ink) {
    constexpr float kQuarterTurn = std::numbers::pi_v<float> / 2.0f;
    addArc(dl, c, 7.48f, 0.6f - kQuarterTurn, 5.68f - kQuarterTurn, ink, 2.4f);
    dl->AddLine(offset(c, 0, -2.2f), offset(c, 0, -10.12f), ink, 2.6f);
}

void drawButtonBackground(ImDrawList* dl, ImVec2 min, ImVec2 max, bool active, bool hovered) {
    if (active) {
        dl->AddRectFilled(min, max, IM_COL32(29, 78, 216, 235), kRounding);
        dl->AddRect(min, max, IM_COL32(249, 115, 22, 255), kRounding, ImDrawFlags_None, 2.0f);
    } else {
        dl->AddRectFilled(min, max, hovered ? IM_COL32(30, 41, 59, 235) : IM_COL32(15, 23, 42, 190), kRounding);
        dl->AddRect(min, max, IM_COL32(51, 65, 85, 220), kRounding, ImDrawFlags_None, 1.0f);
    }
}

}  // namespace

void drawToolbarIcon(ImDrawList* dl, ToolbarIcon icon, ImVec2 c, ImU32 ink, bool muted) {
    switch (icon) {
        case ToolbarIcon::List: drawListLines(dl, c, ink); break;
        case ToolbarIcon::Magnifier: drawMagnifier(dl, c, ink); break;
        case ToolbarIcon::Corners: drawCorners(dl, c, ink); break;
        case ToolbarIcon::Globe: drawGlobe(dl, c, ink); break;
        case ToolbarIcon::Speaker: drawSpeaker(dl, c, ink, muted); break;
        case ToolbarIcon::Power: drawPower(dl, c, ink); break;
    }
}

bool toolbarButton(const char* id, ToolbarIcon icon, const char* label, const char* tooltip, bool enabled,
                   bool active, bool muted) {
    ImGui::PushID(id);
    ImGui::InvisibleButton("##b", kToolbarButtonSize);
    const bool hovered = enabled && ImGui::IsItemHovered();
    const bool clicked = enabled && ImGui::IsItemClicked(ImGuiMouseButton_Left);
    const ImVec2 min = ImGui::GetItemRectMin();
    const ImVec2 max = ImGui::GetItemRectMax();
    ImDrawList* dl = ImGui::GetWindowDrawList();

    drawButtonBackground(dl, min, max, active, hovered);
    // An active button keeps the light ink even while it ignores clicks (Scan during
    // a scan): grey on the active blue could hardly be read.
    const ImU32 ink = enabled || active ? kInkEnabled : kInkDisabled;
    drawToolbarIcon(dl, icon, ImVec2((min.x + max.x) * 0.5f, min.y + kIconTop), ink, muted);

    ImFont* font = fontForSize(kLabelFontSize);
    const ImVec2 labelSize = measureText(font, kLabelFontSize, label);
    dl->AddText(font, kLabelFontSize, ImVec2((min.x + max.x - labelSize.x) * 0.5f, max.y - kLabelFromBottom), ink,
                label);

    if (hovered) ImGui::SetTooltip("%s", tooltip);
    ImGui::PopID();
    return clicked;
}

bool toolbarHasRoomForHint(float displayWidth, float hintWidth, float windowPadding) {
    const float buttons = kButtonCount * kToolbarButtonSize.x + (kButtonCount - 1) * kButtonGap;
    return 2 * windowPadding + hintWidth + kHintGap + buttons <= displayWidth;
}

ToolbarClicks drawToolbar(const ToolbarView& view, float w, float h, float slide) {
    ToolbarClicks clicks;
    ImGui::SetNextWindowPos(ImVec2(w * 0.5f, h - 10.0f + slide), ImGuiCond_Always, ImVec2(0.5f, 1.0f));
    ImGui::SetNextWindowBgAlpha(toolbarAlpha(slide));
    if (ImGui::Begin("##toolbar", nullptr, kFixedPanelFlags)) {
        // Above the channel list on short windows, even after the list was clicked.
        ImGui::BringWindowToDisplayFront(ImGui::GetCurrentWindow());
        const float hintWidth = ImGui::CalcTextSize(kKeyHint).x;
        if (toolbarHasRoomForHint(w, hintWidth, ImGui::GetStyle().WindowPadding.x)) {
            ImGui::AlignTextToFramePadding();
            ImGui::TextDisabled("%s", kKeyHint);
            ImGui::SameLine(0, kHintGap);
        }
        clicks.list = toolbarButton("list", ToolbarIcon::List, "List", "Channel list (L)", true, view.listOpen, false);
        ImGui::SameLine(0, kButtonGap);
        clicks.scan = toolbarButton("scan", ToolbarIcon::Magnifier, view.scanning ? "Scanning" : "Scan",
                                    "Scan tuner + online channels (S)", !view.scanning, view.scanning, false);
        ImGui::SameLine(0, kButtonGap);
        clicks.fullscreen =
            toolbarButton("full", ToolbarIcon::Corners, "Full", "Fullscreen (F)", true, view.fullscreen, false);
        ImGui::SameLine(0, kButtonGap);
        clicks.web = toolbarButton("web", ToolbarIcon::Globe, "Web", "Lunaricast in browser (W)", view.onlineAvailable,
                                   false, false);
        ImGui::SameLine(0, kButtonGap);
        clicks.mute = toolbarButton("mute", ToolbarIcon::Speaker, view.muted ? "Sound" : "Mute", "Mute (M)", true,
                                    view.muted, view.muted);
        ImGui::SameLine(0, kButtonGap);
        clicks.quit = toolbarButton("quit", ToolbarIcon::Power, "Quit", "Quit (Q)", true, false, false);
    }
    ImGui::End();
    return clicks;
}

}  // namespace vantiro
