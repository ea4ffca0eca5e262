#include "shell/sdl_platform.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/app.h"
#include "shell/ui_context.h"

namespace vantiro {

namespace {

constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 720;

bool marksActivity(Uint32 type) {
    switch (type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
    case SDL_FINGERDOWN:
    case SDL_FINGERUP:
    case SDL_FINGERMOTION: return true;
    default: return false;
    }
}

// Without DISPLAY or WAYLAND_DISPLAY SDL falls back to drivers that draw into
// memory: the window would run unseen for ever, holding the tuner. They are fine
// only when the user asked for one by name.
bool showsNothing(const char* driver) {
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

bool driverChosenByUser() {
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    return chosen && *chosen;
}

// The window's pixels may be gone or of the wrong size: the next frame draws.
bool asksForRedraw(const SDL_Event& event) {
    if (event.type != SDL_WINDOWEVENT) return false;
    switch (event.window.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_RESIZED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_MAXIMIZED:
    case SDL_WINDOWEVENT_RESTORED: return true;
    default: return false;
    }
}

bool nextEvent(SDL_Event& event) {
    if (!SDL_PollEvent(&event)) return false;
    processUiEvent(event);
    return true;
}

}  // namespace

double nowSeconds() { return static_cast<double>(SDL_GetTicks64()) / 1000.0; }

bool openSdlWindow(App& app) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
        return false;
    }
    if (showsNothing(SDL_GetCurrentVideoDriver()) && !driverChosenByUser()) {
        std::fprintf(stderr, "SDL: no display to open the window on\n");
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    app.window = SDL_CreateWindow("Vantiro", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kDefaultWidth,
                                  kDefaultHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE);
    if (!app.window) {
        std::fprintf(stderr, "window: %s\n", SDL_GetError());
        return false;
    }
    app.glContext = SDL_GL_CreateContext(app.window);
    if (!app.glContext) {
        std::fprintf(stderr, "GL: %s\n", SDL_GetError());
        return false;
    }
    app.vsync = SDL_GL_SetSwapInterval(1) == 0;
    return true;
}

void pollSdlEvents(App& app) {
    SDL_Event event;
    while (nextEvent(event)) {
        if (event.type == SDL_QUIT) app.quitRequested = true;
        if (event.type == SDL_KEYDOWN && event.key.repeat == 0) app.onKeyDown(event.key.keysym.sym);
        if (marksActivity(event.type)) app.lastActivity = nowSeconds();
        if (asksForRedraw(event)) app.redrawRequested = true;
    }
}

void windowSizeInPixels(SDL_Window* window, int& width, int& height) {
    width = kDefaultWidth;
    height = kDefaultHeight;
    if (window) SDL_GetWindowSizeInPixels(window, &width, &height);
}

void swapWindow(SDL_Window* window) {
    SDL_GL_SwapWindow(window);
}

void setWindowFullscreen(SDL_Window* window, bool on) {
    if (window) SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void closeSdlWindow(App& app) {
    if (app.window) SDL_GL_MakeCurrent(app.window, nullptr);
    if (app.glContext) SDL_GL_DeleteContext(app.glContext);
    app.glContext = nullptr;
    if (app.window) SDL_DestroyWindow(app.window);
    app.window = nullptr;
    SDL_Quit();
}

std::string sdlBasePath() {
    char* base = SDL_GetBasePath();
    if (!base) return "";
    std::string path = base;
    SDL_free(base);
    return path;
}

}  // namespace vantiro

#if defined(__SANITIZE_ADDRESS__)
// SDL keeps a few blocks until exit, some filled by libraries it has unloaded by
// then (their stacks end in an unknown module, so only the allocator's frame can
// be named). The program's own C++ code never allocates with realloc or calloc.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libSDL2-2.0.so\n"
           "leak:__interceptor_realloc\n"
           "leak:__interceptor_calloc\n";
}

// GCC 12's sanitizer runtime takes a dynamic TLS block that malloc happened to
// place 16 bytes past a page boundary for one with a glibc 2.19-2.24 header,
// reads its start and size out of the allocator's chunk header instead, and the
// leak check at exit then faults scanning that range ("Tracer caught signal
// 11"). The libraries libmpv and Mesa load use dynamic TLS, so it struck at
// random. Without the interception those blocks are still scanned, as memory
// the dynamic linker allocated. ASAN_OPTIONS from the environment still win.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif
