#pragma once
// State blocks: the state-setting calls made between begin and end are kept
// (the last value of each state wins) instead of being applied; capture
// refreshes a block's values from the device's current state; apply replays
// them through the device.

#include <cstdint>
#include <vector>

#include "platform/gpu/gl/device_state.h"

namespace q::gpu {

class StateBlocks {
public:
    void begin();
    bool recording() const { return recording_; }
    // Stops recording for a while; resume with what pause returned.
    bool pause() {
        const bool was = recording_;
        recording_ = false;
        return was;
    }
    void resume(bool wasRecording) { recording_ = wasRecording; }
    StateBlock end();  // 0 when no recording was open

    // Each returns true when the call was recorded (the caller must not apply it).
    bool recordRenderState(RenderState state, uint32_t value);
    bool recordStageState(uint32_t stage, TextureStageState state, uint32_t value);
    bool recordTexture(uint32_t stage, Texture* texture);
    bool recordTransform(Transform which, const Matrix& m);
    bool recordVertexShader(uint32_t handle);
    bool recordConstants(uint32_t reg, const float* data, uint32_t count);
    bool recordStream(VertexBuffer* buffer, uint32_t stride);
    bool recordIndices(IndexBuffer* buffer, uint32_t baseVertex);

    void capture(StateBlock block, const DeviceState& current);
    void apply(StateBlock block, Device& device) const;
    void remove(StateBlock block);
    // Forget a resource that is being released, so no block applies it later.
    void forget(const void* resource);

private:
    enum class Kind : uint8_t { Render, Stage, Texture, Transform, Shader, Constant, Stream, Indices };
    struct Entry {
        Kind kind;
        uint32_t key = 0;    // state id, stage, transform or constant register
        uint32_t key2 = 0;   // stage state id
        uint32_t value = 0;  // state value, handle, stride or base vertex
        void* object = nullptr;
        float data[16] = {};  // a matrix or one constant register
    };
    using Block = std::vector<Entry>;

    Entry& slot(Kind kind, uint32_t key, uint32_t key2 = 0);
    const Block* find(StateBlock block) const;

    std::vector<Block> blocks_;  // handle h is blocks_[h - 1]; handles are never reused
    std::vector<bool> inUse_;
    Block pending_;
    bool recording_ = false;
};

}  // namespace q::gpu
