#include "ui/audio_visualiser.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/imgui_frame.h"

namespace vantiro {
namespace {

constexpr float kAmplitude = 0.13f * 720;

struct Range {
    float low = 1e9f;
    float high = -1e9f;
};

// Samples a bar over a minute of animation.
Range sampledRange(int bar) {
    Range range;
    for (int step = 0; step < 6000; ++step) {
        const float h = visualiserBarHalfHeight(bar, step * 0.01, kAmplitude);
        range.low = std::min(range.low, h);
        range.high = std::max(range.high, h);
    }
    return range;
}

TEST(VisualiserBars, EveryBarStaysWithinItsBounds) {
    const float floor = 10 + 0.55f * 0.16f * kAmplitude;
    const float ceiling = 10 + kAmplitude;
    for (int i = 0; i < kVisualiserBarCount; ++i) {
        const Range range = sampledRange(i);
        EXPECT_GE(range.low, floor - 0.001f) << "bar " << i;
        EXPECT_LE(range.high, ceiling + 0.001f) << "bar " << i;
    }
}

TEST(VisualiserBars, OuterBarsMoveLeastAndSymmetrically) {
    // Both ends have no envelope, so they never rise above 10 + 0.55 A.
    const float endCeiling = 10 + 0.55f * kAmplitude;
    for (int end : {0, kVisualiserBarCount - 1}) EXPECT_LE(sampledRange(end).high, endCeiling + 0.001f);
    EXPECT_GT(sampledRange(27).high, endCeiling + 0.1f * kAmplitude);
}

TEST(VisualiserBars, AFunctionOfTimeOnly) {
    EXPECT_FLOAT_EQ(visualiserBarHalfHeight(13, 42.5, kAmplitude), visualiserBarHalfHeight(13, 42.5, kAmplitude));
    EXPECT_NE(visualiserBarHalfHeight(13, 42.5, kAmplitude), visualiserBarHalfHeight(13, 42.6, kAmplitude));
}

TEST(VisualiserBars, AmberOnTheLeftBlueOnTheRight) {
    EXPECT_EQ(visualiserBarColour(0, 200), IM_COL32(242, 198, 109, 200));
    EXPECT_EQ(visualiserBarColour(kVisualiserBarCount - 1, 200), IM_COL32(124, 184, 232, 200));
    // Halfway the channels are truncated, not rounded.
    const ImU32 middle = visualiserBarColour(27, 255);
    EXPECT_EQ(middle & 0xff, static_cast<ImU32>(124 * 27.0f / 55 + 242 * (1 - 27.0f / 55)));
}

TEST(VisualiserLayout, SwitchesEverythingAt900Pixels) {
    const VisualiserLayout compact = visualiserLayout(899);
    EXPECT_FLOAT_EQ(compact.pictureScale, 0.8f);
    EXPECT_FLOAT_EQ(compact.titleFontSize, 34);
    EXPECT_FLOAT_EQ(compact.captionFontSize, 17);
    EXPECT_FLOAT_EQ(compact.barFieldWidth, 0.78f * 899);
    const VisualiserLayout large = visualiserLayout(900);
    EXPECT_FLOAT_EQ(large.pictureScale, 1.0f);
    EXPECT_FLOAT_EQ(large.titleFontSize, 44);
    EXPECT_FLOAT_EQ(large.captionFontSize, 20);
    EXPECT_FLOAT_EQ(large.barFieldWidth, 0.62f * 900);
}

TEST(VisualiserDrawing, GradientCoversTheWholeDisplay) {
    test::ImGuiFrameHarness harness(1280, 720);
    Channel channel;
    channel.name = "Radio Test";
    harness.frame([&] { drawAudioVisualiser(channel, kCaptionRadio, 1280, 720, 12.0); });
    const ImDrawList* list = harness.windowDrawList("##audioviz");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(test::hasVertex(*list, ImVec2(0, 0), IM_COL32(10, 15, 26, 255)));
    EXPECT_TRUE(test::hasVertex(*list, ImVec2(1280, 720), IM_COL32(17, 27, 45, 255)));
    // The picture is not cut at the window's padding.
    ASSERT_GT(list->CmdBuffer.Size, 0);
    const ImVec4 clip = list->CmdBuffer[0].ClipRect;
    EXPECT_FLOAT_EQ(clip.x, 0);
    EXPECT_FLOAT_EQ(clip.y, 0);
    EXPECT_FLOAT_EQ(clip.z, 1280);
    EXPECT_FLOAT_EQ(clip.w, 720);
}

}  // namespace
}  // namespace vantiro
