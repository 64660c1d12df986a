#pragma once
// The device with what every frame draws with: the lighting program, the lit
// surfaces' pipelines, frame begin and end, and the frame's list of coloured
// lines (frustums while F is held), drawn over the scene at the end of the
// frame in portal mode.

#include <cstdint>
#include <memory>
#include <vector>

#include "math/matrix.h"
#include "math/vector.h"
#include "gpu/device.h"
#include "render/surface_pipelines.h"

namespace q {

struct LineVertex {
    float x, y, z;
    uint32_t colour;  // 0xAARRGGBB
};
static_assert(sizeof(LineVertex) == gpu::vertexBytes(gpu::VertexFormat::ColouredLine));

constexpr uint32_t kLineBufferBytes = 1048576;
constexpr uint32_t kMaxLines = kLineBufferBytes / (2 * sizeof(LineVertex));  // 32768

class GraphicsDevice {
public:
    // Declared first so that it goes last: everything below is made on it.
    std::unique_ptr<gpu::Device> device;
    // The lighting program every lit draw names through its pipeline; empty
    // when the device refused it, and lit surfaces are then drawn unlit.
    gpu::DeviceHandle<gpu::Program> lighting;
    // The pipelines of the lit surfaces' looks (map surfaces, entity models,
    // the terrain); a map's load adds those of its materials.
    SurfacePipelines surfaces;
    // The frustum lines: depth tested against the scene.
    gpu::DeviceHandle<gpu::Pipeline> linePipeline;
    gpu::DeviceHandle<gpu::VertexBuffer> lineBuffer;
    uint32_t lineCount = 0;
    // The lines of the collection, two vertices each, written to the line
    // buffer once at the frame's end; room for kMaxLines made by create.
    std::vector<LineVertex> lineVertices;
    bool collectingLines = false;

    // Takes ownership of a created backend and makes the lighting program,
    // the pipelines and the line buffer. False only without a backend.
    bool create(std::unique_ptr<gpu::Device> backend);
    void beginFrame();
    // Writes the lines collected this frame to the line buffer, draws the
    // lines in portal mode with the camera's matrices and shows the frame.
    void endFrame(const Matrix& view, const Matrix& projection);
    void beginLines();
    // Lines past the room in one collection, and outside one, are dropped.
    void addLine(Vector3 first, Vector3 second, uint32_t colour);

    GraphicsDevice() = default;
    GraphicsDevice(const GraphicsDevice&) = delete;
    GraphicsDevice& operator=(const GraphicsDevice&) = delete;
    // The members go in reverse order, the device last.
    ~GraphicsDevice() = default;
};

// The pipeline coloured lines are drawn with: depth tested or over everything.
gpu::PipelineDesc linePipelineDesc(bool depthTest);

// Draws `lines` coloured lines from the buffer's start in world space with the
// camera's matrices through a pipeline of linePipelineDesc.
void drawLineList(gpu::Device& device, const gpu::Pipeline* pipeline, const gpu::VertexBuffer* buffer, uint32_t lines,
                  const Matrix& view, const Matrix& projection);

}  // namespace q
