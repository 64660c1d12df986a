#include "render/graphics_device.h"

#include <utility>

#include "platform/report.h"
#include "platform/report_words.h"
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
    if (!lighting_) report(kFailCaption, kFailCaption, "the lighting program was refused: the device cannot build it, no surface is drawn");
    surfaces_.create(*device_, lighting_.get());
    if (!mapLights_.create(*device_))
        report(kFailCaption, kFailCaption, "the map's light programs were refused: the map's lights are not drawn");
    lineProgram_ = device_->createProgram(lineProgramDesc());
    linePipeline_ = device_->createPipeline(linePipelineDesc(lineProgram_.get(), true));

    lineBuffer_ = device_->createVertexBuffer(kLineBufferBytes, gpu::BufferUse::Dynamic, nullptr);
    lineVertices_.assign(2 * kMaxLines, LineVertex{});
    lineCount_ = 0;
    collectingLines_ = false;
    return true;
}

void GraphicsDevice::beginFrame() { device_->beginFrame(0xff000000u); }

void GraphicsDevice::beginLines() {
    lineCount_ = 0;
    collectingLines_ = true;
}

void GraphicsDevice::addLine(Vector3 first, Vector3 second, uint32_t colour) {
    // Past the room the surplus lines are dropped rather than written beyond it.
    if (!collectingLines_ || lineCount_ >= lineVertices_.size() / 2) return;
    LineVertex* v = &lineVertices_[2 * size_t{lineCount_}];
    v[0] = {first.x, first.y, first.z, colour};
    v[1] = {second.x, second.y, second.z, colour};
    ++lineCount_;
}

void GraphicsDevice::endFrame(const Matrix& view, const Matrix& projection, bool portalMode) {
    if (collectingLines_) {
        collectingLines_ = false;
        // From the buffer's start: a dynamic buffer then gets fresh storage,
        // and the write does not wait for last frame's draw of the lines.
        const auto bytes = static_cast<uint32_t>(lineCount_ * 2 * sizeof(LineVertex));
        if (lineCount_ != 0 && !(lineBuffer_ && lineBuffer_->update(0, lineVertices_.data(), bytes))) lineCount_ = 0;
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

}  // namespace q
