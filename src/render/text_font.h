#pragma once
// The overlay text: the printable ASCII characters of one face rasterised once
// into a glyph texture, then strings drawn as screen-space quads through one
// dynamic vertex buffer.

#include <cstdint>

#include "gpu/device.h"

namespace q {

// value * numerator / denominator worked in 64 bits, rounded half away from
// zero; -1 when denominator is 0 or the result does not fit an int.
int scaleRounded(int value, int numerator, int denominator);

// Texture rectangle of one character, 0 to 1: left, top, right, bottom.
struct GlyphRect {
    float u0, v0, u1, v1;
};

// A pre-transformed, coloured, textured vertex (gpu::VertexFormat::ScreenText).
struct FontVertex {
    float x, y, z, rhw;  // back-buffer pixels, y down
    uint32_t diffuse;    // 0xAARRGGBB
    float u, v;
};
static_assert(sizeof(FontVertex) == gpu::vertexBytes(gpu::VertexFormat::ScreenText));

// The text program's uniform block (std140).
struct TextUniforms {
    float backBuffer[4] = {};  // width, height in pixels; z, w unused
};

// Draws gpu::VertexFormat::ScreenText: the vertex colour times the glyph
// texture (surfaceImage), alpha-tested and placed in back-buffer pixels.
gpu::ProgramDesc textProgramDesc();

class TextFont {
public:
    static constexpr int kFirstCode = 32;
    static constexpr int kLastCode = 126;
    static constexpr uint32_t kBufferBytes = 16800;  // 600 vertices: 100 characters

    int32_t texSize = 0;
    GlyphRect glyphs[96] = {};  // codes 32..127 by code - 32; 32..126 filled
    gpu::DeviceHandle<gpu::Texture> texture;
    gpu::DeviceHandle<gpu::VertexBuffer> vertexBuffer;
    gpu::DeviceHandle<gpu::Program> program;  // before the pipeline, which draws with it
    gpu::DeviceHandle<gpu::Pipeline> pipeline;
    TextUniforms uniforms;
    gpu::Device* device = nullptr;  // not owned: it must outlive the font

    TextFont() = default;
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;
    virtual ~TextFont() { release(); }

    // Rasterises face at pointSize (96 pixels per inch) and creates the texture,
    // the vertex buffer, the program and the pipeline. False when any of them
    // fails; on a missing face or a rasteriser failure one warning line says
    // what to install.
    bool init(gpu::Device* device, const char* face, int32_t pointSize);

    // Draws text with the top-left of its first cell at (x, y) in back-buffer
    // pixels. Newline returns to x one line down; other bytes outside 32..126 are
    // skipped. Between beginFrame and endFrame; does nothing unless init succeeded.
    void drawText(float x, float y, const char* text, uint32_t colour);

    // Frees what init made (the destructor does too).
    void release();

private:
    // One batch of quads, written to the vertex buffer whole.
    FontVertex batch_[kBufferBytes / sizeof(FontVertex)] = {};
};

}  // namespace q
