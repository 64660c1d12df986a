#pragma once
// The graphics device the rest of quorvane draws through, shaped around what
// it draws: lit textured triangles (map surfaces, entity models, terrain),
// coloured lines (frustums, portal outlines) and textured text quads, some of
// them alpha-tested or blended.
//
// Whatever a draw's owner decides once (program, vertex format, depth,
// blending, alpha test, culling, stencil) is a pipeline, made from a
// description when the owner is made. A draw names its pipeline, its buffers,
// its textures and its uniform block in one call; nothing else carries over
// from one draw to the next.
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
// inputs it feeds a program (see VertexInput) and the primitive it is drawn as.
enum class VertexFormat : uint8_t {
    // World position (3 floats), colour 0xAARRGGBB: 16 bytes, drawn as lines.
    ColouredLine,
    // Position (3 floats), normal (3 floats), texture coordinate (2 floats),
    // tangent (4 floats: xyz along increasing s, w the handedness, so that
    // cross(normal, tangent.xyz) * w runs along increasing t): 48 bytes, drawn
    // as triangles.
    LitTextured,
    // Back-buffer pixels x, y (y down), z and 1/w as the position (4 floats),
    // colour 0xAARRGGBB, texture coordinate (2 floats): 28 bytes, drawn as
    // triangles.
    ScreenText,
    // World position (3 floats): 12 bytes, drawn as triangles (shadow
    // volumes, which only mark the stencil).
    Position,
};

constexpr uint32_t vertexBytes(VertexFormat format) {
    switch (format) {
    case VertexFormat::ColouredLine: return 16;
    case VertexFormat::LitTextured: return 48;
    case VertexFormat::ScreenText: return 28;
    case VertexFormat::Position: return 12;
    }
    return 0;
}

// The input locations a program's vertex stage declares
// (`layout(location = N) in ...`); an input its format does not feed is refused.
enum VertexInput : uint8_t {
    kInputPosition = 0,
    kInputNormal = 1,
    kInputTexcoord = 2,
    kInputColour = 3,  // 0xAARRGGBB, read as four components 0 to 1 (r, g, b, a)
    kInputTangent = 4,
};

// How a draw's colour mixes with what is there.
enum class Blend : uint8_t {
    None,    // replaces it
    Alpha,   // source * source alpha + what is there * (1 - source alpha)
    Add,     // source + what is there
    Filter,  // what is there * source
};

// Against the depth already there: a fragment nearer or as near, one exactly
// as near (a second pass over drawn surfaces), or any.
enum class DepthTest : uint8_t { LessOrEqual, Equal, Always };

// Which triangles are not drawn; front faces run clockwise on the screen.
enum class Cull : uint8_t { None, Back, Front };

// The stencil test: off, or passing always, where the stencil value equals
// the reference, or where it differs.
enum class StencilTest : uint8_t { Off, Always, Equal, NotEqual };
enum class StencilOp : uint8_t { Keep, Replace, IncrementWrap, DecrementWrap };

// What a fragment of one facing does to the stencil value when it fails the
// stencil test, passes it but fails depth, or passes both.
struct StencilOps {
    StencilOp fail = StencilOp::Keep;
    StencilOp depthFail = StencilOp::Keep;
    StencilOp pass = StencilOp::Keep;
};

class Program;

// A program's two stages in GLSL 3.30 core. Each stage that reads values of
// the draw declares them in one block,
//   layout(std140) uniform Uniforms { ... };
// the same block in both stages, matched on our side by a C++ struct of the
// same members in the same order laid out as std140 lays them out (floats in
// fours: vec4 and mat4 members, arrays of vec4), so that its sizeof is the
// block's size (a math Matrix is a `row_major` mat4). The device also gives
// every program that declares them:
//   uniform float alphaReference;  the pipeline's, 0 to 255
//   uniform int texturesGiven;     bit N set when the draw gives slot N (TextureSlot)
//   uniform sampler2D surfaceImage, normalMap, specularMap, lightImage, lightFalloff;  the slots
// gl_Position's depth runs -w..w: the projection matrices' 0..w becomes 2z - w.
struct ProgramDesc {
    const char* vertexSource = nullptr;
    const char* fragmentSource = nullptr;
    VertexFormat inputs = VertexFormat::LitTextured;
    // sizeof the block's C++ struct, a multiple of 16 up to kMaxUniformBytes;
    // 0 for a program without the block.
    uint32_t uniformBytes = 0;
};

constexpr uint32_t kMaxUniformBytes = 512;

