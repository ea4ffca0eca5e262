#pragma once
#include <imgui.h>

namespace vantiro {

// Pushes the baked font of a pixel size (see shell/ui_fonts.h) for the lifetime
// of the object.
class ScopedFont {
public:
    explicit ScopedFont(float pixels);
    ~ScopedFont();
    ScopedFont(const ScopedFont&) = delete;
    ScopedFont& operator=(const ScopedFont&) = delete;
};

// Size of `text` set in `font` at `pixels` (no wrapping).
ImVec2 measureText(ImFont* font, float pixels, const char* text);

}  // namespace vantiro
