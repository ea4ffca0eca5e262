#include "ui/overlay_geometry.h"

#include <gtest/gtest.h>

namespace vantiro {
namespace {

TEST(ChannelListPanelSize, WidthFollowsWindowWidth) {
    EXPECT_FLOAT_EQ(channelListPanelSize(400, 720).width, 368);   // narrow: W - 32
    EXPECT_FLOAT_EQ(channelListPanelSize(600, 720).width, 420);   // narrow, capped at 420
    EXPECT_FLOAT_EQ(channelListPanelSize(1000, 720).width, 440);  // 44 %
    EXPECT_FLOAT_EQ(channelListPanelSize(1920, 720).width, 640);  // 844.8 capped
}

TEST(ChannelListPanelSize, HeightLeavesRoomButNeverCollapses) {
    EXPECT_FLOAT_EQ(channelListPanelSize(1280, 720).height, 580);
    EXPECT_FLOAT_EQ(channelListPanelSize(1280, 300).height, 260);
    EXPECT_FLOAT_EQ(channelListPanelSize(100, 50).height, 260);
}

TEST(CentredPanels, MoveLeftOfAnOpenListWhenThereIsRoom) {
    EXPECT_FLOAT_EQ(centredPanelPosition(1280, 720, false).x, 640);
    EXPECT_FLOAT_EQ(centredPanelPosition(1280, 720, false).y, 360);
    // 1280 - 16 - 563.2 leaves 700.8 px: the panels centre in it.
    EXPECT_NEAR(centredPanelPosition(1280, 720, true).x, 350.4f, 0.01f);
    EXPECT_FLOAT_EQ(centredPanelPosition(1280, 720, true).y, 360);
    EXPECT_NEAR(centredPanelPosition(1920, 1080, true).x, 632, 0.01f);
    EXPECT_NEAR(centredPanelPosition(1000, 720, true).x, 272, 0.01f);
    // Too narrow to make room: the list is covered rather than the panel cut off.
    EXPECT_FLOAT_EQ(centredPanelPosition(900, 720, true).x, 450);
    EXPECT_FLOAT_EQ(centredPanelPosition(600, 400, true).x, 300);
}

TEST(OverlayAwake, ActivityScanningOrConnectingKeepPanelsUp) {
    EXPECT_TRUE(isOverlayAwake(false, false, 109.9, 100.0));
    EXPECT_FALSE(isOverlayAwake(false, false, 110.0, 100.0));
    EXPECT_TRUE(isOverlayAwake(true, false, 500.0, 100.0));
    EXPECT_TRUE(isOverlayAwake(false, true, 500.0, 100.0));
}

TEST(ToolbarSlide, TargetHidesWhenIdleEvenWhileConnecting) {
    EXPECT_FLOAT_EQ(toolbarTargetOffset(false, 105.0, 100.0), 0);
    EXPECT_FLOAT_EQ(toolbarTargetOffset(false, 111.0, 100.0), kToolbarHiddenOffset);
    EXPECT_FLOAT_EQ(toolbarTargetOffset(true, 111.0, 100.0), 0);
}

TEST(ToolbarSlide, StepsAt900PixelsPerSecondWithoutOvershoot) {
    EXPECT_FLOAT_EQ(stepToolbarOffset(0, 104, 0.05f), 45);
    EXPECT_FLOAT_EQ(stepToolbarOffset(90, 104, 0.05f), 104);
    EXPECT_FLOAT_EQ(stepToolbarOffset(104, 0, 0.05f), 59);
    EXPECT_FLOAT_EQ(stepToolbarOffset(30, 0, 0.05f), 0);
    EXPECT_FLOAT_EQ(stepToolbarOffset(104, 104, 0.05f), 104);

    // A full hide at 60 frames per second takes about 0.12 s.
    float offset = 0;
    int frames = 0;
    while (offset < kToolbarHiddenOffset && frames < 100) {
        offset = stepToolbarOffset(offset, kToolbarHiddenOffset, 1.0f / 60.0f);
        ++frames;
    }
    EXPECT_EQ(frames, 7);
}

TEST(ToolbarSlide, DrawnUntilNearlyOutAndFadesWithOffset) {
    EXPECT_TRUE(isToolbarDrawn(103.4f));
    EXPECT_FALSE(isToolbarDrawn(103.5f));
    EXPECT_FLOAT_EQ(toolbarAlpha(0), 0.72f);
    EXPECT_FLOAT_EQ(toolbarAlpha(52), 0.36f);
}

TEST(ScanProgressFraction, GuardsAgainstEmptyTotalAndOverrun) {
    EXPECT_FLOAT_EQ(scanProgressFraction(0, 0), 0);
    EXPECT_FLOAT_EQ(scanProgressFraction(25, 50), 0.5f);
    EXPECT_FLOAT_EQ(scanProgressFraction(60, 50), 1.0f);
}

}  // namespace
}  // namespace vantiro
