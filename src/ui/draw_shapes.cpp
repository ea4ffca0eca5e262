#include "ui/draw_shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vantiro {

void addEllipse(ImDrawList* drawList, ImVec2 centre, float radiusX, float radiusY, ImU32 colour,
                int segments, float thickness) {
    if (segments <= 0) segments = drawList->_CalcCircleAutoSegmentCount(std::max(radiusX, radiusY));
    const float step = 2.0f * std::numbers::pi_v<float> / static_cast<float>(segments);
    for (int k = 0; k < segments; ++k) {
        const float angle = step * static_cast<float>(k);
        drawList->PathLineTo(offset(centre, radiusX * std::cos(angle), radiusY * std::sin(angle)));
    }
    drawList->PathStroke(colour, ImDrawFlags_Closed, thickness);
}

void addArc(ImDrawList* drawList, ImVec2 centre, float radius, float from, float to, ImU32 colour,
            float thickness, int segments) {
    drawList->PathArcTo(centre, radius, from, to, segments);
    drawList->PathStroke(colour, ImDrawFlags_None, thickness);
}

}  // namespace vantiro
