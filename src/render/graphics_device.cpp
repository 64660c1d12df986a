#include "render/graphics_device.h"

#include <utility>

#include "platform/report.h"
#include "render/globals.h"
#include "render/lighting_program.h"

namespace q {

bool GraphicsDevice::create(std::unique_ptr<gpu::Device> backend) {
    if (!backend) return false;
    device = std::move(backend);

    lighting = device->createProgram(kLightingProgramText, gpu::VertexFormat::LitTextured);
    // "ff" is the system's own terse box for a failed device call; the detail
    // on stderr says which. Lit draws then go unlit.
    if (!lighting) report("ff", "ff", "the lighting program was refused: it did not assemble or the device cannot run it");
    surfaces.create(*device, lighting.get());
    linePipeline = device->createPipeline(linePipelineDesc(true));

    lineBuffer = device->createVertexBuffer(kLineBufferBytes, gpu::BufferUse::Dynamic, nullptr);
    lineVertices.assign(2 * kMaxLines, LineVertex{});
    lineCount = 0;
    collectingLines = false;
    return true;
}

void GraphicsDevice::beginFrame() { device->beginFrame(0xff000000u); }

void GraphicsDevice::beginLines() {
    lineCount = 0;
    collectingLines = true;
}

void GraphicsDevice::addLine(Vector3 first, Vector3 second, uint32_t colour) {
    // Past the room the surplus lines are dropped rather than written beyond it.
    if (!collectingLines || lineCount >= lineVertices.size() / 2) return;
    LineVertex* v = &lineVertices[2 * size_t{lineCount}];
    v[0] = {first.x, first.y, first.z, colour};
    v[1] = {second.x, second.y, second.z, colour};
    ++lineCount;
}

void GraphicsDevice::endFrame(const Matrix& view, const Matrix& projection) {
    if (collectingLines) {
        collectingLines = false;
        // From the buffer's start: a dynamic buffer then gets fresh storage,
        // and the write does not wait for last frame's draw of the lines.
        const auto bytes = static_cast<uint32_t>(lineCount * 2 * sizeof(LineVertex));
        if (lineCount != 0 && !(lineBuffer && lineBuffer->update(0, lineVertices.data(), bytes))) lineCount = 0;
    }
    // The last collected lines stay in the buffer and are drawn every frame in
    // portal mode, from wherever the camera now is, until F collects anew.
    if (g_portalMode && lineCount != 0)
        drawLineList(*device, linePipeline.get(), lineBuffer.get(), lineCount, view, projection);
    device->endFrame();
}

gpu::PipelineDesc linePipelineDesc(bool depthTest) {
    gpu::PipelineDesc desc;
    desc.format = gpu::VertexFormat::ColouredLine;
    desc.depthTest = depthTest;
    desc.depthWrite = depthTest;
    return desc;
}

void drawLineList(gpu::Device& device, const gpu::Pipeline* pipeline, const gpu::VertexBuffer* buffer, uint32_t lines,
                  const Matrix& view, const Matrix& projection) {
    if (!pipeline || !buffer) return;
    const Matrix viewProjection = transposed(view * projection);
    gpu::DrawCall call;
    call.pipeline = pipeline;
    call.vertices = buffer;
    call.constants = {viewProjection.m, 4};
    call.count = 2 * lines;
    device.draw(call);
}

}  // namespace q
