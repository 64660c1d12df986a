#pragma once
// Everything a draw depends on, as the device was told it: the states, the
// bound resources, the transforms and the vertex program constants.

#include <cstdint>

#include "math/matrix.h"
#include "platform/gpu/device.h"

namespace q::gpu {

constexpr uint32_t kRenderStateCount = 256;
constexpr uint32_t kTextureStageCount = 8;
constexpr uint32_t kStageStateCount = 32;

// Render-state and texture-stage-state values used below beyond device.h.
enum : uint32_t {
    kRsZWriteEnable = 14,
    kRsZFunc = 23,
    kCullClockwise = 2,
    kCullCounterClockwise = 3,
    kCmpLessEqual = 4,
    kCmpAlways = 8,
    kClearStencil = 4,
};

struct DeviceState {
    uint32_t renderStates[kRenderStateCount] = {};
    uint32_t stageStates[kTextureStageCount][kStageStateCount] = {};
    Texture* textures[kTextureStageCount] = {};
    Matrix world = Matrix::identity();
    Matrix view = Matrix::identity();
    Matrix projection = Matrix::identity();
    uint32_t vertexShader = 0;
    float constants[kMaxVertexConstants][4] = {};
    VertexBuffer* stream = nullptr;
    uint32_t stride = 0;
    IndexBuffer* indices = nullptr;
    uint32_t baseVertex = 0;

    // The values a freshly made device starts with (depth buffer attached).
    static DeviceState defaults();

    Matrix* transform(Transform which);
};

}  // namespace q::gpu
