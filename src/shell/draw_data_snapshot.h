#pragma once
#include <vector>

struct ImDrawData;

namespace vantiro {

// A byte copy of one frame's Dear ImGui draw data: the display, every draw
// command with its clip rectangle and texture, every vertex and every index.
// Two frames with equal copies put the same pixels on screen, so the window
// need not draw the second one again.
class DrawDataSnapshot {
public:
    // Takes `data`'s copy; true when it differs from the copy taken before
    // (always after construction or forget()).
    bool update(const ImDrawData& data);
    // The next update counts as a change.
    void forget();

private:
    std::vector<unsigned char> bytes_;
    std::vector<unsigned char> next_;
    bool known_ = false;
};

}  // namespace vantiro
