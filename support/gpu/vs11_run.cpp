// The CPU interpreter of assembled vertex programs: the reference the tests
// check the GLSL translation against.

#include <cfloat>
#include <cmath>
#include <cstring>

#include "gpu/device.h"
#include "gpu/vs11_run.h"

namespace q::gpu {
namespace {

using Vec4 = float[4];

struct Registers {
    float temp[12][4] = {};
    int address = 0;
    float pos[4] = {};
    float diffuse[2][4] = {};
    float tex[8][4] = {};
    float fog[4] = {};
    float pointSize[4] = {};
};

// The address register holds floor(value); far-off values are pinned so the
// conversion to int is always defined (any of them reads a zero constant).
int toAddress(float v) {
    if (!(v >= -1024.0f)) return -1024;  // also NaN
    if (v > 1024.0f) return 1024;
    return static_cast<int>(std::floor(v));
}

void readSource(const VsSource& s, const Registers& r, const float inputs[16][4],
                const float constants[][4], float out[4]) {
    static const float kZero[4] = {0, 0, 0, 0};
    const float* reg = kZero;
    switch (s.file) {
    case VsRegisterFile::Input:
        reg = inputs[s.index & 15];
        break;
    case VsRegisterFile::Temp:
        reg = r.temp[s.index < 12 ? s.index : 0];
        break;
    case VsRegisterFile::Const: {
        int i = s.index + (s.relative ? r.address : 0);
        // Out-of-range relative reads give zero rather than someone else's memory.
        reg = (i >= 0 && i < static_cast<int>(kMaxConstantRegisters)) ? constants[i] : kZero;
        break;
    }
    default:
        break;  // outputs and a0 are not readable; the assembler refuses them
    }
    for (int c = 0; c < 4; ++c) {
        float v = reg[s.swizzle[c] & 3];
        out[c] = s.negate ? -v : v;
    }
}

float* destinationRegister(const VsDestination& d, Registers& r) {
    switch (d.file) {
    case VsRegisterFile::Temp: return r.temp[d.index < 12 ? d.index : 0];
    case VsRegisterFile::OutPos: return r.pos;
    case VsRegisterFile::OutDiffuse: return r.diffuse[d.index & 1];
    case VsRegisterFile::OutTex: return r.tex[d.index & 7];
    case VsRegisterFile::OutFog: return r.fog;
    case VsRegisterFile::OutPointSize: return r.pointSize;
    default: return nullptr;
    }
}

float reciprocal(float x) { return x == 1.0f ? 1.0f : 1.0f / x; }

float reciprocalSqrt(float x) {
    float a = std::fabs(x);
    return a == 1.0f ? 1.0f : 1.0f / std::sqrt(a);
}

void expp(float w, float out[4]) {
    float f = std::floor(w);
    out[0] = std::exp2(f);
    out[1] = w - f;
    out[2] = std::exp2(w);
    out[3] = 1.0f;
}

void logp(float w, float out[4]) {
    float v = std::fabs(w);
    out[3] = 1.0f;
    if (v == 0.0f || !std::isfinite(v)) {
        out[0] = out[1] = out[2] = v == 0.0f ? -FLT_MAX : FLT_MAX;
        return;
    }
    int e = 0;
    float m = std::frexp(v, &e);  // v = m * 2^e, m in [0.5, 1)
    out[0] = static_cast<float>(e - 1);
    out[1] = 2.0f * m;
    out[2] = std::log2(v);
}

void lit(const float s[4], float out[4]) {
    float power = s[3];
    if (power < -127.9961f) power = -127.9961f;
    if (power > 127.9961f) power = 127.9961f;
    out[0] = 1.0f;
    out[1] = 0.0f;
    out[2] = 0.0f;
    out[3] = 1.0f;
    if (s[0] > 0.0f) {
        out[1] = s[0];
        if (s[1] > 0.0f) out[2] = std::pow(s[1], power);
    }
}

void execute(const VsInstruction& ins, Registers& r, const float inputs[16][4],
             const float constants[][4]) {
    // All sources are read before the destination is written, so "mul r0, r0, r0.y"
    // sees the old r0 in every component.
    float s[3][4] = {};
    for (int i = 0; i < ins.sourceCount && i < 3; ++i) readSource(ins.src[i], r, inputs, constants, s[i]);
    const float* a = s[0];
    const float* b = s[1];
    const float* c = s[2];
    float d[4] = {};
    switch (ins.opcode) {
    case VsOpcode::Mov:
        for (int k = 0; k < 4; ++k) d[k] = a[k];
        break;
    case VsOpcode::Add:
        for (int k = 0; k < 4; ++k) d[k] = a[k] + b[k];
        break;
    case VsOpcode::Sub:
        for (int k = 0; k < 4; ++k) d[k] = a[k] - b[k];
        break;
    case VsOpcode::Mul:
        for (int k = 0; k < 4; ++k) d[k] = a[k] * b[k];
        break;
    case VsOpcode::Mad:
        for (int k = 0; k < 4; ++k) d[k] = a[k] * b[k] + c[k];
        break;
    case VsOpcode::Dp3:
        d[0] = d[1] = d[2] = d[3] = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
        break;
    case VsOpcode::Dp4:
        d[0] = d[1] = d[2] = d[3] = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
        break;
    // Scalar operations take the last component of the swizzle: with a
    // one-letter swizzle that is the named component, without one it is w.
    case VsOpcode::Rcp:
        d[0] = d[1] = d[2] = d[3] = reciprocal(a[3]);
        break;
    case VsOpcode::Rsq:
        d[0] = d[1] = d[2] = d[3] = reciprocalSqrt(a[3]);
        break;
    case VsOpcode::Min:
        for (int k = 0; k < 4; ++k) d[k] = a[k] < b[k] ? a[k] : b[k];
        break;
    case VsOpcode::Max:
        for (int k = 0; k < 4; ++k) d[k] = a[k] >= b[k] ? a[k] : b[k];
        break;
    case VsOpcode::Slt:
        for (int k = 0; k < 4; ++k) d[k] = a[k] < b[k] ? 1.0f : 0.0f;
        break;
    case VsOpcode::Sge:
        for (int k = 0; k < 4; ++k) d[k] = a[k] >= b[k] ? 1.0f : 0.0f;
        break;
    case VsOpcode::Expp:
        expp(a[3], d);
        break;
    case VsOpcode::Logp:
        logp(a[3], d);
        break;
    case VsOpcode::Lit:
        lit(a, d);
        break;
    case VsOpcode::Dst:
        d[0] = 1.0f;
        d[1] = a[1] * b[1];
        d[2] = a[2];
        d[3] = b[3];
        break;
    case VsOpcode::Frc:
        for (int k = 0; k < 4; ++k) d[k] = a[k] - std::floor(a[k]);
        break;
    }
    if (ins.dest.file == VsRegisterFile::Address) {
        r.address = toAddress(d[0]);
        return;
    }
    float* out = destinationRegister(ins.dest, r);
    if (!out) return;
    for (int k = 0; k < 4; ++k)
        if (ins.dest.writeMask & (1u << k)) out[k] = d[k];
}

}  // namespace

void runVertexProgram(const VertexProgram& program, const float inputs[16][4],
                      const float constants[][4], VsOutputs* out) {
    Registers r;
    for (const VsInstruction& ins : program.code) execute(ins, r, inputs, constants);
    std::memcpy(out->pos, r.pos, sizeof out->pos);
    std::memcpy(out->diffuse, r.diffuse[0], sizeof out->diffuse);
    std::memcpy(out->tex0, r.tex[0], sizeof out->tex0);
}

}  // namespace q::gpu
