#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "gpu/device.h"
#include "gpu/gl/glsl_check.h"
#include "gpu/vertex_program.h"
#include "gpu/vs11_run.h"
#include "render/lighting_program.h"

namespace q::gpu {
namespace {

VertexProgram assemble(const std::string& text) {
    VertexProgram p;
    std::string error;
    EXPECT_TRUE(assembleVertexProgram(text.c_str(), &p, &error)) << error << "\n" << text;
    return p;
}

// Runs the program with c0 = (1, 2, 3, 4), c1 = (-0.5, 0.25, 8, -3), v0 = (5, 6, 7, 1)
// and returns oD0 (not clamped).
struct ProgramRun {
    float inputs[16][4] = {};
    float constants[kMaxConstantRegisters][4] = {};
    VsOutputs out;
    ProgramRun() {
        float c0[4] = {1, 2, 3, 4}, c1[4] = {-0.5f, 0.25f, 8, -3}, v0[4] = {5, 6, 7, 1};
        for (int i = 0; i < 4; ++i) {
            constants[0][i] = c0[i];
            constants[1][i] = c1[i];
            inputs[0][i] = v0[i];
        }
    }
    const float* operator()(const std::string& body) {
        VertexProgram p = assemble("vs.1.1\n" + body);
        out = VsOutputs{};
        runVertexProgram(p, inputs, constants, &out);
        return out.diffuse;
    }
};

void expectVec(const float* got, float x, float y, float z, float w, const std::string& what) {
    EXPECT_FLOAT_EQ(got[0], x) << what;
    EXPECT_FLOAT_EQ(got[1], y) << what;
    EXPECT_FLOAT_EQ(got[2], z) << what;
    EXPECT_FLOAT_EQ(got[3], w) << what;
}

TEST(VertexProgramAssembler, DecodesTheLightingProgram) {
    VertexProgram p = assemble(kLightingProgramText);
    ASSERT_EQ(p.code.size(), 23u);

    const VsInstruction& first = p.code[0];  // dp4 oPos.x, v0, c0
    EXPECT_EQ(first.opcode, VsOpcode::Dp4);
    EXPECT_EQ(first.dest.file, VsRegisterFile::OutPos);
    EXPECT_EQ(first.dest.writeMask, 0x1);
    EXPECT_EQ(first.line, 2);

    const VsInstruction& tight = p.code[7];  // "dp4 r2.x, v0,c7": no space after the comma
    EXPECT_EQ(tight.dest.file, VsRegisterFile::Temp);
    EXPECT_EQ(tight.dest.index, 2);
    EXPECT_EQ(tight.src[1].file, VsRegisterFile::Const);
    EXPECT_EQ(tight.src[1].index, 7);

    const VsInstruction& sub = p.code[13];  // sub r0, c5.xyz, r2.xyz: the last letter repeats
    EXPECT_EQ(sub.opcode, VsOpcode::Sub);
    EXPECT_EQ(sub.dest.writeMask, 0xF);
    const uint8_t xyzz[4] = {0, 1, 2, 2};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sub.src[0].swizzle[i], xyzz[i]);

    const VsInstruction& rsq = p.code[11];  // rsq r11.y, r11.x
    EXPECT_EQ(rsq.dest.writeMask, 0x2);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(rsq.src[0].swizzle[i], 0);

