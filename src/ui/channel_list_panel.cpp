#include "ui/channel_list_panel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "shell/ui_fonts.h"
#include "ui/draw_shapes.h"
#include "ui/overlay_fonts.h"
#include "ui/overlay_geometry.h"

namespace vantiro {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kNameIndent = 52.0f;
constexpr float kNameRightGap = 4.0f;
const ImVec2 kIconOffset(28.0f, 32.0f);
// Share of the name's line height down to the programme line: the rest is the
// font's own gap under the text, which the smaller line may use.
constexpr float kNameLineShare = 0.8f;

void drawGlobe(ImDrawList* dl, ImU32 colour, ImVec2 c, float s, float thickness) {
    dl->AddCircle(c, s, colour, 0, thickness);
    addEllipse(dl, c, s, 0.44f * s, colour, 0, 0.8f * thickness);
    addEllipse(dl, c, 0.44f * s, s, colour, 0, 0.8f * thickness);
}

void drawTelevision(ImDrawList* dl, ImU32 colour, ImVec2 c, float s, float thickness) {
    dl->AddRect(offset(c, -0.95f * s, -0.5f * s), offset(c, 0.95f * s, 0.45f * s), colour, 0.24f * s,
                ImDrawFlags_None, thickness);
    dl->AddLine(offset(c, -0.32f * s, 0.45f * s), offset(c, -0.42f * s, 0.95f * s), colour, thickness);
    dl->AddLine(offset(c, 0.32f * s, 0.45f * s), offset(c, 0.42f * s, 0.95f * s), colour, thickness);
    dl->AddLine(offset(c, -0.18f * s, -0.5f * s), offset(c, -0.5f * s, -1.05f * s), colour, 0.85f * thickness);
    dl->AddLine(offset(c, 0.18f * s, -0.5f * s), offset(c, 0.5f * s, -1.05f * s), colour, 0.85f * thickness);
}

void drawFourBars(ImDrawList* dl, ImU32 colour, ImVec2 c, float s) {
    constexpr float kHeights[] = {0.45f, 0.9f, 0.6f, 1.0f};
    for (int k = 0; k < 4; ++k) {
        const float x = c.x - 0.78f * s + static_cast<float>(k) * 0.52f * s;
        dl->AddLine(ImVec2(x, c.y - s * kHeights[k]), ImVec2(x, c.y + s * kHeights[k]), colour, 0.3f * s);
    }
}

void drawStar(ImDrawList* dl, ImU32 colour, ImVec2 c, float s, float thickness) {
    ImVec2 points[8];
    for (int k = 0; k < 8; ++k) {
        const float angle = static_cast<float>(k) * kPi / 4.0f - kPi / 2.0f;
        const float radius = k % 2 == 0 ? s : 0.34f * s;
        points[k] = offset(c, radius * std::cos(angle), radius * std::sin(angle));
    }
    dl->AddPolyline(points, 8, colour, ImDrawFlags_Closed, 0.9f * thickness);
}

void drawRow(ImDrawList* dl, const Channel& channel, ImU32 colour, ChannelKind kind, ImVec2 rowMin, float width,
             const std::string& title) {
    drawChannelIcon(dl, kind, colour, offset(rowMin, kIconOffset.x, kIconOffset.y), kChannelIconSize);
    ImFont* font = ImGui::GetFont();
    const ImVec2 nameSize = measureText(font, kChannelNameFontSize, channel.name.c_str());
    // Long names are cut at the row's right edge rather than wrapped.
    dl->PushClipRect(offset(rowMin, kNameIndent, 0), offset(rowMin, width - kNameRightGap, kChannelRowHeight), true);
    if (title.empty()) {
        dl->AddText(font, kChannelNameFontSize,
                    offset(rowMin, kNameIndent, (kChannelRowHeight - nameSize.y) * 0.5f), colour, channel.name.c_str());
    } else {
        // The name moves up to make room for the programme on air below it.
        ImFont* small = fontForSize(kChannelTitleFontSize);
        const ImVec2 titleSize = measureText(small, kChannelTitleFontSize, title.c_str());
        const float nameStep = nameSize.y * kNameLineShare;
        const float top = std::max(0.0f, (kChannelRowHeight - nameStep - titleSize.y) * 0.5f);
        dl->AddText(font, kChannelNameFontSize, offset(rowMin, kNameIndent, top), colour, channel.name.c_str());
        dl->AddText(small, kChannelTitleFontSize, offset(rowMin, kNameIndent, top + nameStep),
                    ImGui::GetColorU32(ImGuiCol_TextDisabled), title.c_str());
    }
    dl->PopClipRect();
}

}  // namespace

void drawChannelIcon(ImDrawList* drawList, ChannelKind kind, ImU32 colour, ImVec2 centre, float size) {
    const float thickness = std::max(1.4f, 0.15f * size);
    switch (kind) {
        case ChannelKind::Online: drawGlobe(drawList, colour, centre, size, thickness); break;
        case ChannelKind::Tuner: drawTelevision(drawList, colour, centre, size, thickness); break;
        case ChannelKind::Audio: drawFourBars(drawList, colour, centre, size); break;
        case ChannelKind::New: drawStar(drawList, colour, centre, size, thickness); break;
    }
}

int drawChannelListPanel(ChannelListPanelState state, float w, float h) {
    const PanelSize size = channelListPanelSize(w, h);
    ImGui::SetNextWindowSize(ImVec2(size.width, size.height), ImGuiCond_Always);
    ImGui::SetNextWindowPos(ImVec2(w - 16.0f, 16.0f), ImGuiCond_Always, ImVec2(1.0f, 0.0f));
    ImGui::SetNextWindowBgAlpha(0.94f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(12, 12));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(6, 6));
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(14, 12));
    ScopedFont font(kChannelNameFontSize);

    int clicked = -1;
    if (ImGui::Begin("Channels", &state.listOpen, ImGuiWindowFlags_NoCollapse)) {
        if (state.channels.empty()) {
            ImGui::TextDisabled("No channels \xE2\x80\x94 press S to scan.");
        } else {
            ImDrawList* dl = ImGui::GetWindowDrawList();
            const int count = static_cast<int>(state.channels.size());
            for (int i = 0; i < count; ++i) {
                const Channel& channel = state.channels[static_cast<std::size_t>(i)];
                const ChannelKind kind = channelKind(channel, state.radioUrls);
                const ImVec2 rowMin = ImGui::GetCursorScreenPos();
                const float width = ImGui::GetContentRegionAvail().x;
                const std::string rowId = "##row" + std::to_string(i);
                if (ImGui::Selectable(rowId.c_str(), i == state.selection, ImGuiSelectableFlags_None,
                                      ImVec2(0, kChannelRowHeight))) {
                    state.selection = i;
                    clicked = i;
                }
                // Rows scrolled out of view cost their layout only.
                if (ImGui::IsItemVisible()) {
                    const std::size_t row = static_cast<std::size_t>(i);
                    const bool titled = state.rowTitles && row < state.rowTitles->size();
                    drawRow(dl, channel, channelKindColour(kind), kind, rowMin, width,
                            titled ? (*state.rowTitles)[row] : std::string());
                }
                if (i == state.selection && state.scrollToSelection) {
                    ImGui::SetScrollHereY(0.5f);
                    state.scrollToSelection = false;
                }
            }
        }
    }
    ImGui::End();
    ImGui::PopStyleVar(3);
    return clicked;
}

}  // namespace vantiro
