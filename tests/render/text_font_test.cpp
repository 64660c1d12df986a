#include "render/text_font.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gl_required.h"
#include "gpu/gl/gl_device.h"
#include "gpu/recording/recording_device.h"

namespace q {
namespace {

using gpu::CallKind;
using gpu::RecordingDevice;

constexpr uint32_t kBlue = 0xff0000ffu;

class TextFontTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(font_.init(&device_, "Arial", 20));
        device_.beginFrame(0);
        device_.clearLog();
    }
    void TearDown() override {
        device_.endFrame();
        font_.release();
    }

    int count(CallKind kind) const {
        int n = 0;
        for (const auto& call : device_.calls) n += call.kind == kind;
        return n;
    }
    std::vector<uint32_t> drawnTriangles() const {
        std::vector<uint32_t> out;
        for (const auto& draw : device_.draws) out.push_back(draw.count / 3);
        return out;
    }
    // The vertices of the last batch, as the buffer holds them now.
    const FontVertex* vertices() const {
        return reinterpret_cast<const FontVertex*>(RecordingDevice::contents(font_.vertexBuffer.get()).data());
    }
    float width(char c) const {
        const GlyphRect& r = font_.glyphs[c - 32];
        return (r.u1 - r.u0) * font_.texSize;
    }

    RecordingDevice device_;
    TextFont font_;
};

TEST_F(TextFontTest, TwentyPointsGiveA27PixelCellInA256Texture) {
    EXPECT_EQ(scaleRounded(20, 96, 72), 27);  // 26.67 rounds up
    ASSERT_EQ(font_.texSize, 256);
    ASSERT_TRUE(font_.texture.get());
    EXPECT_EQ(font_.texture->width(), 256u);
    EXPECT_EQ(font_.texture->height(), 256u);

    float penX = 0, rowTop = 0;
    for (int code = 32; code <= 126; ++code) {
        const GlyphRect& r = font_.glyphs[code - 32];
        SCOPED_TRACE(std::string(1, char(code)));
        EXPECT_FLOAT_EQ((r.v1 - r.v0) * 256, 27.0f);
        EXPECT_GT(r.u1, r.u0);
        EXPECT_GE(r.u0, 0.0f);
        EXPECT_GE(r.v0, 0.0f);
        EXPECT_LE(r.u1, 1.0f);
        EXPECT_LE(r.v1, 1.0f);
        // Along a row glyphs are 10 pixels apart; a new row starts at x = 0, 28 lower.
        if (r.v0 * 256 != rowTop) {
            EXPECT_FLOAT_EQ(r.v0 * 256, rowTop + 28);
            EXPECT_FLOAT_EQ(r.u0, 0.0f);
            EXPECT_GT(penX + (r.u1 - r.u0) * 256 + 1, 256.0f) << "row broken too early";
            rowTop = r.v0 * 256;
        } else {
            EXPECT_FLOAT_EQ(r.u0 * 256, penX);
        }
        penX = r.u1 * 256 + 10;
    }
    EXPECT_EQ(font_.glyphs[95].u1, 0.0f) << "code 127 has no glyph";
}

TEST_F(TextFontTest, TexelsCarryCoverageInEveryChannel) {
    const std::vector<uint32_t>& texels = RecordingDevice::texels(font_.texture.get());
    ASSERT_EQ(texels.size(), 256u * 256u);
    int inked = 0, opaque = 0;
    for (uint32_t t : texels) {
        const uint32_t a = t >> 24;
        ASSERT_EQ(t, a * 0x01010101u) << std::hex << t;
        inked += a > 0;
        opaque += a == 255;
    }
    // 94 visible glyphs: plenty of ink, solid stems, and mostly empty texture.
    EXPECT_GT(opaque, 1000);
    EXPECT_LT(inked, 256 * 256 / 2);
    // The space glyph's cell is blank.
    const GlyphRect& space = font_.glyphs[0];
    for (int y = int(space.v0 * 256); y < int(space.v1 * 256); ++y)
        for (int x = int(space.u0 * 256); x < int(space.u1 * 256); ++x)
            EXPECT_EQ(texels[y * 256 + x], 0u);
}

