#pragma once
// The CPU interpreter of assembled vertex programs: the reference the tests
// hold the GLSL translation and the lit pixels to. Test support only; the
// viewer runs its programs on the GPU.

#include "gpu/vertex_program.h"

namespace q::gpu {

struct VsOutputs {
    float pos[4] = {0, 0, 0, 0};
    float diffuse[4] = {0, 0, 0, 0};  // not yet clamped
    float tex0[4] = {0, 0, 0, 0};
};

// Runs the program for one vertex. inputs: 16 registers of 4 floats (unread
// components default to 0, w to 1 as the vertex format expands them); constants:
// kMaxConstantRegisters registers.
void runVertexProgram(const VertexProgram& program, const float inputs[16][4],
                      const float constants[][4], VsOutputs* out);

}  // namespace q::gpu
