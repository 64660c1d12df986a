#pragma once
// The objects of the GL backend. Buffers are written in place through a
// mapping of the GL buffer (no copy in system memory); textures created for
// locking keep their level 0 texels so a lock sees what was written before.
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
    GlBufferObject(uint32_t bytes, BufferUse use);
    ~GlBufferObject();
    void* lock(uint32_t offset, uint32_t size);
    void unlock();
    GLuint id() const { return id_; }
    uint32_t bytes() const { return bytes_; }
    bool locked() const { return mapped_; }

private:
    GLuint id_ = 0;
    uint32_t bytes_;
    bool dynamic_;
    bool mapped_ = false;
};

class GlVertexBuffer final : public VertexBuffer {
public:
    GlVertexBuffer(GlDevice* device, uint32_t bytes, BufferUse use, uint64_t serial)
        : buffer(bytes, use), serial(serial), device_(device) {}
    ~GlVertexBuffer() override;
    void* lock(uint32_t offset, uint32_t size) override { return buffer.lock(offset, size); }
    void unlock() override { buffer.unlock(); }
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
    GlIndexBuffer(GlDevice* device, uint32_t bytes, BufferUse use, uint64_t serial)
        : buffer(bytes, use), serial(serial), device_(device) {}
    void* lock(uint32_t offset, uint32_t size) override { return buffer.lock(offset, size); }
    void unlock() override { buffer.unlock(); }
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
    // levels 0: full mip chain; otherwise that many levels (at least 1).
    // Storage for RGBA8 texels is made here unless the levels come as S3TC
    // blocks (uploadLevels makes their storage).
    GlTexture(GlDevice* device, uint64_t serial, uint32_t width, uint32_t height, uint32_t levels,
              TexelFormat format = TexelFormat::Rgba8);
    ~GlTexture() override;
    uint32_t width() const override { return width_; }
    uint32_t height() const override { return height_; }
    void* lockRect(uint32_t* pitch) override;
    void unlockRect() override;

    // Uploads RGBA8 rows top first as level 0 and builds the lower levels.
    // False when the GL reported an error (no room for the texture).
    bool uploadRgba(const uint8_t* rgba);
    // Uploads every level as stored, one after the other from `levels`, in
    // the texture's own format; false when GL refused one.
    bool uploadLevels(const uint8_t* levels);
    GLuint id() const { return id_; }

    const uint64_t serial;
    size_t liveSlot = 0;

private:
    void destroy() override;
    void buildMipChain();

    GlDevice* device_;
    GLuint id_ = 0;
    uint32_t width_, height_, levels_;
    TexelFormat format_;
    std::vector<uint32_t> texels_;  // level 0 for lockRect, 0xAARRGGBB
    bool locked_ = false;
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
