#pragma once
// The GL side of a program: the linked stages, the buffer its uniform block is
// read from, and the values the device last gave it, so a draw sends only what
// differs. Each program keeps its own: GL uniforms belong to the program, not
// to the context.

#include <cstdint>
#include <string>
#include <vector>

#include "gpu/device.h"
#include "gpu/gl/gl_api.h"

namespace q::gpu {

// The binding point every program's uniform block is read through; the
// device binds the drawing program's buffer there.
constexpr GLuint kUniformBinding = 0;

struct GlProgram {
    GLuint id = 0;
    // From the device's counter, never reused: a program made where a freed
    // one was is still a different program to the draw state.
    uint64_t serial = 0;
    VertexFormat format = VertexFormat::LitTextured;
    uint32_t uniformBytes = 0;
    GLuint uniformBuffer = 0;  // 0 without a block

    GLint alphaReference = -1;  // -1: the program does not read it
    GLint texturesGiven = -1;

    // What GL holds for this program: a record of GL state, kept current by
    // the draws that send it, so even a pipeline's read-only program has them.
    mutable std::vector<uint8_t> sentUniforms;  // uniformBytes long once made
    mutable bool uniformsKnown = false;
    mutable int sentTexturesGiven = -1;
    mutable int sentAlphaReference = -1;
};

// Compiles and links the two stages and checks them against the description:
// the inputs the format feeds, the block's size. False with the reason in
// *error (the compiler's log where it has one). Leaves the new program current
// and its uniform buffer bound to GL_UNIFORM_BUFFER.
bool buildProgram(const ProgramDesc& desc, GlProgram* out, std::string* error);

// Frees what buildProgram made.
void releaseProgram(GlProgram* program);

}  // namespace q::gpu
