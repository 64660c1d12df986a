#pragma once
// The device wrapper: fixed states, frame begin and end, and the frame's list of
// coloured lines (frustums while F is held), drawn over the scene at the end of
// the frame in portal mode.

#include <cstdint>
#include <memory>

#include "math/matrix.h"
#include "math/vector.h"
#include "platform/gpu/device.h"

namespace q {

struct LineVertex {
    float x, y, z;
    uint32_t colour;  // 0xAARRGGBB
};
static_assert(sizeof(LineVertex) == 16);

constexpr uint32_t kLineBufferBytes = 1048576;
constexpr uint32_t kMaxLines = kLineBufferBytes / (2 * sizeof(LineVertex));  // 32768

class GraphicsDevice {
public:
    // Declared first so that it goes last: the line buffer is released before it.
    std::unique_ptr<gpu::Device> device;
    gpu::DeviceHandle<gpu::VertexBuffer> lineBuffer;
    uint32_t lineCount = 0;
    LineVertex* lineWrite = nullptr;  // valid while the line buffer is locked
    uint32_t lineBufferBytes = kLineBufferBytes;

    // Takes ownership of a created backend, sets the fixed states and makes the
    // line buffer.
    bool create(std::unique_ptr<gpu::Device> backend);
    void beginFrame();
    // Unlocks the line buffer if it was locked this frame, draws the lines in
    // portal mode with the camera's matrices, ends the scene and presents.
    void endFrame(const Matrix& view, const Matrix& projection);
    void beginLines();
    // Lines past kMaxLines in one collection are dropped.
    void addLine(Vector3 first, Vector3 second, uint32_t colour);
    uint32_t createVertexShader(const char* text, const uint32_t* declaration);

    GraphicsDevice() = default;
    GraphicsDevice(const GraphicsDevice&) = delete;
    GraphicsDevice& operator=(const GraphicsDevice&) = delete;
    // Unlocks the line buffer if a collection left it locked; the members then
    // release the buffer and the device, in that order.
    ~GraphicsDevice();
};

// Draws `lines` coloured lines from the buffer's start in world space with the
// camera's matrices, under whatever depth state is set.
void drawLineList(gpu::Device& device, gpu::VertexBuffer* buffer, uint32_t lines, const Matrix& view,
                  const Matrix& projection);

}  // namespace q
