#pragma once
// The GL programs the device draws with: one vertex shader per fixed-function
// vertex format, the translated vertex programs, and the one fragment shader
// that does texture stage 0 and the alpha test for all of them.

#include <string>

#include "platform/gpu/gl/gl_api.h"
#include "platform/gpu/gl/vertex_layout.h"

namespace q::gpu {

enum class ProgramKind { WorldColored, Screen, WorldLit, VertexProgram };

// Uniform locations and the values last sent, so a draw only sends changes.
struct GlProgram {
    GLuint id = 0;
    ProgramKind kind = ProgramKind::WorldColored;
    VertexLayout layout;

    GLint worldViewProjection = -1;  // fixed-function world formats
    GLint screenSize = -1;           // pre-transformed format
    GLint constants = -1;            // vertex programs: c[96]
    GLint useTexture = -1;
    GLint alphaFunc = -1;
    GLint alphaRef = -1;

    uint64_t sentTransformVersion = ~0ull;
    uint64_t sentConstantsVersion = ~0ull;
    int sentUseTexture = -1;
    int sentAlphaFunc = -1;
    int sentAlphaRef = -1;
};

// Compiles and links a fixed-function program for a vertex format; false with
// the compiler's log in *error.
bool buildFixedFunctionProgram(ProgramKind kind, GlProgram* out, std::string* error);

// Links the translated GLSL of a vertex program with the fragment stage.
bool buildVertexProgram(const std::string& vertexGlsl, GlProgram* out, std::string* error);

}  // namespace q::gpu
