// Pixel tests of the OpenGL backend, drawn headless on EGL's surfaceless
// platform and read back from the back buffer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gl_required.h"
#include "math/matrix.h"
#include "gpu/device.h"
#include "gpu/gl/gl_api.h"
#include "gpu/gl/gl_device.h"
#include "gpu/recording/recording_device.h"
#include "render/graphics_device.h"
#include "render/lighting_program.h"
#include "render/text_font.h"

namespace q::gpu {
namespace {

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

struct LineVertex {
    float x, y, z;
    uint32_t color;
};

struct Rgb {
    int r, g, b;
};

class GlDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        device = createHeadlessDevice(kWidth, kHeight, &error);
        if (!device) QUORVANE_NO_GL_CONTEXT(error);
        quads = device->createVertexBuffer(sizeof(ScreenVertex) * 6 * 4, BufferUse::Dynamic, nullptr);
        ASSERT_NE(quads, nullptr);
        text = device->createProgram(textProgramDesc());
        ASSERT_NE(text, nullptr);
        screen = pipeline({});
        device->beginFrame(0xff000000);
    }

    // With the text program unless the description names another.
    DeviceHandle<Pipeline> pipeline(PipelineDesc desc, VertexFormat format = VertexFormat::ScreenText) {
        desc.format = format;
        if (!desc.program) desc.program = text.get();
        DeviceHandle<Pipeline> made = device->createPipeline(desc);
        EXPECT_NE(made, nullptr);
        return made;
    }

    // A texture of 0xAARRGGBB texels, rows top first; levelCount 0 has the
    // device make the chain.
    DeviceHandle<Texture> texture(uint32_t width, uint32_t height, const std::vector<uint32_t>& texels,
                                  uint32_t levelCount = 1) {
        std::vector<uint8_t> rgba;
        for (uint32_t t : texels) rgba.insert(rgba.end(), {uint8_t(t >> 16), uint8_t(t >> 8), uint8_t(t), uint8_t(t >> 24)});
        DeviceHandle<Texture> made = device->createTexture(TexelFormat::Rgba8, width, height, levelCount, rgba.data());
        EXPECT_NE(made, nullptr);
        return made;
    }

    // A pre-transformed rectangle in back-buffer pixels (y down), two triangles.
    void drawQuad(float x0, float y0, float x1, float y1, float z, uint32_t color, const Texture* texture = nullptr,
                  const Pipeline* with = nullptr, float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1) {
        ScreenVertex v[6];
        v[0] = {x0, y1, z, 1, color, u0, v1};
        v[1] = {x1, y0, z, 1, color, u1, v0};
        v[2] = {x0, y0, z, 1, color, u0, v0};
        v[3] = {x1, y0, z, 1, color, u1, v0};
        v[4] = {x0, y1, z, 1, color, u0, v1};
        v[5] = {x1, y1, z, 1, color, u1, v1};
        ASSERT_TRUE(quads->update(0, v, sizeof v));
        DrawCall call;
        call.pipeline = with ? with : screen.get();
        call.vertices = quads.get();
        call.textures.surfaceImage = texture;
        call.uniforms = UniformBlock(textUniforms);
        call.count = 6;
        call.scissor = scissor;
        device->draw(call);
    }
    ScreenRect scissor;  // drawQuad's

    void readBack() {
        frame.assign(kWidth * kHeight * 4, 0);
        ASSERT_TRUE(device->readBackBuffer(frame.data()));
    }

    Rgb at(uint32_t x, uint32_t y) const {
        const uint8_t* p = &frame[(y * kWidth + x) * 4];
        return {p[0], p[1], p[2]};
    }

    static bool near(Rgb a, Rgb b, int tolerance = 1) {
        return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
               std::abs(a.b - b.b) <= tolerance;
    }

    std::unique_ptr<Device> device;
    DeviceHandle<VertexBuffer> quads;
    DeviceHandle<Program> text;
    DeviceHandle<Pipeline> screen;
    const TextUniforms textUniforms{{float(kWidth), float(kHeight), 0, 0}};
    std::vector<uint8_t> frame;
};

Matrix wideProjection() {
    Matrix projection = Matrix::perspective(static_cast<float>(M_PI / 2), float(kWidth) / kHeight, 1.0f, 1000.0f);
    return projection;
}

#define EXPECT_RGB(actual, r_, g_, b_)                                                               \
    do {                                                                                             \
        const Rgb a_ = (actual);                                                                     \
        EXPECT_TRUE(near(a_, Rgb{r_, g_, b_})) << "got " << a_.r << "," << a_.g << "," << a_.b         \
                                               << " expected " << (r_) << "," << (g_) << "," << (b_); \
    } while (0)

