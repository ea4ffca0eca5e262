#include "shell/overlay_coverage.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>

namespace vantiro {

namespace {

// Bounding box of the vertices one command draws, in framebuffer pixels.
bool commandBounds(const ImDrawData& data, const ImDrawList& list, const ImDrawCmd& command, float& x0, float& y0,
                   float& x1, float& y1) {
    if (command.ElemCount == 0) return false;
    x0 = y0 = INFINITY;
    x1 = y1 = -INFINITY;
    for (unsigned i = 0; i < command.ElemCount; ++i) {
        const unsigned at = command.IdxOffset + i;
        if (at >= static_cast<unsigned>(list.IdxBuffer.Size)) break;
        const unsigned vertex = command.VtxOffset + list.IdxBuffer[static_cast<int>(at)];
        if (vertex >= static_cast<unsigned>(list.VtxBuffer.Size)) continue;
        const ImVec2 p = list.VtxBuffer[static_cast<int>(vertex)].pos;
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    if (x0 > x1) return false;
    // The back-end scissors every command by its clip rectangle.
    x0 = std::max(x0, command.ClipRect.x);
    y0 = std::max(y0, command.ClipRect.y);
    x1 = std::min(x1, command.ClipRect.z);
    y1 = std::min(y1, command.ClipRect.w);
    const ImVec2 scale = data.FramebufferScale;
    x0 = (x0 - data.DisplayPos.x) * scale.x;
    x1 = (x1 - data.DisplayPos.x) * scale.x;
    y0 = (y0 - data.DisplayPos.y) * scale.y;
    y1 = (y1 - data.DisplayPos.y) * scale.y;
    return x1 > x0 && y1 > y0;
}

}  // namespace

std::vector<PixelRect> overlayCoverage(const ImDrawData& data, int framebufferWidth, int framebufferHeight,
                                       int tile) {
    std::vector<PixelRect> rects;
    if (framebufferWidth <= 0 || framebufferHeight <= 0 || tile <= 0) return rects;
    const int columns = (framebufferWidth + tile - 1) / tile;
    const int rows = (framebufferHeight + tile - 1) / tile;
    std::vector<char> marked(static_cast<size_t>(columns) * static_cast<size_t>(rows), 0);
    for (int l = 0; l < data.CmdListsCount; ++l) {
        const ImDrawList& list = *data.CmdLists[l];
        for (const ImDrawCmd& command : list.CmdBuffer) {
            float x0, y0, x1, y1;
            if (command.UserCallback || !commandBounds(data, list, command, x0, y0, x1, y1)) continue;
            // Whole pixels, rounded outwards: a pixel whose centre a triangle covers lies within.
            const int left = std::clamp(static_cast<int>(std::floor(x0)), 0, framebufferWidth);
            const int top = std::clamp(static_cast<int>(std::floor(y0)), 0, framebufferHeight);
            const int right = std::clamp(static_cast<int>(std::ceil(x1)), 0, framebufferWidth);
            const int bottom = std::clamp(static_cast<int>(std::ceil(y1)), 0, framebufferHeight);
            if (right <= left || bottom <= top) continue;
            for (int row = top / tile; row <= (bottom - 1) / tile; ++row)
                for (int column = left / tile; column <= (right - 1) / tile; ++column)
                    marked[static_cast<size_t>(row) * columns + column] = 1;
        }
    }
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns;) {
            if (!marked[static_cast<size_t>(row) * columns + column]) {
                ++column;
                continue;
            }
            int end = column;
            while (end < columns && marked[static_cast<size_t>(row) * columns + end]) ++end;
            rects.push_back({column * tile, row * tile, std::min(end * tile, framebufferWidth),
                             std::min((row + 1) * tile, framebufferHeight)});
            column = end;
        }
    }
    return rects;
}

}  // namespace vantiro
