#include "ui/channel_list_panel.h"

#include <gtest/gtest.h>
#include <imgui_internal.h>

#include "support/imgui_frame.h"

namespace vantiro {
namespace {

std::vector<Channel> manyChannels(int count) {
    std::vector<Channel> channels;
    for (int i = 0; i < count; ++i) {
        Channel ch;
        ch.name = "Channel " + std::to_string(i);
        ch.frequency = 474000000;
        ch.serviceId = static_cast<std::uint16_t>(i + 1);
        ch.videoPid = 0x100;
        channels.push_back(ch);
    }
    return channels;
}

class ChannelListPanelTest : public ::testing::Test {
protected:
    int draw() {
        const int clicked = drawChannelListPanel({channels, radioUrls, selection, listOpen, scrollToSelection}, 1280, 720);
        if (clicked >= 0) lastClicked = clicked;
        return clicked;
    }
    ImGuiWindow* panel() const { return ImGui::FindWindowByName("Channels"); }
    // Centre of row `i` on screen, for the current scroll position (the cursor start already moves with it).
    ImVec2 rowCentre(int i) const {
        const ImGuiWindow* w = panel();
        const float rowPitch = kChannelRowHeight + 6;
        return ImVec2(w->Pos.x + w->Size.x * 0.5f, w->DC.CursorStartPos.y + i * rowPitch + kChannelRowHeight * 0.5f);
    }

    test::ImGuiFrameHarness harness{1280, 720};
    std::vector<Channel> channels = manyChannels(30);
    std::vector<std::string> radioUrls;
    int selection = 0;
    bool listOpen = true;
    bool scrollToSelection = false;
    int lastClicked = -1;
};

TEST_F(ChannelListPanelTest, SitsAtTheRightEdgeWithItsComputedSize) {
    harness.frame([&] { draw(); });
    harness.frame([&] { draw(); });
    ImGuiWindow* w = panel();
    ASSERT_NE(w, nullptr);
    EXPECT_NEAR(w->Size.x, 0.44f * 1280, 1);  // ImGui keeps whole pixels
    EXPECT_FLOAT_EQ(w->Size.y, 580);
    EXPECT_FLOAT_EQ(w->Pos.x + w->Size.x, 1264);
    EXPECT_FLOAT_EQ(w->Pos.y, 16);
}

TEST_F(ChannelListPanelTest, ClickOnARowSelectsAndReportsIt) {
    harness.frame([&] { draw(); });
    harness.frame([&] { draw(); });
    harness.click(rowCentre(2), [&] { draw(); });
    EXPECT_EQ(lastClicked, 2);
    EXPECT_EQ(selection, 2);
}

TEST_F(ChannelListPanelTest, ScrollsTheSelectionIntoTheMiddleOnce) {
    selection = 25;
    scrollToSelection = true;
    for (int i = 0; i < 3; ++i) harness.frame([&] { draw(); });
    EXPECT_FALSE(scrollToSelection);
    ImGuiWindow* w = panel();
    EXPECT_GT(w->Scroll.y, 0);
    const float rowMiddle = rowCentre(25).y;
    const float windowMiddle = w->InnerRect.Min.y + (w->InnerRect.Max.y - w->InnerRect.Min.y) * 0.5f;
    EXPECT_NEAR(rowMiddle, windowMiddle, kChannelRowHeight);
}

TEST_F(ChannelListPanelTest, CloseBoxClearsTheOpenFlag) {
    harness.frame([&] { draw(); });
    harness.frame([&] { draw(); });
    ImGuiWindow* w = panel();
    const float titleHeight = w->TitleBarHeight();
    // The close button sits at the right end of the title bar.
    const ImVec2 closeBox(w->Pos.x + w->Size.x - titleHeight * 0.5f, w->Pos.y + titleHeight * 0.5f);
    harness.click(closeBox, [&] { draw(); });
    EXPECT_FALSE(listOpen);
    EXPECT_EQ(lastClicked, -1);
}

TEST_F(ChannelListPanelTest, EmptyListDrawsAHintAndNoRows) {
    channels.clear();
    harness.frame([&] { EXPECT_EQ(draw(), -1); });
}

TEST(ChannelListPanelNarrow, SmallWindowStillGetsAUsablePanel) {
    test::ImGuiFrameHarness harness(400, 200);
    std::vector<Channel> channels = manyChannels(3);
    std::vector<std::string> radioUrls;
    int selection = 0;
    bool open = true, scroll = false;
    for (int i = 0; i < 2; ++i)
        harness.frame([&] { drawChannelListPanel({channels, radioUrls, selection, open, scroll}, 400, 200); });
    ImGuiWindow* w = ImGui::FindWindowByName("Channels");
    EXPECT_FLOAT_EQ(w->Size.x, 368);
    EXPECT_FLOAT_EQ(w->Size.y, 260);
}

}  // namespace
}  // namespace vantiro
