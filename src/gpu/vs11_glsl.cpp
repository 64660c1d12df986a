// Translation of assembled vertex programs into GLSL 3.30 core vertex shaders
// for the OpenGL backend. Each instruction becomes one statement whose
// right-hand side reads every source before the masked destination is
// written, as the vertex unit does.

#include <set>
#include <string>

#include "gpu/device.h"
#include "gpu/vertex_program.h"

namespace q::gpu {
namespace {

constexpr char kComponents[] = "xyzw";

// The same helpers the CPU interpreter uses, so both give the same numbers.
constexpr const char* kHelpers = R"(float qRcp(float x) { return x == 1.0 ? 1.0 : 1.0 / x; }
float qRsq(float x) { float a = abs(x); return a == 1.0 ? 1.0 : 1.0 / sqrt(a); }
vec4 cRel(int i) { return (i >= 0 && i < c.length()) ? c[i] : vec4(0.0); }
vec4 qExpp(float w) { float f = floor(w); return vec4(exp2(f), w - f, exp2(w), 1.0); }
vec4 qLogp(float w) {
    float v = abs(w);
    if (v == 0.0) return vec4(-3.402823466e38, -3.402823466e38, -3.402823466e38, 1.0);
    float e = floor(log2(v));
    return vec4(e, v / exp2(e), log2(v), 1.0);
}
vec4 qLit(vec4 s) {
    float p = clamp(s.w, -127.9961, 127.9961);
    vec4 d = vec4(1.0, 0.0, 0.0, 1.0);
    if (s.x > 0.0) {
        d.y = s.x;
        if (s.y > 0.0) d.z = pow(s.y, p);
    }
    return d;
}
)";

std::string registerName(VsRegisterFile file, int index) {
    switch (file) {
    case VsRegisterFile::Input: return "v" + std::to_string(index);
    case VsRegisterFile::Temp: return "r" + std::to_string(index);
    case VsRegisterFile::Const: return "c[" + std::to_string(index) + "]";
    case VsRegisterFile::Address: return "a0x";
    case VsRegisterFile::OutPos: return "oPos";
    case VsRegisterFile::OutDiffuse: return "oD" + std::to_string(index);
    case VsRegisterFile::OutSpecular: return "oD1";
    case VsRegisterFile::OutTex: return "oT" + std::to_string(index);
    case VsRegisterFile::OutFog: return "oFog";
    case VsRegisterFile::OutPointSize: return "oPts";
    }
    return "r0";
}

std::string sourceRegister(const VsSource& s) {
    if (s.file == VsRegisterFile::Const && s.relative)
        return "cRel(a0x + " + std::to_string(s.index) + ")";
    return registerName(s.file, s.index);
}

// The whole source as a vec4, swizzled and negated.
std::string vectorSource(const VsSource& s) {
    std::string text = sourceRegister(s);
    bool identity = s.swizzle[0] == 0 && s.swizzle[1] == 1 && s.swizzle[2] == 2 && s.swizzle[3] == 3;
    if (!identity) {
        text += '.';
        for (int i = 0; i < 4; ++i) text += kComponents[s.swizzle[i] & 3];
    }
    return s.negate ? "(-" + text + ")" : text;
}

// One component of the source: the last swizzle component, as the scalar
// operations take it.
std::string scalarSource(const VsSource& s, int component) {
    std::string text = sourceRegister(s) + "." + kComponents[s.swizzle[component] & 3];
    return s.negate ? "(-" + text + ")" : text;
}

std::string maskSuffix(uint8_t mask) {
    std::string suffix;
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i)) suffix += kComponents[i];
    return suffix;
}

std::string xyz(const VsSource& s) {
    std::string v = vectorSource(s);
    return v + ".xyz";
}

