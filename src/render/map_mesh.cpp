#include "render/map_mesh.h"

#include <cstring>
#include <type_traits>

#include "render/tangent_vertex.h"

namespace q {

namespace {

constexpr uint32_t kMaxBufferVertices = 65536;  // what 16-bit indices reach
// Indices of one buffer, so that its size stays well inside 32 bits.
constexpr uint32_t kMaxBufferIndices = 1u << 24;

// Every buffer of a mesh is made here, with its whole contents.
template <class BufferType>
gpu::DeviceHandle<BufferType> createFilledBuffer(gpu::Device& device, const void* data, uint32_t bytes) {
    if constexpr (std::is_same_v<BufferType, gpu::VertexBuffer>)
        return device.createVertexBuffer(bytes, gpu::BufferUse::Static, data);
    else
        return device.createIndexBuffer(bytes, gpu::BufferUse::Static, data);
}

// The surfaces in the order they are drawn, areas first, then the entity models.
template <class Visit>
void eachSurface(const MapData& map, Visit&& visit) {
    for (const Area& area : map.areas)
        for (const SurfaceGroup& group : area.surfaceGroups)
            for (const Surface& surface : group.surfaces) visit(surface);
    for (const EntityModel& model : map.entityModels)
        for (const SurfaceGroup& group : model.geometry.surfaceGroups)
            for (const Surface& surface : group.surfaces) visit(surface);
}

uint32_t drawnIndices(const Surface& surface) { return static_cast<uint32_t>(surface.indexCount / 3 * 3); }

}  // namespace

bool MapMesh::build(gpu::Device& device, const MapData& map, SurfacePipelines* pipelines, std::string* error) {
    buffers_.clear();
    draws_.clear();
    areaFirst_.assign(1, 0);
    modelFirst_.clear();
    looks_.clear();
    textures.assign(map.materials.size(), nullptr);
    for (const Material& material : map.materials) {
        looks_.push_back({{}, material.look.blend, material.look.alphaTest});
        if (pipelines) {
            pipelines->prepare(material.look.blend, material.look.alphaTest);
            pipelines->prepare(material.look.blend, 0.0f);
        }
    }

    // Surfaces go into the open buffer while they fit, each draw naming it;
    // a full buffer is made and a new one opened.
    std::vector<TangentVertex> vertices;
    std::vector<uint16_t> indices;
    auto close = [&]() {
        if (vertices.empty()) return true;
        if (vertices.size() > UINT32_MAX / sizeof(TangentVertex)) {
            *error = "a surface of " + std::to_string(vertices.size()) + " vertices, more than a buffer holds";
            return false;
        }
        Buffers made;
        made.vertices = createFilledBuffer<gpu::VertexBuffer>(
            device, vertices.data(), static_cast<uint32_t>(vertices.size() * sizeof(TangentVertex)));
        made.indices = createFilledBuffer<gpu::IndexBuffer>(device, indices.data(),
                                                            static_cast<uint32_t>(indices.size() * sizeof(uint16_t)));
        if (!made.vertices || !made.indices) {
            *error = "the graphics device refused a buffer of " +
                     std::to_string(made.vertices ? indices.size() * sizeof(uint16_t)
                                                  : vertices.size() * sizeof(TangentVertex)) +
                     " bytes for the map's surfaces";
            return false;
        }
        buffers_.push_back(std::move(made));
        vertices.clear();
        indices.clear();
        return true;
    };
    bool ok = true;
    eachSurface(map, [&](const Surface& surface) {
        const uint32_t count = drawnIndices(surface);
        if (!ok || count == 0) return;
        const uint32_t vertexCount = static_cast<uint32_t>(surface.vertexCount);
        if (!vertices.empty() && (vertices.size() + vertexCount > kMaxBufferVertices ||
                                  indices.size() + count > kMaxBufferIndices)) {
            ok = close();
            if (!ok) return;
        }
        const uint32_t base = static_cast<uint32_t>(vertices.size());
        Draw draw;
        draw.buffer = static_cast<uint32_t>(buffers_.size());
        draw.firstIndex = static_cast<uint32_t>(indices.size());
        draw.count = count;
        draw.vertexCount = base + vertexCount;
        draw.material = static_cast<uint32_t>(surface.material);
        const uint16_t* read = map.indicesOf(surface);
        vertices.resize(base + vertexCount);
        tangentVerticesOf(map.verticesOf(surface), vertexCount, read, count, vertices.data() + base);
        // A surface alone in its buffer keeps its indices; after others they
        // count from the buffer's first vertex, below 65,536 as it fits.
        for (uint32_t i = 0; i < count; ++i) indices.push_back(static_cast<uint16_t>(read[i] + base));
        draws_.push_back(draw);
    });
    ok = ok && close();
    if (!ok) {
        buffers_.clear();
        draws_.clear();
        areaFirst_.assign(1, 0);
        return false;
    }

    // Each area's and model's draws in turn, as eachSurface put them.
    areaFirst_.clear();
    modelFirst_.clear();
    uint32_t next = 0;
    auto countDraws = [&](const Area& area) {
        for (const SurfaceGroup& group : area.surfaceGroups)
            for (const Surface& surface : group.surfaces)
                if (drawnIndices(surface) > 0) ++next;
    };
    for (const Area& area : map.areas) {
        areaFirst_.push_back(next);
        countDraws(area);
    }
    areaFirst_.push_back(next);
    for (const EntityModel& model : map.entityModels) {
        modelFirst_.push_back(next);
        countDraws(model.geometry);
    }
    modelFirst_.push_back(next);
    return true;
}

}  // namespace q
