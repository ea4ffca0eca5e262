#pragma once
// The UI library's context and back-ends (Dear ImGui 1.86 with its SDL2 and
// OpenGL 3 back-ends). A move to ImGui >= 1.92 / SDL3 changes this file pair
// and ui_fonts.cpp.

union SDL_Event;

namespace vantiro {

class App;

// Context without a settings file, fonts, style and back-ends for the app's window.
void setUpUi(App& app);
// Hands one window event to the UI library.
void processUiEvent(const SDL_Event& event);
// Back-end new frames and ImGui::NewFrame.
void beginUiFrame();
// ImGui::Render; true when the frame would put other pixels on screen than the
// frame before it (always for the first frame).
bool endUiFrame();
// Draws the frame endUiFrame ended over the window's framebuffer: straight
// from its triangles while it keeps changing, from the overlay layer (drawn
// once) while it stays the same.
void drawUiFrame(int width, int height);
// Back-ends and context.
void shutDownUi();

}  // namespace vantiro