TEST(TextFontInit, CreatesTheBufferAndThePipelineAndReleaseFreesWhatInitMade) {
    RecordingDevice device;
    TextFont font;
    ASSERT_TRUE(font.init(&device, "Arial", 20));
    ASSERT_TRUE(font.vertexBuffer.get());
    EXPECT_EQ(font.vertexBuffer->byteSize(), 16800u);

    bool sawBuffer = false;
    for (const auto& call : device.calls)
        if (call.kind == CallKind::CreateVertexBuffer) {
            EXPECT_EQ(call.args[0], 16800u);
            EXPECT_EQ(RecordingDevice::use(font.vertexBuffer.get()), gpu::BufferUse::Dynamic);
            sawBuffer = true;
        }
    EXPECT_TRUE(sawBuffer);

    ASSERT_TRUE(font.pipeline.get());
    EXPECT_EQ(device.livePipelines(), 1u);
    font.release();
    EXPECT_EQ(device.liveBuffers(), 0u);
    EXPECT_EQ(device.liveTextures(), 0u);
    EXPECT_EQ(device.livePipelines(), 0u);
    EXPECT_FALSE(font.texture.get());
    EXPECT_FALSE(font.vertexBuffer.get());
}

TEST(TextFontInit, PointSizePicksTheTextureSize) {
    const std::pair<int, int> cases[] = {{21, 512}, {40, 512}, {41, 1024}, {8, 256}};
    for (auto [points, size] : cases) {
        RecordingDevice device;
        TextFont font;
        ASSERT_TRUE(font.init(&device, "Arial", points)) << points;
        EXPECT_EQ(font.texSize, size) << points;
        EXPECT_FLOAT_EQ((font.glyphs[33].v1 - font.glyphs[33].v0) * size, float(scaleRounded(points, 96, 72)));
        font.release();
    }
    EXPECT_EQ(scaleRounded(1, 1, 2), 1);  // halves round away from zero
    EXPECT_EQ(scaleRounded(-1, 1, 2), -1);
    EXPECT_EQ(scaleRounded(5, 5, 0), -1);
}

TEST(TextFontInit, FailuresLeaveAFontThatDrawsNothing) {
    // A height no face can have, the texture refused, the buffer refused.
    for (int failure = 0; failure < 3; ++failure) {
        SCOPED_TRACE(failure);
        RecordingDevice device;
        TextFont font;
        if (failure == 1) device.failNextTextureCreations(1);
        if (failure == 2) device.failNextBufferCreations(1);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(font.init(&device, "Arial", failure == 0 ? 0 : 20));
        const std::string warning = ::testing::internal::GetCapturedStderr();
        if (failure == 0) {
            EXPECT_NE(warning.find("fonts-liberation2"), std::string::npos) << warning;
            EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << warning;
        }
        device.clearLog();
        font.drawText(0, 0, "never drawn", kBlue);
        EXPECT_TRUE(device.calls.empty());
        font.release();
        EXPECT_EQ(device.liveBuffers(), 0u);
        EXPECT_EQ(device.liveTextures(), 0u);
    }
}

TEST_F(TextFontTest, LongStringsGoOutInBatchesOfAHundredCharacters) {
    const std::string text(250, 'A');
    font_.drawText(0, 0, text.c_str(), kBlue);
    EXPECT_EQ(drawnTriangles(), (std::vector<uint32_t>{200, 200, 100}));
    EXPECT_EQ(count(CallKind::Update), 3);
    // Blended, alpha-tested glyphs over everything, from the buffer's start.
    for (const auto& draw : device_.draws) {
        EXPECT_EQ(draw.problem, nullptr);
        EXPECT_EQ(draw.first, 0u);
        EXPECT_EQ(draw.indices, nullptr);
        EXPECT_EQ(draw.vertices, font_.vertexBuffer.get());
        EXPECT_EQ(draw.textures.surfaceImage, font_.texture.get());
        EXPECT_EQ(draw.pipeline.format, gpu::VertexFormat::ScreenText);
        EXPECT_EQ(draw.pipeline.program, font_.program.get());
        EXPECT_EQ(draw.pipeline.blend, gpu::Blend::Alpha);
        EXPECT_EQ(draw.pipeline.alphaReference, 16u);
        EXPECT_EQ(draw.pipeline.depthTest, gpu::DepthTest::Always);
        EXPECT_FALSE(draw.pipeline.depthWrite);
    }
    // The last batch starts at the buffer's beginning, 200 characters along.
    EXPECT_FLOAT_EQ(vertices()[2].x, 200 * width('A'));

    // Exactly one full buffer: the batch is drawn when full, and nothing after.
    device_.clearLog();
    font_.drawText(0, 0, std::string(100, 'A').c_str(), kBlue);
    EXPECT_EQ(drawnTriangles(), (std::vector<uint32_t>{200}));
}

