#include "ui/overlay_fonts.h"

#include <cfloat>
#include <cmath>

namespace vantiro {

ImFont* overlayFont(float pixels) {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    ImFont* best = nullptr;
    float bestDistance = FLT_MAX;
    for (ImFont* font : atlas->Fonts) {
        const float distance = std::fabs(font->FontSize - pixels);
        if (distance < bestDistance) {
            best = font;
            bestDistance = distance;
        }
    }
    return best ? best : ImGui::GetFont();
}

ScopedFont::ScopedFont(float pixels) { ImGui::PushFont(overlayFont(pixels)); }
ScopedFont::~ScopedFont() { ImGui::PopFont(); }

ImVec2 measureText(ImFont* font, float pixels, const char* text) {
    return font->CalcTextSizeA(pixels, FLT_MAX, 0.0f, text);
}

}  // namespace vantiro
