#pragma once
#include <string>
#include <vector>

struct ImFont;

namespace vantiro {

// Pixel sizes baked into the font atlas; the first is the default font.
inline constexpr float kDefaultFontSize = 22.0f;
inline constexpr float kBakedFontSizes[] = {22, 12, 17, 20, 24, 30, 32, 34, 36, 44};

// The first entry that exists on the file system (of any kind), or "".
std::string firstExistingPath(const std::vector<std::string>& paths);

struct FontFiles {
    std::string main;  // Noto Sans, Latin
    std::string thai;  // Noto Sans Thai, merged into every size; "" when absent or the same file
};
// Looks the fonts up beside the executable (`basePath` ends with '/'), in the
// installed share directory and in the system's Noto directories.
FontFiles findFontFiles(const std::string& basePath);

// Adds every baked size to the UI library's atlas (Latin U+0020-U+00FF with
// Thai U+0E00-U+0E7F merged); the library's own font stands in for a missing file.
void loadUiFonts(const FontFiles& files);

// Text at a given size: the baked font of that size (or the nearest one).
ImFont* fontForSize(float pixels);
void pushFontSize(float pixels);
void popFontSize();

}  // namespace vantiro