TEST_F(GlDeviceTest, ClearFillsTheBackBufferAndReadBackIsTopRowFirst) {
    device->beginFrame(0xff204080);
    // Only the top quarter is painted: in the read-back picture it must be the
    // first rows, whatever GL's own row order.
    drawQuad(0, 0, kWidth, kHeight / 4, 0.5f, 0xffff0000);
    readBack();
    EXPECT_RGB(at(0, 0), 255, 0, 0);
    EXPECT_RGB(at(kWidth - 1, kHeight / 4 - 1), 255, 0, 0);
    EXPECT_RGB(at(0, kHeight / 4), 0x20, 0x40, 0x80);
    EXPECT_RGB(at(kWidth - 1, kHeight - 1), 0x20, 0x40, 0x80);
    EXPECT_EQ(frame[3], 0xFF);  // the shown frame is opaque
}

TEST_F(GlDeviceTest, ScreenQuadCoversItsPixelsWithYDownAndShowsTheDiffuseColourWithoutTexture) {
    drawQuad(8, 4, 24, 12, 0.5f, 0xff336699);
    readBack();
    EXPECT_RGB(at(8, 4), 0x33, 0x66, 0x99);
    EXPECT_RGB(at(23, 11), 0x33, 0x66, 0x99);
    EXPECT_RGB(at(7, 4), 0, 0, 0);
    EXPECT_RGB(at(24, 11), 0, 0, 0);
    EXPECT_RGB(at(8, 3), 0, 0, 0);
    EXPECT_RGB(at(8, 12), 0, 0, 0);
}

TEST_F(GlDeviceTest, TextureModulatesColourTakesItsAlphaAndAlphaTestDiscards) {
    // 4 x 1 texels: the left two alpha 15 (below the reference), the right two
    // alpha 16, so that the smoothed samples at x = 8 and x = 24 are not mixed.
    DeviceHandle<Texture> texture = this->texture(4, 1, {0x0fffffff, 0x0fffffff, 0x10808080, 0x10808080});

    DeviceHandle<Pipeline> tested = pipeline({.alphaReference = 16});
    // The vertex alpha (0x20) must not weaken the texel alpha: the test above
    // decides on the texel alone.
    drawQuad(0, 0, 32, 16, 0.5f, 0x2000ff00, texture.get(), tested.get());
    // Reference 255 keeps only opaque texels; the same pipeline without a
    // texture tests the vertex alpha.
    DeviceHandle<Pipeline> opaqueOnly = pipeline({.alphaReference = 255});
    drawQuad(0, 16, 32, 32, 0.5f, 0xffffffff, texture.get(), opaqueOnly.get());
    drawQuad(32, 0, 64, 16, 0.5f, 0x0f0000ff, nullptr, tested.get());
    drawQuad(32, 16, 64, 32, 0.5f, 0x100000ff, nullptr, tested.get());
    readBack();
    EXPECT_RGB(at(8, 8), 0, 0, 0);       // discarded
    EXPECT_RGB(at(24, 8), 0, 0x80, 0);   // grey 0x80 x green
    EXPECT_RGB(at(24, 24), 0, 0, 0);
    EXPECT_RGB(at(40, 8), 0, 0, 0);
    EXPECT_RGB(at(40, 24), 0, 0, 255);
}

TEST_F(GlDeviceTest, BlendModesMixWithWhatIsThere) {
    device->beginFrame(0xff4080c0);
    DeviceHandle<Texture> halfAlpha = texture(1, 1, {0x80ffffff});
    DeviceHandle<Pipeline> alpha = pipeline({.blend = Blend::Alpha});
    DeviceHandle<Pipeline> add = pipeline({.blend = Blend::Add});
    DeviceHandle<Pipeline> filter = pipeline({.blend = Blend::Filter});
    drawQuad(0, 0, 16, 16, 0.5f, 0xffff0000, halfAlpha.get(), alpha.get());
    drawQuad(16, 0, 32, 16, 0.5f, 0xff202020, nullptr, add.get());
    drawQuad(32, 0, 48, 16, 0.5f, 0xff808080, nullptr, filter.get());
    drawQuad(48, 0, 64, 16, 0.5f, 0xff102030, nullptr, screen.get());  // None replaces
    readBack();
    EXPECT_RGB(at(8, 8), 0xa0, 0x40, 0x60);  // red x 0.5 + what is there x 0.5
    EXPECT_RGB(at(24, 8), 0x60, 0xa0, 0xe0);
    EXPECT_RGB(at(40, 8), 0x20, 0x40, 0x60);
    EXPECT_RGB(at(56, 8), 0x10, 0x20, 0x30);
}

