#include "shell/draw_data_snapshot.h"

#include <gtest/gtest.h>

#include <string>

#include "support/imgui_frame.h"

namespace vantiro {
namespace {

void panel(const std::string& text) {
    ImGui::SetNextWindowPos(ImVec2(40, 40));
    ImGui::Begin("panel", nullptr, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::TextUnformatted(text.c_str());
    ImGui::Button("Scan");
    ImGui::End();
}

TEST(DrawDataSnapshot, OnlyAFrameThatDrawsSomethingElseCountsAsAChange) {
    test::ImGuiFrameHarness harness(1280, 720);
    DrawDataSnapshot snapshot;
    harness.frame([] { panel("Signal 71%"); });  // the window finds its size, unseen
    harness.frame([] { panel("Signal 71%"); });
    EXPECT_TRUE(snapshot.update(*harness.drawData())) << "the first frame is always new";
    harness.frame([] { panel("Signal 71%"); });
    EXPECT_FALSE(snapshot.update(*harness.drawData()));
    harness.frame([] { panel("Signal 72%"); });
    EXPECT_TRUE(snapshot.update(*harness.drawData())) << "other text";
    harness.frame([] { panel("Signal 72%"); });
    EXPECT_FALSE(snapshot.update(*harness.drawData()));

    harness.moveMouse(ImVec2(60, 88));  // over the button (22-pixel text above it): its colour changes
    harness.frame([] { panel("Signal 72%"); });
    EXPECT_TRUE(snapshot.update(*harness.drawData())) << "a hovered button";
    harness.frame([] { panel("Signal 72%"); });
    EXPECT_FALSE(snapshot.update(*harness.drawData()));

    snapshot.forget();
    harness.frame([] { panel("Signal 72%"); });
    EXPECT_TRUE(snapshot.update(*harness.drawData())) << "after forget";
}

TEST(DrawDataSnapshot, AnEmptyFrameAfterAPanelIsAChange) {
    test::ImGuiFrameHarness harness(1280, 720);
    DrawDataSnapshot snapshot;
    harness.frame([] { panel("Connecting"); });
    harness.frame([] { panel("Connecting"); });
    snapshot.update(*harness.drawData());
    harness.frame([] {});
    EXPECT_TRUE(snapshot.update(*harness.drawData()));
    harness.frame([] {});
    EXPECT_FALSE(snapshot.update(*harness.drawData()));
}

}  // namespace
}  // namespace vantiro
