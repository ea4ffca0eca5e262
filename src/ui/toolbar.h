#pragma once
#include <imgui.h>

namespace vantiro {

enum class ToolbarIcon { List, Magnifier, Corners, Globe, Speaker, Power };

inline const ImVec2 kToolbarButtonSize(82.0f, 62.0f);

// Draws one icon of the toolbar, centred at `centre`, in `ink`.
void drawToolbarIcon(ImDrawList* drawList, ToolbarIcon icon, ImVec2 centre, ImU32 ink, bool muted);

// One 82 x 62 toolbar button: background by state, icon, 12 px label and a
// tooltip while hovered. Returns true on the frame it was clicked, and only
// when enabled.
bool toolbarButton(const char* id, ToolbarIcon icon, const char* label, const char* tooltip, bool enabled,
                   bool active, bool muted);

// What the toolbar shows.
struct ToolbarView {
    bool listOpen = false;
    bool scanning = false;
    bool fullscreen = false;
    bool onlineAvailable = false;
    bool muted = false;
};

// The buttons clicked this frame; the caller carries out their actions.
struct ToolbarClicks {
    bool list = false;
    bool scan = false;
    bool fullscreen = false;
    bool web = false;
    bool mute = false;
    bool quit = false;
};

// Whether the key hint still fits before the buttons; narrow windows drop it so
// that every button stays inside the window.
bool toolbarHasRoomForHint(float displayWidth, float hintWidth, float windowPadding);

// The bottom toolbar window at slide offset `offset` (the caller decides
// whether it is drawn at all).
ToolbarClicks drawToolbar(const ToolbarView& view, float displayWidth, float displayHeight, float offset);

}  // namespace vantiro
