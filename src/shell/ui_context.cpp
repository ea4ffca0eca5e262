#include "shell/ui_context.h"

#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "shell/app.h"
#include "shell/sdl_platform.h"
#include "shell/ui_fonts.h"

namespace vantiro {

namespace {

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
}

void beginUiFrame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
}

void renderUiFrame() {
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}

void shutDownUi() {
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
}

}  // namespace vantiro
