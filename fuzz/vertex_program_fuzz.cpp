// Any bytes as vertex program text: the assembler accepts or names a line, and
// whatever it accepts translates to GLSL and runs on the interpreter.

#include <cstddef>
#include <cstdint>
#include <string>

#include "gpu/device.h"
#include "gpu/vertex_program.h"
#include "gpu/vs11_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
    q::gpu::VertexProgram program;
    std::string error;
    if (!q::gpu::assembleVertexProgram(text.c_str(), &program, &error)) {
        if (error.rfind("line ", 0) != 0) __builtin_trap();
        return 0;
    }
    if (program.code.size() > 128) __builtin_trap();
    static float inputs[16][4];
    static float constants[q::gpu::kMaxConstantRegisters][4];
    q::gpu::VsOutputs out;
    q::gpu::runVertexProgram(program, inputs, constants, &out);
    (void)q::gpu::vertexProgramToGlsl(program);
    return 0;
}
