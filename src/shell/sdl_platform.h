#pragma once
// Everything that talks to SDL (version 2 here). A move to SDL3 changes this
// file pair and the UI back-end glue in ui_context.cpp, nothing else.
#include <string>

struct SDL_Window;

namespace vantiro {

class App;

// SDL, the 1280x720 GL 3.2 core window and its context (made current), vsync
// (app.vsync tells whether it took effect; it does not under Xvfb).
// On failure prints "SDL: ...", "window: ..." or "GL: ..." to stderr and returns false.
bool openSdlWindow(App& app);
// Pending SDL events: to the UI back-end first, then quit, key presses, activity
// and the window events after which the window must be drawn again.
void pollSdlEvents(App& app);
// Drawable size of the window in pixels (1280x720 when SDL cannot say).
void windowSizeInPixels(SDL_Window* window, int& width, int& height);
void swapWindow(SDL_Window* window);
void setWindowFullscreen(SDL_Window* window, bool on);
// Releases the GL context, the window and SDL.
void closeSdlWindow(App& app);
// Directory of the executable with a trailing slash, or "".
std::string sdlBasePath();

}  // namespace vantiro
