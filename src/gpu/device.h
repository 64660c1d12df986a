#pragma once
// The graphics device the rest of quorvane draws through, shaped around what
// it draws: lit textured triangles (map surfaces, entity models, terrain),
// coloured lines (frustums, portal outlines) and textured text quads, some of
// them alpha-tested or blended.
//
// Whatever a draw's owner decides once (program, vertex format, depth,
// blending, alpha test) is a pipeline, made from a description when the owner
// is made. A draw names its pipeline, its buffers, its texture and its
// constants in one call; nothing else carries over from one draw to the next.
// Everything made here comes back as an owning handle.
//
// Backends: gl/ (OpenGL 3.3 core, windowed or headless); tests add a recording
// device that draws nothing and remembers everything.

#include <cstdint>
#include <memory>

#include "image/texel_format.h"

namespace q::gpu {

// How often a buffer's contents change. An update of a dynamic buffer from
// its start hands it fresh storage (what followed the range is gone), so the
// draws still reading the old contents are not waited for.
enum class BufferUse : uint8_t { Static, Dynamic };

// The vertex layouts the viewer draws with. Each says its vertex size, which
// inputs a program reads (v0, v3, ...) and the primitive it is drawn as.
enum class VertexFormat : uint8_t {
    // World position (3 floats), colour 0xAARRGGBB: 16 bytes, drawn as lines.
    // Its own program places it through c0..c3, the rows of the transposed
    // world-view-projection.
    ColouredLine,
    // Position v0 (3 floats), normal v3 (3 floats), texture coordinate v7
    // (2 floats): 32 bytes, drawn as triangles. Its own program places it
    // through c0..c3 as above and draws it unlit.
    LitTextured,
    // Back-buffer pixels x, y (y down), z and 1/w, colour 0xAARRGGBB, texture
    // coordinate (2 floats): 28 bytes, drawn as triangles, reads no constants.
    ScreenText,
};

constexpr uint32_t vertexBytes(VertexFormat format) {
    switch (format) {
    case VertexFormat::ColouredLine: return 16;
    case VertexFormat::LitTextured: return 32;
    case VertexFormat::ScreenText: return 28;
    }
    return 0;
}

// How a draw's colour mixes with what is there.
enum class Blend : uint8_t {
    None,    // replaces it
    Alpha,   // source * source alpha + what is there * (1 - source alpha)
    Add,     // source + what is there
    Filter,  // what is there * source
};

class Program;

struct PipelineDesc {
    // A program from Device::createProgram made for this format; null draws
    // with the format's own program.
    const Program* program = nullptr;
    VertexFormat format = VertexFormat::LitTextured;
    bool depthTest = true;
    bool depthWrite = true;
    Blend blend = Blend::None;
    // A fragment's colour is the texel's times the vertex colour, its alpha
    // the texel's (the vertex colour's without a texture). Fragments whose
    // alpha (0 to 255) is below this are not drawn; 0 draws all.
    uint8_t alphaReference = 0;
};

class Buffer {
public:
    virtual ~Buffer() = default;
    // Replaces [offset, offset + size) with `size` bytes from `bytes`. False,
    // and nothing written, when the range does not fit the buffer.
    virtual bool update(uint32_t offset, const void* bytes, uint32_t size) = 0;
    virtual uint32_t byteSize() const = 0;

private:
    friend struct FreeDeviceObject;
    // Frees the buffer in constant time; only its owning handle calls it.
    virtual void destroy() = 0;
};

class VertexBuffer : public Buffer {};
class IndexBuffer : public Buffer {};  // 16-bit indices

// Its texels are given when it is made and never change.
class Texture {
public:
    virtual ~Texture() = default;
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;

private:
    friend struct FreeDeviceObject;
    virtual void destroy() = 0;
};

// A vertex program: made once, named by the pipelines that draw with it,
// which must go before it.
class Program {
public:
    virtual ~Program() = default;

private:
    friend struct FreeDeviceObject;
    virtual void destroy() = 0;
};

class Pipeline {
public:
    virtual ~Pipeline() = default;
    virtual const PipelineDesc& desc() const = 0;

private:
    friend struct FreeDeviceObject;
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

// The values a draw's program reads: `count` registers of four floats, c0 on.
constexpr uint32_t kMaxConstantRegisters = 16;
struct Constants {
    const float (*registers)[4] = nullptr;
    uint32_t count = 0;
};

struct DrawCall {
    const Pipeline* pipeline = nullptr;
    const VertexBuffer* vertices = nullptr;
    // Null: the vertices are drawn in order from `first`.
    const IndexBuffer* indices = nullptr;
    // Null: the vertex colour alone.
    const Texture* texture = nullptr;
    Constants constants;
    // The first index (or vertex, without indices) and how many are drawn.
    uint32_t first = 0;
    uint32_t count = 0;
    // With indices: how many vertices, from the buffer's first, they may
    // reach. A draw whose ranges pass the end of its buffers is not drawn.
    uint32_t vertexCount = 0;
};

class Device {
public:
    virtual ~Device() = default;

    // Every create returns an owning handle, empty when the device refuses.
    // A buffer of `bytes` bytes holding `contents` (null: zeros, to be updated).
    virtual DeviceHandle<VertexBuffer> createVertexBuffer(uint32_t bytes, BufferUse use,
                                                          const void* contents = nullptr) = 0;
    virtual DeviceHandle<IndexBuffer> createIndexBuffer(uint32_t bytes, BufferUse use,
                                                        const void* contents = nullptr) = 0;
    // A texture of width x height texels from `levels`: level 0 first and each
    // following one, half the size, right after it, rows top to bottom (RGBA8
    // as bytes red, green, blue, alpha). levelCount levels are used as they
    // are; levelCount 0 gives level 0 alone and has the GPU make the rest of
    // the chain (RGBA8 only). Block formats need supportsBlockCompression().
    virtual DeviceHandle<Texture> createTexture(TexelFormat format, uint32_t width, uint32_t height,
                                                uint32_t levelCount, const uint8_t* levels) = 0;
    // Whether S3TC blocks (BC1 to BC3) can be sampled as they are.
    virtual bool supportsBlockCompression() const = 0;
    // Program text in the vs.1.1 assembly language, reading the inputs of
    // `inputs` (see VertexFormat). Empty, with a warning saying why, when the
    // text does not assemble or the device cannot run it.
    virtual DeviceHandle<Program> createProgram(const char* text, VertexFormat inputs) = 0;
    // Empty when the program was made for another format.
    virtual DeviceHandle<Pipeline> createPipeline(const PipelineDesc& desc) = 0;

    // Clears the back buffer to the colour (0xAARRGGBB) and the depth to far.
    virtual void beginFrame(uint32_t clearColour) = 0;
    virtual void draw(const DrawCall& call) = 0;
    // Shows the frame (kept for readBackBuffer when headless).
    virtual void endFrame() = 0;

    // Back-buffer size in pixels.
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    // The back buffer as RGBA8 rows, top row first (for screenshots).
    virtual bool readBackBuffer(uint8_t* rgba) = 0;
};

}  // namespace q::gpu
