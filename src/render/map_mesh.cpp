#include "render/map_mesh.h"

#include <algorithm>
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

// The open buffer pair: vertices and indices gather here while they fit, then
// go to the device together.
class BufferPacker {
public:
    BufferPacker(gpu::Device& device, std::vector<MapMesh::Buffers>& buffers, std::string* error)
        : device_(device), buffers_(buffers), error_(error) {}

    std::vector<TangentVertex> vertices;
    std::vector<uint16_t> indices;

    // The index the open buffer will have once made.
    uint32_t openBuffer() const { return static_cast<uint32_t>(buffers_.size()); }
    bool fits(size_t moreVertices, size_t moreIndices) const {
        return vertices.size() + moreVertices <= kMaxBufferVertices &&
               indices.size() + moreIndices <= kMaxBufferIndices;
    }
    // Makes the open buffer pair, unless it is empty, and opens a new one.
    bool close() {
        if (vertices.empty()) return true;
        if (vertices.size() > UINT32_MAX / sizeof(TangentVertex)) {
            *error_ = "a surface of " + std::to_string(vertices.size()) + " vertices, more than a buffer holds";
            return false;
        }
        Buffers made;
        made.vertices = createFilledBuffer<gpu::VertexBuffer>(
            device_, vertices.data(), static_cast<uint32_t>(vertices.size() * sizeof(TangentVertex)));
        made.indices = createFilledBuffer<gpu::IndexBuffer>(
            device_, indices.data(), static_cast<uint32_t>(indices.size() * sizeof(uint16_t)));
        if (!made.vertices || !made.indices) {
            *error_ = "the graphics device refused a buffer of " +
                      std::to_string(made.vertices ? indices.size() * sizeof(uint16_t)
                                                   : vertices.size() * sizeof(TangentVertex)) +
                      " bytes for the map's surfaces";
            return false;
        }
        buffers_.push_back(std::move(made));
        vertices.clear();
        indices.clear();
        return true;
    }
    // Appends vertices (their tangents made from `localIndices`, which count
    // from the first of them) and those indices counted from the buffer's
    // first vertex; the caller has checked that they fit. Returns the first
    // vertex's place in the buffer.
    uint32_t append(const MapVertex* source, uint32_t count, const uint16_t* localIndices, uint32_t indexCount) {
        const uint32_t base = static_cast<uint32_t>(vertices.size());
        vertices.resize(base + count);
        tangentVerticesOf(source, count, localIndices, indexCount, vertices.data() + base);
        for (uint32_t i = 0; i < indexCount; ++i) indices.push_back(static_cast<uint16_t>(localIndices[i] + base));
        return base;
    }

private:
    using Buffers = MapMesh::Buffers;
    gpu::Device& device_;
    std::vector<Buffers>& buffers_;
    std::string* error_;
};

// Puts one mesh file's groups into the packer, a draw per group and buffer.
// The file's vertices go up as pieces: a piece is the part of the file in one
// buffer, its vertices re-indexed from 0 in the order its triangles first
// use them, so a file of more vertices than a buffer holds is cut between
// triangles. The draws are appended to `draws`, each group's first to
// `groupFirst`.
class MeshFilePacker {
public:
    MeshFilePacker(BufferPacker& packer, std::vector<MapMesh::Draw>& draws, std::vector<uint32_t>& groupFirst)
        : packer_(packer), draws_(draws), groupFirst_(groupFirst) {}

    bool add(const MeshModel& model) {
        const size_t vertexCount = model.vertices.size();
        size_t indexCount = 0;
        for (const MeshMaterialGroup& group : model.groups) indexCount += group.indices.size() / 3 * 3;
        // A file that fits no open buffer starts a buffer of its own, so that
        // it is cut only when no buffer holds it whole.
        const bool fitsWhole = packer_.fits(std::min<size_t>(vertexCount, kMaxBufferVertices),
                                            std::min<size_t>(indexCount, kMaxBufferIndices));
        if (!fitsWhole && !packer_.close()) return false;
        local_.assign(vertexCount, kNone);
        pieceVertices_.clear();
        pieceIndices_.clear();
        pieceFirstDraw_ = draws_.size();
        for (const MeshMaterialGroup& group : model.groups) {
            groupFirst_.push_back(static_cast<uint32_t>(draws_.size()));
            openDraw();
            for (size_t t = 0; t + 2 < group.indices.size(); t += 3) {
                const uint32_t corners[3] = {group.indices[t], group.indices[t + 1], group.indices[t + 2]};
                if (corners[0] >= vertexCount || corners[1] >= vertexCount || corners[2] >= vertexCount) continue;
                size_t fresh = 0;
                for (const uint32_t c : corners) fresh += local_[c] == kNone;
                // A corner named twice in one triangle is counted twice: more
                // room than it needs, never less.
                if (!packer_.fits(pieceVertices_.size() + fresh, pieceIndices_.size() + 3)) {
                    dropEmptyDraw();
                    flushPiece();
                    if (!packer_.close()) return false;
                    local_.assign(vertexCount, kNone);
                    openDraw();
                }
                for (const uint32_t c : corners) {
                    if (local_[c] == kNone) {
                        local_[c] = static_cast<uint32_t>(pieceVertices_.size());
                        const MeshVertex& v = model.vertices[c];
                        pieceVertices_.push_back({fromFileAxes(v.position.x, v.position.y, v.position.z),
                                                  fromFileAxes(v.normal.x, v.normal.y, v.normal.z), v.s, v.t});
                    }
                    pieceIndices_.push_back(static_cast<uint16_t>(local_[c]));
                }
                draws_.back().count += 3;
            }
            dropEmptyDraw();
        }
        flushPiece();
        return true;
    }

private:
    static constexpr uint32_t kNone = UINT32_MAX;

