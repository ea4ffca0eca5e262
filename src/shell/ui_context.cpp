#include "shell/ui_context.h"

#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "shell/app.h"
#include "shell/draw_data_snapshot.h"
#include "shell/overlay_layer.h"
#include "shell/sdl_platform.h"
#include "shell/ui_fonts.h"

namespace vantiro {

namespace {

// How the built frames reach the screen; lives from setUpUi to shutDownUi, as
// the GL context the layer draws with does.
struct UiPresentation {
    DrawDataSnapshot lastFrame;
    std::unique_ptr<OverlayLayer> layer;  // null when the driver refused its program
    bool frameChanged = true;
    bool layerCurrent = false;  // the layer holds the last frame
    // Where the window's own mouse events last put the pointer; none once it left.
    std::optional<ImVec2> pointer;
};

std::unique_ptr<UiPresentation> presentation;

void applyStyle() {
    ImGui::StyleColorsDark();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowPadding = ImVec2(18, 14);
    style.ItemSpacing = ImVec2(10, 8);
    style.Colors[ImGuiCol_HeaderHovered] = ImVec4(0, 0, 0, 0);
}

}  // namespace

void setUpUi(App& app) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    loadUiFonts(findFontFiles(sdlBasePath()));
    applyStyle();
    ImGui_ImplSDL2_InitForOpenGL(app.window, app.glContext);
    ImGui_ImplOpenGL3_Init("#version 130");
    presentation = std::make_unique<UiPresentation>();
    auto layer = std::make_unique<OverlayLayer>();
    std::string error;
    if (layer->create(&error))
        presentation->layer = std::move(layer);
    else
        std::fprintf(stderr, "%s; the overlay is drawn every frame\n", error.c_str());
}

void processUiEvent(const SDL_Event& event) {
    ImGui_ImplSDL2_ProcessEvent(&event);
    if (!presentation) return;
    if (event.type == SDL_MOUSEMOTION)
        presentation->pointer = ImVec2(static_cast<float>(event.motion.x), static_cast<float>(event.motion.y));
    else if (event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP)
        presentation->pointer = ImVec2(static_cast<float>(event.button.x), static_cast<float>(event.button.y));
    else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_LEAVE)
        presentation->pointer.reset();
}

// The 1.86 SDL back-end reads the pointer only while SDL counts the window as
// hovered or focused, which on X11 it may not although the window gets the
// clicks (no window manager, a focus-follows-mouse one, a pointer grab by a
// screenshot tool): ImGui then sees no pointer and a click is lost. The
// window's own mouse events say where the pointer is.
void beginUiFrame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    if (presentation && presentation->pointer && !ImGui::IsMousePosValid())
        ImGui::GetIO().MousePos = *presentation->pointer;
    ImGui::NewFrame();
}

bool endUiFrame() {
    ImGui::Render();
    if (!presentation) return true;
    presentation->frameChanged = presentation->lastFrame.update(*ImGui::GetDrawData());
    if (presentation->frameChanged) presentation->layerCurrent = false;
    return presentation->frameChanged;
}

// A frame that changes from one frame to the next (the toolbar sliding, the
// audio visualiser) would cost its drawing and the copy each time: it is drawn
// straight. One that stays the same is drawn into the layer once, the first
// time the window is drawn after it stopped changing, and copied from then on.
void drawUiFrame(int width, int height) {
    ImDrawData* data = ImGui::GetDrawData();
    if (!data || data->TotalVtxCount == 0) return;
    if (!presentation || !presentation->layer || presentation->frameChanged) {
        ImGui_ImplOpenGL3_RenderDrawData(data);
        return;
    }
    if (!presentation->layerCurrent) {
        presentation->layer->render(*data, width, height);
        presentation->layerCurrent = true;
    }
    presentation->layer->composite();
}

void shutDownUi() {
    presentation.reset();
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
}

}  // namespace vantiro
