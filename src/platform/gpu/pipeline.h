#pragma once
// A pipeline: everything about a draw that its owner decides once (program,
// vertex format, depth, blending, alpha test, culling), described in a struct
// and made into a device object when the owner is made. A draw then sets one
// pipeline instead of a string of separate states.

#include <cstdint>

namespace q::gpu {

// The vertex layouts the viewer draws with.
enum class VertexFormat : uint8_t {
    ColouredLine,  // world position, colour (LineVertex)
    LitTextured,   // world position, normal, texture coordinate
    ScreenText,    // screen position with 1/w, colour, texture coordinate
};

enum class Blend : uint8_t {
    None,    // the colour replaces what is there
    Alpha,   // src * src.alpha + dst * (1 - src.alpha)
    Add,     // src + dst
    Filter,  // dst * src
};

enum class Cull : uint8_t { None, BackFaces, FrontFaces };

struct PipelineDesc {
    // A vertex program from Device::createVertexShader (the lighting); 0 draws
    // with the fixed program of the vertex format.
    uint32_t program = 0;
    VertexFormat format = VertexFormat::LitTextured;
    bool depthTest = true;
    bool depthWrite = true;
    Blend blend = Blend::None;
    // With alphaTest on, fragments whose alpha (0..255) is below the threshold are dropped.
    bool alphaTest = false;
    uint8_t alphaThreshold = 0;
    Cull cull = Cull::None;
};

class Pipeline {
public:
    explicit Pipeline(const PipelineDesc& desc) : desc_(desc) {}
    virtual ~Pipeline() = default;
    const PipelineDesc& desc() const { return desc_; }

private:
    friend struct FreeDeviceObject;
    // Frees the pipeline in constant time; only its owning handle calls it.
    virtual void destroy() = 0;
    PipelineDesc desc_;
};

// The device states a pipeline stands for, as (state id, value) pairs, in a
// fixed order; both devices keep their states under these ids.
struct PipelineStateValue {
    uint32_t state;
    uint32_t value;
};
constexpr int kPipelineStateCount = 9;
constexpr uint32_t kZWriteEnableState = 14;
void pipelineStates(const PipelineDesc& desc, PipelineStateValue out[kPipelineStateCount]);
// The vertex shader handle the pipeline draws with: its program, or the fixed
// format's code.
uint32_t pipelineVertexShader(const PipelineDesc& desc);

}  // namespace q::gpu
