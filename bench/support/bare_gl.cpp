#include "support/bare_gl.h"

#include <algorithm>

#include "gpu/gl/gl_api.h"

namespace q::bench {

namespace {

// The lighting program's transform (the first matrix of its uniform block)
// and a textured surface: the per-vertex and per-pixel work stay close to the
// device's, so the two frames differ in the calls that issue them.
constexpr const char* kVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 2) in vec2 texCoord;
layout(std140, row_major) uniform Uniforms {
    mat4 worldViewProjection;
};
out vec2 uv;
void main() {
    vec4 clip = vec4(position, 1.0) * worldViewProjection;
    gl_Position = vec4(clip.x, clip.y, 2.0 * clip.z - clip.w, clip.w);
    uv = texCoord;
}
)";

constexpr const char* kFragment = R"(#version 330 core
in vec2 uv;
uniform sampler2D texture0;
uniform bool useTexture;
out vec4 fragColor;
void main() { fragColor = useTexture ? texture(texture0, uv) : vec4(1.0); }
)";

GLuint compile(GLenum kind, const char* text, std::string* error) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        *error = std::string("bare GL program: ") + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

class BareGlScene {
public:
    GLuint program = 0, uniformBuffer = 0;
    GLint useTexture = -1;
    std::vector<GLuint> arrays, buffers, textures;
    std::vector<bool> indexed;  // per mesh: has an element buffer
};

void finishGl() { glFinish(); }

BareGlScene* createBareGlScene(const std::vector<BareMesh>& meshes, const std::vector<BareTexture>& textures,
                               std::string* error) {
    GLint previousArray = 0, previousProgram = 0, previousTexture = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &previousArray);
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);

    auto* scene = new BareGlScene;
    const GLuint vertex = compile(GL_VERTEX_SHADER, kVertex, error);
    const GLuint fragment = vertex ? compile(GL_FRAGMENT_SHADER, kFragment, error) : 0;
    if (!fragment) {
        if (vertex) glDeleteShader(vertex);
        delete scene;
        return nullptr;
    }
    scene->program = glCreateProgram();
    glAttachShader(scene->program, vertex);
    glAttachShader(scene->program, fragment);
    glLinkProgram(scene->program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(scene->program, GL_LINK_STATUS, &linked);
    if (!linked) {
        *error = "bare GL program does not link";
        destroyBareGlScene(scene);
        return nullptr;
    }
    scene->useTexture = glGetUniformLocation(scene->program, "useTexture");
    glUniformBlockBinding(scene->program, glGetUniformBlockIndex(scene->program, "Uniforms"), 0);
    glGenBuffers(1, &scene->uniformBuffer);
    glBindBuffer(GL_UNIFORM_BUFFER, scene->uniformBuffer);
    glBufferData(GL_UNIFORM_BUFFER, kBareUniformBytes, nullptr, GL_DYNAMIC_DRAW);

    for (const BareMesh& mesh : meshes) {
        GLuint array = 0, buffers[2] = {0, 0};
        glGenVertexArrays(1, &array);
        glGenBuffers(mesh.indices ? 2 : 1, buffers);
        glBindVertexArray(array);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
        glBufferData(GL_ARRAY_BUFFER, mesh.vertexBytes, mesh.vertices, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(mesh.stride), nullptr);
        if (mesh.stride >= 32) {
            glEnableVertexAttribArray(2);
            glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(mesh.stride),
                                  reinterpret_cast<const void*>(uintptr_t{24}));
        }
        if (mesh.indices) {
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, mesh.indexCount * 2, mesh.indices, GL_STATIC_DRAW);
        }
        scene->arrays.push_back(array);
        scene->indexed.push_back(mesh.indices != nullptr);
        scene->buffers.insert(scene->buffers.end(), buffers, buffers + (mesh.indices ? 2 : 1));
    }
    for (const BareTexture& texture : textures) {
        GLuint id = 0;
        glGenTextures(1, &id);
        glBindTexture(GL_TEXTURE_2D, id);
        // 0xAARRGGBB words are B, G, R, A bytes in memory on this machine.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(texture.width),
                     static_cast<GLsizei>(texture.height), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texture.texels);
        glGenerateMipmap(GL_TEXTURE_2D);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        scene->textures.push_back(id);
    }

    glBindVertexArray(static_cast<GLuint>(previousArray));
    glUseProgram(static_cast<GLuint>(previousProgram));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
    return scene;
}

void drawBareGlFrame(BareGlScene* scene, const BareDraw* draws, size_t count) {
    GLint previousArray = 0, previousProgram = 0, previousTexture = 0, previousSampler = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &previousArray);
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    glGetIntegerv(GL_SAMPLER_BINDING, &previousSampler);
    glBindSampler(0, 0);  // the texture's own filters, not the device's sampler

    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(scene->program);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, scene->uniformBuffer);
    int64_t mesh = -1, texture = -2;
    const void* uniforms = nullptr;
    for (size_t i = 0; i < count; ++i) {
        const BareDraw& d = draws[i];
        if (d.mesh >= scene->arrays.size()) continue;
        if (static_cast<int64_t>(d.mesh) != mesh) {
            mesh = d.mesh;
            glBindVertexArray(scene->arrays[d.mesh]);
        }
        if (d.texture != texture) {
            const bool has = d.texture >= 0 && static_cast<size_t>(d.texture) < scene->textures.size();
            glBindTexture(GL_TEXTURE_2D, has ? scene->textures[static_cast<size_t>(d.texture)] : 0);
            glUniform1i(scene->useTexture, has ? 1 : 0);
            texture = d.texture;
        }
        if (d.uniforms && d.uniforms != uniforms) {
            glBufferSubData(GL_UNIFORM_BUFFER, 0, std::min(d.uniformBytes, kBareUniformBytes), d.uniforms);
            uniforms = d.uniforms;
        }
        const GLenum primitive = d.lines ? GL_LINES : GL_TRIANGLES;
        if (scene->indexed[d.mesh])
            glDrawElementsBaseVertex(primitive, static_cast<GLsizei>(d.count), GL_UNSIGNED_SHORT,
                                     reinterpret_cast<const void*>(uintptr_t{d.first} * 2), d.baseVertex);
        else
            glDrawArrays(primitive, static_cast<GLint>(d.first), static_cast<GLsizei>(d.count));
    }
    glFinish();

    glBindSampler(0, static_cast<GLuint>(previousSampler));
    glBindVertexArray(static_cast<GLuint>(previousArray));
    glUseProgram(static_cast<GLuint>(previousProgram));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
}

void destroyBareGlScene(BareGlScene* scene) {
    if (!scene) return;
    glDeleteProgram(scene->program);
    glDeleteBuffers(1, &scene->uniformBuffer);
    if (!scene->arrays.empty()) glDeleteVertexArrays(static_cast<GLsizei>(scene->arrays.size()), scene->arrays.data());
    if (!scene->buffers.empty()) glDeleteBuffers(static_cast<GLsizei>(scene->buffers.size()), scene->buffers.data());
    if (!scene->textures.empty())
        glDeleteTextures(static_cast<GLsizei>(scene->textures.size()), scene->textures.data());
    delete scene;
}

}  // namespace q::bench