    // A new draw in the open buffer, for the current group, from where the
    // piece's indices stand.
    void openDraw() {
        MapMesh::Draw draw;
        draw.buffer = packer_.openBuffer();
        draw.firstIndex = static_cast<uint32_t>(pieceIndices_.size());
        draws_.push_back(draw);
    }

    // A group's draw that got no triangle (the group's were all in the last
    // buffer, or it had none) is not kept.
    void dropEmptyDraw() {
        if (!draws_.empty() && draws_.back().count == 0 && draws_.size() > groupFirst_.back()) draws_.pop_back();
    }

    // The piece into the open buffer: its draws' indices then count from the
    // buffer's first, and reach every vertex of the piece.
    void flushPiece() {
        if (!pieceVertices_.empty()) {
            const uint32_t firstIndex = static_cast<uint32_t>(packer_.indices.size());
            const uint32_t base = packer_.append(pieceVertices_.data(), static_cast<uint32_t>(pieceVertices_.size()),
                                                 pieceIndices_.data(), static_cast<uint32_t>(pieceIndices_.size()));
            for (size_t d = pieceFirstDraw_; d < draws_.size(); ++d) {
                draws_[d].firstIndex += firstIndex;
                draws_[d].vertexCount = base + static_cast<uint32_t>(pieceVertices_.size());
            }
        }
        pieceVertices_.clear();
        pieceIndices_.clear();
        pieceFirstDraw_ = draws_.size();
    }

    BufferPacker& packer_;
    std::vector<MapMesh::Draw>& draws_;
    std::vector<uint32_t>& groupFirst_;
    std::vector<uint32_t> local_;  // per vertex of the file: its index in the piece, or kNone
    std::vector<MapVertex> pieceVertices_;
    std::vector<uint16_t> pieceIndices_;
    size_t pieceFirstDraw_ = 0;
};

}  // namespace

bool MapMesh::build(gpu::Device& device, const MapData& map, SurfacePipelines* pipelines, std::string* error) {
    buffers_.clear();
    draws_.clear();
    areaFirst_.assign(1, 0);
    modelFirst_.clear();
    meshFileFirstGroup_.clear();
    meshGroupFirst_.clear();
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
    // a full buffer is made and a new one opened. A surface is never split.
    BufferPacker packer(device, buffers_, error);
    bool ok = true;
    eachSurface(map, [&](const Surface& surface) {
        const uint32_t count = drawnIndices(surface);
        if (!ok || count == 0) return;
        const uint32_t vertexCount = static_cast<uint32_t>(surface.vertexCount);
        if (!packer.vertices.empty() && !packer.fits(vertexCount, count)) {
            ok = packer.close();
            if (!ok) return;
        }
        Draw draw;
        draw.buffer = packer.openBuffer();
        draw.firstIndex = static_cast<uint32_t>(packer.indices.size());
        draw.count = count;
        draw.material = static_cast<uint32_t>(surface.material);
        // A surface alone in its buffer keeps its indices; after others they
        // count from the buffer's first vertex, below 65,536 as it fits.
        const uint32_t base = packer.append(map.verticesOf(surface), vertexCount, map.indicesOf(surface), count);
        draw.vertexCount = base + vertexCount;
        draws_.push_back(draw);
    });
    MeshFilePacker meshPacker(packer, draws_, meshGroupFirst_);
    for (const MeshFile& file : map.meshModels.files) {
        meshFileFirstGroup_.push_back(static_cast<uint32_t>(meshGroupFirst_.size()));
        ok = ok && meshPacker.add(file.model);
    }
    meshFileFirstGroup_.push_back(static_cast<uint32_t>(meshGroupFirst_.size()));
    meshGroupFirst_.push_back(static_cast<uint32_t>(draws_.size()));
    ok = ok && packer.close();
    if (!ok) {
        buffers_.clear();
        draws_.clear();
        areaFirst_.assign(1, 0);
        meshFileFirstGroup_.clear();
        meshGroupFirst_.clear();
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