// The state a draw's owner decides once. Each field says which draws need it.
struct PipelineDesc {
    // Every draw: the program from Device::createProgram, made for `format`.
    const Program* program = nullptr;
    // Every draw: the layout of its vertices.
    VertexFormat format = VertexFormat::LitTextured;
    // Every draw: Always for what lies over the scene (text, portal outlines),
    // Equal for a light pass over surfaces drawn before it.
    DepthTest depthTest = DepthTest::LessOrEqual;
    // Opaque surfaces and lines tested against them; off for blended ones,
    // overlays, light passes and shadow volumes.
    bool depthWrite = true;
    // Off for a pass that fills only depth or stencil (shadow volumes).
    bool colourWrite = true;
    // Blended surfaces (glass, water, light passes that add up), text.
    Blend blend = Blend::None;
    // Alpha-tested surfaces and text: fragments whose alpha (0 to 255) is
    // below this are not drawn (by programs reading alphaReference); 0 draws all.
    uint8_t alphaReference = 0;
    // Shadow volumes, whose two faces count in and out; none else culls.
    Cull cull = Cull::None;
    // Shadow volumes (Always, marking) and the light passes they mask (Equal
    // to the reference of the unshadowed).
    StencilTest stencilTest = StencilTest::Off;
    // The light passes: the stencil value of what their light reaches.
    uint8_t stencilReference = 0;
    // Shadow volumes: front faces count into a shadow, back faces out of it.
    StencilOps stencilFront = {};
    StencilOps stencilBack = {};
    // Shadow volumes: depth past the far plane (and before the near one) is
    // clamped instead of clipped, so that a volume's far cap still counts.
    bool depthClamp = false;
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

// A program: made once, named by the pipelines that draw with it, which must
// go before it.
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

// The values of a draw's uniform block: its C++ struct, and that struct's
// size (which must be the program's uniformBytes).
struct UniformBlock {
    const void* data = nullptr;
    uint32_t bytes = 0;

    UniformBlock() = default;
    UniformBlock(const void* blockData, uint32_t blockBytes) : data(blockData), bytes(blockBytes) {}
    template <class Block>
    explicit UniformBlock(const Block& block) : data(&block), bytes(sizeof block) {}
};

// The slots a draw's textures are sampled from; a program samples slot N
// through the sampler named as the slot (surfaceImage, normalMap, ...).
enum class TextureSlot : uint8_t { SurfaceImage, NormalMap, SpecularMap, LightImage, LightFalloff };
constexpr uint32_t kTextureSlots = 5;

// The textures of one draw by slot; null: the slot is not given.
struct DrawTextures {
    const Texture* surfaceImage = nullptr;  // a surface's own image, text's glyphs
    const Texture* normalMap = nullptr;     // a surface's normal map (light passes)
    const Texture* specularMap = nullptr;   // a surface's specular map (light passes)
    const Texture* lightImage = nullptr;    // the light's projected image (light passes)
    const Texture* lightFalloff = nullptr;  // the light's falloff along its z (light passes)

    const Texture* at(uint32_t slot) const {
        const Texture* const all[kTextureSlots] = {surfaceImage, normalMap, specularMap, lightImage, lightFalloff};
        return slot < kTextureSlots ? all[slot] : nullptr;
    }
};

// A rectangle of the back buffer in pixels, x to the right and y down from
// its top left corner. A draw or a clear given one touches only the pixels in
// it (an empty one: none); `whole` touches every pixel.
struct ScreenRect {
    bool whole = true;
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;

    static ScreenRect of(int32_t x, int32_t y, int32_t width, int32_t height) {
        return {false, x, y, width, height};
    }
    bool empty() const { return !whole && (width <= 0 || height <= 0); }
};

struct DrawCall {
    const Pipeline* pipeline = nullptr;
    const VertexBuffer* vertices = nullptr;
    // Null: the vertices are drawn in order from `first`.
    const IndexBuffer* indices = nullptr;
    DrawTextures textures = {};
    UniformBlock uniforms;
    // The first index (or vertex, without indices) and how many are drawn.
    uint32_t first = 0;
    uint32_t count = 0;
    // With indices: how many vertices, from the buffer's first, they may
    // reach. A draw whose ranges pass the end of its buffers is not drawn.
    uint32_t vertexCount = 0;
    // The pixels it may touch (a light pass: those its light reaches).
    ScreenRect scissor = {};
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
    // Empty, with a warning saying why, when a stage does not compile, the
    // stages do not link, the vertex stage reads an input its format does not
    // feed or the block is not uniformBytes long.
    virtual DeviceHandle<Program> createProgram(const ProgramDesc& desc) = 0;
    // Empty without a program or with one made for another format.
    virtual DeviceHandle<Pipeline> createPipeline(const PipelineDesc& desc) = 0;

    // Clears the back buffer to the colour (0xAARRGGBB), the depth to far and
    // the stencil to 0.
    virtual void beginFrame(uint32_t clearColour) = 0;
    virtual void draw(const DrawCall& call) = 0;
    // Sets the stencil to 0 in the rectangle, as a light's shadows are begun
    // where it reaches.
    virtual void clearStencil(const ScreenRect& rect) = 0;
    // Shows the frame (kept for readBackBuffer when headless).
    virtual void endFrame() = 0;

    // Back-buffer size in pixels.
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    // The back buffer as RGBA8 rows, top row first (for screenshots).
    virtual bool readBackBuffer(uint8_t* rgba) = 0;
};

}  // namespace q::gpu
