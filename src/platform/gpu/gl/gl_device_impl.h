#pragma once
// The OpenGL 3.3 core device. Every state call is kept in DeviceState and sent
// to GL at once or, for what depends on the
// program (vertex layout, uniforms), just before the next draw when it changed.

#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/gl/device_state.h"
#include "platform/gpu/gl/gl_context.h"
#include "platform/gpu/gl/gl_programs.h"
#include "platform/gpu/gl/gl_resources.h"
#include "platform/gpu/live_list.h"
#include "platform/gpu/vertex_program.h"

namespace q::gpu {

class GlDevice final : public Device {
public:
    GlDevice(std::unique_ptr<GlContext> context, uint32_t width, uint32_t height);
    ~GlDevice() override;
    // Makes the back buffer and the fixed-function programs; false with *error.
    bool init(std::string* error);

    DeviceHandle<VertexBuffer> createVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t fvf) override;
    DeviceHandle<IndexBuffer> createIndexBuffer(uint32_t bytes, uint32_t usage) override;
    DeviceHandle<Texture> createTexture(uint32_t width, uint32_t height, uint32_t levels) override;
    DeviceHandle<Texture> createTextureFromRgba(const uint8_t* rgba, uint32_t width, uint32_t height) override;
    DeviceHandle<Texture> createTextureFromLevels(TexelFormat format, uint32_t width, uint32_t height,
                                                  uint32_t levelCount, const uint8_t* levels) override;
    bool supportsBlockCompression() const override;
    void setRenderState(RenderState state, uint32_t value) override;
    void setTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) override;
    void setTexture(uint32_t stage, Texture* texture) override;
    void setTransform(Transform which, const Matrix& m) override;
    void setVertexShader(uint32_t handle) override;
    void setVertexShaderConstant(uint32_t reg, const void* data, uint32_t count) override;
    void setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) override;
    void setIndices(IndexBuffer* buffer, uint32_t baseVertex) override;
    uint32_t createVertexShader(const char* text, const uint32_t* declaration) override;
    void clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) override;
    void beginScene() override {}
    void endScene() override {}
    void drawPrimitive(Primitive type, uint32_t startVertex, uint32_t primitiveCount) override;
    void drawIndexedPrimitive(Primitive type, uint32_t minIndex, uint32_t vertexCount,
                              uint32_t startIndex, uint32_t primitiveCount) override;
    void present() override;
    uint32_t width() const override { return width_; }
    uint32_t height() const override { return height_; }
    bool readBackBuffer(uint8_t* rgba) override;

    // Called by the resources when their handles free them.
    void releaseVertexBuffer(GlVertexBuffer* buffer);
    void releaseIndexBuffer(GlIndexBuffer* buffer);
    void releaseTexture(GlTexture* texture);
    // The buffer binding point used for writing, so no vertex array state moves.
    static constexpr GLenum kWriteTarget = GL_COPY_WRITE_BUFFER;

private:
    // Whether this GL can hold a texture of that size.
    bool textureSizeFits(uint32_t width, uint32_t height) const;
    GlProgram* programFor(uint32_t handle);
    // Sends what the draw depends on; false when nothing can be drawn.
    bool prepareDraw(uint32_t firstVertex, uint32_t vertexCount);
    void bindVertexLayout(const GlProgram& program);
    void sendUniforms(GlProgram& program);
    void applyRenderState(uint32_t state);
    void applySampler();
    void checkErrors(const char* where);

    std::unique_ptr<GlContext> context_;
    uint32_t width_, height_;
    GLuint framebuffer_ = 0, colorBuffer_ = 0, depthBuffer_ = 0;
    GLuint vertexArray_ = 0, sampler_ = 0;

    DeviceState state_ = DeviceState::defaults();
    GlProgram worldColored_, worldLit_, screen_;
    std::vector<GlProgram> programs_;  // handle h (without the program bit) is programs_[h - 1]

    GlProgram* boundProgram_ = nullptr;
    bool layoutDirty_ = true;
    uint32_t enabledAttributes_ = 0;  // vertex attribute arrays switched on, by location
    uint64_t transformVersion_ = 0;
    uint64_t constantsVersion_ = 0;
    float worldViewProjection_[16] = {};
    uint64_t computedTransformVersion_ = ~0ull;

    std::vector<uint8_t> rowScratch_;  // readBackBuffer's row swap, kept between calls
    LiveList<GlVertexBuffer> vertexBuffers_;
    LiveList<GlIndexBuffer> indexBuffers_;
    LiveList<GlTexture> textures_;
    mutable int blockCompression_ = -1;  // -1 until the extension list is read
};

}  // namespace q::gpu
