#include "platform/gpu/gl/state_blocks.h"

#include <cstring>

namespace q::gpu {

void StateBlocks::begin() {
    pending_.clear();
    recording_ = true;
}

StateBlock StateBlocks::end() {
    if (!recording_) return 0;
    recording_ = false;
    // A deleted block's handle stays dead, so a stale handle applies nothing.
    blocks_.push_back(pending_);
    inUse_.push_back(true);
    return static_cast<StateBlock>(blocks_.size());
}

StateBlocks::Entry& StateBlocks::slot(Kind kind, uint32_t key, uint32_t key2) {
    for (Entry& e : pending_) {
        if (e.kind == kind && e.key == key && e.key2 == key2) return e;
    }
    Entry e{};
    e.kind = kind;
    e.key = key;
    e.key2 = key2;
    pending_.push_back(e);
    return pending_.back();
}

bool StateBlocks::recordRenderState(RenderState state, uint32_t value) {
    if (!recording_) return false;
    slot(Kind::Render, static_cast<uint32_t>(state)).value = value;
    return true;
}

bool StateBlocks::recordStageState(uint32_t stage, TextureStageState state, uint32_t value) {
    if (!recording_) return false;
    slot(Kind::Stage, stage, static_cast<uint32_t>(state)).value = value;
    return true;
}

bool StateBlocks::recordTexture(uint32_t stage, Texture* texture) {
    if (!recording_) return false;
    slot(Kind::Texture, stage).object = texture;
    return true;
}

bool StateBlocks::recordTransform(Transform which, const Matrix& m) {
    if (!recording_) return false;
    std::memcpy(slot(Kind::Transform, static_cast<uint32_t>(which)).data, m.m, sizeof m.m);
    return true;
}

bool StateBlocks::recordVertexShader(uint32_t handle) {
    if (!recording_) return false;
    slot(Kind::Shader, 0).value = handle;
    return true;
}

bool StateBlocks::recordConstants(uint32_t reg, const float* data, uint32_t count) {
    if (!recording_) return false;
    for (uint32_t i = 0; i < count && reg + i < kMaxVertexConstants; ++i) {
        std::memcpy(slot(Kind::Constant, reg + i).data, data + 4 * i, 4 * sizeof(float));
    }
    return true;
}

bool StateBlocks::recordStream(VertexBuffer* buffer, uint32_t stride) {
    if (!recording_) return false;
    Entry& e = slot(Kind::Stream, 0);
    e.object = buffer;
    e.value = stride;
    return true;
}

bool StateBlocks::recordIndices(IndexBuffer* buffer, uint32_t baseVertex) {
    if (!recording_) return false;
    Entry& e = slot(Kind::Indices, 0);
    e.object = buffer;
    e.value = baseVertex;
    return true;
}

const StateBlocks::Block* StateBlocks::find(StateBlock block) const {
    if (block == 0 || block > blocks_.size() || !inUse_[block - 1]) return nullptr;
    return &blocks_[block - 1];
}

void StateBlocks::capture(StateBlock block, const DeviceState& s) {
    if (!find(block)) return;
    for (Entry& e : blocks_[block - 1]) {
        switch (e.kind) {
        case Kind::Render: e.value = s.renderStates[e.key]; break;
        case Kind::Stage: e.value = s.stageStates[e.key][e.key2]; break;
        case Kind::Texture: e.object = s.textures[e.key]; break;
        case Kind::Transform: {
            const Matrix& m = e.key == static_cast<uint32_t>(Transform::World) ? s.world
                              : e.key == static_cast<uint32_t>(Transform::View) ? s.view
                                                                                : s.projection;
            std::memcpy(e.data, m.m, sizeof m.m);
            break;
        }
        case Kind::Shader: e.value = s.vertexShader; break;
        case Kind::Constant: std::memcpy(e.data, s.constants[e.key], 4 * sizeof(float)); break;
        case Kind::Stream:
            e.object = s.stream;
            e.value = s.stride;
            break;
        case Kind::Indices:
            e.object = s.indices;
            e.value = s.baseVertex;
            break;
        }
    }
}

void StateBlocks::apply(StateBlock block, Device& device) const {
    const Block* entries = find(block);
    if (!entries) return;
    for (const Entry& e : *entries) {
        switch (e.kind) {
        case Kind::Render: device.setRenderState(static_cast<RenderState>(e.key), e.value); break;
        case Kind::Stage:
            device.setTextureStageState(e.key, static_cast<TextureStageState>(e.key2), e.value);
            break;
        case Kind::Texture: device.setTexture(e.key, static_cast<Texture*>(e.object)); break;
        case Kind::Transform: {
            Matrix m;
            std::memcpy(m.m, e.data, sizeof m.m);
            device.setTransform(static_cast<Transform>(e.key), m);
            break;
        }
        case Kind::Shader: device.setVertexShader(e.value); break;
        case Kind::Constant: device.setVertexShaderConstant(e.key, e.data, 1); break;
        case Kind::Stream: device.setStreamSource(0, static_cast<VertexBuffer*>(e.object), e.value); break;
        case Kind::Indices: device.setIndices(static_cast<IndexBuffer*>(e.object), e.value); break;
        }
    }
}

void StateBlocks::remove(StateBlock block) {
    if (!find(block)) return;
    blocks_[block - 1].clear();
    inUse_[block - 1] = false;
}

void StateBlocks::forget(const void* resource) {
    auto scrub = [resource](Block& block) {
        for (Entry& e : block) {
            if (e.object == resource) e.object = nullptr;
        }
    };
    for (Block& block : blocks_) scrub(block);
    scrub(pending_);
}

}  // namespace q::gpu
