#pragma once
// The vs.1.1 vertex program language: assembled from text into an instruction
// list and translated to GLSL for the OpenGL backend. The CPU interpreter the
// tests hold the translation to lives with the test support (vs11_run.h).

#include <cstdint>
#include <string>
#include <vector>

namespace q::gpu {

enum class VsOpcode : uint8_t { Mov, Add, Sub, Mul, Mad, Dp3, Dp4, Rcp, Rsq, Min, Max, Slt, Sge, Expp, Logp, Lit, Dst, Frc };

enum class VsRegisterFile : uint8_t { Input, Temp, Const, Address, OutPos, OutDiffuse, OutSpecular, OutTex, OutFog, OutPointSize };

struct VsSource {
    VsRegisterFile file = VsRegisterFile::Temp;
    uint8_t index = 0;
    bool negate = false;
    uint8_t swizzle[4] = {0, 1, 2, 3};  // component taken for x, y, z, w
    bool relative = false;              // c[a0.x + index]
};

struct VsDestination {
    VsRegisterFile file = VsRegisterFile::Temp;
    uint8_t index = 0;
    uint8_t writeMask = 0xF;  // bit 0 = x ... bit 3 = w
};

struct VsInstruction {
    VsOpcode opcode = VsOpcode::Mov;
    VsDestination dest;
    VsSource src[3];
    uint8_t sourceCount = 0;
    int line = 0;  // line of the text it came from
};

struct VertexProgram {
    std::vector<VsInstruction> code;
};

// Assembles vs.1.1 text ("vs.1.1" line first; ';' and '//' start comments).
// On failure returns false with "line N: what was expected" in *error.
bool assembleVertexProgram(const char* text, VertexProgram* out, std::string* error);

// A GLSL 3.30 core vertex shader running the program. Inputs: `in vec4 v<N>`
// at location N for every input register the program reads; constants: `uniform
// vec4 c[kMaxConstantRegisters]`; outputs: gl_Position from oPos (with the depth range carried
// from 0..1 to -1..1), `out vec4 oD0`, `out vec4 oT0`.
std::string vertexProgramToGlsl(const VertexProgram& program);

// Why the program cannot run where only the inputs in `inputMask` (bit N for
// vN) are fed and `constantRegisters` constants exist: "line N: ..." naming
// the first instruction that reads past them; empty when it can run. Relative
// reads (c[a0.x + n]) are allowed: they read zero outside the registers.
std::string programLimitsProblem(const VertexProgram& program, uint32_t inputMask, uint32_t constantRegisters);

}  // namespace q::gpu
