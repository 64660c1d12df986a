#include "platform/gpu/pipeline.h"

#include "platform/gpu/device.h"

namespace q::gpu {

namespace {

// Blend factor values as the devices keep them.
enum : uint32_t {
    kFactorZero = 1,
    kFactorOne = 2,
    kFactorSrcColor = 3,
    kCullClockwiseValue = 2,
    kCullCounterClockwiseValue = 3,
    kCompareAlways = 8,
};

uint32_t sourceFactor(Blend blend) {
    switch (blend) {
    case Blend::Alpha: return kBlendSrcAlpha;
    case Blend::Filter: return kFactorZero;
    case Blend::None:
    case Blend::Add: break;
    }
    return kFactorOne;
}

uint32_t destinationFactor(Blend blend) {
    switch (blend) {
    case Blend::Alpha: return kBlendInvSrcAlpha;
    case Blend::Add: return kFactorOne;
    case Blend::Filter: return kFactorSrcColor;
    case Blend::None: break;
    }
    return kFactorZero;
}

uint32_t cullValue(Cull cull) {
    switch (cull) {
    // Front faces wind clockwise on screen, so culling the back culls the
    // counter-clockwise ones.
    case Cull::BackFaces: return kCullCounterClockwiseValue;
    case Cull::FrontFaces: return kCullClockwiseValue;
    case Cull::None: break;
    }
    return kCullNone;
}

}  // namespace

void pipelineStates(const PipelineDesc& desc, PipelineStateValue out[kPipelineStateCount]) {
    auto id = [](RenderState state) { return static_cast<uint32_t>(state); };
    const bool blends = desc.blend != Blend::None;
    out[0] = {id(RenderState::ZEnable), desc.depthTest ? 1u : 0u};
    out[1] = {kZWriteEnableState, desc.depthWrite ? 1u : 0u};
    out[2] = {id(RenderState::AlphaBlendEnable), blends ? 1u : 0u};
    out[3] = {id(RenderState::SrcBlend), sourceFactor(desc.blend)};
    out[4] = {id(RenderState::DestBlend), destinationFactor(desc.blend)};
    out[5] = {id(RenderState::AlphaTestEnable), desc.alphaTest ? 1u : 0u};
    out[6] = {id(RenderState::AlphaRef), desc.alphaThreshold};
    out[7] = {id(RenderState::AlphaFunc), desc.alphaTest ? uint32_t{kCmpGreaterEqual} : uint32_t{kCompareAlways}};
    out[8] = {id(RenderState::CullMode), cullValue(desc.cull)};
}

uint32_t pipelineVertexShader(const PipelineDesc& desc) {
    if (desc.program != 0) return desc.program;
    switch (desc.format) {
    case VertexFormat::ColouredLine: return kFvfLine;
    case VertexFormat::ScreenText: return kFvfScreen;
    case VertexFormat::LitTextured: break;
    }
    return kFvfLit;
}

}  // namespace q::gpu
