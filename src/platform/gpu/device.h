#pragma once
// The graphics device the rest of quorvane draws through: exactly the operations
// the renderer, the map surfaces, the terrain and the text font make, in the
// vocabulary of a fixed-function device with one programmable vertex stage.
// Backends: gl/ (OpenGL 3.3 core, windowed or headless) and recording/ (tests).

#include <cstdint>
#include <memory>

#include "math/matrix.h"
#include "platform/texel_format.h"

namespace q::gpu {

// Usage flags of buffers.
enum : uint32_t {
    kUsageWriteOnly = 0x8,
    kUsageDynamic = 0x200,
};

// Lock flags.
enum : uint32_t {
    kLockDiscard = 0x2000,
};

// Flexible vertex formats: the layouts the device knows without a program.
enum : uint32_t {
    kFvfXyz = 0x002,
    kFvfXyzRhw = 0x004,
    kFvfNormal = 0x010,
    kFvfDiffuse = 0x040,
    kFvfTex1 = 0x100,
    kFvfLine = kFvfXyz | kFvfDiffuse,                // 0x42: world-space coloured lines
    kFvfLit = kFvfXyz | kFvfNormal | kFvfTex1,        // 0x112: position, normal, uv
    kFvfScreen = kFvfXyzRhw | kFvfDiffuse | kFvfTex1,  // 0x144: pre-transformed text
};

// A vertex-shader handle is either one of the formats above (fixed function) or
// a program handle returned by createVertexShader, which always has this bit set.
constexpr uint32_t kProgramHandleBit = 0x80000000u;

enum class RenderState : uint32_t {
    ZEnable = 7,
    ZWriteEnable = 14,
    AlphaTestEnable = 15,
    SrcBlend = 19,
    DestBlend = 20,
    CullMode = 22,
    AlphaRef = 24,
    AlphaFunc = 25,
    AlphaBlendEnable = 27,
};

enum class TextureStageState : uint32_t {
    MagFilter = 16,
    MinFilter = 17,
    MipFilter = 18,
};

// Values of the states above.
enum : uint32_t {
    kCullNone = 1,
    kBlendZero = 1,
    kBlendOne = 2,
    kBlendSrcAlpha = 5,
    kBlendInvSrcAlpha = 6,
    kBlendDestColor = 9,
    kCmpGreaterEqual = 7,
    kFilterNone = 0,
    kFilterPoint = 1,
    kFilterLinear = 2,
};

enum class Transform : uint32_t { View = 2, Projection = 3, World = 256 };

enum class Primitive : uint32_t { LineList = 2, TriangleList = 4 };

// Vertices a draw of primitiveCount primitives reads. A count too large for 32
// bits saturates, so a device's bounds checks refuse the draw rather than see
// a wrapped, small count.
inline uint32_t verticesOf(Primitive type, uint32_t primitiveCount) {
    const uint64_t n = uint64_t{primitiveCount} * (type == Primitive::LineList ? 2 : 3);
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(n);
}

enum : uint32_t {
    kClearTarget = 1,
    kClearZBuffer = 2,
};

constexpr int kMaxVertexConstants = 96;

class Buffer {
public:
    virtual ~Buffer() = default;
    // Returns the address to write [offset, offset + size) of the buffer; size 0
    // means the whole buffer. Null when the range does not fit the buffer.
    virtual void* lock(uint32_t offset, uint32_t size, uint32_t flags) = 0;
    virtual void unlock() = 0;
    virtual uint32_t byteSize() const = 0;

private:
    friend struct FreeDeviceObject;
    // Frees the buffer in constant time; only its owning handle calls it.
    virtual void destroy() = 0;
};

class VertexBuffer : public Buffer {};
class IndexBuffer : public Buffer {};  // 16-bit indices

class Texture {
public:
    virtual ~Texture() = default;
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    // Level 0 as 32-bit texels 0xAARRGGBB, rows of pitch bytes (written through
    // lockRect, applied by unlockRect).
    virtual void* lockRect(uint32_t* pitch) = 0;
    virtual void unlockRect() = 0;

private:
    friend struct FreeDeviceObject;
    // Frees the texture in constant time; only its owning handle calls it.
    virtual void destroy() = 0;
};

// Ownership of one device object: freed when the handle goes, so an owner
// frees what it holds by being destroyed and nobody frees by hand. Every
// handle must go before the device that made it; owners keep that by
// declaring the device first.
struct FreeDeviceObject {
    template <class T>
    void operator()(T* object) const {
        object->destroy();
    }
};

template <class T>
using DeviceHandle = std::unique_ptr<T, FreeDeviceObject>;

class Device {
public:
    virtual ~Device() = default;

    // Every create returns an owning handle, empty when the device refuses.
    virtual DeviceHandle<VertexBuffer> createVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t fvf) = 0;
    virtual DeviceHandle<IndexBuffer> createIndexBuffer(uint32_t bytes, uint32_t usage) = 0;
    // A texture of width x height texels 0xAARRGGBB; levels 0 builds the full mip
    // chain from level 0 whenever level 0 is unlocked.
    virtual DeviceHandle<Texture> createTexture(uint32_t width, uint32_t height, uint32_t levels) = 0;
    // A texture from decoded RGBA8 pixels (rows top to bottom), full mip chain.
    virtual DeviceHandle<Texture> createTextureFromRgba(const uint8_t* rgba, uint32_t width, uint32_t height) = 0;
    // A texture from the levels an image file stores, level 0 at `levels` and
    // each following one, half the size, right after it (rows top to bottom):
    // one RGBA8 level gets the rest of the chain made by the GPU, more levels
    // are used as they are. Block formats need supportsBlockCompression().
    // Empty when the device refuses the texture. levelBytes gives each level's size.
    virtual DeviceHandle<Texture> createTextureFromLevels(TexelFormat format, uint32_t width, uint32_t height,
                                                          uint32_t levelCount, const uint8_t* levels) = 0;
    // Whether S3TC blocks (BC1 to BC3) can be sampled as they are.
    virtual bool supportsBlockCompression() const = 0;

    virtual void setRenderState(RenderState state, uint32_t value) = 0;
    virtual void setTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) = 0;
    virtual void setTexture(uint32_t stage, Texture* texture) = 0;
    virtual void setTransform(Transform which, const Matrix& m) = 0;
    // handle: one of the kFvf formats or a program from createVertexShader.
    virtual void setVertexShader(uint32_t handle) = 0;
    virtual void setVertexShaderConstant(uint32_t reg, const void* data, uint32_t count) = 0;
    virtual void setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) = 0;
    virtual void setIndices(IndexBuffer* buffer, uint32_t baseVertex) = 0;

    // Program text in the vs.1.1 assembly language with its declaration tokens.
    // Returns a handle with kProgramHandleBit set, or 0 when the text does not
    // assemble or the declaration is not supported.
    virtual uint32_t createVertexShader(const char* text, const uint32_t* declaration) = 0;

    virtual void clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) = 0;
    virtual void beginScene() = 0;
    virtual void endScene() = 0;
    virtual void drawPrimitive(Primitive type, uint32_t startVertex, uint32_t primitiveCount) = 0;
    virtual void drawIndexedPrimitive(Primitive type, uint32_t minIndex, uint32_t vertexCount,
                                      uint32_t startIndex, uint32_t primitiveCount) = 0;
    virtual void present() = 0;

    // Back-buffer size in pixels.
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    // The back buffer as RGBA8 rows, top row first (for screenshots).
    virtual bool readBackBuffer(uint8_t* rgba) = 0;
};

}  // namespace q::gpu