    const VsInstruction& last = p.code[22];  // mul oD0, r0.x, r11.y
    EXPECT_EQ(last.dest.file, VsRegisterFile::OutDiffuse);
    EXPECT_EQ(last.src[1].swizzle[0], 1);
}

TEST(VertexProgramAssembler, ToleratesLayoutAndComments) {
    VertexProgram p = assemble(
        "; a leading comment\r\n"
        "  // another\r\n"
        "\r\n"
        "VS.1.1   // version\r\n"
        "\tMOV\toT0 ,v7   ; passthrough\r\n"
        "mad r0.xyw, -r1.wzyx, c[a0.x + 4], v2\n"
        "mov a0.x, c3.y\n"
        "add r3, c[ a0.x ], -c[a0.x]\n"
        "dp3  r11.x, r1.xyz, r1.xyz");
    ASSERT_EQ(p.code.size(), 5u);
    EXPECT_EQ(p.code[0].line, 5);
    const VsInstruction& mad = p.code[1];
    EXPECT_EQ(mad.dest.writeMask, 0xB);
    EXPECT_TRUE(mad.src[0].negate);
    EXPECT_EQ(mad.src[0].swizzle[0], 3);
    EXPECT_TRUE(mad.src[1].relative);
    EXPECT_EQ(mad.src[1].index, 4);
    EXPECT_EQ(p.code[2].dest.file, VsRegisterFile::Address);
    EXPECT_TRUE(p.code[3].src[1].negate);
}

TEST(VertexProgramAssembler, RejectsBadLinesNamingTheLine) {
    struct Case {
        const char* text;
        const char* expected;  // part of the message
    } cases[] = {
        {"mov r0, v0", "line 1: expected \"vs.1.1\""},
        {"", "expected \"vs.1.1\""},
        {"vs.1.1\n\nmov r12, v0", "line 3: expected a register number below 12"},
        {"vs.1.1\nfoo r0, v0", "line 2: expected an instruction"},
        {"vs.1.1\nadd r0, v0", "line 2: expected 2 source operand"},
        {"vs.1.1\nmov r0.yx, v0", "line 2: expected a write mask with x, y, z, w in order"},
        {"vs.1.1\nmov r0.xx, v0", "in order"},
        {"vs.1.1\nmov v0, r0", "line 2: expected a temporary, output or address register"},
        {"vs.1.1\nmov c3, r0", "as the destination"},
        {"vs.1.1\nmov r0, oPos", "as a source"},
        {"vs.1.1\nmov r0, a0", "as a source"},
        {"vs.1.1\nadd r0, c1, c2", "at most one constant register"},
        {"vs.1.1\nadd r0, v1, v2", "at most one input register"},
        {"vs.1.1\nmov r0, c[a0.x + 96]", "offset 0 to 95"},
        {"vs.1.1\nmov r0, c[a0.y]", "'a0.x'"},
        {"vs.1.1\nmov r0, c[a0.x + 1", "']'"},
        {"vs.1.1\nmov r0, v0 v1", "line 2: expected the end of the instruction"},
        {"vs.1.1\nmov r0, v99999999999", "at most three digits"},
        {"vs.1.1\nmov r0, v16", "below 16"},
        {"vs.1.1\nmov oT8, v0", "below 8"},
        {"vs.1.1\nmov oPos1, v0", "no number after opos"},
        {"vs.1.1\nmov r0, v0.q", "swizzle"},
        {"vs.1.1\nmov r0, v0.xyzwx", "swizzle"},
        {"vs.1.1\nmov a0.y, r0", "'mov a0.x, ...'"},
        {"vs.1.1\nadd a0.x, r0, r0", "'mov a0.x, ...'"},
        {"vs.1.1\nmov r0, r", "a register number after 'r'"},
        {"vs.1.1\nmov , v0", "line 2: expected a register"},
        {"vs.1.1\nvs.1.1", "line 2: expected an instruction"},
    };
    for (const Case& c : cases) {
        VertexProgram p;
        p.code.resize(3);  // a failed assembly must not leave old or partial code behind
        std::string error;
        EXPECT_FALSE(assembleVertexProgram(c.text, &p, &error)) << c.text;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << " -> " << error;
        EXPECT_TRUE(p.code.empty()) << c.text;
    }

    std::string error;
    VertexProgram p;
    EXPECT_FALSE(assembleVertexProgram(nullptr, &p, &error));
    EXPECT_FALSE(error.empty());

    std::string longProgram = "vs.1.1\n";
    for (int i = 0; i < 128; ++i) longProgram += "mov r0, v0\n";
    EXPECT_TRUE(assembleVertexProgram(longProgram.c_str(), &p, &error)) << error;
    longProgram += "mov r0, v0\n";
    EXPECT_FALSE(assembleVertexProgram(longProgram.c_str(), &p, &error));
    EXPECT_NE(error.find("line 130: expected at most 128 instructions"), std::string::npos) << error;
}

// Random damage to a valid program: the assembler either accepts it or says
// which line is wrong; it never crashes or reads past the text (run under ASan).
TEST(VertexProgramAssembler, SurvivesDamagedText) {
    const std::string original = kLightingProgramText;
    const char alphabet[] = "vrcaoPDTxyzw0123456789.,-+[];/ \n\tmovdp4\xff";
    std::mt19937 rng(1234);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = original;
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            size_t at = rng() % text.size();
            char c = alphabet[rng() % (sizeof alphabet - 1)];
            switch (rng() % 3) {
            case 0: text[at] = c; break;
            case 1: text.insert(text.begin() + static_cast<long>(at), c); break;
            default: text.erase(at, 1 + rng() % 8); break;
            }
            if (text.empty()) text = "x";
        }
        VertexProgram p;
        std::string error;
        if (assembleVertexProgram(text.c_str(), &p, &error)) {
            ++accepted;
            EXPECT_LE(p.code.size(), 128u);
        } else {
            EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
            EXPECT_NE(error.find(": expected "), std::string::npos) << error;
        }
    }
    EXPECT_GT(accepted, 0);  // some edits land in comments or keep the text valid
}