TEST_F(GlDeviceTest, DepthTestAndDepthWriteFollowThePipeline) {
    drawQuad(0, 0, 32, 48, 0.2f, 0xffff0000);
    drawQuad(0, 0, 64, 48, 0.8f, 0xff0000ff);  // behind the red half
    readBack();
    EXPECT_RGB(at(10, 10), 255, 0, 0);
    EXPECT_RGB(at(40, 10), 0, 0, 255);

    // Equal depth passes (less-or-equal), and with the test off the last draw wins.
    drawQuad(32, 0, 64, 48, 0.8f, 0xff00ff00);
    DeviceHandle<Pipeline> untested = pipeline({.depthTest = DepthTest::Always, .depthWrite = false});
    drawQuad(0, 24, 64, 48, 0.9f, 0xffffffff, nullptr, untested.get());
    readBack();
    EXPECT_RGB(at(40, 10), 0, 255, 0);
    EXPECT_RGB(at(10, 30), 255, 255, 255);

    // A near surface that does not write depth hides nothing drawn after it,
    // and a frame begun while depth writes are off still clears depth.
    device->beginFrame(0xff000000);
    DeviceHandle<Pipeline> unwritten = pipeline({.depthWrite = false});
    drawQuad(0, 0, 32, 48, 0.1f, 0xffff0000, nullptr, unwritten.get());
    drawQuad(0, 0, 64, 48, 0.5f, 0xff00ff00);
    readBack();
    EXPECT_RGB(at(10, 10), 0, 255, 0);
    drawQuad(0, 0, 64, 48, 0.05f, 0xff00ff00);
    drawQuad(60, 40, 64, 48, 0.01f, 0xff00ff00, nullptr, unwritten.get());
    device->beginFrame(0xff000000);
    drawQuad(0, 0, 64, 48, 0.9f, 0xff0000ff);
    readBack();
    EXPECT_RGB(at(10, 10), 0, 0, 255);
}

TEST_F(GlDeviceTest, LinesArePlacedByTheirUniformsAndKeepTheirColour) {
    // A horizontal red line high in the view and a vertical blue one to the
    // right, both 10 units in front of a camera standing at z = -10.
    const LineVertex v[4] = {{-100, 5.2f, 0, 0xffff0000}, {100, 5.2f, 0, 0xffff0000},
                             {7.0f, -100, 0, 0xff0000ff}, {7.0f, 100, 0, 0xff0000ff}};
    DeviceHandle<VertexBuffer> lines = device->createVertexBuffer(sizeof v, BufferUse::Static, v);
    ASSERT_NE(lines, nullptr);

    LineUniforms placement{Matrix::translation(0, 0, 10) * wideProjection()};
    DeviceHandle<Program> lineProgram = device->createProgram(lineProgramDesc());
    DeviceHandle<Pipeline> linePipeline = pipeline({.program = lineProgram.get()}, VertexFormat::ColouredLine);
    device->draw({.pipeline = linePipeline.get(), .vertices = lines.get(), .uniforms = UniformBlock(placement), .count = 4});
    readBack();

    // y 5.2 at distance 10 with a 90 degree view: 0.52 of the half height
    // above the centre, row 24 - 0.52 * 24 = 11.5; x 7 with aspect 4:3 gives
    // column 32 + 0.7 * 0.75 * 32 = 48.8.
    auto redInRows = [&](uint32_t x) {
        for (uint32_t y = 10; y <= 12; ++y)
            if (near(at(x, y), Rgb{255, 0, 0})) return true;
        return false;
    };
    EXPECT_TRUE(redInRows(5));
    EXPECT_TRUE(redInRows(30));
    EXPECT_RGB(at(30, 30), 0, 0, 0);
    bool blue = false;
    for (uint32_t x = 47; x <= 50; ++x) blue = blue || near(at(x, 36), Rgb{0, 0, 255});
    EXPECT_TRUE(blue);

    // New uniforms for the same pipeline move the next draw: the camera
    // steps up 4 units, so the red line falls to row 24 - 0.12 * 24 = 21.1.
    placement.viewProjection = Matrix::translation(0, -4, 10) * wideProjection();
    device->beginFrame(0xff000000);
    device->draw({.pipeline = linePipeline.get(), .vertices = lines.get(), .uniforms = UniformBlock(placement), .count = 2});
    readBack();
    EXPECT_RGB(at(5, 11), 0, 0, 0);
    EXPECT_TRUE(near(at(5, 20), Rgb{255, 0, 0}) || near(at(5, 21), Rgb{255, 0, 0}));
}

