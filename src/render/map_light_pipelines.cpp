#include "render/map_light_pipelines.h"

#include "render/map_light_program.h"

namespace q {

bool MapLightPipelines::create(gpu::Device& device) {
    depthProgram_ = device.createProgram(mapLightDepthProgramDesc());
    lightProgram_ = device.createProgram(mapLightProgramDesc());
    gpu::PipelineDesc additive;
    additive.depthTest = gpu::DepthTest::Equal;
    additive.depthWrite = false;
    additive.blend = gpu::Blend::Add;
    gpu::PipelineDesc unshadowedOnly = additive;
    unshadowedOnly.stencilTest = gpu::StencilTest::Equal;
    unshadowedOnly.stencilReference = 0;
    ready_ = depthProgram_ && lightProgram_ && depth_.create(device, depthProgram_.get()) &&
             shadowed_.create(device, lightProgram_.get(), unshadowedOnly) &&
             unshadowed_.create(device, lightProgram_.get(), additive);
    return ready_;
}

void MapLightPipelines::prepare(const MapMesh& mesh, size_t materialCount) {
    if (!ready_) return;
    for (uint32_t m = 0; m < materialCount; ++m) {
        const MaterialLook& look = mesh.look(m);
        // Blended surfaces are not lit light by light (see the render pass).
        if (look.blend != MaterialBlend::Opaque) continue;
        for (SurfacePipelines* set : {&depth_, &shadowed_, &unshadowed_}) {
            set->prepare(look.blend, look.alphaTest);
            set->prepare(look.blend, 0.0f);
        }
    }
}

}  // namespace q