TEST(VertexProgramInterpreter, ArithmeticMatchesTheInstructionSet) {
    ProgramRun run;
    expectVec(run("mov oD0, c0"), 1, 2, 3, 4, "mov");
    expectVec(run("add oD0, c0, v0"), 6, 8, 10, 5, "add");
    expectVec(run("sub oD0, c0, v0"), -4, -4, -4, 3, "sub");
    expectVec(run("mul oD0, c0, v0"), 5, 12, 21, 4, "mul");
    expectVec(run("mov r1, c1\nmad oD0, c0, v0, r1"), 4.5f, 12.25f, 29, 1, "mad");
    expectVec(run("dp3 oD0, c0, v0"), 38, 38, 38, 38, "dp3 ignores w");
    expectVec(run("dp4 oD0, c0, v0"), 42, 42, 42, 42, "dp4");
    expectVec(run("min oD0, c0, c0.wzyx"), 1, 2, 2, 1, "min");
    expectVec(run("max oD0, c0, c0.wzyx"), 4, 3, 3, 4, "max");
    expectVec(run("slt oD0, c0, c0.wzyx"), 1, 1, 0, 0, "slt");
    expectVec(run("sge oD0, c0, c0.wzyx"), 0, 0, 1, 1, "sge");
    expectVec(run("frc oD0, c1"), 0.5f, 0.25f, 0, 0, "frc of negatives counts from below");
    expectVec(run("dst oD0, c0, v0"), 1, 12, 3, 1, "dst");
    expectVec(run("mov r0, c1\nexpp oD0, r0.z"), 256, 0, 256, 1, "expp");
    expectVec(run("mov r0, c1\nexpp oD0, r0.x"), 0.5f, 0.5f, std::exp2(-0.5f), 1, "expp fraction");
    expectVec(run("logp oD0, c1.z"), 3, 1, 3, 1, "logp");
    expectVec(run("logp oD0, -v0.z"), 2, 1.75f, std::log2(7.0f), 1, "logp of |x|");
}

TEST(VertexProgramInterpreter, ScalarOperationsAndLit) {
    ProgramRun run;
    // rcp and rsq take the named component, or w without a swizzle.
    expectVec(run("rcp oD0, c0.y"), 0.5f, 0.5f, 0.5f, 0.5f, "rcp .y");
    expectVec(run("rcp oD0, c0"), 0.25f, 0.25f, 0.25f, 0.25f, "rcp takes w");
    expectVec(run("rsq oD0, c0.w"), 0.5f, 0.5f, 0.5f, 0.5f, "rsq");
    expectVec(run("rsq oD0, -c0.w"), 0.5f, 0.5f, 0.5f, 0.5f, "rsq of |x|");
    EXPECT_EQ(run("rsq oD0, c0.x")[0], 1.0f);  // exactly one
    EXPECT_EQ(run("rcp oD0, c0.x")[0], 1.0f);
    EXPECT_TRUE(std::isinf(run("rcp oD0, r0.x")[0]));

    // lit: (1, max(N.L, 0), N.H^power when N.L > 0 and N.H > 0, 1)
    run.constants[2][0] = 0.5f;
    run.constants[2][1] = 0.25f;
    run.constants[2][3] = 2.0f;
    expectVec(run("lit oD0, c2"), 1, 0.5f, 0.0625f, 1, "lit lit side");
    run.constants[2][0] = -0.5f;
    expectVec(run("lit oD0, c2"), 1, 0, 0, 1, "lit back side");
}

TEST(VertexProgramInterpreter, SwizzleMaskNegateAndReadBeforeWrite) {
    ProgramRun run;
    expectVec(run("mov r0, c0\nmov r0.xy, r0.yx\nmov oD0, r0"), 2, 1, 3, 4, "swap reads old r0");
    expectVec(run("mov r0, c0\nmul r0, r0, r0.w\nmov oD0, r0"), 4, 8, 12, 16, "whole-register read");
    expectVec(run("mov oD0.yw, -c0.x"), 0, -1, 0, -1, "mask and replicate");
    expectVec(run("mov oD0, -c0.wzy"), -4, -3, -2, -2, "last letter repeats");
    // Temporaries and outputs start at zero.
    expectVec(run("add oD0, r5, c0"), 1, 2, 3, 4, "fresh temp");
}

