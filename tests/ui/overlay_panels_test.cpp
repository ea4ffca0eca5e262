#include "ui/overlay_panels.h"

#include <gtest/gtest.h>
#include <imgui_internal.h>

#include "support/imgui_frame.h"
#include "ui/channel_list_panel.h"

namespace vantiro {
namespace {

const std::string kSource = "Lunaricast";

Channel tunerChannel(std::uint16_t videoPid, bool isNew) {
    Channel ch;
    ch.name = "Tuner One";
    ch.frequency = 474000000;
    ch.videoPid = videoPid;
    ch.isNew = isNew;
    return ch;
}

Channel onlineChannel() {
    Channel ch;
    ch.name = "Net One";
    ch.url = "http://127.0.0.1/tv";
    return ch;
}

bool sameColour(const ImVec4& a, const ImVec4& b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }

TEST(NowPlayingLines, TunerChannelShowsFrequencyPositionKindAndNewMark) {
    const Channel ch = tunerChannel(0x100, true);
    const NowPlayingView view{ch, 2, 12, false, kSource, true, 71, -5, true, 0, ""};
    const PanelLine detail = nowPlayingDetailLine(view);
    EXPECT_EQ(detail.text, "474 MHz   CH 3/12   LIVE TV   NEW");
    EXPECT_TRUE(sameColour(detail.colour, ImVec4(0.6f, 0.95f, 0.7f, 1)));
    EXPECT_EQ(nowPlayingSignalLine(view).text, "signal 71%   quality 0%");
}

TEST(NowPlayingLines, DvrOverflowsFollowTheSignalOnceThereAreAny) {
    const Channel ch = tunerChannel(0x100, false);
    EXPECT_EQ(nowPlayingSignalLine({ch, 0, 3, false, kSource, true, 80, 90, true, 0, ""}).text, "signal 80%   quality 90%");
    EXPECT_EQ(nowPlayingSignalLine({ch, 0, 3, false, kSource, true, 80, 90, true, 3, ""}).text,
              "signal 80%   quality 90%   3 DVR overflows");
}

TEST(NowPlayingLines, RadioServiceAndMissingSignal) {
    const Channel ch = tunerChannel(0, false);
    const NowPlayingView view{ch, 0, 1, true, kSource, false, 50, 50, false, 0, ""};
    const PanelLine detail = nowPlayingDetailLine(view);
    EXPECT_EQ(detail.text, "474 MHz   CH 1/1   RADIO");
    EXPECT_TRUE(sameColour(detail.colour, ImVec4(0.95f, 0.8f, 0.4f, 1)));
    const PanelLine signal = nowPlayingSignalLine(view);
    EXPECT_EQ(signal.text, "no signal");
    EXPECT_TRUE(sameColour(signal.colour, ImVec4(0.95f, 0.65f, 0.3f, 1)));
}

TEST(NowPlayingLines, OnlineChannelShowsKindAndSource) {
    const Channel ch = onlineChannel();
    EXPECT_EQ(nowPlayingDetailLine({ch, 4, 9, false, kSource, false, -1, -1, true, 0, ""}).text, "IPTV   CH 5/9   ONLINE");
    EXPECT_EQ(nowPlayingDetailLine({ch, 4, 9, true, kSource, false, -1, -1, true, 0, ""}).text, "RADIO   CH 5/9   ONLINE");
    EXPECT_EQ(nowPlayingSignalLine({ch, 4, 9, true, kSource, false, -1, -1, true, 0, ""}).text, kSource);
}

TEST(ScanProgressTexts, EmptyTotalReadsOneAndCountsLine) {
    EXPECT_EQ(scanProgressOverlayText(0, 0), "0 / 1");
    EXPECT_EQ(scanProgressOverlayText(7, 50), "7 / 50");
    EXPECT_EQ(scanProgressCountsText({false, 7, 50, 522000000, 2, 9}), "522 MHz    2 muxes    9 channels");
}

TEST(OverlayPanels, NowPlayingSitsAtTheTopLeftCorner) {
    test::ImGuiFrameHarness harness(1280, 720);
    const Channel ch = tunerChannel(0x100, false);
    const NowPlayingView view{ch, 0, 3, false, kSource, true, 80, 90, true, 0, ""};
    for (int i = 0; i < 2; ++i) harness.frame([&] { drawNowPlayingPanel(view); });
    ImGuiWindow* w = ImGui::FindWindowByName("##nowplaying");
    ASSERT_NE(w, nullptr);
    EXPECT_FLOAT_EQ(w->Pos.x, 24);
    EXPECT_FLOAT_EQ(w->Pos.y, 24);
}

// The audio language takes a line of its own, and only when it is given.
TEST(OverlayPanels, NowPlayingGainsALineForTheAudioLanguage) {
    test::ImGuiFrameHarness harness(1280, 720);
    const Channel ch = tunerChannel(0x100, false);
    const NowPlayingView plain{ch, 0, 3, false, kSource, true, 80, 90, true, 0, ""};
    const NowPlayingView withAudio{ch, 0, 3, false, kSource, true, 80, 90, true, 0, "Audio: tha (2/2)"};
    float heights[2] = {0, 0};
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 2; ++i) harness.frame([&] { drawNowPlayingPanel(pass == 0 ? plain : withAudio); });
        ImGuiWindow* w = ImGui::FindWindowByName("##nowplaying");
        ASSERT_NE(w, nullptr);
        heights[pass] = w->Size.y;
    }
    EXPECT_NEAR(heights[1] - heights[0], ImGui::GetTextLineHeightWithSpacing(), 1.0f);
}

