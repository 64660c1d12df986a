#include "render/surface_pipelines.h"

#include <cmath>

namespace q {

namespace {

uint8_t alphaReferenceOf(float alphaTest) {
    if (!(alphaTest > 0.0f)) return 0;
    return static_cast<uint8_t>(std::lround(std::fmin(alphaTest, 1.0f) * 255));
}

gpu::Blend deviceBlend(MaterialBlend blend) {
    switch (blend) {
    case MaterialBlend::Blend: return gpu::Blend::Alpha;
    case MaterialBlend::Add: return gpu::Blend::Add;
    case MaterialBlend::Filter: return gpu::Blend::Filter;
    case MaterialBlend::Opaque: break;
    }
    return gpu::Blend::None;
}

// What a surface of this look needs: texels whose alpha is below alphaTest
// (0 to 1; 0: none) are not drawn; a blended surface is mixed as its blend
// says and leaves the depth buffer as it is. An opaque one is drawn as the
// set's base says (a light pass adds and keeps the depth).
gpu::PipelineDesc surfacePipelineDesc(const gpu::PipelineDesc& base, MaterialBlend blend, float alphaTest) {
    gpu::PipelineDesc desc = base;
    desc.format = gpu::VertexFormat::LitTextured;
    if (blend != MaterialBlend::Opaque) desc.blend = deviceBlend(blend);
    desc.depthWrite = base.depthWrite && blend == MaterialBlend::Opaque;
    desc.alphaReference = alphaReferenceOf(alphaTest);
    return desc;
}

}  // namespace

bool SurfacePipelines::create(gpu::Device& device, const gpu::Program* lighting, const gpu::PipelineDesc& base) {
    device_ = &device;
    base_ = base;
    base_.program = lighting;
    looks_.clear();
    return prepare(MaterialBlend::Opaque, 0.0f);
}

bool SurfacePipelines::prepare(MaterialBlend blend, float alphaTest) {
    if (find(blend, alphaTest)) return true;
    if (!device_) return false;
    gpu::DeviceHandle<gpu::Pipeline> pipeline =
        device_->createPipeline(surfacePipelineDesc(base_, blend, alphaTest));
    if (!pipeline) return false;
    looks_.push_back({blend, alphaReferenceOf(alphaTest), std::move(pipeline)});
    return true;
}

const gpu::Pipeline* SurfacePipelines::find(MaterialBlend blend, float alphaTest) const {
    const uint8_t reference = alphaReferenceOf(alphaTest);
    for (const Look& look : looks_)
        if (look.blend == blend && look.alphaReference == reference) return look.pipeline.get();
    return nullptr;
}

}  // namespace q
