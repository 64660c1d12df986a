#pragma once
// The ground under the map instances: a square grid of cells, 128 units each,
// centred on the origin, with vertex heights from the terrain's own random
// sequence (the same ground on every run). Drawn with the lighting program every
// frame before the maps; asked by the movement step for the height under the eye.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "math/vector.h"
#include "gpu/device.h"
#include "render/surface_pipelines.h"

namespace q {

namespace gpu {
class Device;
class VertexBuffer;
class IndexBuffer;
class Texture;
}  // namespace gpu

// The sequence the heights are drawn from: state starts at 1, each draw sets
// state = state * 214013 + 2531011 (mod 2^32) and yields bits 16..30. The
// ground depends on this exact sequence, so it is ours and never the C library's.
class TerrainRandom {
public:
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

private:
    uint32_t state_ = 1;
};

// The terrain's vertices use the map surfaces' layout, and go to the GPU as
// they do (render/lit_vertex.h).
using TerrainVertex = MapVertex;

class Terrain {
public:
    // 16-bit indices address at most 256 x 256 vertices.
    static constexpr uint16_t kMaxCells = 255;
    static constexpr float kCellSize = 128.0f;
    static constexpr float kOrigin = -8192.0f;  // x and z of vertex (0, 0)
    static constexpr const char* kTextureFile = "Grass.bmp";

    uint16_t cellsX = 0;
    uint16_t cellsZ = 0;
    uint16_t vertsX = 0;
    uint16_t vertsZ = 0;
    // heights[i * vertsX + j]: y of the vertex in row i (along z), column j (along x).
    std::vector<float> heights;
    // faceNormals[(i * cellsX + g) * 2 + t]: unit normal of triangle t (0 = A,
    // 1 = B) of the cell in row i, column g.
    std::vector<Vector3> faceNormals;
    gpu::DeviceHandle<gpu::VertexBuffer> vertexBuffer;
    gpu::DeviceHandle<gpu::IndexBuffer> indexBuffer;
    gpu::DeviceHandle<gpu::Texture> texture;  // null: drawn untextured
    gpu::Device* device = nullptr;              // borrowed from the scene

    // Builds the heights, normals and device buffers and, unless the texture
    // is to wait for the map (loadTexture), loads "Grass.bmp" from the working
    // directory. Cell counts are kept within 1..kMaxCells. With a null device
    // only the heights and normals are built (the height query works, nothing
    // is drawn). The buffers and the texture are released with the terrain.
    Terrain(gpu::Device* device, uint16_t cellsX, uint16_t cellsZ, bool textureNow = true);
    ~Terrain() = default;
    Terrain(const Terrain&) = delete;
    Terrain& operator=(const Terrain&) = delete;

    float height(int row, int column) const {
        return heights[static_cast<size_t>(row) * vertsX + static_cast<size_t>(column)];
    }
    Vector3 faceNormal(int row, int column, int triangle) const {
        return faceNormals[(static_cast<size_t>(row) * cellsX + static_cast<size_t>(column)) * 2 +
                           static_cast<size_t>(triangle)];
    }

    // The y of the ground under p.x, p.z (p.y is ignored). Outside the grid it is
    // the height at the nearest point of the grid's edge: the ground drawn ends
    // there, and an edge plane carried outwards would be an invisible slope.
    float heightAt(Vector3 p) const;

    // One indexed draw of the whole grid through the opaque look's pipeline,
    // with the context's uniform block (the grid is in world space already).
    // Draws nothing without buffers.
    void draw(const SurfaceDraw& context) const;

    // Loads "Grass.bmp" beside the map (mapDir, as the map's name gives it;
    // empty: the working directory) and, when it is not there, from the
    // working directory. When neither is usable one warning says where it was
    // looked for, and the ground is drawn untextured.
    void loadTexture(const std::string& mapDir);

private:
    void build(std::vector<TerrainVertex>* vertices, std::vector<uint16_t>* indices);
    void upload(const std::vector<TerrainVertex>& vertices, const std::vector<uint16_t>& indices);
};

}  // namespace q
