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
// vec4 c[96]`; outputs: gl_Position from oPos (with the depth range carried
// from 0..1 to -1..1), `out vec4 oD0`, `out vec4 oT0`.
std::string vertexProgramToGlsl(const VertexProgram& program);

// Vertex declarations: the token list that says which input register reads
// which bytes of which stream.
enum class VsInputType : uint8_t { Float1, Float2, Float3, Float4, Color, UByte4, Short2, Short4 };

struct VsInputElement {
    uint8_t stream = 0;
    uint8_t reg = 0;  // input register v<reg>
    VsInputType type = VsInputType::Float3;
    uint16_t offset = 0;  // bytes from the start of the vertex in its stream
};

struct VertexDeclaration {
    std::vector<VsInputElement> elements;
    uint32_t stride[16] = {};  // bytes per vertex of each stream, skips included
};

// Tokens: stream selectors, register bindings, skips, then the end token.
// Constant loads and tessellator tokens are not supported. At most 64 tokens
// are read, so a list without its end token is refused rather than overrun.
bool parseVertexDeclaration(const uint32_t* tokens, VertexDeclaration* out, std::string* error);

// Bytes one input of this type takes in the stream.
uint32_t inputTypeBytes(VsInputType type);

}  // namespace q::gpu