TEST_F(GlDeviceTest, IndexedDrawReadsItsIndexRangeAndFreedObjectsAreNotMistakenForNewOnes) {
    // Two quads in one buffer; the second six indices pick the second, green one.
    ScreenVertex v[8];
    const ScreenVertex red[4] = {{0, 0, 0.5f, 1, 0xffff0000, 0, 0}, {16, 0, 0.5f, 1, 0xffff0000, 0, 0},
                                 {16, 16, 0.5f, 1, 0xffff0000, 0, 0}, {0, 16, 0.5f, 1, 0xffff0000, 0, 0}};
    std::memcpy(v, red, sizeof red);
    for (int i = 0; i < 4; ++i) {
        v[4 + i] = red[i];
        v[4 + i].x += 32;
        v[4 + i].color = 0xff00ff00;
    }
    ASSERT_TRUE(quads->update(0, v, sizeof v));
    auto makeIndices = [&](uint16_t shift) {
        const uint16_t list[12] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
        uint16_t shifted[12];
        for (int i = 0; i < 12; ++i) shifted[i] = static_cast<uint16_t>(list[i] ^ shift);
        DeviceHandle<IndexBuffer> indices = device->createIndexBuffer(sizeof shifted, BufferUse::Static, shifted);
        EXPECT_NE(indices, nullptr);
        return indices;
    };
    DeviceHandle<IndexBuffer> indices = makeIndices(0);
    DrawCall call;
    call.pipeline = screen.get(), call.vertices = quads.get(), call.indices = indices.get();
    call.uniforms = UniformBlock(textUniforms);
    call.first = 6, call.count = 6, call.vertexCount = 8;
    device->draw(call);
    readBack();
    EXPECT_RGB(at(8, 8), 0, 0, 0);
    EXPECT_RGB(at(40, 8), 0, 255, 0);

    // Freed and made again, likely at the same address and with the same GL
    // names: the new index buffer (picking the red quad now) is bound, and the
    // new pipeline's blending is applied though the old one's matched.
    DeviceHandle<Pipeline> adding = pipeline({.blend = Blend::Add});
    call.pipeline = adding.get();
    device->draw(call);
    adding.reset();
    DeviceHandle<Pipeline> replacing = pipeline({.depthTest = DepthTest::Always, .depthWrite = false});
    indices.reset();
    indices = makeIndices(4);
    call.pipeline = replacing.get(), call.indices = indices.get();
    device->beginFrame(0xff0000ff);
    device->draw(call);
    readBack();
    EXPECT_RGB(at(8, 8), 255, 0, 0);
    EXPECT_RGB(at(40, 8), 0, 0, 255);
}

// Updates past the end are refused; a dynamic buffer updated from its start
// while a draw still reads the old contents (orphaned, not waited for) draws
// both contents right.
TEST_F(GlDeviceTest, UpdatesPastTheEndAreRefusedAndNoneChangesADrawMadeBefore) {
    DeviceHandle<VertexBuffer> buffer = device->createVertexBuffer(64, BufferUse::Dynamic, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->byteSize(), 64u);
    const uint8_t bytes[65] = {};
    EXPECT_FALSE(buffer->update(0, bytes, 65));
    EXPECT_FALSE(buffer->update(60, bytes, 8));
    EXPECT_FALSE(buffer->update(0xFFFFFFF0u, bytes, 0x20));  // offset + size wraps
    EXPECT_TRUE(buffer->update(32, bytes, 32));
    buffer.reset();
    EXPECT_EQ(device->createVertexBuffer(0, BufferUse::Static, nullptr), nullptr);
    const uint32_t texel = 0;
    EXPECT_EQ(device->createTexture(TexelFormat::Rgba8, 0, 4, 1, reinterpret_cast<const uint8_t*>(&texel)), nullptr);
    EXPECT_EQ(device->createTexture(TexelFormat::Rgba8, 1, 1, 1, nullptr), nullptr);

    // A red quad left, then the first of two quads rewritten green and moved
    // right: the second update lands after the first quad is drawn.
    drawQuad(0, 0, 16, 16, 0.5f, 0xffff0000);
    const ScreenVertex second[3] = {{32, 16, 0.5f, 1, 0xff00ff00, 0, 0}, {48, 0, 0.5f, 1, 0xff00ff00, 0, 0},
                                    {32, 0, 0.5f, 1, 0xff00ff00, 0, 0}};
    ASSERT_TRUE(quads->update(0, second, sizeof second));
    device->draw({.pipeline = screen.get(), .vertices = quads.get(), .uniforms = UniformBlock(textUniforms), .count = 3});
    readBack();
    EXPECT_RGB(at(4, 8), 255, 0, 0);
    EXPECT_RGB(at(34, 4), 0, 255, 0);
}

