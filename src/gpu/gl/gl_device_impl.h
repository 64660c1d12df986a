#pragma once
// The OpenGL 3.3 core device. A draw sends GL only what differs from the draw
// before it: the program, the depth, blend, cull and stencil state, the vertex
// array, the textures and the program's uniforms are each compared with what
// was last applied (values and serial numbers, never addresses).

#include <memory>
#include <string>
#include <vector>

#include "gpu/draw_rules.h"
#include "gpu/gl/gl_context.h"
#include "gpu/gl/gl_programs.h"
#include "gpu/gl/gl_resources.h"
#include "gpu/live_list.h"

namespace q::gpu {

class GlDevice final : public Device {
public:
    GlDevice(std::unique_ptr<GlContext> context, uint32_t width, uint32_t height);
    ~GlDevice() override;
    // Makes the back buffer; false with *error.
    bool init(std::string* error);

    DeviceHandle<VertexBuffer> createVertexBuffer(uint32_t bytes, BufferUse use, const void* contents) override;
    DeviceHandle<IndexBuffer> createIndexBuffer(uint32_t bytes, BufferUse use, const void* contents) override;
    DeviceHandle<Texture> createTexture(TexelFormat format, uint32_t width, uint32_t height, uint32_t levelCount,
                                        const uint8_t* levels) override;
    bool supportsBlockCompression() const override;
    DeviceHandle<Program> createProgram(const ProgramDesc& desc) override;
    DeviceHandle<Pipeline> createPipeline(const PipelineDesc& desc) override;

    void beginFrame(uint32_t clearColour) override;
    void draw(const DrawCall& call) override;
    void clearStencil(const ScreenRect& rect) override;
    void endFrame() override;
    uint32_t width() const override { return width_; }
    uint32_t height() const override { return height_; }
    bool readBackBuffer(uint8_t* rgba) override;

    // Called by the objects when their handles free them: constant time, and
    // no draw state is touched (serial numbers keep it from being mistaken).
    void free(GlVertexBuffer* buffer);
    void free(GlIndexBuffer* buffer);
    void free(GlTexture* texture);
    void free(GlProgramObject* program);
    void free(GlPipeline* pipeline);

private:
    // What GL was last set to by a draw. Serial 0 is nothing (or not known).
    struct Applied {
        uint64_t program = 0;
        uint64_t uniformBuffer = 0;  // serial of the program whose buffer is bound
        uint64_t vertexArray = 0;
        uint64_t textures[kTextureSlots] = {};
        DepthTest depthTest = DepthTest::LessOrEqual;
        bool depthWrite = true;
        bool colourWrite = true;
        Blend blend = Blend::None;
        Cull cull = Cull::None;
        StencilTest stencilTest = StencilTest::Off;
        uint8_t stencilReference = 0;
        StencilOps stencilFront, stencilBack;
        bool depthClamp = false;
        ScreenRect scissor;  // whole: the scissor test is off
    };

    // Whether this GL can hold a texture of that size.
    bool textureSizeFits(uint32_t width, uint32_t height) const;
    // The draw rules' view of this device's objects (gpu/draw_rules.h).
    struct RuleView;
    friend struct RuleView;
    void applyPipelineState(const PipelineDesc& desc);
    void applyStencil(const PipelineDesc& desc);
    void applyScissor(const ScreenRect& rect);
    void bindTextures(const Texture* const (&textures)[kTextureSlots]);
    void bindVertexArray(const GlVertexBuffer& vertices, VertexFormat format, const GlIndexBuffer* indices);
    void sendUniforms(const GlProgram& program, const DrawCall& call, const Texture* const (&textures)[kTextureSlots]);
    void checkErrors(const char* where);

    std::unique_ptr<GlContext> context_;
    uint32_t width_, height_;
    GLuint framebuffer_ = 0, colorBuffer_ = 0, depthBuffer_ = 0;
    GLuint sampler_ = 0;

    uint64_t nextSerial_ = 1;
    Applied applied_;
    bool inFrame_ = false;
    DrawRuleReports ruleReports_;

    std::vector<uint8_t> rowScratch_;  // readBackBuffer's row swap, kept between calls
    LiveList<GlVertexBuffer> vertexBuffers_;
    LiveList<GlIndexBuffer> indexBuffers_;
    LiveList<GlTexture> textures_;
    LiveList<GlProgramObject> programs_;
    LiveList<GlPipeline> pipelines_;
    mutable int blockCompression_ = -1;  // -1 until the extension list is read
};

}  // namespace q::gpu
