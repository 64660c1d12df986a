#include "render/text_font.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/font.h"
#include "platform/report.h"

namespace q {

namespace {

constexpr int32_t kPixelsPerInch = 96;
constexpr int32_t kGlyphGap = 10;          // pixels between glyphs along a row
constexpr uint32_t kBatchVertexLimit = 594;  // one more quad would not fit the buffer

int32_t textureSizeFor(int32_t pointSize) {
    if (pointSize > 40) return 1024;
    if (pointSize > 20) return 512;
    return 256;
}

// x, y are back-buffer pixels with y down and pixel centres on whole numbers,
// where GL has them on halves. Moving the geometry by just under half a pixel
// keeps both conventions' coverage (a rectangle on whole numbers covers the
// same pixels, its top and left edges included) and samples textures where the
// pixel centre falls. z is depth 0..1, the fourth component 1/w.
constexpr const char* kTextVertex = R"(#version 330 core
layout(location = 0) in vec4 position;
layout(location = 3) in vec4 colour;
layout(location = 2) in vec2 texcoord;
layout(std140) uniform Uniforms {
    vec4 backBuffer;  // width, height in pixels
};
out vec4 vertexColour;
out vec2 uv;
void main() {
    float w = position.w != 0.0 ? 1.0 / position.w : 1.0;
    const float centre = 0.5 - 1.0 / 64.0;
    vec2 ndc = vec2((position.x + centre) / backBuffer.x * 2.0 - 1.0,
                    1.0 - (position.y + centre) / backBuffer.y * 2.0);
    gl_Position = vec4(ndc * w, (2.0 * position.z - 1.0) * w, w);
    vertexColour = colour;
    uv = texcoord;
}
)";

// The glyph's colour times the vertex colour, its alpha the glyph's; without a
// glyph texture the vertex colour alone.
constexpr const char* kTextFragment = R"(#version 330 core
in vec4 vertexColour;
in vec2 uv;
uniform sampler2D surfaceImage;
uniform int texturesGiven;
uniform float alphaReference;
out vec4 fragColour;
void main() {
    vec4 colour = vertexColour;
    if ((texturesGiven & 1) != 0) {
        vec4 texel = texture(surfaceImage, uv);
        colour = vec4(texel.rgb * vertexColour.rgb, texel.a);
    }
    if (floor(colour.a * 255.0 + 0.5) < alphaReference) discard;
    fragColour = colour;
}
)";

// Blended, alpha-tested glyphs over the picture, no depth.
gpu::PipelineDesc textPipelineDesc(const gpu::Program* program) {
    gpu::PipelineDesc desc;
    desc.program = program;
    desc.format = gpu::VertexFormat::ScreenText;
    desc.depthTest = gpu::DepthTest::Always;
    desc.depthWrite = false;
    desc.blend = gpu::Blend::Alpha;
    desc.alphaReference = 0x10;
    return desc;
}

}  // namespace

gpu::ProgramDesc textProgramDesc() {
    return {kTextVertex, kTextFragment, gpu::VertexFormat::ScreenText, sizeof(TextUniforms)};
}

int scaleRounded(int value, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const int64_t product = int64_t{value} * numerator;
    const int64_t divisor = std::abs(int64_t{denominator});
    const int64_t magnitude = (std::abs(product) + divisor / 2) / divisor;
    const int64_t result = (product < 0) != (denominator < 0) ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN) return -1;
    return static_cast<int>(result);
}

