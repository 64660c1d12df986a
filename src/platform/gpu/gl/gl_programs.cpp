#include "platform/gpu/gl/gl_programs.h"

#include "platform/gpu/device.h"

namespace q::gpu {

namespace {

// Depth arrives in 0..1 of w (the convention the projection matrices follow)
// and is carried to GL's -1..1.
constexpr const char* kWorldColoredVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 diffuse;
uniform mat4 worldViewProjection;
out vec4 oD0;
out vec4 oT0;
void main() {
    vec4 p = worldViewProjection * vec4(position, 1.0);
    gl_Position = vec4(p.x, p.y, 2.0 * p.z - p.w, p.w);
    oD0 = diffuse;
    oT0 = vec4(0.0, 0.0, 0.0, 1.0);
}
)";

// Vertices of this layout carry no colour: they are drawn white, modulated by
// the texture.
constexpr const char* kWorldLitVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 2) in vec2 texCoord;
uniform mat4 worldViewProjection;
out vec4 oD0;
out vec4 oT0;
void main() {
    vec4 p = worldViewProjection * vec4(position, 1.0);
    gl_Position = vec4(p.x, p.y, 2.0 * p.z - p.w, p.w);
    oD0 = vec4(1.0);
    oT0 = vec4(texCoord, 0.0, 1.0);
}
)";

// x, y are back-buffer pixels with y down and pixel centres on whole numbers,
// where GL has them on halves. Moving the geometry by just under half a pixel
// keeps both conventions' coverage (a rectangle on whole numbers covers the
// same pixels, its top and left edges included) and samples textures where the
// pixel centre falls. z is depth 0..1, rhw the reciprocal of w.
constexpr const char* kScreenVertex = R"(#version 330 core
layout(location = 0) in vec4 position;
layout(location = 1) in vec4 diffuse;
layout(location = 2) in vec2 texCoord;
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

// Texture stage 0 as the device leaves it: colour = texel colour x diffuse
// colour, alpha = texel alpha; without a texture the diffuse colour alone. The
// alpha test compares 8-bit alpha with the reference like the fixed pipeline.
constexpr const char* kFragment = R"(#version 330 core
in vec4 oD0;
in vec4 oT0;
uniform sampler2D texture0;
uniform bool useTexture;
uniform int alphaFunc;
uniform float alphaRef;
out vec4 fragColor;
bool alphaPasses(float a) {
    float a8 = floor(a * 255.0 + 0.5);
    if (alphaFunc == 1) return false;
    if (alphaFunc == 2) return a8 < alphaRef;
    if (alphaFunc == 3) return a8 == alphaRef;
    if (alphaFunc == 4) return a8 <= alphaRef;
    if (alphaFunc == 5) return a8 > alphaRef;
    if (alphaFunc == 6) return a8 != alphaRef;
    if (alphaFunc == 7) return a8 >= alphaRef;
    return true;
}
void main() {
    vec4 color = oD0;
    if (useTexture) {
        vec4 texel = texture(texture0, oT0.xy);
        color = vec4(texel.rgb * oD0.rgb, texel.a);
    }
    if (!alphaPasses(color.a)) discard;
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
    out->worldViewProjection = glGetUniformLocation(program, "worldViewProjection");
    out->screenSize = glGetUniformLocation(program, "screenSize");
    out->constants = glGetUniformLocation(program, "c");
    out->useTexture = glGetUniformLocation(program, "useTexture");
    out->alphaFunc = glGetUniformLocation(program, "alphaFunc");
    out->alphaRef = glGetUniformLocation(program, "alphaRef");
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "texture0"), 0);
    return true;
}

}  // namespace

bool buildFixedFunctionProgram(ProgramKind kind, GlProgram* out, std::string* error) {
    out->kind = kind;
    switch (kind) {
    case ProgramKind::WorldColored:
        layoutFromFvf(kFvfLine, &out->layout);
        return link(kWorldColoredVertex, out, error);
    case ProgramKind::WorldLit:
        layoutFromFvf(kFvfLit, &out->layout);
        return link(kWorldLitVertex, out, error);
    case ProgramKind::Screen:
        layoutFromFvf(kFvfScreen, &out->layout);
        return link(kScreenVertex, out, error);
    case ProgramKind::VertexProgram:
        break;
    }
    *error = "not a fixed-function format";
    return false;
}

bool buildVertexProgram(const std::string& vertexGlsl, GlProgram* out, std::string* error) {
    out->kind = ProgramKind::VertexProgram;
    return link(vertexGlsl.c_str(), out, error);
}

}  // namespace q::gpu
