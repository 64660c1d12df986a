#include "gpu/gl/glsl_check.h"

#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glcorearb.h>

#include <cstring>

#include "gpu/device.h"

namespace q::gpu {
namespace {

// A core 3.3 context on Mesa's surfaceless platform, current for the lifetime
// of this object. The display is initialised but never terminated here: the
// GL backend may share it, and terminating would destroy its contexts too.
class ScratchContext {
public:
    explicit ScratchContext(std::string* log) {
        previousDisplay_ = eglGetCurrentDisplay();
        previousDraw_ = eglGetCurrentSurface(EGL_DRAW);
        previousRead_ = eglGetCurrentSurface(EGL_READ);
        previousContext_ = eglGetCurrentContext();

        auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!getPlatformDisplay) {
            *log = "no context: eglGetPlatformDisplayEXT is missing";
            return;
        }
        display_ = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, &major, &minor) ||
            !eglBindAPI(EGL_OPENGL_API)) {
            *log = "no context: the surfaceless EGL display cannot be initialised";
            return;
        }
        const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        context_ = eglCreateContext(display_, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
        if (context_ == EGL_NO_CONTEXT ||
            !eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
            *log = "no context: a core 3.3 context cannot be made current";
            return;
        }
        ok_ = true;
    }
    ~ScratchContext() {
        if (context_ != EGL_NO_CONTEXT) {
            eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroyContext(display_, context_);
        }
        if (previousContext_ != EGL_NO_CONTEXT)
            eglMakeCurrent(previousDisplay_, previousDraw_, previousRead_, previousContext_);
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    EGLDisplay previousDisplay_;
    EGLSurface previousDraw_, previousRead_;
    EGLContext previousContext_;
};

// Compiles and links the vertex shader alone, optionally with transform
// feedback of the three outputs. Returns 0 with the driver's log on failure.
GLuint buildProgram(const std::string& source, bool feedback, std::string* log) {
    GLuint shader = glCreateShader(GL_VERTEX_SHADER);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    char buffer[4096] = {};
    if (!status) {
        glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
        *log = std::string("compile: ") + buffer;
        glDeleteShader(shader);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, shader);
    if (feedback) {
        const char* varyings[] = {"gl_Position", "oD0", "oT0"};
        glTransformFeedbackVaryings(program, 3, varyings, GL_INTERLEAVED_ATTRIBS);
    }
    glLinkProgram(program);
    glDeleteShader(shader);
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (!status) {
        glGetProgramInfoLog(program, sizeof buffer, nullptr, buffer);
        *log = std::string("link: ") + buffer;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

}  // namespace

bool compileGlslForTest(const std::string& source, std::string* log) {
    std::string ignored;
    if (!log) log = &ignored;
    log->clear();
    ScratchContext context(log);
    if (!context.ok()) return false;
    GLuint program = buildProgram(source, false, log);
    if (!program) return false;
    glDeleteProgram(program);
    return true;
}

bool runGlslVertexForTest(const std::string& source, const float inputs[16][4],
                          const float constants[][4], VsOutputs* out, std::string* log) {
    std::string ignored;
    if (!log) log = &ignored;
    log->clear();
    ScratchContext context(log);
    if (!context.ok()) return false;
    GLuint program = buildProgram(source, true, log);
    if (!program) return false;

    glUseProgram(program);
    GLint constantsAt = glGetUniformLocation(program, "c");
    if (constantsAt >= 0) glUniform4fv(constantsAt, kMaxConstantRegisters, &constants[0][0]);
    // No arrays enabled: every input reads its generic value, one vertex.
    for (GLuint i = 0; i < 16; ++i) glVertexAttrib4fv(i, inputs[i]);

    // A surfaceless context has no default framebuffer, and a draw needs a
    // complete one even with rasterisation discarded.
    GLuint framebuffer = 0, colour = 0;
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 1, 1);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);

    GLuint vao = 0, captured = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &captured);
    glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, captured);
    glBufferData(GL_TRANSFORM_FEEDBACK_BUFFER, 12 * sizeof(float), nullptr, GL_STATIC_READ);
    glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, captured);
    glEnable(GL_RASTERIZER_DISCARD);
    glBeginTransformFeedback(GL_POINTS);
    glDrawArrays(GL_POINTS, 0, 1);
    glEndTransformFeedback();
    glDisable(GL_RASTERIZER_DISCARD);

    float values[12] = {};
    glGetBufferSubData(GL_TRANSFORM_FEEDBACK_BUFFER, 0, sizeof values, values);
    std::memcpy(out->pos, values, sizeof out->pos);
    std::memcpy(out->diffuse, values + 4, sizeof out->diffuse);
    std::memcpy(out->tex0, values + 8, sizeof out->tex0);
    GLenum error = glGetError();

    glDeleteBuffers(1, &captured);
    glDeleteVertexArrays(1, &vao);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteRenderbuffers(1, &colour);
    glDeleteProgram(program);
    if (error != GL_NO_ERROR) {
        *log = "GL error " + std::to_string(error) + " while running the program";
        return false;
    }
    return true;
}

}  // namespace q::gpu
