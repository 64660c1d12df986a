#pragma once
// Test support for the vertex program translation: compiles generated GLSL, and
// runs it for one vertex, on a short-lived headless GL context of its own (any
// context current before is current again afterwards). Tests use this to hold
// the GLSL translation to the CPU interpreter without including GL headers.

#include <string>

#include "gpu/vs11_run.h"

namespace q::gpu {

// False with the driver's message in *log when no headless context can be made
// or the source does not compile and link; *log starts with "no context" in the
// first case.
bool compileGlslForTest(const std::string& source, std::string* log);

// Runs a vertex shader made by vertexProgramToGlsl for one vertex, capturing
// gl_Position (with the depth range already carried to -1..1), oD0 (clamped)
// and oT0 with transform feedback.
bool runGlslVertexForTest(const std::string& source, const float inputs[16][4],
                          const float constants[][4], VsOutputs* out, std::string* log);

}  // namespace q::gpu
