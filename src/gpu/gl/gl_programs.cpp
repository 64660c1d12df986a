#include "gpu/gl/gl_programs.h"

#include "gpu/gl/vertex_layout.h"

namespace q::gpu {

namespace {

// Sampler names by texture unit: unit N is slot N of the draw's textures.
constexpr const char* kSlotSamplers[kTextureSlots] = {"surfaceImage", "normalMap", "specularMap", "lightImage",
                                                          "lightFalloff"};

GLuint compile(GLenum stage, const char* source, std::string* error) {
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return shader;
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    *error = std::string(stage == GL_VERTEX_SHADER ? "vertex" : "fragment") + " stage does not compile: " + log;
    glDeleteShader(shader);
    return 0;
}

GLuint link(const char* vertexSource, const char* fragmentSource, std::string* error) {
    GLuint vs = compile(GL_VERTEX_SHADER, vertexSource, error);
    if (!vs) return 0;
    GLuint fs = compile(GL_FRAGMENT_SHADER, fragmentSource, error);
    if (!fs) {
        glDeleteShader(vs);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok) return program;
    char log[1024] = {};
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    *error = std::string("the stages do not link: ") + log;
    glDeleteProgram(program);
    return 0;
}

// An input the format does not feed would read a constant instead of the
// vertex: a program written for another layout.
bool inputsAreFed(GLuint program, VertexFormat format, std::string* error) {
    const uint32_t fed = inputMaskOf(format);
    GLint count = 0;
    glGetProgramiv(program, GL_ACTIVE_ATTRIBUTES, &count);
    for (GLint i = 0; i < count; ++i) {
        char name[64] = {};
        GLint size = 0;
        GLenum type = 0;
        glGetActiveAttrib(program, static_cast<GLuint>(i), sizeof name, nullptr, &size, &type, name);
        if (std::string(name).starts_with("gl_")) continue;
        const GLint location = glGetAttribLocation(program, name);
        if (location < 0 || location >= 32 || !(fed & (1u << location))) {
            *error = "the vertex stage reads input \"" + std::string(name) + "\" at location " +
                     std::to_string(location) + ", which its vertex format does not feed";
            return false;
        }
    }
    return true;
}

bool blockMatches(GLuint program, uint32_t uniformBytes, std::string* error) {
    const GLuint block = glGetUniformBlockIndex(program, "Uniforms");
    if (block == GL_INVALID_INDEX) {
        if (uniformBytes == 0) return true;
        *error = "no stage declares the uniform block \"Uniforms\" of " + std::to_string(uniformBytes) + " bytes";
        return false;
    }
    GLint size = 0;
    glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    if (static_cast<uint32_t>(size) != uniformBytes) {
        *error = "the uniform block \"Uniforms\" is " + std::to_string(size) + " bytes, its struct " +
                 std::to_string(uniformBytes) + " (std140 lays it out otherwise)";
        return false;
    }
    glUniformBlockBinding(program, block, kUniformBinding);
    return true;
}

}  // namespace

bool buildProgram(const ProgramDesc& desc, GlProgram* out, std::string* error) {
    if (!desc.vertexSource || !desc.fragmentSource) {
        *error = "a stage has no source";
        return false;
    }
    if (desc.uniformBytes % 16 != 0 || desc.uniformBytes > kMaxUniformBytes) {
        *error = "a uniform block of " + std::to_string(desc.uniformBytes) +
                 " bytes (std140 blocks are whole vec4s, at most " + std::to_string(kMaxUniformBytes) + ")";
        return false;
    }
    const GLuint program = link(desc.vertexSource, desc.fragmentSource, error);
    if (!program) return false;
    if (!inputsAreFed(program, desc.inputs, error) || !blockMatches(program, desc.uniformBytes, error)) {
        glDeleteProgram(program);
        return false;
    }
    out->id = program;
    out->format = desc.inputs;
    out->uniformBytes = desc.uniformBytes;
    out->alphaReference = glGetUniformLocation(program, "alphaReference");
    out->texturesGiven = glGetUniformLocation(program, "texturesGiven");
    glUseProgram(program);
    for (GLint unit = 0; unit < static_cast<GLint>(kTextureSlots); ++unit) {
        const GLint sampler = glGetUniformLocation(program, kSlotSamplers[unit]);
        if (sampler >= 0) glUniform1i(sampler, unit);
    }
    if (desc.uniformBytes > 0) {
        glGenBuffers(1, &out->uniformBuffer);
        glBindBuffer(GL_UNIFORM_BUFFER, out->uniformBuffer);
        glBufferData(GL_UNIFORM_BUFFER, desc.uniformBytes, nullptr, GL_DYNAMIC_DRAW);
        out->sentUniforms.assign(desc.uniformBytes, 0);
    }
    return true;
}

void releaseProgram(GlProgram* program) {
    if (program->uniformBuffer) glDeleteBuffers(1, &program->uniformBuffer);
    glDeleteProgram(program->id);
    program->uniformBuffer = 0;
    program->id = 0;
}

}  // namespace q::gpu
