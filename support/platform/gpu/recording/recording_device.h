#pragma once
// A device that draws nothing and remembers everything: buffer and texture
// contents, the current state, and a log of calls. The log keeps its capacity
// across clearLog(), so a test can prove that a frame allocates nothing.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gpu/device.h"
#include "platform/gpu/vertex_program.h"

namespace q::gpu {

enum class CallKind : uint8_t {
    CreateVertexBuffer, CreateIndexBuffer, CreateTexture,
    Lock, Unlock,
    SetRenderState, SetTextureStageState, SetTexture, SetTransform, SetVertexShader,
    SetVertexShaderConstant, SetStreamSource, SetIndices,
    Clear, BeginScene, EndScene, DrawPrimitive, DrawIndexedPrimitive, Present,
};

struct RecordedCall {
    CallKind kind;
    // Arguments in call order, as far as they are numbers (state ids, values,
    // registers, counts, flags).
    uint32_t args[5] = {0, 0, 0, 0, 0};
    const void* object = nullptr;  // buffer or texture involved, if any
};

// The state a draw call was made with.
struct DrawRecord {
    CallKind kind;  // DrawPrimitive or DrawIndexedPrimitive
    Primitive primitive;
    uint32_t startVertex, minIndex, vertexCount, startIndex, primitiveCount;
    uint32_t vertexShader;
    const VertexBuffer* stream;
    uint32_t stride;
    const IndexBuffer* indices;
    const Texture* texture;         // stage 0
    float constants[12][4];         // c0..c11 at the time of the draw
    uint32_t zEnable, alphaBlendEnable, alphaTestEnable;
    uint32_t baseVertex;            // from setIndices
    // Null when the draw is sound; otherwise what is wrong with it (a draw
    // outside beginScene/endScene, a locked or missing buffer, vertices or
    // indices past the end of their buffer). Static text, so nothing is allocated.
    const char* problem;
};

class RecordingDevice : public Device {
public:
    RecordingDevice(uint32_t width = 1024, uint32_t height = 768);
    // Everything made on a device goes before it: a buffer, texture or state
    // block still live here is an owner torn down in the wrong order (or never),
    // and stops the program with a message saying what was left.
    ~RecordingDevice() override;

    // --- what tests read ---
    std::vector<RecordedCall> calls;
    std::vector<DrawRecord> draws;
    void clearLog();  // keeps capacity

    uint32_t renderState(RenderState s) const;
    uint32_t textureStageState(uint32_t stage, TextureStageState s) const;
    const Texture* texture(uint32_t stage) const;
    uint32_t vertexShader() const;
    const float* constant(uint32_t reg) const;  // 4 floats
    const Matrix& transform(Transform which) const;
    const VertexBuffer* streamSource() const;
    uint32_t streamStride() const;
    const IndexBuffer* indices() const;
    // The program behind a handle from createVertexShader, or null.
    const VertexProgram* program(uint32_t handle) const;
    // Its declaration, or null.
    const VertexDeclaration* declaration(uint32_t handle) const;
    // The colour of the last clear of the target (0xAARRGGBB); 0 before any.
    uint32_t clearColor() const;
    bool inScene() const;
    uint32_t presentCount() const;
    // Draws whose `problem` is set, since construction (clearLog does not reset it).
    uint32_t faultyDraws() const;

    // Contents of a buffer or level 0 of a texture (0xAARRGGBB texels).
    static const std::vector<uint8_t>& contents(const Buffer* buffer);
    static const std::vector<uint32_t>& texels(const Texture* texture);
    // What createTextureFromLevels was given: the format, the number of levels
    // (0 for a texture whose chain the device builds) and their bytes.
    static TexelFormat format(const Texture* texture);
    static uint32_t levelCount(const Texture* texture);
    static const std::vector<uint8_t>& storedLevels(const Texture* texture);
    // Whether the device claims S3TC support (it does unless told otherwise).
    void setBlockCompression(bool supported);
    static bool isLocked(const Buffer* buffer);
    // Buffers and textures created and not yet released.
    uint32_t liveBuffers() const;
    uint32_t liveTextures() const;
    // Make the next N creations of a kind fail (return null), for failure tests.
    void failNextBufferCreations(uint32_t n);
    void failNextTextureCreations(uint32_t n);
    void failNextVertexShaderCreations(uint32_t n);

    // --- Device ---
    DeviceHandle<VertexBuffer> createVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t fvf) override;
    DeviceHandle<IndexBuffer> createIndexBuffer(uint32_t bytes, uint32_t usage) override;
    DeviceHandle<Texture> createTexture(uint32_t width, uint32_t height, uint32_t levels) override;
    DeviceHandle<Texture> createTextureFromRgba(const uint8_t* rgba, uint32_t width, uint32_t height) override;
    DeviceHandle<Texture> createTextureFromLevels(TexelFormat format, uint32_t width, uint32_t height, uint32_t levelCount,
                                     const uint8_t* levels) override;
    bool supportsBlockCompression() const override;
    void setRenderState(RenderState state, uint32_t value) override;
    void setTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) override;
    void setTexture(uint32_t stage, Texture* texture) override;
    void setTransform(Transform which, const Matrix& m) override;
    void setVertexShader(uint32_t handle) override;
    void setVertexShaderConstant(uint32_t reg, const void* data, uint32_t count) override;
    void setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) override;
    void setIndices(IndexBuffer* buffer, uint32_t baseVertex) override;
    uint32_t createVertexShader(const char* text, const uint32_t* declaration) override;
    void clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) override;
    void beginScene() override;
    void endScene() override;
    void drawPrimitive(Primitive type, uint32_t startVertex, uint32_t primitiveCount) override;
    void drawIndexedPrimitive(Primitive type, uint32_t minIndex, uint32_t vertexCount,
                              uint32_t startIndex, uint32_t primitiveCount) override;
    void present() override;
    uint32_t width() const override;
    uint32_t height() const override;
    bool readBackBuffer(uint8_t* rgba) override;  // the clear colour everywhere

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace q::gpu