// Every rule of gpu/draw_rules.h holds on GL as on the recording device: a
// draw breaking one draws nothing, and each rule is named once however often
// it is broken.
TEST_F(GlDeviceTest, DrawsBreakingARuleDrawNothingAndEachRuleIsNamedOnce) {
    ScreenVertex v[3];
    for (int i = 0; i < 3; ++i) v[i] = {float(i % 2) * 64, float(i / 2) * 48, 0.5f, 1, 0xffffffff, 0, 0};
    DeviceHandle<VertexBuffer> small = device->createVertexBuffer(sizeof v, BufferUse::Static, v);
    ASSERT_NE(small, nullptr);
    const uint16_t reaching[2] = {0, 3};
    DeviceHandle<IndexBuffer> indices = device->createIndexBuffer(4, BufferUse::Static, nullptr);
    DeviceHandle<IndexBuffer> pastVertexCount = device->createIndexBuffer(4, BufferUse::Static, reaching);
    RecordingDevice other;  // a second GL context would become the current one
    DeviceHandle<VertexBuffer> foreign = other.createVertexBuffer(sizeof v, BufferUse::Static, v);
    const float twoBlocks[8] = {float(kWidth), float(kHeight), 0, 0, 0, 0, 0, 0};
    const DrawCall valid{.pipeline = screen.get(), .vertices = small.get(), .uniforms = UniformBlock(textUniforms), .count = 3};
    std::vector<DrawCall> refused(10, valid);
    refused[0].count = 6;                                   // six vertices from three
    refused[1].first = 1;                                   // one past the end
    refused[2].indices = indices.get(), refused[2].vertexCount = 3;  // three indices from two
    refused[3].indices = indices.get(), refused[3].count = 2, refused[3].vertexCount = 4;
    refused[4].uniforms = UniformBlock(twoBlocks, sizeof twoBlocks);
    refused[5].pipeline = nullptr;
    refused[6].vertices = nullptr;
    refused[7].vertices = foreign.get();
    refused[8].indices = pastVertexCount.get(), refused[8].count = 2, refused[8].vertexCount = 3;
    refused[9].indices = indices.get(), refused[9].count = 2, refused[9].vertexCount = 3;  // sound but for the frame
    ::testing::internal::CaptureStderr();
    for (int round = 0; round < 2; ++round)
        for (size_t i = 0; i + 1 < refused.size(); ++i) device->draw(refused[i]);
    readBack();
    device->endFrame();
    device->draw(refused.back());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_RGB(at(2, 2), 0, 0, 0);
    // Nine rules broken (two ranges share one), each named once.
    size_t named = 0;
    for (size_t at = said.find("not drawn"); at != std::string::npos; at = said.find("not drawn", at + 1)) ++named;
    EXPECT_EQ(named, 9u) << said;
    for (const char* rule : {"another device", "vertexCount", "outside beginFrame"})
        EXPECT_NE(said.find(rule), std::string::npos) << rule << "\n" << said;
    device->beginFrame(0xff000000);

    device->draw(valid);  // the same draw, in a frame
    readBack();
    EXPECT_RGB(at(2, 2), 255, 255, 255);
}

TEST_F(GlDeviceTest, TexturesKeepTheirTopRowAtVZeroAtAnySize) {
    // 3 x 5 texels: the top row red, the rest blue, from decoded RGBA rows.
    std::vector<uint8_t> rgba(3 * 5 * 4, 0);
    for (int i = 0; i < 15; ++i) {
        rgba[i * 4 + (i < 3 ? 0 : 2)] = 255;
        rgba[i * 4 + 3] = 255;
    }
    DeviceHandle<Texture> texture = device->createTexture(TexelFormat::Rgba8, 3, 5, 0, rgba.data());
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->width(), 3u);
    EXPECT_EQ(texture->height(), 5u);
    drawQuad(0, 0, 30, 40, 0.5f, 0xffffffff, texture.get());
    readBack();
    // Smoothed towards the repeated bottom row near the edge; red in the top row.
    EXPECT_GT(at(15, 4).r, 230);
    EXPECT_LT(at(15, 4).b, 25);
    EXPECT_RGB(at(15, 30), 0, 0, 255);
    texture.reset();
}

TEST_F(GlDeviceTest, FullMipChainIsBuiltFromLevelZeroWhenAsked) {
    DeviceHandle<Texture> texture = this->texture(2, 2, {0xffffffff, 0xff000000, 0xff000000, 0xffffffff}, 0);
    // One pixel showing the whole texture samples the 1 x 1 level: mid grey.
    drawQuad(0, 0, 1, 1, 0.5f, 0xffffffff, texture.get());
    readBack();
    EXPECT_RGB(at(0, 0), 128, 128, 128);
    texture.reset();
}

