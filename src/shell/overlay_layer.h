#pragma once
#include <string>
#include <vector>

#include "shell/overlay_coverage.h"

struct ImDrawData;

namespace vantiro {

// The overlay drawn once into a texture the size of the framebuffer and laid
// over each later video frame from there. Drawing Dear ImGui's triangles costs a
// software renderer (llvmpipe) about as much per covered pixel as the video
// itself, panels and text over one another included; copying the finished layer
// costs one texel fetch and one blend per pixel, and only over the squares the
// overlay covers. The layer holds premultiplied colour: cleared to transparent,
// ImGui's blending (source alpha for colour, one for alpha) accumulates exactly
// that, and laying it down with (one, one minus source alpha) gives the picture
// drawing the triangles straight onto the video gives, to within rounding.
// Every call needs the window's GL context current, the destructor too.
class OverlayLayer {
public:
    OverlayLayer() = default;
    ~OverlayLayer();
    OverlayLayer(const OverlayLayer&) = delete;
    OverlayLayer& operator=(const OverlayLayer&) = delete;

    // Compiles the copying program; false (with the reason) when the driver refuses it.
    bool create(std::string* error = nullptr);
    // Draws `data` into the layer, replacing what it held.
    void render(ImDrawData& data, int framebufferWidth, int framebufferHeight);
    // Blends the layer over framebuffer 0 (the window), which has the layer's size.
    void composite() const;

private:
    bool resize(int width, int height);
    void release();

    unsigned program_ = 0;
    int sizeUniform_ = -1;
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    unsigned texture_ = 0;
    unsigned framebuffer_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<PixelRect> coverage_;
    int vertexCount_ = 0;
};

}  // namespace vantiro
