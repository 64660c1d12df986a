#include "render/graphics_device.h"

#include <utility>

#include "platform/report.h"
#include "render/lighting_program.h"

namespace q {

namespace {

constexpr const char* kLineVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 3) in vec4 colour;
layout(std140, row_major) uniform Uniforms {
    mat4 viewProjection;
};
out vec4 lineColour;
void main() {
    vec4 clip = vec4(position, 1.0) * viewProjection;
    gl_Position = vec4(clip.x, clip.y, 2.0 * clip.z - clip.w, clip.w);
    lineColour = colour;
}
)";

constexpr const char* kLineFragment = R"(#version 330 core
in vec4 lineColour;
out vec4 fragColour;
void main() { fragColour = lineColour; }
)";

}  // namespace

gpu::ProgramDesc lineProgramDesc() {
    return {kLineVertex, kLineFragment, gpu::VertexFormat::ColouredLine, sizeof(LineUniforms)};
}

bool GraphicsDevice::create(std::unique_ptr<gpu::Device> backend) {
    if (!backend) return false;
    device_ = std::move(backend);

    lighting_ = device_->createProgram(lightingProgramDesc());
    // "ff" is the system's own terse box for a failed device call; the detail
    // on stderr says which.
    if (!lighting_) report("ff", "ff", "the lighting program was refused: the device cannot build it, no surface is drawn");
    surfaces_.create(*device_, lighting_.get());
    lineProgram_ = device_->createProgram(lineProgramDesc());
    linePipeline_ = device_->createPipeline(linePipelineDesc(lineProgram_.get(), true));

    lineBuffer_ = device_->createVertexBuffer(kLineBufferBytes, gpu::BufferUse::Dynamic);
    lineCount_ = 0;
    lineWrite_ = nullptr;
    return true;
}

void GraphicsDevice::beginFrame() { device_->beginFrame(0xff000000u); }

void GraphicsDevice::beginLines() {
    lineCount_ = 0;
    // A second collection in one frame would otherwise lock an already locked buffer.
    if (lineWrite_) return;
    if (lineBuffer_) lineWrite_ = static_cast<LineVertex*>(lineBuffer_->lock(0, 0));
}

void GraphicsDevice::addLine(Vector3 first, Vector3 second, uint32_t colour) {
    // Outside a collection there is nowhere to write; past the buffer's end the
    // surplus lines are dropped rather than written beyond it.
    if (!lineWrite_) return;
    if (lineCount_ >= kMaxLines) return;
    LineVertex* v = lineWrite_ + 2 * lineCount_;
    v[0] = {first.x, first.y, first.z, colour};
    v[1] = {second.x, second.y, second.z, colour};
    ++lineCount_;
}

void GraphicsDevice::endFrame(const Matrix& view, const Matrix& projection, bool portalMode) {
    if (lineWrite_) {
        lineBuffer_->unlock();
        lineWrite_ = nullptr;
    }
    // The last collected lines stay in the buffer and are drawn every frame in
    // portal mode, from wherever the camera now is, until F collects anew.
    if (portalMode && lineCount_ != 0)
        drawLineList(*device_, linePipeline_.get(), lineBuffer_.get(), lineCount_, view, projection);
    device_->endFrame();
}

gpu::PipelineDesc linePipelineDesc(const gpu::Program* lineProgram, bool depthTest) {
    gpu::PipelineDesc desc;
    desc.program = lineProgram;
    desc.format = gpu::VertexFormat::ColouredLine;
    desc.depthTest = depthTest ? gpu::DepthTest::LessOrEqual : gpu::DepthTest::Always;
    desc.depthWrite = depthTest;
    return desc;
}

void drawLineList(gpu::Device& device, const gpu::Pipeline* pipeline, const gpu::VertexBuffer* buffer, uint32_t lines,
                  const Matrix& view, const Matrix& projection) {
    if (!pipeline || !buffer) return;
    const LineUniforms uniforms{view * projection};
    gpu::DrawCall call;
    call.pipeline = pipeline;
    call.vertices = buffer;
    call.uniforms = gpu::UniformBlock(uniforms);
    call.count = 2 * lines;
    device.draw(call);
}

GraphicsDevice::~GraphicsDevice() {
    if (lineBuffer_ && lineWrite_) lineBuffer_->unlock();
}

}  // namespace q
