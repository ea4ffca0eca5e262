#include "ui/toolbar.h"

#include <gtest/gtest.h>
#include <imgui_internal.h>

#include "support/imgui_frame.h"

namespace vantiro {
namespace {

// A plain host window at a known place for one button.
bool buttonInHost(bool enabled, bool active) {
    ImGui::SetNextWindowPos(ImVec2(100, 100));
    ImGui::Begin("host", nullptr, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_AlwaysAutoResize);
    const bool clicked = toolbarButton("web", ToolbarIcon::Globe, "Web", "tooltip", enabled, active, false);
    ImGui::End();
    return clicked;
}

TEST(ToolbarButton, EnabledButtonReportsItsClick) {
    test::ImGuiFrameHarness harness(1280, 720);
    bool clicked = false;
    harness.frame([&] { buttonInHost(true, false); });
    const ImVec2 inside(100 + 8 + 41, 100 + 8 + 31);
    harness.click(inside, [&] { clicked |= buttonInHost(true, false); });
    EXPECT_TRUE(clicked);
}

TEST(ToolbarButton, DisabledButtonIgnoresClicksAndDrawsGreyInk) {
    test::ImGuiFrameHarness harness(1280, 720);
    bool clicked = false;
    harness.frame([&] { buttonInHost(false, false); });
    const ImVec2 inside(100 + 8 + 41, 100 + 8 + 31);
    harness.click(inside, [&] { clicked |= buttonInHost(false, false); });
    EXPECT_FALSE(clicked);
    const ImDrawList* list = harness.windowDrawList("host");
    bool grey = false;
    for (const ImDrawVert& v : list->VtxBuffer) grey |= v.col == IM_COL32(100, 116, 139, 255);
    EXPECT_TRUE(grey);
    // No tooltip for a disabled button.
    EXPECT_EQ(ImGui::FindWindowByName("##Tooltip_00"), nullptr);
}

TEST(ToolbarButton, ActiveButtonHasTheOrangeBorder) {
    test::ImGuiFrameHarness harness(1280, 720);
    harness.frame([&] { buttonInHost(true, true); });
    const ImDrawList* list = harness.windowDrawList("host");
    bool orange = false;
    for (const ImDrawVert& v : list->VtxBuffer) orange |= v.col == IM_COL32(249, 115, 22, 255);
    EXPECT_TRUE(orange);
}

TEST(Toolbar, SixButtonsCentredAtTheBottomAndScanDisabledWhileScanning) {
    test::ImGuiFrameHarness harness(1280, 720);
    ToolbarView view;
    view.scanning = true;
    ToolbarClicks clicks;
    harness.frame([&] { drawToolbar(view, 1280, 720, 0); });
    harness.frame([&] { drawToolbar(view, 1280, 720, 0); });
    ImGuiWindow* w = ImGui::FindWindowByName("##toolbar");
    ASSERT_NE(w, nullptr);
    EXPECT_NEAR(w->Pos.x + w->Size.x * 0.5f, 640, 1);
    EXPECT_FLOAT_EQ(w->Pos.y + w->Size.y, 710);
    // Six 82 px buttons with 6 px between them, after the hint text.
    EXPECT_GT(w->Size.x, 6 * 82 + 5 * 6);
    // The Scan button is the second one: last button is Quit at the right end.
    const float right = w->Pos.x + w->Size.x - ImGui::GetStyle().WindowPadding.x;
    const float buttonY = w->Pos.y + w->Size.y * 0.5f;
    const float scanX = right - 4 * (82 + 6) - 41;
    harness.click(ImVec2(scanX, buttonY), [&] {
        const ToolbarClicks c = drawToolbar(view, 1280, 720, 0);
        clicks.scan |= c.scan;
        clicks.list |= c.list;
        clicks.fullscreen |= c.fullscreen;
    });
    EXPECT_FALSE(clicks.scan);
    EXPECT_FALSE(clicks.list);
    EXPECT_FALSE(clicks.fullscreen);

    const float quitX = right - 41;
    bool quit = false;
    harness.click(ImVec2(quitX, buttonY), [&] { quit |= drawToolbar(view, 1280, 720, 0).quit; });
    EXPECT_TRUE(quit);
}

TEST(Toolbar, NarrowWindowDropsTheKeyHintButKeepsEveryButton) {
    // Six 82 px buttons, five 6 px gaps, 14 px before them, 18 px padding each side.
    EXPECT_TRUE(toolbarHasRoomForHint(1280, 150, 18));
    EXPECT_TRUE(toolbarHasRoomForHint(722, 150, 18));
    EXPECT_FALSE(toolbarHasRoomForHint(721, 150, 18));

    test::ImGuiFrameHarness harness(600, 400);
    for (int i = 0; i < 2; ++i) harness.frame([&] { drawToolbar(ToolbarView{}, 600, 400, 0); });
    ImGuiWindow* w = ImGui::FindWindowByName("##toolbar");
    ASSERT_NE(w, nullptr);
    EXPECT_GE(w->Pos.x, 0);
    EXPECT_LE(w->Pos.x + w->Size.x, 600);
}

}  // namespace
}  // namespace vantiro
