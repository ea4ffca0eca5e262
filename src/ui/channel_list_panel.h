#pragma once
#include <string>
#include <vector>

#include <imgui.h>

#include "channels/channel.h"
#include "ui/channel_kind.h"

namespace vantiro {

inline constexpr float kChannelRowHeight = 64.0f;
inline constexpr float kChannelIconSize = 11.5f;
inline constexpr float kChannelNameFontSize = 30.0f;
inline constexpr float kChannelTitleFontSize = 20.0f;

// One kind icon centred at `centre`; `size` is its half-extent in pixels.
void drawChannelIcon(ImDrawList* drawList, ChannelKind kind, ImU32 colour, ImVec2 centre, float size);

// What the channel list panel reads and writes of the App.
struct ChannelListPanelState {
    const std::vector<Channel>& channels;
    const std::vector<std::string>& radioUrls;
    int& selection;
    bool& listOpen;           // cleared by the close box
    bool& scrollToSelection;  // honoured once, then cleared
    // Per row the programme on air, shown as a dimmer second line; "" or a short
    // vector (no guide data) leaves the row as it always was.
    const std::vector<std::string>* rowTitles = nullptr;
};

// Draws the "Channels" window at the right edge of a W x H display. Returns the
// row clicked this frame (the selection already points at it), or -1; the
// caller switches to that channel.
int drawChannelListPanel(ChannelListPanelState state, float displayWidth, float displayHeight);

}  // namespace vantiro
