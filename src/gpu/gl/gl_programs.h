#pragma once
// The GL programs the device draws with: one vertex shader per vertex format,
// the translated vertex programs, and the one fragment shader that textures
// and alpha-tests for all of them.

#include <cstdint>
#include <string>

#include "gpu/device.h"
#include "gpu/gl/gl_api.h"

namespace q::gpu {

// Uniform locations and the values this program last received, so a draw
// sends only what differs. Each program keeps its own: GL uniforms belong to
// the program, not to the context.
struct GlProgram {
    GLuint id = 0;
    // From the device's counter, never reused: a program made where a freed
    // one was is still a different program to the draw state.
    uint64_t serial = 0;
    VertexFormat format = VertexFormat::LitTextured;

    GLint constants = -1;   // c[kMaxConstantRegisters]; -1 for screen text
    GLint screenSize = -1;  // screen text only
    GLint useTexture = -1;
    GLint alphaRef = -1;

    // What GL holds for this program: a record of GL state, kept current by
    // the draws that send it, so even a pipeline's read-only program has them.
    mutable float sentConstants[kMaxConstantRegisters][4] = {};
    mutable uint32_t knownConstants = 0;  // how many of sentConstants the program holds
    mutable int sentUseTexture = -1;
    mutable int sentAlphaRef = -1;
};

// Compiles and links the format's own program; false with the compiler's log
// in *error. Leaves the new program current.
bool buildFormatProgram(VertexFormat format, GlProgram* out, std::string* error);

// Links the translated GLSL of a vertex program with the fragment stage.
// Leaves the new program current.
bool buildVertexProgram(const std::string& vertexGlsl, VertexFormat format, GlProgram* out, std::string* error);

}  // namespace q::gpu
