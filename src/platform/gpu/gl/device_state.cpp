#include "platform/gpu/gl/device_state.h"

namespace q::gpu {

DeviceState DeviceState::defaults() {
    DeviceState s;
    auto rs = [&s](RenderState state) -> uint32_t& { return s.renderStates[static_cast<uint32_t>(state)]; };
    rs(RenderState::ZEnable) = 1;  // on whenever the device has a depth buffer
    rs(RenderState::SrcBlend) = kBlendOne;
    rs(RenderState::DestBlend) = kBlendZero;
    rs(RenderState::CullMode) = kCullCounterClockwise;
    rs(RenderState::AlphaFunc) = kCmpAlways;
    s.renderStates[kRsZWriteEnable] = 1;
    s.renderStates[kRsZFunc] = kCmpLessEqual;
    for (uint32_t stage = 0; stage < kTextureStageCount; ++stage) {
        uint32_t* t = s.stageStates[stage];
        t[static_cast<uint32_t>(TextureStageState::MagFilter)] = kFilterPoint;
        t[static_cast<uint32_t>(TextureStageState::MinFilter)] = kFilterPoint;
        t[static_cast<uint32_t>(TextureStageState::MipFilter)] = kFilterNone;
    }
    return s;
}

Matrix* DeviceState::transform(Transform which) {
    switch (which) {
    case Transform::World: return &world;
    case Transform::View: return &view;
    case Transform::Projection: return &projection;
    }
    return nullptr;
}

}  // namespace q::gpu
