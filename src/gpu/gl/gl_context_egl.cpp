#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>

#include "gpu/gl/gl_context.h"

namespace q::gpu {

namespace {

constexpr const char* kInstallHint =
    ": install Mesa's libegl-mesa0 and libgl1-mesa-dri";

// Every headless device shares the one surfaceless display, initialised once
// and kept for the life of the process: terminating it would destroy every
// context on it and unload the driver, which does not give back all it took.
EGLDisplay g_display = EGL_NO_DISPLAY;

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* p = std::strstr(list, name); p; p = std::strstr(p + 1, name)) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[length] == ' ' || p[length] == '\0';
        if (startOk && endOk) return true;
    }
    return false;
}

EGLDisplay acquireDisplay(std::string* error) {
    if (g_display != EGL_NO_DISPLAY) return g_display;
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay || !hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        *error = std::string("OpenGL 3.3 core profile not available (no EGL surfaceless platform)") +
                 kInstallHint;
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        *error = std::string("OpenGL 3.3 core profile not available (EGL surfaceless display "
                             "cannot be initialised)") + kInstallHint;
        return EGL_NO_DISPLAY;
    }
    g_display = display;
    return display;
}

class SurfacelessContext : public GlContext {
public:
    SurfacelessContext(EGLDisplay display, EGLContext context) : display_(display), context_(context) {}
    ~SurfacelessContext() override {
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
    }
    bool hasWindow() const override { return false; }
    void drawableSize(int* width, int* height) const override { *width = *height = 0; }
    void swapBuffers() override {}

private:
    EGLDisplay display_;
    EGLContext context_;
};

}  // namespace

std::unique_ptr<GlContext> createSurfacelessContext(std::string* error) {
    EGLDisplay display = acquireDisplay(error);
    if (display == EGL_NO_DISPLAY) return nullptr;

    if (!eglBindAPI(EGL_OPENGL_API)) {
        *error = std::string("OpenGL 3.3 core profile not available (EGL has no desktop OpenGL)") +
                 kInstallHint;
        return nullptr;
    }
    // Without a surface no framebuffer configuration is needed; drivers that
    // insist on one get any configuration that renders desktop GL.
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_no_config_context")) {
        const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display, wanted, &config, 1, &count) || count < 1) {
                *error = std::string("OpenGL 3.3 core profile not available (no EGL configuration "
                                 "for desktop OpenGL)") + kInstallHint;
            return nullptr;
        }
    }
    const EGLint attributes[] = {
        EGL_CONTEXT_MAJOR_VERSION, 3,
        EGL_CONTEXT_MINOR_VERSION, 3,
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
        EGL_NONE,
    };
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        *error = std::string("OpenGL 3.3 core profile not available (EGL refused the context)") +
                 kInstallHint;
        return nullptr;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(display, context);
        *error = std::string("OpenGL 3.3 core profile not available (EGL cannot make the "
                             "context current without a surface)") + kInstallHint;
        return nullptr;
    }
    return std::make_unique<SurfacelessContext>(display, context);
}

}  // namespace q::gpu
