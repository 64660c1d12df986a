#pragma once
// The device with what every frame draws with: the lighting program, the lit
// surfaces' pipelines, the coloured lines' program, frame begin and end, and
// the frame's list of coloured lines (frustums while F is held), drawn over
// the scene at the end of the frame in portal mode.

#include <cstdint>
#include <memory>
#include <vector>

#include "math/matrix.h"
#include "math/vector.h"
#include "gpu/device.h"
#include "render/map_light_pipelines.h"
#include "render/surface_pipelines.h"

namespace q {

struct LineVertex {
    float x, y, z;
    uint32_t colour;  // 0xAARRGGBB
};
static_assert(sizeof(LineVertex) == gpu::vertexBytes(gpu::VertexFormat::ColouredLine));

constexpr uint32_t kLineBufferBytes = 1048576;
constexpr uint32_t kMaxLines = kLineBufferBytes / (2 * sizeof(LineVertex));  // 32768

// The coloured lines' uniform block (std140).
struct LineUniforms {
    Matrix viewProjection;  // the world to clip space
};

// Draws gpu::VertexFormat::ColouredLine in world space in the vertex colour.
gpu::ProgramDesc lineProgramDesc();

class GraphicsDevice {
public:
    GraphicsDevice() = default;
    GraphicsDevice(const GraphicsDevice&) = delete;
    GraphicsDevice& operator=(const GraphicsDevice&) = delete;
    // The members go in reverse order, the device last.
    ~GraphicsDevice() = default;

    // Takes ownership of a created backend and makes the programs, the
    // pipelines and the line buffer. False only without a backend.
    bool create(std::unique_ptr<gpu::Device> backend);

    // Null before create.
    gpu::Device* device() const { return device_.get(); }
    // The pipelines of the lit surfaces' looks; a map's load adds those of
    // its materials.
    SurfacePipelines& surfaces() { return surfaces_; }
    const SurfacePipelines& surfaces() const { return surfaces_; }
    // The depth and light passes of the map-light mode; a map's load adds its looks.
    MapLightPipelines& mapLights() { return mapLights_; }
    const MapLightPipelines& mapLights() const { return mapLights_; }
    // Null when the device refused it (and no surface is drawn).
    const gpu::Program* lightingProgram() const { return lighting_.get(); }
    // For every draw of coloured lines (frustums, portal outlines).
    const gpu::Program* lineProgram() const { return lineProgram_.get(); }

    void beginFrame();
    // Writes the lines collected this frame to the line buffer, draws the
    // lines in portal mode with the camera's matrices and shows the frame.
    void endFrame(const Matrix& view, const Matrix& projection, bool portalMode);

    // Starts a collection of lines; the last one stays drawn until the next.
    void beginLines();
    // Lines past the room in one collection, and outside one, are dropped.
    void addLine(Vector3 first, Vector3 second, uint32_t colour);
    uint32_t lineCount() const { return lineCount_; }
    // The lines collected so far, two vertices each (lineCount() of them).
    const LineVertex* collectedLines() const { return lineVertices_.data(); }
    const gpu::VertexBuffer* lineBuffer() const { return lineBuffer_.get(); }
    const gpu::Pipeline* linePipeline() const { return linePipeline_.get(); }

private:
    // Declared first so that it goes last: everything below is made on it.
    std::unique_ptr<gpu::Device> device_;
    gpu::DeviceHandle<gpu::Program> lighting_;
    gpu::DeviceHandle<gpu::Program> lineProgram_;
    SurfacePipelines surfaces_;
    MapLightPipelines mapLights_;
    // The frustum lines: depth tested against the scene.
    gpu::DeviceHandle<gpu::Pipeline> linePipeline_;
    gpu::DeviceHandle<gpu::VertexBuffer> lineBuffer_;
    uint32_t lineCount_ = 0;
    // The lines of the collection, two vertices each, written to the line
    // buffer once at the frame's end; room for kMaxLines made by create.
    std::vector<LineVertex> lineVertices_;
    bool collectingLines_ = false;
};

// The pipeline coloured lines are drawn with: depth tested or over everything.
gpu::PipelineDesc linePipelineDesc(const gpu::Program* lineProgram, bool depthTest);

// Draws `lines` coloured lines from the buffer's start in world space with the
// camera's matrices through a pipeline of linePipelineDesc.
void drawLineList(gpu::Device& device, const gpu::Pipeline* pipeline, const gpu::VertexBuffer* buffer, uint32_t lines,
                  const Matrix& view, const Matrix& projection);

}  // namespace q
