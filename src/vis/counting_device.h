#pragma once
// A device that hands every call on to another and counts the draws it hands
// on and their triangles: what the render pass really sends to the GPU, with
// nothing to keep in step with how each surface, model or terrain draws.

#include "gpu/device.h"
#include "world/frame_cost.h"

namespace q {

class CountingDevice final : public gpu::Device {
public:
    CountingDevice(gpu::Device& target, FrameCost& cost) : target_(target), cost_(cost) {}

    gpu::DeviceHandle<gpu::VertexBuffer> createVertexBuffer(uint32_t bytes, gpu::BufferUse use,
                                                            const void* contents) override {
        return target_.createVertexBuffer(bytes, use, contents);
    }
    gpu::DeviceHandle<gpu::IndexBuffer> createIndexBuffer(uint32_t bytes, gpu::BufferUse use,
                                                          const void* contents) override {
        return target_.createIndexBuffer(bytes, use, contents);
    }
    gpu::DeviceHandle<gpu::Texture> createTexture(TexelFormat format, uint32_t width, uint32_t height,
                                                  uint32_t levelCount, const uint8_t* levels) override {
        return target_.createTexture(format, width, height, levelCount, levels);
    }
    bool supportsBlockCompression() const override { return target_.supportsBlockCompression(); }
    gpu::DeviceHandle<gpu::Program> createProgram(const gpu::ProgramDesc& desc) override {
        return target_.createProgram(desc);
    }
    gpu::DeviceHandle<gpu::Pipeline> createPipeline(const gpu::PipelineDesc& desc) override {
        return target_.createPipeline(desc);
    }
    void beginFrame(uint32_t clearColour) override { target_.beginFrame(clearColour); }
    void draw(const gpu::DrawCall& call) override;
    void clearStencil(const gpu::ScreenRect& rect) override { target_.clearStencil(rect); }
    void endFrame() override { target_.endFrame(); }
    uint32_t width() const override { return target_.width(); }
    uint32_t height() const override { return target_.height(); }
    bool readBackBuffer(uint8_t* rgba) override { return target_.readBackBuffer(rgba); }

private:
    gpu::Device& target_;
    FrameCost& cost_;
};

}  // namespace q
