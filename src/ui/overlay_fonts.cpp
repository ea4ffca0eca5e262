#include "ui/overlay_fonts.h"

#include <cfloat>

#include "shell/ui_fonts.h"

namespace vantiro {

ScopedFont::ScopedFont(float pixels) { pushFontSize(pixels); }
ScopedFont::~ScopedFont() { popFontSize(); }

ImVec2 measureText(ImFont* font, float pixels, const char* text) {
    return font->CalcTextSizeA(pixels, FLT_MAX, 0.0f, text);
}

}  // namespace vantiro
