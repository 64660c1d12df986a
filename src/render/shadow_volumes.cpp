#include "render/shadow_volumes.h"

#include <cmath>

#include "map/light_entities.h"
#include "map/map_data.h"
#include "map/shadow_volume_builder.h"

namespace q {

namespace {

constexpr uint32_t kMaxChunkPoints = 65536;  // what 16-bit indices reach

constexpr const char* kVolumeVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(std140, row_major) uniform Uniforms {
    mat4 worldViewProjection;
};
void main() {
    vec4 clip = vec4(position, 1.0) * worldViewProjection;
    gl_Position = vec4(clip.x, clip.y, 2.0 * clip.z - clip.w, clip.w);
}
)";

// Nothing reaches the colour buffer (colour writes are off); the stage is
// there because a program needs one.
constexpr const char* kVolumeFragment = R"(#version 330 core
out vec4 fragColour;
void main() { fragColour = vec4(0.0); }
)";

float length(Vector3 v) { return std::sqrt(dot(v, v)); }

// The points of a volume as they are drawn (see the header): near points
// moved inside their occluder, far points beyond the light's box.
std::vector<Vector3> drawnPoints(const ShadowVolume& volume, Vector3 light, float extrusion) {
    std::vector<Vector3> drawn(volume.points.size());
    for (size_t i = 0; i + 1 < volume.points.size(); i += 2) {
        const Vector3 nearPoint = volume.points[i];
        Vector3 away = volume.points[i + 1] - nearPoint;
        if (length(away) < 1e-3f) away = nearPoint - light;
        const float distance = length(away);
        away = distance > 0.0f ? away * (1.0f / distance) : Vector3{0.0f, -1.0f, 0.0f};
        drawn[i] = nearPoint + away * kNearCapInset;
        drawn[i + 1] = nearPoint + away * extrusion;
    }
    return drawn;
}

}  // namespace

gpu::ProgramDesc shadowVolumeProgramDesc() {
    return {kVolumeVertex, kVolumeFragment, gpu::VertexFormat::Position, sizeof(ShadowVolumeUniforms)};
}

gpu::PipelineDesc shadowVolumePipelineDesc(const gpu::Program* program) {
    gpu::PipelineDesc desc;
    desc.program = program;
    desc.format = gpu::VertexFormat::Position;
    desc.depthTest = gpu::DepthTest::LessOrEqual;
    desc.depthWrite = false;
    desc.colourWrite = false;
    desc.cull = gpu::Cull::None;
    desc.stencilTest = gpu::StencilTest::Always;
    // Depth-fail: a face behind the surface counts, a back face into the
    // shadow, a front face out of it.
    desc.stencilFront.depthFail = gpu::StencilOp::DecrementWrap;
    desc.stencilBack.depthFail = gpu::StencilOp::IncrementWrap;
    desc.depthClamp = true;
    return desc;
}

bool ShadowVolumes::build(gpu::Device& device, const MapData& map, const MaterialDefinitions& definitions,
                          std::string* error) {
    chunks_.clear();
    lightFirst_.clear();
    points_ = triangles_ = 0;
    program_ = device.createProgram(shadowVolumeProgramDesc());
    if (program_) pipeline_ = device.createPipeline(shadowVolumePipelineDesc(program_.get()));
    if (!pipeline_) {
        *error = "the shadow volumes' program or pipeline was refused by the device";
        return false;
    }
    ShadowVolume models;
    for (const MapLight& light : map.lights) {
        lightFirst_.push_back(static_cast<uint32_t>(chunks_.size()));
        if (!castsShadows(light, definitions)) continue;
        const Vector3 from = shadowCastingPoint(light);
        const float extrusion = shadowExtrusion(light);
        if (light.shadowVolume >= 0 &&
            !upload(device, map.shadowVolumes[static_cast<size_t>(light.shadowVolume)], from, extrusion, error))
            return false;
        buildModelShadowVolume(map, light, &models);
        if (!models.indices.empty() && !upload(device, models, from, extrusion, error)) return false;
    }
    lightFirst_.push_back(static_cast<uint32_t>(chunks_.size()));
    return true;
}

bool ShadowVolumes::upload(gpu::Device& device, const ShadowVolume& volume, Vector3 light, float extrusion,
                           std::string* error) {
    const std::vector<Vector3> drawn = drawnPoints(volume, light, extrusion);
    // Which chunk last took each point, and its index there.
    std::vector<uint32_t> chunkOf(drawn.size(), UINT32_MAX), localOf(drawn.size(), 0);
    std::vector<Vector3> points;
    std::vector<uint16_t> indices;
    auto flush = [&]() {
        if (indices.empty()) return true;
        Chunk chunk;
        chunk.vertices = device.createVertexBuffer(static_cast<uint32_t>(points.size() * sizeof(Vector3)),
                                                   gpu::BufferUse::Static, points.data());
        chunk.indices = device.createIndexBuffer(static_cast<uint32_t>(indices.size() * sizeof(uint16_t)),
                                                 gpu::BufferUse::Static, indices.data());
        if (!chunk.vertices || !chunk.indices) {
            *error = "a shadow volume's buffer of " + std::to_string(points.size()) + " points was refused";
            return false;
        }
        chunk.indexCount = static_cast<uint32_t>(indices.size());
        chunk.vertexCount = static_cast<uint32_t>(points.size());
        points_ += points.size();
        triangles_ += indices.size() / 3;
        chunks_.push_back(std::move(chunk));
        points.clear();
        indices.clear();
        return true;
    };
    for (size_t t = 0; t + 2 < volume.indices.size(); t += 3) {
        uint32_t fresh = 0;
        for (size_t k = 0; k < 3; ++k)
            if (chunkOf[static_cast<size_t>(volume.indices[t + k])] != static_cast<uint32_t>(chunks_.size())) ++fresh;
        if (points.size() + fresh > kMaxChunkPoints && !flush()) return false;
        for (size_t k = 0; k < 3; ++k) {
            const auto point = static_cast<size_t>(volume.indices[t + k]);
            if (chunkOf[point] != static_cast<uint32_t>(chunks_.size())) {
                chunkOf[point] = static_cast<uint32_t>(chunks_.size());
                localOf[point] = static_cast<uint32_t>(points.size());
                points.push_back(drawn[point]);
            }
            indices.push_back(static_cast<uint16_t>(localOf[point]));
        }
    }
    return flush();
}

bool ShadowVolumes::hasVolumes(size_t light) const {
    return light + 1 < lightFirst_.size() && lightFirst_[light] < lightFirst_[light + 1];
}

void ShadowVolumes::draw(gpu::Device& device, size_t light, const Matrix& world, const Matrix& view,
                         const Matrix& projection, const gpu::ScreenRect& scissor) const {
    if (!hasVolumes(light)) return;
    const ShadowVolumeUniforms uniforms{world * view * projection};
    for (uint32_t c = lightFirst_[light]; c < lightFirst_[light + 1]; ++c) {
        const Chunk& chunk = chunks_[c];
        gpu::DrawCall call;
        call.pipeline = pipeline_.get();
        call.vertices = chunk.vertices.get();
        call.indices = chunk.indices.get();
        call.uniforms = gpu::UniformBlock(uniforms);
        call.count = chunk.indexCount;
        call.vertexCount = chunk.vertexCount;
        call.scissor = scissor;
        device.draw(call);
    }
}

}  // namespace q
