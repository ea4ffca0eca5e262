#pragma once
#include <functional>

#include <imgui.h>

namespace vantiro::test {

// A headless Dear ImGui context for drawing tests: no window and no GPU, but a
// built font atlas holding the default font baked at every size the overlay
// uses, a display of the given size and a scripted mouse.
class ImGuiFrameHarness {
public:
    ImGuiFrameHarness(float width, float height);
    ~ImGuiFrameHarness();
    ImGuiFrameHarness(const ImGuiFrameHarness&) = delete;
    ImGuiFrameHarness& operator=(const ImGuiFrameHarness&) = delete;

    // Runs one frame of `draw` and renders it; the draw data stays readable
    // until the next frame.
    void frame(const std::function<void()>& draw, float deltaSeconds = 1.0f / 60.0f);

    void moveMouse(ImVec2 position);
    // Press in one frame and release in the next, both with `draw`.
    void click(ImVec2 position, const std::function<void()>& draw);

    ImDrawData* drawData() const { return ImGui::GetDrawData(); }
    // The draw list of the window with this name in the last frame, or null.
    const ImDrawList* windowDrawList(const char* name) const;

private:
    ImGuiContext* context_ = nullptr;
    bool mouseDown_ = false;
    ImVec2 mouse_{-1, -1};
};

// Whether any vertex of `list` lies within `tolerance` of `point` with `colour`.
bool hasVertex(const ImDrawList& list, ImVec2 point, ImU32 colour, float tolerance = 0.01f);

}  // namespace vantiro::test
