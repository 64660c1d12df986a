#include <SDL.h>

#include "gpu/gl/gl_context.h"
#include "platform/window_size_sdl.h"

namespace q::gpu {

namespace {

class SdlContext : public GlContext {
public:
    SdlContext(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
    ~SdlContext() override {
        SDL_GL_MakeCurrent(window_, nullptr);
        SDL_GL_DeleteContext(context_);
    }
    bool hasWindow() const override { return true; }
    void drawableSize(int* width, int* height) const override { windowPixelSize(window_, width, height); }
    void swapBuffers() override { SDL_GL_SwapWindow(window_); }

private:
    SDL_Window* window_;
    SDL_GLContext context_;
};

}  // namespace

std::unique_ptr<GlContext> createSdlContext(void* sdlWindow, std::string* error) {
    auto* window = static_cast<SDL_Window*>(sdlWindow);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        *error = std::string("OpenGL 3.3 core profile not available (") +
                 (window ? SDL_GetError() : "no window") +
                 "): install Mesa's libgl1-mesa-dri / libegl-mesa0, or run with --headless";
        return nullptr;
    }
    SDL_GL_MakeCurrent(window, context);
    // The presentation interval is the display's refresh: frames are paced by it.
    SDL_GL_SetSwapInterval(1);
    return std::make_unique<SdlContext>(window, context);
}

}  // namespace q::gpu
