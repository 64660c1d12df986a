#pragma once
// A map's GPU side, built from its model (map/map_data.h): the vertices and
// indices of every area and every placed entity model in a few buffers, a
// texture per material (given by the texture cache as images arrive) and the
// pipelines of the materials' looks. A reload builds a new one with the new
// model; this one goes with the old.
//
// The device's indices are 16 bits and a draw has no base vertex, so the
// surfaces are packed into buffers of at most 65,536 vertices each (a
// surface is never split) and their indices are counted from their buffer's
// first vertex. A map of up to 65,536 vertices has one pair of buffers.
//
// Each mesh file the map source's entities place goes up once, after the
// surfaces, brought into the map's axes as the surfaces are (see
// meshDrawPlacement), with a run of draws per material group. A file is kept whole in one buffer
// where it fits in one; a larger one is cut between triangles, its groups
// drawn once per buffer they reach, their indices counted in that buffer.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gpu/device.h"
#include "map/map_data.h"
#include "render/surface_pipelines.h"

namespace q {

// What places a mesh file's uploaded vertices: the placement's matrix, which
// starts from the file's axes, without that first step (the exchange of the
// second and third axes, done at upload: rows 1 and 2 swapped back). Every
// draw's matrix then keeps its handedness, as the surfaces' do, so a vertex's
// tangent frame (tangent_vertex.h) holds wherever it is placed.
inline Matrix meshDrawPlacement(const Matrix& placement) {
    Matrix m = placement;
    for (int c = 0; c < 4; ++c) std::swap(m.m[1][c], m.m[2][c]);
    return m;
}

class MapMesh {
public:
    // One surface's draw: its buffer pair, its indices in it and the vertices
    // those may reach from the buffer's first.
    struct Draw {
        uint32_t buffer = 0;
        uint32_t firstIndex = 0;
        uint32_t count = 0;  // whole triangles only
        uint32_t vertexCount = 0;
        uint32_t material = 0;  // a mesh group's: 0, each placement names its own
    };
    struct Range {
        const Draw* begin;
        const Draw* end;
    };
    struct Buffers {
        gpu::DeviceHandle<gpu::VertexBuffer> vertices;
        gpu::DeviceHandle<gpu::IndexBuffer> indices;
    };

    // Uploads the model's surfaces and prepares, on `pipelines` when given,
    // each material's look (and its untested form, for a surface whose image
    // is missing). False with *error when the device refuses a buffer; the
    // mesh is then empty. Every material starts untextured.
    bool build(gpu::Device& device, const MapData& map, SurfacePipelines* pipelines, std::string* error);

    // The texture of each material of the map, by index; null draws it
    // untextured (and without its alpha test: no texels to test).
    std::vector<const gpu::Texture*> textures;
    // Beside them, what the map's light passes read: each material's normal
    // and specular map (null: none, the vertex normal and no specular term),
    // and each light's (MapData::lights) projected image and falloff image
    // (null: a round light, a smooth falloff). Empty until the load fills them.
    std::vector<const gpu::Texture*> normalMaps;
    std::vector<const gpu::Texture*> specularMaps;
    std::vector<const gpu::Texture*> lightImages;
    std::vector<const gpu::Texture*> lightFalloffs;
    std::vector<uint8_t> ambientLights;  // per light: 1 when it lights without direction

    Range areaDraws(size_t area) const { return rangeOf(areaFirst_, area); }
    Range entityModelDraws(size_t model) const { return rangeOf(modelFirst_, model); }
    // The draws of group `group` of mesh file `file` (map.meshModels.files).
    Range meshGroupDraws(size_t file, size_t group) const {
        if (file + 1 >= meshFileFirstGroup_.size()) return {nullptr, nullptr};
        const size_t first = meshFileFirstGroup_[file] + group;
        if (first >= meshFileFirstGroup_[file + 1]) return {nullptr, nullptr};
        return rangeOf(meshGroupFirst_, first);
    }
    const Buffers& buffers(uint32_t index) const { return buffers_[index]; }
    size_t bufferCount() const { return buffers_.size(); }
    size_t materialCount() const { return looks_.size(); }
    const MaterialLook& look(uint32_t material) const { return looks_[material]; }

private:
    Range rangeOf(const std::vector<uint32_t>& first, size_t i) const {
        if (i + 1 >= first.size()) return {nullptr, nullptr};
        return {draws_.data() + first[i], draws_.data() + first[i + 1]};
    }

    std::vector<Buffers> buffers_;
    std::vector<Draw> draws_;
    std::vector<uint32_t> areaFirst_;   // area i's draws: [areaFirst_[i], areaFirst_[i + 1])
    std::vector<uint32_t> modelFirst_;  // likewise for the entity models
    // Mesh file f's groups: [meshFileFirstGroup_[f], meshFileFirstGroup_[f + 1])
    // of the groups of every file in turn, whose draws meshGroupFirst_ gives
    // as areaFirst_ does an area's.
    std::vector<uint32_t> meshFileFirstGroup_;
    std::vector<uint32_t> meshGroupFirst_;
    std::vector<MaterialLook> looks_;   // per material, without the image name
};

}  // namespace q
