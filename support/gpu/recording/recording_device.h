#pragma once
// A device that draws nothing and remembers everything: buffer and texture
// contents, what each draw named, and a log of calls. The log keeps its
// capacity across clearLog(), so a test can prove that a frame allocates
// nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gpu/device.h"

namespace q::gpu {

enum class CallKind : uint8_t {
    CreateVertexBuffer, CreateIndexBuffer, CreateTexture, CreateProgram, CreatePipeline,
    Update,
    BeginFrame, Draw, ClearStencil, EndFrame,
};

struct RecordedCall {
    CallKind kind;
    // Arguments in call order, as far as they are numbers (sizes, counts).
    uint32_t args[3] = {0, 0, 0};
    const void* object = nullptr;  // buffer, texture or pipeline involved, if any
};

// What createProgram was given.
struct RecordedProgram {
    std::string vertexSource, fragmentSource;
    VertexFormat inputs = VertexFormat::LitTextured;
    uint32_t uniformBytes = 0;
};

// One draw as it was called.
struct DrawRecord {
    PipelineDesc pipeline;  // a copy: the pipeline may go before a test reads it
    const Pipeline* pipelineObject;
    const VertexBuffer* vertices;
    const IndexBuffer* indices;
    DrawTextures textures;
    uint32_t first, count, vertexCount;
    ScreenRect scissor;
    // A copy of the call's uniform block (up to kMaxUniformBytes of it).
    alignas(16) uint8_t uniforms[kMaxUniformBytes];
    uint32_t uniformBytes;
    // Null when the draw is sound; otherwise the first draw rule it breaks
    // (gpu/draw_rules.h), described. Static text, so nothing is allocated.
    const char* problem;
};

class RecordingDevice : public Device {
public:
    RecordingDevice(uint32_t width = 1024, uint32_t height = 768);
    // Everything made on a device goes before it: a buffer, texture, program
    // or pipeline still live here is an owner torn down in the wrong order (or
    // never), and stops the program with a message saying what was left.
    ~RecordingDevice() override;

    // --- what tests read ---
    std::vector<RecordedCall> calls;
    std::vector<DrawRecord> draws;
    void clearLog();  // keeps capacity

    // What the program behind a handle from createProgram was made from.
    static const RecordedProgram& program(const Program* program);
    // The colour of the last beginFrame (0xAARRGGBB); 0 before any.
    uint32_t clearColour() const;
    bool inFrame() const;
    uint32_t frameCount() const;  // endFrame calls
    // Draws whose `problem` is set, since construction (clearLog does not reset it).
    uint32_t faultyDraws() const;

    // Contents of a buffer or level 0 of a texture (0xAARRGGBB texels).
    static const std::vector<uint8_t>& contents(const Buffer* buffer);
    static BufferUse use(const Buffer* buffer);
    static const std::vector<uint32_t>& texels(const Texture* texture);
    // What createTexture was given: the format, the number of levels (0 for a
    // texture whose chain the device builds) and their bytes.
    static TexelFormat format(const Texture* texture);
    static uint32_t levelCount(const Texture* texture);
    static const std::vector<uint8_t>& storedLevels(const Texture* texture);
    // Whether the device claims S3TC support (it does unless told otherwise).
    void setBlockCompression(bool supported);
    // Objects created and not yet freed.
    uint32_t liveBuffers() const;
    uint32_t liveTextures() const;
    uint32_t livePipelines() const;
    // Make the next N creations of a kind fail (return empty), for failure tests.
    void failNextBufferCreations(uint32_t n);
    void failNextTextureCreations(uint32_t n);
    void failNextProgramCreations(uint32_t n);

    // --- Device ---
    DeviceHandle<VertexBuffer> createVertexBuffer(uint32_t bytes, BufferUse use,
                                                  const void* contents = nullptr) override;
    DeviceHandle<IndexBuffer> createIndexBuffer(uint32_t bytes, BufferUse use,
                                                const void* contents = nullptr) override;
    DeviceHandle<Texture> createTexture(TexelFormat format, uint32_t width, uint32_t height, uint32_t levelCount,
                                        const uint8_t* levels) override;
    bool supportsBlockCompression() const override;
    DeviceHandle<Program> createProgram(const ProgramDesc& desc) override;
    DeviceHandle<Pipeline> createPipeline(const PipelineDesc& desc) override;
    void beginFrame(uint32_t clearColour) override;
    void draw(const DrawCall& call) override;
    // Logged with the rectangle's x, y and width (all 0 for the whole buffer).
    void clearStencil(const ScreenRect& rect) override;
    void endFrame() override;
    uint32_t width() const override;
    uint32_t height() const override;
    bool readBackBuffer(uint8_t* rgba) override;  // the clear colour everywhere

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace q::gpu
