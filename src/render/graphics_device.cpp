#include "render/graphics_device.h"

#include <utility>

#include "platform/report.h"
#include "render/globals.h"

namespace q {

bool GraphicsDevice::create(std::unique_ptr<gpu::Device> backend) {
    if (!backend) return false;
    device = std::move(backend);

    // States that stay as they are for the program's life. Depth testing is
    // off until the first frame turns it on, so set-up draws never depend on it.
    device->setTextureStageState(0, gpu::TextureStageState::MipFilter, gpu::kFilterLinear);
    device->setTextureStageState(0, gpu::TextureStageState::MagFilter, gpu::kFilterLinear);
    device->setRenderState(gpu::RenderState::CullMode, gpu::kCullNone);
    device->setRenderState(gpu::RenderState::ZEnable, 0);

    lineBuffer = device->createVertexBuffer(lineBufferBytes, gpu::kUsageDynamic, 0);
    lineCount = 0;
    lineWrite = nullptr;
    return true;
}

void GraphicsDevice::beginFrame() {
    device->clear(gpu::kClearTarget | gpu::kClearZBuffer, 0xff000000u, 1.0f, 0);
    device->beginScene();
    device->setRenderState(gpu::RenderState::ZEnable, 1);
}

void GraphicsDevice::beginLines() {
    lineCount = 0;
    // A second collection in one frame would otherwise lock an already locked buffer.
    if (lineWrite) return;
    if (lineBuffer) lineWrite = static_cast<LineVertex*>(lineBuffer->lock(0, 0, gpu::kLockDiscard));
}

void GraphicsDevice::addLine(Vector3 first, Vector3 second, uint32_t colour) {
    // Outside a collection there is nowhere to write; past the buffer's end the
    // surplus lines are dropped rather than written beyond it.
    if (!lineWrite) return;
    const uint32_t capacity = lineBufferBytes / (2 * sizeof(LineVertex));
    if (lineCount >= capacity) return;
    LineVertex* v = lineWrite + 2 * lineCount;
    v[0] = {first.x, first.y, first.z, colour};
    v[1] = {second.x, second.y, second.z, colour};
    ++lineCount;
}

void GraphicsDevice::endFrame(const Matrix& view, const Matrix& projection) {
    if (lineWrite) {
        lineBuffer->unlock();
        lineWrite = nullptr;
    }
    // The last collected lines stay in the buffer and are drawn every frame in
    // portal mode, from wherever the camera now is, until F collects anew.
    if (g_portalMode && lineCount != 0 && lineBuffer)
        drawLineList(*device, lineBuffer.get(), lineCount, view, projection);
    device->endScene();
    device->present();
}

void drawLineList(gpu::Device& device, gpu::VertexBuffer* buffer, uint32_t lines, const Matrix& view,
                  const Matrix& projection) {
    device.setTransform(gpu::Transform::World, Matrix::identity());
    device.setTransform(gpu::Transform::View, view);
    device.setTransform(gpu::Transform::Projection, projection);
    device.setVertexShader(gpu::kFvfLine);
    device.setTexture(0, nullptr);
    device.setStreamSource(0, buffer, sizeof(LineVertex));
    device.drawPrimitive(gpu::Primitive::LineList, 0, lines);
}

uint32_t GraphicsDevice::createVertexShader(const char* text, const uint32_t* declaration) {
    const uint32_t handle = device->createVertexShader(text, declaration);
    // "ff" is the system's own terse box for a failed device call; the detail
    // on stderr says which. Lit draws then go without their program.
    if (handle == 0) report("ff", "ff", "a vertex program was refused: it did not assemble or the device cannot run it");
    return handle;
}

GraphicsDevice::~GraphicsDevice() {
    if (lineBuffer && lineWrite) lineBuffer->unlock();
}

}  // namespace q