TEST(VertexProgramInterpreter, RelativeConstantsFloorAndStayInRange) {
    ProgramRun run;
    for (int i = 0; i < 10; ++i)
        for (int k = 0; k < 4; ++k) run.constants[4 + i][k] = static_cast<float>(i * 10 + k);
    run.constants[2][0] = 2.7f;    // floor: 2
    run.constants[2][1] = -0.5f;   // floor: -1
    run.constants[2][2] = 13.0f;   // + 3 is past c15, the last register
    run.constants[2][3] = 1e30f;   // far out
    expectVec(run("mov a0.x, c2.x\nmov oD0, c[a0.x + 4]"), 20, 21, 22, 23, "floor of 2.7");
    expectVec(run("mov a0.x, c2.y\nmov oD0, c[a0.x + 5]"), 0, 1, 2, 3, "floor of -0.5");
    expectVec(run("mov a0.x, c2.z\nmov oD0, c[a0.x + 3]"), 0, 0, 0, 0, "past the end reads zero");
    expectVec(run("mov a0.x, c2.w\nmov oD0, c[a0.x]"), 0, 0, 0, 0, "huge address reads zero");
    expectVec(run("mov a0.x, c2.y\nmov oD0, c[a0.x]"), 0, 0, 0, 0, "negative address reads zero");
}

TEST(VertexProgramGlsl, TranslatesTheLightingProgram) {
    VertexProgram p = assemble(kLightingProgramText);
    std::string g = vertexProgramToGlsl(p);
    auto has = [&](const std::string& s) {
        EXPECT_NE(g.find(s), std::string::npos) << "missing: " << s << "\n" << g;
    };
    EXPECT_EQ(g.rfind("#version 330 core\n", 0), 0u);
    has("layout(location = 0) in vec4 v0;");
    has("layout(location = 3) in vec4 v3;");
    has("layout(location = 7) in vec4 v7;");
    EXPECT_EQ(g.find("in vec4 v1;"), std::string::npos);  // only inputs the program reads
    has("uniform vec4 c[16];");
    has("out vec4 oD0;");
    has("out vec4 oT0;");
    has("vec4 r11 = vec4(0.0);");
    has("oPos.x = dot(v0, c[0]);");
    has("r1.x = dot(v3.xyz, c[7].xyz);");
    has("r11.y = qRsq(r11.x);");
    has("r1.xyz = (r1.xyzz * r11.yyyy).xyz;");
    has("r0 = c[5].xyzz - r2.xyzz;");
    has("r0.x = (max(r0.xxxx, c[6].xxxx)).x;");
    has("oT0 = v7;");
    has("oD0 = r0.xxxx * r11.yyyy;");
    has("oD0 = clamp(oD0, 0.0, 1.0);");
    has("gl_Position = vec4(oPos.x, oPos.y, 2.0 * oPos.z - oPos.w, oPos.w);");
    // The colour is clamped after the last instruction that writes it.
    EXPECT_GT(g.find("oD0 = clamp"), g.find("oD0 = r0.xxxx"));
}

TEST(VertexProgramGlsl, TranslatesNegationMasksAndRelativeReads) {
    VertexProgram p = assemble(
        "vs.1.1\n"
        "mov a0.x, v1.y\n"
        "mov r0.xz, -c[a0.x + 2].w\n"
        "dp3 r1.yz, r0, -v1\n"
        "mov oT3, r1\n"
        "sge oD0, r0, v1\n");
    std::string g = vertexProgramToGlsl(p);
    auto has = [&](const std::string& s) {
        EXPECT_NE(g.find(s), std::string::npos) << "missing: " << s << "\n" << g;
    };
    has("int a0x = 0;");
    has("a0x = int(clamp(floor((v1.yyyy).x), -1024.0, 1024.0));");
    has("r0.xz = ((-cRel(a0x + 2).wwww)).xz;");
    has("r1.yz = vec2(dot(r0.xyz, (-v1).xyz));");
    has("vec4 oT3 = vec4(0.0);");  // not read by the pixel stage, kept local
    has("oD0 = vec4(greaterThanEqual(r0, v1));");
}

