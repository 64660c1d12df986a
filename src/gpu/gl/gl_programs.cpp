#include "gpu/gl/gl_programs.h"

namespace q::gpu {

namespace {

// c0..c3 are the rows of the transposed world-view-projection, as the
// lighting program reads them. Depth arrives in 0..1 of w (the convention the
// projection matrices follow) and is carried to GL's -1..1.
constexpr const char* kColouredLineVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 5) in vec4 diffuse;
uniform vec4 c[16];
out vec4 oD0;
out vec4 oT0;
void main() {
    vec4 p = vec4(position, 1.0);
    vec4 clip = vec4(dot(c[0], p), dot(c[1], p), dot(c[2], p), dot(c[3], p));
    gl_Position = vec4(clip.x, clip.y, 2.0 * clip.z - clip.w, clip.w);
    oD0 = diffuse;
    oT0 = vec4(0.0, 0.0, 0.0, 1.0);
}
)";

// Placed as above and drawn unlit: white, modulated by the texture.
constexpr const char* kLitTexturedVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 7) in vec2 texCoord;
uniform vec4 c[16];
out vec4 oD0;
out vec4 oT0;
void main() {
    vec4 p = vec4(position, 1.0);
    vec4 clip = vec4(dot(c[0], p), dot(c[1], p), dot(c[2], p), dot(c[3], p));
    gl_Position = vec4(clip.x, clip.y, 2.0 * clip.z - clip.w, clip.w);
    oD0 = vec4(1.0);
    oT0 = vec4(texCoord, 0.0, 1.0);
}
)";

// x, y are back-buffer pixels with y down and pixel centres on whole numbers,
// where GL has them on halves. Moving the geometry by just under half a pixel
// keeps both conventions' coverage (a rectangle on whole numbers covers the
// same pixels, its top and left edges included) and samples textures where the
// pixel centre falls. z is depth 0..1, rhw the reciprocal of w.
constexpr const char* kScreenTextVertex = R"(#version 330 core
layout(location = 0) in vec4 position;
layout(location = 5) in vec4 diffuse;
layout(location = 7) in vec2 texCoord;
uniform vec2 screenSize;
out vec4 oD0;
out vec4 oT0;
void main() {
    float w = position.w != 0.0 ? 1.0 / position.w : 1.0;
    const float centre = 0.5 - 1.0 / 64.0;
    vec2 ndc = vec2((position.x + centre) / screenSize.x * 2.0 - 1.0,
                    1.0 - (position.y + centre) / screenSize.y * 2.0);
    gl_Position = vec4(ndc * w, (2.0 * position.z - 1.0) * w, w);
    oD0 = diffuse;
    oT0 = vec4(texCoord, 0.0, 1.0);
}
)";

// Colour = texel colour x vertex colour, alpha = texel alpha; without a
// texture the vertex colour alone. The alpha test keeps fragments whose 8-bit
// alpha is at least the reference (0 keeps all).
constexpr const char* kFragment = R"(#version 330 core
in vec4 oD0;
in vec4 oT0;
uniform sampler2D texture0;
uniform bool useTexture;
uniform float alphaRef;
out vec4 fragColor;
void main() {
    vec4 color = oD0;
    if (useTexture) {
        vec4 texel = texture(texture0, oT0.xy);
        color = vec4(texel.rgb * oD0.rgb, texel.a);
    }
    if (floor(color.a * 255.0 + 0.5) < alphaRef) discard;
    fragColor = color;
}
)";

GLuint compile(GLenum stage, const char* source, std::string* error) {
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return shader;
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    *error = std::string(stage == GL_VERTEX_SHADER ? "vertex" : "fragment") +
             " shader does not compile: " + log;
    glDeleteShader(shader);
    return 0;
}

bool link(const char* vertexSource, GlProgram* out, std::string* error) {
    GLuint vs = compile(GL_VERTEX_SHADER, vertexSource, error);
    if (!vs) return false;
    GLuint fs = compile(GL_FRAGMENT_SHADER, kFragment, error);
    if (!fs) {
        glDeleteShader(vs);
        return false;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        *error = std::string("program does not link: ") + log;
        glDeleteProgram(program);
        return false;
    }
    out->id = program;
    out->screenSize = glGetUniformLocation(program, "screenSize");
    out->constants = glGetUniformLocation(program, "c");
    out->useTexture = glGetUniformLocation(program, "useTexture");
    out->alphaRef = glGetUniformLocation(program, "alphaRef");
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "texture0"), 0);
    return true;
}

}  // namespace

bool buildFormatProgram(VertexFormat format, GlProgram* out, std::string* error) {
    out->format = format;
    switch (format) {
    case VertexFormat::ColouredLine: return link(kColouredLineVertex, out, error);
    case VertexFormat::LitTextured: return link(kLitTexturedVertex, out, error);
    case VertexFormat::ScreenText: return link(kScreenTextVertex, out, error);
    }
    *error = "no program for that vertex format";
    return false;
}

bool buildVertexProgram(const std::string& vertexGlsl, VertexFormat format, GlProgram* out, std::string* error) {
    out->format = format;
    return link(vertexGlsl.c_str(), out, error);
}

}  // namespace q::gpu
