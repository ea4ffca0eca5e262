#pragma once
#include <imgui.h>

namespace vantiro {

// ImGui 1.86 cannot draw one font at several sizes crisply, so the window bakes
// the UI font once per size the overlay uses. These helpers find the baked font
// of a size in the current context's atlas: the exact size when baked, else the
// nearest one, else the default font.
ImFont* overlayFont(float pixels);

// Pushes the font of a size for the lifetime of the object.
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
