#pragma once
#include <imgui.h>

namespace vantiro {

// Outline of an axis-aligned ellipse as a closed path (ImGui 1.86 has no
// AddEllipse). `segments` <= 0 picks the count ImGui would use for a circle of
// the larger radius.
void addEllipse(ImDrawList* drawList, ImVec2 centre, float radiusX, float radiusY, ImU32 colour,
                int segments, float thickness);

// An open arc from angle `from` to `to` (radians from +x towards +y, which
// points down on screen). `segments` 0 lets ImGui choose.
void addArc(ImDrawList* drawList, ImVec2 centre, float radius, float from, float to, ImU32 colour,
            float thickness, int segments = 0);

inline ImVec2 offset(ImVec2 point, float dx, float dy) { return ImVec2(point.x + dx, point.y + dy); }

}  // namespace vantiro
