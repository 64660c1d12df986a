#pragma once
// The objects of the GL backend. Buffers and textures hold their contents
// on the GPU alone; in builds with assertions an index buffer also keeps its
// bytes, so that the draw rules can check the index values a draw reads.
// Every object carries a serial number from its device's counter, never
// reused, so the draw state never mistakes a new object made where a freed
// one was for the freed one.

#include <cstdint>
#include <vector>

#include "gpu/device.h"
#include "gpu/gl/gl_api.h"
#include "gpu/gl/gl_programs.h"

namespace q::gpu {

class GlDevice;

class GlBufferObject {
public:
    // `contents` null: zeros.
    GlBufferObject(uint32_t bytes, BufferUse use, const void* contents, bool keepBytes = false);
    ~GlBufferObject();
    bool update(uint32_t offset, const void* bytes, uint32_t size);
    GLuint id() const { return id_; }
    uint32_t bytes() const { return bytes_; }
    // The buffer's bytes when made to keep them, else null.
    const uint8_t* keptBytes() const { return kept_.empty() ? nullptr : kept_.data(); }

private:
    GLuint id_ = 0;
    uint32_t bytes_;
    bool dynamic_;
    std::vector<uint8_t> kept_;
};

class GlVertexBuffer final : public VertexBuffer {
public:
    GlVertexBuffer(GlDevice* device, uint32_t bytes, BufferUse use, const void* contents, uint64_t serial)
        : buffer(bytes, use, contents), serial(serial), device_(device) {}
    ~GlVertexBuffer() override;
    bool update(uint32_t offset, const void* bytes, uint32_t size) override {
        return buffer.update(offset, bytes, size);
    }
    uint32_t byteSize() const override { return buffer.bytes(); }

    GlBufferObject buffer;
    const uint64_t serial;
    size_t liveSlot = 0;  // where the device's live list holds it
    // The vertex array object this buffer is drawn through: made at its first
    // draw, laid out for the format it was last drawn as, holding the index
    // buffer it was last drawn with. The device's cache of how to draw it, so
    // a draw of a const buffer may set it.
    mutable GLuint vertexArray = 0;
    mutable bool laidOut = false;
    mutable VertexFormat arrayFormat = VertexFormat::LitTextured;
    mutable uint32_t enabledInputs = 0;  // bit N: input location N is switched on
    mutable uint64_t arrayIndices = 0;   // serial of the index buffer bound in it; 0 none

private:
    void destroy() override;
    GlDevice* device_;
};

class GlIndexBuffer final : public IndexBuffer {
public:
    GlIndexBuffer(GlDevice* device, uint32_t bytes, BufferUse use, const void* contents, uint64_t serial,
                  bool keepBytes)
        : buffer(bytes, use, contents, keepBytes), serial(serial), device_(device) {}
    bool update(uint32_t offset, const void* bytes, uint32_t size) override {
        return buffer.update(offset, bytes, size);
    }
    uint32_t byteSize() const override { return buffer.bytes(); }

    GlBufferObject buffer;
    const uint64_t serial;
    size_t liveSlot = 0;

private:
    void destroy() override;
    GlDevice* device_;
};

class GlTexture final : public Texture {
public:
    // levels 0: the full mip chain, made from level 0; otherwise that many
    // levels, each given. Nothing is uploaded until upload().
    GlTexture(GlDevice* device, uint64_t serial, uint32_t width, uint32_t height, uint32_t levels,
              TexelFormat format);
    ~GlTexture() override;
    uint32_t width() const override { return width_; }
    uint32_t height() const override { return height_; }

    // Uploads the levels as Device::createTexture describes them, in the
    // texture's own format; false when GL refused one (no room for it).
    bool upload(const uint8_t* levels);
    GLuint id() const { return id_; }

    const uint64_t serial;
    size_t liveSlot = 0;

private:
    void destroy() override;

    GlDevice* device_;
    GLuint id_ = 0;
    uint32_t width_, height_;
    uint32_t levels_;  // the levels the texture has
    bool buildChain_;  // whether level 0 alone is given and the GPU makes the rest
    TexelFormat format_;
};

class GlProgramObject final : public Program {
public:
    explicit GlProgramObject(GlDevice* device) : device_(device) {}
    ~GlProgramObject() override;
    GlProgram gl;
    size_t liveSlot = 0;

private:
    void destroy() override;
    GlDevice* device_;
};

class GlPipeline final : public Pipeline {
public:
    GlPipeline(GlDevice* device, const PipelineDesc& desc, const GlProgram* program)
        : program(program), desc_(desc), device_(device) {}
    const PipelineDesc& desc() const override { return desc_; }
    // The program the description names.
    const GlProgram* const program;
    size_t liveSlot = 0;

private:
    void destroy() override;
    PipelineDesc desc_;
    GlDevice* device_;
};

}  // namespace q::gpu
