#pragma once
// Buffers and textures of the GL backend. Buffers are written in place through
// a mapping of the GL buffer (no copy in system memory); textures created for
// locking keep their level 0 texels so a lock sees what was written before.

#include <cstdint>
#include <vector>

#include "platform/gpu/device.h"
#include "platform/gpu/gl/gl_api.h"

namespace q::gpu {

class GlDevice;

class GlBufferObject {
public:
    GlBufferObject(uint32_t bytes, uint32_t usage);
    ~GlBufferObject();
    void* lock(uint32_t offset, uint32_t size, uint32_t flags);
    void unlock();
    GLuint id() const { return id_; }
    uint32_t bytes() const { return bytes_; }
    bool locked() const { return mapped_; }

private:
    GLuint id_ = 0;
    uint32_t bytes_;
    bool mapped_ = false;
};

class GlVertexBuffer final : public VertexBuffer {
public:
    GlVertexBuffer(GlDevice* device, uint32_t bytes, uint32_t usage) : buffer(bytes, usage), device_(device) {}
    void* lock(uint32_t offset, uint32_t size, uint32_t flags) override { return buffer.lock(offset, size, flags); }
    void unlock() override { buffer.unlock(); }
    uint32_t byteSize() const override { return buffer.bytes(); }
    GlBufferObject buffer;
    size_t liveSlot = 0;  // where the device's live list holds it

private:
    void destroy() override;
    GlDevice* device_;
};

class GlIndexBuffer final : public IndexBuffer {
public:
    GlIndexBuffer(GlDevice* device, uint32_t bytes, uint32_t usage) : buffer(bytes, usage), device_(device) {}
    void* lock(uint32_t offset, uint32_t size, uint32_t flags) override { return buffer.lock(offset, size, flags); }
    void unlock() override { buffer.unlock(); }
    uint32_t byteSize() const override { return buffer.bytes(); }
    GlBufferObject buffer;
    size_t liveSlot = 0;  // where the device's live list holds it

private:
    void destroy() override;
    GlDevice* device_;
};

class GlTexture final : public Texture {
public:
    // levels 0: full mip chain; otherwise that many levels (at least 1).
    // Storage for RGBA8 texels is made here unless the levels come as S3TC
    // blocks (uploadLevels makes their storage).
    GlTexture(GlDevice* device, uint32_t width, uint32_t height, uint32_t levels,
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
    size_t liveSlot = 0;  // where the device's live list holds it

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

}  // namespace q::gpu
