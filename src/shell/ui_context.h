#pragma once
// The UI library's context and back-ends (Dear ImGui 1.86 with its SDL2 and
// OpenGL 3 back-ends). A move to ImGui >= 1.92 / SDL3 changes this file pair
// and ui_fonts.cpp.

namespace vantiro {

class App;

// Context without a settings file, fonts, style and back-ends for the app's window.
void setUpUi(App& app);
// Back-end new frames and ImGui::NewFrame.
void beginUiFrame();
// ImGui::Render and the OpenGL 3 back-end's drawing of it.
void renderUiFrame();
// Back-ends and context.
void shutDownUi();

}  // namespace vantiro