TEST_F(GlDeviceTest, StoredLevelsAreSampledAsGivenCompressedOrNot) {
    // 8 x 8 in four levels: level 0 red on top, blue below; the smaller levels
    // green, white and, the 1 x 1 one, yellow, which no average of the levels
    // above it would give.
    auto bc1 = [](uint16_t colour) { return std::vector<uint8_t>{uint8_t(colour), uint8_t(colour >> 8), 0, 0, 0, 0, 0, 0}; };
    std::vector<uint8_t> blocks;
    for (uint16_t colour : {0xF800, 0xF800, 0x001F, 0x001F, 0x07E0, 0xFFFF, 0xFFE0}) {
        const std::vector<uint8_t> block = bc1(colour);
        blocks.insert(blocks.end(), block.begin(), block.end());
    }
    std::vector<uint8_t> rgba;
    auto level = [&rgba](uint32_t side, uint32_t top, uint32_t bottom) {
        for (uint32_t i = 0; i < side * side; ++i) {
            const uint32_t c = i < side * side / 2 ? top : bottom;
            rgba.insert(rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
        }
    };
    level(8, 0xFF0000, 0x0000FF), level(4, 0x00FF00, 0x00FF00), level(2, 0xFFFFFF, 0xFFFFFF), level(1, 0xFFFF00, 0xFFFF00);

    for (TexelFormat format : {TexelFormat::Rgba8, TexelFormat::Bc1}) {
        if (format == TexelFormat::Bc1 && !device->supportsBlockCompression()) continue;
        DeviceHandle<Texture> texture = device->createTexture(format, 8, 8, 4, format == TexelFormat::Bc1 ? blocks.data() : rgba.data());
        ASSERT_NE(texture, nullptr);
        drawQuad(0, 0, 8, 8, 0.5f, 0xffffffff, texture.get());
        drawQuad(20, 0, 21, 1, 0.5f, 0xffffffff, texture.get());
        readBack();
        EXPECT_RGB(at(3, 1), 255, 0, 0);
        EXPECT_RGB(at(3, 6), 0, 0, 255);
        EXPECT_RGB(at(20, 0), 255, 255, 0);
        texture.reset();
    }
    // Blocks the device cannot take are refused, not drawn as garbage.
    EXPECT_EQ(device->createTexture(TexelFormat::Bc1, 8, 8, 4, nullptr), nullptr);
    EXPECT_EQ(device->createTexture(TexelFormat::Bc1, 8, 8, 0, blocks.data()), nullptr);  // no GPU chain of blocks
}

// An upload GL refuses is that image's failure alone: no error is left for a
// later call (the screenshot's read-back) to find, and an error pending from
// before does not fail an upload that itself went well.
TEST_F(GlDeviceTest, UploadsAnswerForTheirOwnGlErrorsOnly) {
    std::vector<uint8_t> rgba(8 * 8 * 4 * 2, 255);  // room for every level of an 8 x 8 chain
    // Without, then with a tiny unpack buffer bound: every texel read then
    // lies outside it and GL refuses each level.
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    for (bool refused : {false, true}) {
        glEnable(0xFFFF);  // GL_INVALID_ENUM, left pending from before
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, refused ? buffer : 0);
        if (refused) glBufferData(GL_PIXEL_UNPACK_BUFFER, 16, nullptr, GL_STATIC_DRAW);
        EXPECT_EQ(device->createTexture(TexelFormat::Rgba8, 8, 8, 0, rgba.data()) == nullptr, refused);
        EXPECT_EQ(device->createTexture(TexelFormat::Rgba8, 8, 8, 4, rgba.data()) == nullptr, refused);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << refused;
    }
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
}

TEST_F(GlDeviceTest, MagnifiedTexturesAreFilteredLinearlyAndRepeat) {
    // Black and white texels stretched over 32 pixels: a ramp, not a step;
    // past u = 1 the texture starts again.
    DeviceHandle<Texture> texture = this->texture(2, 1, {0xff000000, 0xffffffff});
    drawQuad(0, 0, 32, 8, 0.5f, 0xffffffff, texture.get());
    drawQuad(32, 0, 48, 8, 0.5f, 0xffffffff, texture.get(), nullptr, 1, 0, 1.5f, 1);
    readBack();
    EXPECT_GT(at(12, 4).r, 40);
    EXPECT_LT(at(20, 4).r, 215);
    EXPECT_LT(at(12, 4).r, at(20, 4).r);
    EXPECT_LT(at(36, 4).r, 100);  // u 1.125: near the black texel again
}

struct LitCorner {
    float position[3];
    float normal[3];
    float uv[2];
    float tangent[4] = {};
};
static_assert(sizeof(LitCorner) == vertexBytes(VertexFormat::LitTextured));

TEST_F(GlDeviceTest, LightingProgramMatchesItsArithmeticAcrossALitTriangle) {
    DeviceHandle<Program> lighting = device->createProgram(lightingProgramDesc());
    ASSERT_NE(lighting, nullptr);
    DeviceHandle<Pipeline> lit = pipeline({.program = lighting.get()}, VertexFormat::LitTextured);

    // A triangle 600 units in front of the camera (the light): attenuation
    // and the diffuse floor both vary across it, and the normals are not unit
    // length. All three corners share one depth, so colours interpolate
    // linearly on the screen.
    const LitCorner corners[3] = {
        {{-300, -200, 100}, {0, 0, -2}, {0, 0}},
        {{300, -200, 100}, {3, 0, 0}, {1, 0}},
        {{0, 250, 100}, {0, -0.5f, -0.5f}, {0, 1}},
    };
    DeviceHandle<VertexBuffer> buffer = device->createVertexBuffer(sizeof corners, BufferUse::Static, corners);
    ASSERT_NE(buffer, nullptr);

    LightingUniforms uniforms;
    uniforms.setEye({0, 0, 0});
    uniforms.setPlacement(Matrix::translation(0, 0, 500), Matrix::identity(), wideProjection());
    device->draw({.pipeline = lit.get(), .vertices = buffer.get(), .uniforms = uniforms.block(), .count = 3});
    readBack();

    float screen[3][2], grey[3];
    for (int i = 0; i < 3; ++i) {
        const float* p = corners[i].position;
        const float* n = corners[i].normal;
        const LitVertex out = cameraLight(uniforms, {p[0], p[1], p[2]}, {n[0], n[1], n[2]});
        screen[i][0] = (out.clip[0] / out.clip[3] + 1) * 0.5f * kWidth;
        screen[i][1] = (1 - out.clip[1] / out.clip[3]) * 0.5f * kHeight;
        grey[i] = out.grey;
    }
    // The corner turned away from the light, 700 units off, is at both floors.
    EXPECT_NEAR(grey[1], kDiffuseFloor * kAttenuationFloor, 1e-5f);
    EXPECT_GT(grey[0], grey[1] + 0.2f);

    int sampled = 0;
    for (uint32_t y = 0; y < kHeight; y += 2) {
        for (uint32_t x = 0; x < kWidth; x += 2) {
            // Barycentric weights of the pixel centre; skip pixels near edges.
            const float px = x + 0.5f, py = y + 0.5f;
            auto edge = [&](int a, int b) {
                return (screen[b][0] - screen[a][0]) * (py - screen[a][1]) -
                       (screen[b][1] - screen[a][1]) * (px - screen[a][0]);
            };
            const float total = (screen[1][0] - screen[0][0]) * (screen[2][1] - screen[0][1]) -
                                (screen[1][1] - screen[0][1]) * (screen[2][0] - screen[0][0]);
            const float w0 = edge(1, 2) / total, w1 = edge(2, 0) / total, w2 = edge(0, 1) / total;
            if (w0 < 0.05f || w1 < 0.05f || w2 < 0.05f) continue;
            const int expected = static_cast<int>(std::lround(255 * (w0 * grey[0] + w1 * grey[1] + w2 * grey[2])));
            EXPECT_TRUE(near(at(x, y), Rgb{expected, expected, expected}, 2))
                << "pixel " << x << "," << y << " got " << at(x, y).r << " expected " << expected;
            ++sampled;
        }
    }
    EXPECT_GE(sampled, 40);
    EXPECT_RGB(at(0, 0), 0, 0, 0);  // outside the triangle
    buffer.reset();
}