// The translation run by the GL driver against the interpreter, for every
// opcode and the swizzle, mask, negation and relative-address forms.
TEST(VertexProgramGlsl, RunsLikeTheInterpreter) {
    std::string log;
    if (!compileGlslForTest("#version 330 core\nvoid main() { gl_Position = vec4(0.0); }\n", &log) &&
        log.rfind("no context", 0) == 0)
        GTEST_SKIP() << log;

    ProgramRun run;
    run.constants[2][0] = 2.7f;
    run.constants[2][1] = 0.25f;
    run.constants[2][3] = 3.0f;
    for (int i = 3; i < 8; ++i)
        for (int k = 0; k < 4; ++k) run.constants[i][k] = static_cast<float>(i * 10 + k) * 0.125f;
    const char* bodies[] = {
        "mov oT0, -c1.wzyx",
        "add oT0.xz, c0, -v0.y",
        "sub oT0, v0.zwxy, c1",
        "mul oT0.yw, c0.x, v0",
        "mov r0, c1\nmad oT0, r0.yzxw, c0, -v0.w",
        "dp3 oT0, c0, -v0",
        "dp4 oT0.xyw, c1, v0",
        "rcp oT0, c1.x\nrcp oT0.y, c0",
        "rsq oT0, -c1.w",
        "min oT0, c0, v0.wzyx",
        "max oT0, c1, -c1.yxwz",
        "slt oT0, c0, c0.wzyx",
        "sge oT0.xyz, c1, c1.y",
        "expp oT0, c1.x",
        "logp oT0, v0.z",
        "lit oT0, c2.yyzw",
        "lit oT0, -c2",
        "dst oT0, c0, v0",
        "frc oT0, c1",
        "mov a0.x, c2.x\nmov oT0, c[a0.x + 3]",
        "mov a0.x, c1.w\nmov oT0, c[a0.x + 1]",
        "mov r0.xy, c0.yx\nmov r0.zw, r0.xy\nmov oT0, r0",
        "mov r3, v0\nmul r3, r3.w, r3\nmov oT0, r3",
        "mov oD0, c1\nmov oPos, c0",
        kLightingProgramText + 7,  // without its version line
    };
    for (const char* body : bodies) {
        VertexProgram program = assemble(std::string("vs.1.1\n") + body);
        VsOutputs cpu, gpu;
        runVertexProgram(program, run.inputs, run.constants, &cpu);
        std::string glsl = vertexProgramToGlsl(program);
        ASSERT_TRUE(runGlslVertexForTest(glsl, run.inputs, run.constants, &gpu, &log)) << log << "\n" << glsl;
        // What the pipeline does after the program.
        for (float& d : cpu.diffuse) d = d < 0 ? 0 : (d > 1 ? 1 : d);
        cpu.pos[2] = 2 * cpu.pos[2] - cpu.pos[3];
        for (int k = 0; k < 4; ++k) {
            auto near = [](float a, float b) { return std::fabs(a - b) <= 1e-5f * std::max(1.0f, std::fabs(a)); };
            EXPECT_TRUE(near(cpu.tex0[k], gpu.tex0[k])) << body << " oT0[" << k << "] " << cpu.tex0[k] << " vs " << gpu.tex0[k];
            EXPECT_TRUE(near(cpu.diffuse[k], gpu.diffuse[k])) << body << " oD0[" << k << "] " << cpu.diffuse[k] << " vs " << gpu.diffuse[k];
            EXPECT_TRUE(near(cpu.pos[k], gpu.pos[k])) << body << " pos[" << k << "] " << cpu.pos[k] << " vs " << gpu.pos[k];
        }
    }
    EXPECT_FALSE(compileGlslForTest("#version 330 core\nvoid main() { nonsense; }\n", &log));
    EXPECT_NE(log.find("compile"), std::string::npos);
}

TEST(VertexProgramLimits, NameTheFirstReadPastTheInputsOrRegisters) {
    const uint32_t litInputs = 1u << 0 | 1u << 3 | 1u << 7;
    EXPECT_EQ(programLimitsProblem(assemble(kLightingProgramText), litInputs, kMaxConstantRegisters), "");
    EXPECT_EQ(programLimitsProblem(assemble(kLightingProgramText), 1u << 0 | 1u << 7, kMaxConstantRegisters),
              "line 6: reads v3, which the vertex format does not feed");
    const VertexProgram pastTheEnd = assemble("vs.1.1\nmov oPos, c15\nmov r0, c[a0.x + 40]\nmov oD0, c16\n");
    EXPECT_EQ(programLimitsProblem(pastTheEnd, litInputs, kMaxConstantRegisters),
              "line 4: reads c16, past the 16 constant registers there are");
}

}  // namespace
}  // namespace q::gpu
