#include "shell/overlay_coverage.h"

#include <gtest/gtest.h>

#include "support/imgui_frame.h"

namespace vantiro {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

void panelAt(const char* name, ImVec2 position, ImVec2 size) {
    ImGui::SetNextWindowPos(position);
    ImGui::SetNextWindowSize(size);
    ImGui::Begin(name, nullptr, ImGuiWindowFlags_NoTitleBar);
    ImGui::TextUnformatted("Tuner not available");
    ImGui::End();
}

bool inside(const PixelRect& r, float x, float y) { return x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1; }

TEST(OverlayCoverage, HoldsEveryVertexOnceWithoutOverlapsAndLittleMore) {
    test::ImGuiFrameHarness harness(kWidth, kHeight);
    auto draw = [] {
        panelAt("a", ImVec2(410, 263), ImVec2(460, 195));
        panelAt("b", ImVec2(600, 400), ImVec2(300, 120));  // overlaps a
        panelAt("edge", ImVec2(1200, 650), ImVec2(200, 200));  // partly off screen
    };
    harness.frame(draw);
    harness.frame(draw);
    const ImDrawData& data = *harness.drawData();
    const std::vector<PixelRect> rects = overlayCoverage(data, kWidth, kHeight);
    ASSERT_FALSE(rects.empty());

    for (int l = 0; l < data.CmdListsCount; ++l)
        for (const ImDrawVert& v : data.CmdLists[l]->VtxBuffer) {
            if (v.pos.x > kWidth || v.pos.y > kHeight) continue;  // clipped away by the display
            bool held = false;
            for (const PixelRect& r : rects) held |= inside(r, v.pos.x, v.pos.y);
            EXPECT_TRUE(held) << "vertex at " << v.pos.x << "," << v.pos.y;
        }
    long area = 0;
    for (size_t i = 0; i < rects.size(); ++i) {
        const PixelRect& r = rects[i];
        EXPECT_TRUE(r.x0 >= 0 && r.y0 >= 0 && r.x1 <= kWidth && r.y1 <= kHeight && r.x0 < r.x1 && r.y0 < r.y1);
        area += static_cast<long>(r.x1 - r.x0) * (r.y1 - r.y0);
        for (size_t j = i + 1; j < rects.size(); ++j) {
            const PixelRect& o = rects[j];
            const bool overlap = r.x0 < o.x1 && o.x0 < r.x1 && r.y0 < o.y1 && o.y0 < r.y1;
            EXPECT_FALSE(overlap) << "rectangles " << i << " and " << j;
        }
    }
    // The union of the panels on screen, plus at most one 32-pixel square around each.
    const long panels = 460L * 195 + 300L * 120 + 80L * 70 - (870 - 600) * (458 - 400);
    EXPECT_GE(area, panels);
    EXPECT_LE(area, (460L + 64) * (195 + 64) + (300L + 64) * (120 + 64) + (80L + 64) * (70 + 64));
}

TEST(OverlayCoverage, NothingDrawnCoversNothing) {
    test::ImGuiFrameHarness harness(kWidth, kHeight);
    harness.frame([] {});
    EXPECT_TRUE(overlayCoverage(*harness.drawData(), kWidth, kHeight).empty());
}

TEST(OverlayCoverage, FollowsTheFramebufferScale) {
    test::ImGuiFrameHarness harness(640, 360);
    auto draw = [] { panelAt("a", ImVec2(100, 100), ImVec2(100, 50)); };
    harness.frame(draw);
    harness.frame(draw);
    ImDrawData& data = *harness.drawData();
    data.FramebufferScale = ImVec2(2, 2);
    const std::vector<PixelRect> rects = overlayCoverage(data, 1280, 720);
    ASSERT_FALSE(rects.empty());
    int x0 = 1280, y0 = 720, x1 = 0, y1 = 0;
    for (const PixelRect& r : rects) {
        x0 = std::min(x0, r.x0);
        y0 = std::min(y0, r.y0);
        x1 = std::max(x1, r.x1);
        y1 = std::max(y1, r.y1);
    }
    EXPECT_EQ(x0, 192);  // 200 rounded down to a square
    EXPECT_EQ(y0, 192);
    EXPECT_EQ(x1, 416);  // 400 rounded up
    EXPECT_EQ(y1, 320);  // 300 rounded up
}

}  // namespace
}  // namespace vantiro