TEST_F(TextFontTest, EmptyStringNeitherWritesNorDraws) {
    font_.drawText(10, 10, "", kBlue);
    EXPECT_TRUE(device_.calls.empty());
}

TEST_F(TextFontTest, EachCharacterIsTwoTrianglesAtItsMeasuredWidth) {
    font_.drawText(100, 50, "Click left mouse button to jump/fly\n", kBlue);
    ASSERT_EQ(drawnTriangles(), (std::vector<uint32_t>{70}));

    const FontVertex* v = vertices();
    const GlyphRect& c = font_.glyphs['C' - 32];
    const float w = width('C'), h = 27;
    const FontVertex expected[6] = {
        {100, 50 + h, 1, 1, kBlue, c.u0, c.v1}, {100 + w, 50, 1, 1, kBlue, c.u1, c.v0},
        {100, 50, 1, 1, kBlue, c.u0, c.v0},     {100 + w, 50, 1, 1, kBlue, c.u1, c.v0},
        {100, 50 + h, 1, 1, kBlue, c.u0, c.v1}, {100 + w, 50 + h, 1, 1, kBlue, c.u1, c.v1},
    };
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(v[i].x, expected[i].x);
        EXPECT_FLOAT_EQ(v[i].y, expected[i].y);
        EXPECT_EQ(v[i].z, 1.0f);
        EXPECT_EQ(v[i].rhw, 1.0f);
        EXPECT_EQ(v[i].diffuse, kBlue);
        EXPECT_EQ(v[i].u, expected[i].u);
        EXPECT_EQ(v[i].v, expected[i].v);
    }
    // Characters follow each other with no gap: the last one ends at the sum of widths.
    float total = 0;
    for (const char* p = "Click left mouse button to jump/fly"; *p; ++p) total += width(*p);
    EXPECT_FLOAT_EQ(v[34 * 6 + 5].x, 100 + total);
}

TEST_F(TextFontTest, SkippedBytesDoNotMoveThePenAndNewlineStartsANewLine) {
    font_.drawText(5, 7, "A\x01\x1f\x7f\x80\xff\tB\nC", kBlue);
    ASSERT_EQ(drawnTriangles(), (std::vector<uint32_t>{6}));
    const FontVertex* v = vertices();
    EXPECT_FLOAT_EQ(v[6 + 2].x, 5 + width('A'));  // B's top-left follows A
    EXPECT_FLOAT_EQ(v[6 + 2].y, 7);
    EXPECT_FLOAT_EQ(v[12 + 2].x, 5);  // C at the call's x, one cell lower
    EXPECT_FLOAT_EQ(v[12 + 2].y, 7 + 27);
}

TEST(TextFontPixels, BlueTextAppearsAtTheTopLeftOverTheScene) {
    std::string error;
    const std::unique_ptr<gpu::Device> device = gpu::createHeadlessDevice(256, 64, &error);
    if (!device) QUORVANE_NO_GL_CONTEXT(error);
    TextFont font;
    ASSERT_TRUE(font.init(device.get(), "Arial", 20));
    device->beginFrame(0xff204020);
    font.drawText(4, 2, "HHHH", kBlue);
    device->endFrame();
    std::vector<uint8_t> pixels(256 * 64 * 4);
    ASSERT_TRUE(device->readBackBuffer(pixels.data()));
    font.release();

    const float textRight = 4 + 4 * (font.glyphs['H' - 32].u1 - font.glyphs['H' - 32].u0) * 256;
    int blue = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) {
            const uint8_t* p = &pixels[(size_t(y) * 256 + x) * 4];
            const bool background = p[0] == 0x20 && p[1] == 0x40 && p[2] == 0x20;
            if (x < 4 || x > textRight + 1 || y < 2 || y > 2 + 27) {
                ASSERT_TRUE(background) << x << ", " << y << " outside the text was drawn over";
            } else if (!background) {
                // Text blends blue over the scene: never more red or green than the scene had.
                EXPECT_LE(p[0], 0x20) << x << ", " << y;
                EXPECT_LE(p[1], 0x40) << x << ", " << y;
                blue += p[2] > 0xC0;
            }
        }
    EXPECT_GT(blue, 4 * 2 * 15) << "four H, two solid stems each";
}

}  // namespace
}  // namespace q