TEST(OverlayPanels, ToastHangsAboveTheToolbarAndLongTextsWrapInsideTheWindow) {
    test::ImGuiFrameHarness harness(640, 480);
    const std::string longText(400, 'x');
    const std::string words = "Playback error: " + std::string(30, 'a') + " " + std::string(30, 'b') + " " +
                              std::string(30, 'c') + " " + std::string(30, 'd');
    for (int i = 0; i < 3; ++i) harness.frame([&] { drawToastPanel(words, 640, 480); });
    ImGuiWindow* w = ImGui::FindWindowByName("##toast");
    ASSERT_NE(w, nullptr);
    EXPECT_FLOAT_EQ(w->Pos.y + w->Size.y, 360);
    EXPECT_GE(w->Pos.x, 0);
    EXPECT_LE(w->Pos.x + w->Size.x, 640);
}

TEST(OverlayPanels, CentredPanelsAreCentred) {
    test::ImGuiFrameHarness harness(1280, 720);
    for (int i = 0; i < 3; ++i) {
        harness.frame([&] {
            drawTunerMissingPanel("cannot open /dev/dvb/adapter0/frontend0: No such file or directory", ImVec2(640, 360));
        });
    }
    ImGuiWindow* w = ImGui::FindWindowByName("##nodevice");
    ASSERT_NE(w, nullptr);
    EXPECT_NEAR(w->Pos.x + w->Size.x * 0.5f, 640, 1);
    EXPECT_NEAR(w->Pos.y + w->Size.y * 0.5f, 360, 1);
}

}  // namespace
}  // namespace vantiro

namespace vantiro {
namespace {

int displayOrder(const char* name) {
    const ImGuiContext& g = *ImGui::GetCurrentContext();
    for (int i = 0; i < g.Windows.Size; ++i)
        if (std::string(g.Windows[i]->Name) == name) return i;
    return -1;
}

TEST(OverlayPanels, StatusPanelsStayAboveAClickedChannelList) {
    test::ImGuiFrameHarness harness(1280, 720);
    std::vector<Channel> channels(3, tunerChannel(0x100, false));
    std::vector<std::string> radioUrls;
    int selection = 0;
    bool open = true, scroll = false;
    const auto draw = [&] {
        drawChannelListPanel({channels, radioUrls, selection, open, scroll}, 1280, 720);
        drawConnectingPanel("Channel", ImVec2(640, 360));
        drawToastPanel("A toast long enough to reach under the channel list on the right", 1280, 720);
    };
    harness.frame(draw);
    harness.frame(draw);
    harness.click(ImVec2(1000, 300), draw);  // focuses the list, which comes to the front
    harness.frame(draw);
    EXPECT_GT(displayOrder("##toast"), displayOrder("Channels"));
    EXPECT_GT(displayOrder("##connecting"), displayOrder("Channels"));
}

}  // namespace
}  // namespace vantiro