TEST_F(GlDeviceTest, ProgramsThatCannotDrawTheirFormatAndPipelinesOfAnotherFormatAreRefused) {
    const ProgramDesc lightingDesc = lightingProgramDesc();
    ProgramDesc broken = lightingDesc, lines = lightingDesc, shortBlock = lightingDesc, noFragment = lightingDesc;
    broken.vertexSource = "#version 330 core\nvoid main() { gl_Position = undeclared; }\n";
    lines.inputs = VertexFormat::ColouredLine;  // feeds no normal or texture coordinate
    shortBlock.uniformBytes -= 16;              // the struct left out the factors
    noFragment.fragmentSource = nullptr;
    for (const ProgramDesc& refused : {broken, lines, shortBlock, noFragment})
        EXPECT_EQ(device->createProgram(refused), nullptr);
    DeviceHandle<Program> lighting = device->createProgram(lightingDesc);
    ASSERT_NE(lighting, nullptr);
    PipelineDesc desc{.program = lighting.get(), .format = VertexFormat::ScreenText};
    EXPECT_EQ(device->createPipeline(desc), nullptr);
    desc.format = VertexFormat::LitTextured;
    EXPECT_NE(device->createPipeline(desc), nullptr);
    desc.program = nullptr;
    EXPECT_EQ(device->createPipeline(desc), nullptr);
}

