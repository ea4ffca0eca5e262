#include "support/imgui_frame.h"

#include <cmath>

#include <imgui_internal.h>

namespace vantiro::test {

ImGuiFrameHarness::ImGuiFrameHarness(float width, float height) {
    context_ = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(width, height);
    for (float size : {22.0f, 12.0f, 17.0f, 20.0f, 24.0f, 30.0f, 32.0f, 34.0f, 36.0f, 44.0f}) {
        ImFontConfig config;
        config.SizePixels = size;
        io.Fonts->AddFontDefault(&config);
    }
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
}

ImGuiFrameHarness::~ImGuiFrameHarness() { ImGui::DestroyContext(context_); }

void ImGuiFrameHarness::frame(const std::function<void()>& draw, float deltaSeconds) {
    ImGuiIO& io = ImGui::GetIO();
    io.DeltaTime = deltaSeconds;
    io.MousePos = mouse_;
    io.MouseDown[0] = mouseDown_;
    ImGui::NewFrame();
    draw();
    ImGui::Render();
}

void ImGuiFrameHarness::moveMouse(ImVec2 position) { mouse_ = position; }

void ImGuiFrameHarness::click(ImVec2 position, const std::function<void()>& draw) {
    mouse_ = position;
    frame(draw);
    mouseDown_ = true;
    frame(draw);
    mouseDown_ = false;
    frame(draw);
}

const ImDrawList* ImGuiFrameHarness::windowDrawList(const char* name) const {
    ImGuiWindow* window = ImGui::FindWindowByName(name);
    return window ? window->DrawList : nullptr;
}

bool hasVertex(const ImDrawList& list, ImVec2 point, ImU32 colour, float tolerance) {
    for (const ImDrawVert& v : list.VtxBuffer) {
        if (v.col == colour && std::fabs(v.pos.x - point.x) <= tolerance && std::fabs(v.pos.y - point.y) <= tolerance)
            return true;
    }
    return false;
}

}  // namespace vantiro::test
