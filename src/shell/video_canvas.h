#pragma once

namespace vantiro {

// Clears the bound framebuffer to the colour around and under the video.
void clearToWindowBackground(int width, int height);

// A copy of the video picture in a texture of the window's size. While a
// channel starts, the window shows the last picture from here: the overlay
// (the connecting panel, a toast) changes several times before the new
// start's first picture, and drawing the picture again through libmpv for
// each of those frames would cost a software renderer more than the start
// itself. Outside a start libmpv draws into the window directly, which costs
// less than drawing here and copying. Every call needs the GL context current.
class VideoCanvas {
public:
    VideoCanvas() = default;
    ~VideoCanvas();
    VideoCanvas(const VideoCanvas&) = delete;
    VideoCanvas& operator=(const VideoCanvas&) = delete;

    // A picture of this size was drawn since the last forget().
    bool holds(int width, int height) const { return filled_ && width == width_ && height == height_; }
    // The framebuffer to draw a `width` x `height` picture into, cleared to the
    // window's background.
    unsigned beginPicture(int width, int height);
    // Copies the picture into the window's framebuffer (0).
    void show() const;
    void forget() { filled_ = false; }
    // Frees the GL objects; before the GL context goes.
    void release();

private:
    void allocate(int width, int height);

    unsigned framebuffer_ = 0;
    unsigned texture_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool filled_ = false;
};

}  // namespace vantiro
