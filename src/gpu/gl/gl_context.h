#pragma once
// Where the GL backend's context comes from: an SDL window (frames are shown)
// or EGL's surfaceless platform (frames stay in the off-screen back buffer).

#include <memory>
#include <string>

namespace q::gpu {

class GlContext {
public:
    virtual ~GlContext() = default;
    // True when endFrame() has a window to show the back buffer in.
    virtual bool hasWindow() const = 0;
    // Size of the window's default framebuffer in pixels.
    virtual void drawableSize(int* width, int* height) const = 0;
    virtual void swapBuffers() = 0;
};

// Null with *error saying what is missing when no 3.3 core context can be made.
std::unique_ptr<GlContext> createSurfacelessContext(std::string* error);
// sdlWindow: the SDL_Window of a window made with OpenGL attributes.
std::unique_ptr<GlContext> createSdlContext(void* sdlWindow, std::string* error);

// "3.3 core" or better on the current context; otherwise false with the version
// the driver offered in *found.
bool currentContextIsCore33(std::string* found);

}  // namespace q::gpu
