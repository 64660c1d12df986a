#include "render/material_states.h"

#include <cmath>
#include <cstdint>

#include "platform/gpu/device.h"

namespace q {

void setMaterialStates(gpu::Device& device, MaterialBlend blend, float alphaTest) {
    using gpu::RenderState;
    if (alphaTest > 0.0f) {
        device.setRenderState(RenderState::AlphaTestEnable, 1);
        device.setRenderState(RenderState::AlphaRef, static_cast<uint32_t>(std::lround(std::fmin(alphaTest, 1.0f) * 255)));
        device.setRenderState(RenderState::AlphaFunc, gpu::kCmpGreaterEqual);
    } else {
        device.setRenderState(RenderState::AlphaTestEnable, 0);
    }
    if (blend == MaterialBlend::Opaque) {
        device.setRenderState(RenderState::AlphaBlendEnable, 0);
        device.setRenderState(RenderState::ZWriteEnable, 1);
        return;
    }
    uint32_t source = gpu::kBlendSrcAlpha, destination = gpu::kBlendInvSrcAlpha;
    if (blend == MaterialBlend::Add) source = destination = gpu::kBlendOne;
    if (blend == MaterialBlend::Filter) source = gpu::kBlendDestColor, destination = gpu::kBlendZero;
    device.setRenderState(RenderState::AlphaBlendEnable, 1);
    device.setRenderState(RenderState::SrcBlend, source);
    device.setRenderState(RenderState::DestBlend, destination);
    device.setRenderState(RenderState::ZWriteEnable, 0);
}

void resetMaterialStates(gpu::Device& device) { setMaterialStates(device, MaterialBlend::Opaque, 0.0f); }

}  // namespace q
