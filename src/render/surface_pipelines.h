#pragma once
// The pipelines lit surfaces (map surfaces, entity models, the terrain) are
// drawn with: one for each look, a look being a material's blending and
// alpha test. The opaque look's is made with the device; the others as the
// loaded maps' materials name them, so a draw only looks one up.

#include <cstdint>
#include <vector>

#include "gpu/device.h"
#include "map/material_look.h"

namespace q {

// Which surfaces a draw takes: the opaque ones (alpha-tested ones among them)
// first, then, after every opaque surface of the frame, the blended ones.
enum class SurfacePass : unsigned char { Opaque, Blended };

inline SurfacePass passOf(MaterialBlend blend) {
    return blend == MaterialBlend::Opaque ? SurfacePass::Opaque : SurfacePass::Blended;
}

class SurfacePipelines {
public:
    // Makes the opaque look's pipeline with the lighting program. False when
    // the device refuses it (as it does without a program: no look is made
    // and no surface drawn). `base` gives the opaque look's depth, blending
    // and stencil (the map's light passes draw the same looks otherwise).
    bool create(gpu::Device& device, const gpu::Program* lighting, const gpu::PipelineDesc& base = {});
    // Makes the look's pipeline unless it is made; false when it cannot be.
    bool prepare(MaterialBlend blend, float alphaTest);
    // The pipeline of a look made before; null for any other.
    const gpu::Pipeline* find(MaterialBlend blend, float alphaTest) const;
    // Made first by create, so every draw finds it without a search (unless
    // the device refused it, and another look came first).
    const gpu::Pipeline* opaque() const {
        if (looks_.empty() || looks_.front().blend != MaterialBlend::Opaque || looks_.front().alphaReference != 0)
            return nullptr;
        return looks_.front().pipeline.get();
    }

private:
    struct Look {
        MaterialBlend blend;
        uint8_t alphaReference;
        gpu::DeviceHandle<gpu::Pipeline> pipeline;
    };
    gpu::Device* device_ = nullptr;
    gpu::PipelineDesc base_;  // its program the set's
    std::vector<Look> looks_;  // few: a map's materials use a handful of looks
};

// What drawing surfaces needs besides the surfaces: the device, the pipelines
// of their looks, the lighting program's uniform block that places and lights
// them and which of the frame's two passes this is.
struct SurfaceDraw {
    gpu::Device& device;
    const SurfacePipelines& pipelines;
    gpu::UniformBlock uniforms;
    SurfacePass pass = SurfacePass::Opaque;
    // A map light's pass: the light's images and the screen rectangle its
    // box covers (the surfaces' own images come from the mesh).
    const gpu::Texture* lightImage = nullptr;
    const gpu::Texture* lightFalloff = nullptr;
    gpu::ScreenRect scissor = {};
};

}  // namespace q
