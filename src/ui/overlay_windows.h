#pragma once
#include <imgui.h>

namespace vantiro {

// Panels pinned in place every frame.
inline constexpr ImGuiWindowFlags kFixedPanelFlags =
    ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
    ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_AlwaysAutoResize |
    ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNavInputs | ImGuiWindowFlags_NoNavFocus;

// Panels that may be dragged for a moment but snap back on the next frame.
inline constexpr ImGuiWindowFlags kLoosePanelFlags = kFixedPanelFlags & ~ImGuiWindowFlags_NoMove;

}  // namespace vantiro