// The statement of one instruction.
std::string statement(const VsInstruction& ins) {
    const VsSource* s = ins.src;
    bool scalar = false;
    std::string value;
    switch (ins.opcode) {
    case VsOpcode::Mov: value = vectorSource(s[0]); break;
    case VsOpcode::Add: value = vectorSource(s[0]) + " + " + vectorSource(s[1]); break;
    case VsOpcode::Sub: value = vectorSource(s[0]) + " - " + vectorSource(s[1]); break;
    case VsOpcode::Mul: value = vectorSource(s[0]) + " * " + vectorSource(s[1]); break;
    case VsOpcode::Mad:
        value = vectorSource(s[0]) + " * " + vectorSource(s[1]) + " + " + vectorSource(s[2]);
        break;
    case VsOpcode::Dp3:
        value = "dot(" + xyz(s[0]) + ", " + xyz(s[1]) + ")";
        scalar = true;
        break;
    case VsOpcode::Dp4:
        value = "dot(" + vectorSource(s[0]) + ", " + vectorSource(s[1]) + ")";
        scalar = true;
        break;
    case VsOpcode::Rcp:
        value = "qRcp(" + scalarSource(s[0], 3) + ")";
        scalar = true;
        break;
    case VsOpcode::Rsq:
        value = "qRsq(" + scalarSource(s[0], 3) + ")";
        scalar = true;
        break;
    case VsOpcode::Min: value = "min(" + vectorSource(s[0]) + ", " + vectorSource(s[1]) + ")"; break;
    case VsOpcode::Max: value = "max(" + vectorSource(s[0]) + ", " + vectorSource(s[1]) + ")"; break;
    case VsOpcode::Slt:
        value = "vec4(lessThan(" + vectorSource(s[0]) + ", " + vectorSource(s[1]) + "))";
        break;
    case VsOpcode::Sge:
        value = "vec4(greaterThanEqual(" + vectorSource(s[0]) + ", " + vectorSource(s[1]) + "))";
        break;
    case VsOpcode::Expp: value = "qExpp(" + scalarSource(s[0], 3) + ")"; break;
    case VsOpcode::Logp: value = "qLogp(" + scalarSource(s[0], 3) + ")"; break;
    case VsOpcode::Lit: value = "qLit(" + vectorSource(s[0]) + ")"; break;
    case VsOpcode::Dst:
        value = "vec4(1.0, " + scalarSource(s[0], 1) + " * " + scalarSource(s[1], 1) + ", " +
                scalarSource(s[0], 2) + ", " + scalarSource(s[1], 3) + ")";
        break;
    case VsOpcode::Frc: value = "fract(" + vectorSource(s[0]) + ")"; break;
    }

    if (ins.dest.file == VsRegisterFile::Address) {
        std::string x = scalar ? value : "(" + value + ").x";
        return "a0x = int(clamp(floor(" + x + "), -1024.0, 1024.0));";
    }
    std::string dest = registerName(ins.dest.file, ins.dest.index);
    std::string mask = maskSuffix(ins.dest.writeMask);
    if (mask.size() == 4) return dest + " = " + (scalar ? "vec4(" + value + ")" : value) + ";";
    dest += "." + mask;
    if (scalar) {
        if (mask.size() == 1) return dest + " = " + value + ";";
        return dest + " = vec" + std::to_string(mask.size()) + "(" + value + ");";
    }
    return dest + " = (" + value + ")." + mask + ";";
}

}  // namespace

std::string vertexProgramToGlsl(const VertexProgram& program) {
    std::set<int> inputs, temps, extraOutputs;  // extra: outputs the pixel stage never reads
    bool usesAddress = false;
    for (const VsInstruction& ins : program.code) {
        for (int i = 0; i < ins.sourceCount; ++i) {
            const VsSource& s = ins.src[i];
            if (s.file == VsRegisterFile::Input) inputs.insert(s.index);
            if (s.file == VsRegisterFile::Temp) temps.insert(s.index);
            if (s.relative) usesAddress = true;
        }
        const VsDestination& d = ins.dest;
        if (d.file == VsRegisterFile::Temp) temps.insert(d.index);
        if (d.file == VsRegisterFile::Address) usesAddress = true;
        if (d.file == VsRegisterFile::OutDiffuse && d.index == 1) extraOutputs.insert(1);
        if (d.file == VsRegisterFile::OutTex && d.index > 0) extraOutputs.insert(10 + d.index);
        if (d.file == VsRegisterFile::OutFog) extraOutputs.insert(20);
        if (d.file == VsRegisterFile::OutPointSize) extraOutputs.insert(21);
    }

    std::string g = "#version 330 core\n";
    for (int v : inputs)
        g += "layout(location = " + std::to_string(v) + ") in vec4 v" + std::to_string(v) + ";\n";
    g += "uniform vec4 c[" + std::to_string(kMaxConstantRegisters) + "];\nout vec4 oD0;\nout vec4 oT0;\n";
    g += kHelpers;
    g += "void main() {\n    vec4 oPos = vec4(0.0);\n    oD0 = vec4(0.0);\n    oT0 = vec4(0.0);\n";
    for (int e : extraOutputs) {
        std::string name = e == 1 ? "oD1" : e == 20 ? "oFog" : e == 21 ? "oPts" : "oT" + std::to_string(e - 10);
        g += "    vec4 " + name + " = vec4(0.0);\n";
    }
    for (int r : temps) g += "    vec4 r" + std::to_string(r) + " = vec4(0.0);\n";
    if (usesAddress) g += "    int a0x = 0;\n";
    for (const VsInstruction& ins : program.code) g += "    " + statement(ins) + "\n";
    // The pipeline clamps the colour after the program; clip-space depth runs
    // 0..w in the program's convention and -w..w in GL's.
    g += "    oD0 = clamp(oD0, 0.0, 1.0);\n";
    g += "    gl_Position = vec4(oPos.x, oPos.y, 2.0 * oPos.z - oPos.w, oPos.w);\n";
    g += "}\n";
    return g;
}

}  // namespace q::gpu