// What a light pass and a shadow volume need: a region marked in the stencil
// without colour masks the draws after it; a draw tested for equal depth
// lands only where the depth is what it draws; culling keeps one facing.
TEST_F(GlDeviceTest, StencilMarksMaskLaterDrawsAndDepthEqualDrawsOnlyOnEqualDepth) {
    const StencilOps replace{.pass = StencilOp::Replace};
    DeviceHandle<Pipeline> mark = pipeline({.depthTest = DepthTest::Always, .depthWrite = false, .colourWrite = false,
                                            .stencilTest = StencilTest::Always, .stencilReference = 1,
                                            .stencilFront = replace, .stencilBack = replace});
    DeviceHandle<Pipeline> unmarked = pipeline({.depthTest = DepthTest::Always, .stencilTest = StencilTest::Equal});
    DeviceHandle<Pipeline> marked = pipeline({.depthTest = DepthTest::Always, .stencilTest = StencilTest::NotEqual});
    drawQuad(0, 0, 32, 48, 0.5f, 0xffffffff, nullptr, mark.get());
    drawQuad(0, 0, 64, 48, 0.5f, 0xffff0000, nullptr, unmarked.get());
    readBack();
    EXPECT_RGB(at(10, 10), 0, 0, 0);  // marked, no colour written, then masked
    EXPECT_RGB(at(50, 10), 255, 0, 0);
    drawQuad(0, 0, 64, 48, 0.5f, 0xff00ff00, nullptr, marked.get());
    readBack();
    EXPECT_RGB(at(10, 10), 0, 255, 0);
    EXPECT_RGB(at(50, 10), 255, 0, 0);
    // A new frame clears the marks.
    device->beginFrame(0xff000000);
    drawQuad(0, 0, 64, 48, 0.5f, 0xff0000ff, nullptr, unmarked.get());
    readBack();
    EXPECT_RGB(at(10, 10), 0, 0, 255);

    device->beginFrame(0xff000000);
    drawQuad(0, 0, 32, 48, 0.5f, 0xffff0000);
    drawQuad(32, 0, 64, 48, 0.25f, 0xffff0000);
    DeviceHandle<Pipeline> equal = pipeline({.depthTest = DepthTest::Equal, .depthWrite = false});
    drawQuad(0, 0, 64, 48, 0.5f, 0xff0000ff, nullptr, equal.get());
    readBack();
    EXPECT_RGB(at(10, 10), 0, 0, 255);
    EXPECT_RGB(at(50, 10), 255, 0, 0);

    // The quads run counter-clockwise on the screen: back faces.
    device->beginFrame(0xff000000);
    DeviceHandle<Pipeline> cullBack = pipeline({.cull = Cull::Back});
    DeviceHandle<Pipeline> cullFront = pipeline({.cull = Cull::Front});
    drawQuad(0, 0, 32, 48, 0.5f, 0xffff0000, nullptr, cullBack.get());
    drawQuad(32, 0, 64, 48, 0.5f, 0xffff0000, nullptr, cullFront.get());
    readBack();
    EXPECT_RGB(at(10, 10), 0, 0, 0);
    EXPECT_RGB(at(50, 10), 255, 0, 0);

    // A light's rectangle: the stencil cleared in it alone, and draws kept
    // inside it (rows counted from the top, as the screen's).
    device->beginFrame(0xff000000);
    drawQuad(0, 0, 64, 48, 0.5f, 0xffffffff, nullptr, mark.get());
    device->clearStencil(ScreenRect::of(0, 0, 32, 24));
    drawQuad(0, 0, 64, 48, 0.5f, 0xffff0000, nullptr, unmarked.get());
    readBack();
    EXPECT_RGB(at(10, 10), 255, 0, 0);
    EXPECT_RGB(at(10, 40), 0, 0, 0);
    EXPECT_RGB(at(50, 10), 0, 0, 0);
    device->beginFrame(0xff000000);
    scissor = ScreenRect::of(0, 24, 64, 24);
    drawQuad(0, 0, 64, 48, 0.5f, 0xff00ff00);
    scissor = ScreenRect::of(0, 0, 0, 24);  // empty: nothing
    drawQuad(0, 0, 64, 48, 0.5f, 0xffff0000);
    scissor = {};
    readBack();
    EXPECT_RGB(at(10, 40), 0, 255, 0);
    EXPECT_RGB(at(50, 30), 0, 255, 0);
    EXPECT_RGB(at(10, 10), 0, 0, 0);
    // The next frame's clear reaches the whole buffer again.
    device->beginFrame(0xff0000ff);
    readBack();
    EXPECT_RGB(at(10, 10), 0, 0, 255);

    // Past the far plane a draw is clipped unless its pipeline clamps depth
    // (a shadow volume's far cap); the clamp goes with its pipeline.
    device->beginFrame(0xff000000);
    DeviceHandle<Pipeline> clamped = pipeline({.depthClamp = true});
    drawQuad(0, 0, 32, 48, 1.5f, 0xffff0000, nullptr, clamped.get());
    drawQuad(32, 0, 64, 48, 1.5f, 0xffff0000);
    readBack();
    EXPECT_RGB(at(10, 10), 255, 0, 0);
    EXPECT_RGB(at(50, 10), 0, 0, 0);
}

// Each slot is sampled through the sampler of its name, and a slot the draw
// does not give reads black, not the texture an earlier draw gave.
TEST_F(GlDeviceTest, TexturesAreSampledFromTheirNamedSlots) {
    const char* fragment = R"(#version 330 core
in vec4 vertexColour;
in vec2 uv;
uniform sampler2D surfaceImage, normalMap, lightImage;
out vec4 fragColour;
void main() {
    fragColour = vec4(texture(surfaceImage, uv).r, texture(normalMap, uv).g, texture(lightImage, uv).b, 1.0);
}
)";
    ProgramDesc desc = textProgramDesc();
    desc.fragmentSource = fragment;
    DeviceHandle<Program> slots = device->createProgram(desc);
    ASSERT_NE(slots, nullptr);
    DeviceHandle<Pipeline> sampling = pipeline({.program = slots.get()});
    auto solid = [this](uint8_t r, uint8_t g, uint8_t b) {
        const uint8_t rgba[4] = {r, g, b, 255};
        return device->createTexture(TexelFormat::Rgba8, 1, 1, 0, rgba);
    };
    DeviceHandle<Texture> red = solid(255, 0, 0), green = solid(0, 255, 0), blue = solid(0, 0, 255);
    drawQuad(0, 0, 64, 48, 0.5f, 0xffffffff, red.get(), sampling.get());
    DrawCall call{.pipeline = sampling.get(), .vertices = quads.get(), .uniforms = UniformBlock(textUniforms), .count = 6};
    call.textures = {.surfaceImage = red.get(), .normalMap = green.get(), .lightImage = blue.get()};
    device->draw(call);
    readBack();
    EXPECT_RGB(at(10, 10), 255, 255, 255);
    call.textures.normalMap = nullptr;
    device->draw(call);
    readBack();
    EXPECT_RGB(at(10, 10), 255, 0, 255);
}

}  // namespace
}  // namespace q::gpu