bool TextFont::init(gpu::Device* target, const char* face, int32_t pointSize) {
    device = target;
    if (!device) return false;
    const int32_t pixelHeight = scaleRounded(pointSize, kPixelsPerInch, 72);

    std::string problem;
    const std::unique_ptr<Font> font = Font::open(face, pixelHeight, &problem);
    if (!font) {
        warn(("text overlay off: " + problem +
              " (install the package fonts-liberation2, which provides a face metric-compatible with \"" +
              (face ? face : "") + "\")")
                 .c_str());
        return false;
    }

    texSize = textureSizeFor(pointSize);
    std::vector<uint8_t> bitmap(size_t(texSize) * texSize, 0);
    const float size = static_cast<float>(texSize);
    int x = 0, y = 0;
    for (int code = kFirstCode; code <= kLastCode; ++code) {
        const char c = static_cast<char>(code);
        const Font::Extent extent = font->measure(c);
        if (x + extent.width + 1 > texSize) {
            x = 0;
            y += pixelHeight + 1;
        }
        font->draw(c, x, y, bitmap.data(), texSize);
        glyphs[code - kFirstCode] = {x / size, y / size, (x + extent.width) / size, (y + extent.height) / size};
        x += extent.width + kGlyphGap;
    }

    // Alpha and colour all carry the coverage: every byte of a texel equal.
    std::vector<uint8_t> texels(bitmap.size() * 4);
    for (size_t i = 0; i < bitmap.size(); ++i) std::memset(&texels[i * 4], bitmap[i], 4);
    // One level: glyphs are drawn a texel to a pixel.
    texture = device->createTexture(TexelFormat::Rgba8, texSize, texSize, 1, texels.data());
    if (!texture) return false;

    vertexBuffer = device->createVertexBuffer(kBufferBytes, gpu::BufferUse::Dynamic, nullptr);
    if (!vertexBuffer) return false;
    program = device->createProgram(textProgramDesc());
    if (!program) return false;
    pipeline = device->createPipeline(textPipelineDesc(program.get()));
    if (!pipeline) return false;
    uniforms.backBuffer[0] = static_cast<float>(device->width());
    uniforms.backBuffer[1] = static_cast<float>(device->height());
    return true;
}

void TextFont::drawText(float x, float y, const char* text, uint32_t colour) {
    // All that init makes must be there: a half-finished init leaves the texture
    // without a buffer to draw from.
    if (!texture || !vertexBuffer || !pipeline || !text) return;
    gpu::DrawCall call;
    call.pipeline = pipeline.get();
    call.vertices = vertexBuffer.get();
    call.textures.surfaceImage = texture.get();
    call.uniforms = gpu::UniformBlock(uniforms);

    FontVertex* const vertices = batch_;
    uint32_t triangles = 0;
    float penX = x, penY = y;
    const float size = static_cast<float>(texSize);
    const float lineHeight = static_cast<float>(static_cast<int>((glyphs[0].v1 - glyphs[0].v0) * size));

    // Each batch is written from the buffer's start: a dynamic buffer then gets
    // fresh storage, so the write does not wait for the batch drawn before.
    const auto flush = [&] {
        call.count = triangles * 3;
        if (triangles > 0 && vertexBuffer->update(0, vertices, call.count * sizeof(FontVertex))) device->draw(call);
        triangles = 0;
    };
    for (const char* p = text; *p; ++p) {
        const auto code = static_cast<unsigned char>(*p);
        if (code == '\n') {
            penX = x;
            penY += lineHeight;
            continue;
        }
        if (code < kFirstCode || code > kLastCode) continue;

        const GlyphRect& r = glyphs[code - kFirstCode];
        const float w = (r.u1 - r.u0) * size;
        const float h = (r.v1 - r.v0) * size;
        FontVertex* v = vertices + triangles * 3;
        v[0] = {penX, penY + h, 1.0f, 1.0f, colour, r.u0, r.v1};
        v[1] = {penX + w, penY, 1.0f, 1.0f, colour, r.u1, r.v0};
        v[2] = {penX, penY, 1.0f, 1.0f, colour, r.u0, r.v0};
        v[3] = {penX + w, penY, 1.0f, 1.0f, colour, r.u1, r.v0};
        v[4] = {penX, penY + h, 1.0f, 1.0f, colour, r.u0, r.v1};
        v[5] = {penX + w, penY + h, 1.0f, 1.0f, colour, r.u1, r.v1};
        penX += w;
        triangles += 2;

        if (triangles * 3 > kBatchVertexLimit) flush();
    }
    flush();
}

void TextFont::release() {
    pipeline.reset();
    program.reset();
    vertexBuffer.reset();
    texture.reset();
}

}  // namespace q
