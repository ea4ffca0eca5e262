#pragma once
#include <vector>

struct ImDrawData;

namespace vantiro {

// A rectangle of framebuffer pixels, top row 0, [x0, x1) x [y0, y1).
struct PixelRect {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    bool operator==(const PixelRect&) const = default;
};

// Rectangles that between them hold every framebuffer pixel `data` can touch
// (each command's vertices, bounded by its clip rectangle) and that never
// overlap one another, so that blending each once lays the overlay down once.
// They are made of `tile`-pixel squares, adjacent squares of a row merged.
std::vector<PixelRect> overlayCoverage(const ImDrawData& data, int framebufferWidth, int framebufferHeight,
                                       int tile = 32);

}  // namespace vantiro
