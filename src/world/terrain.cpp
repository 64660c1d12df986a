#include "world/terrain.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "math/matrix.h"
#include "gpu/device.h"
#include "platform/report.h"
#include "render/tangent_vertex.h"
#include "render/texture_file.h"

namespace q {

namespace {

constexpr int kLowestHeight = -496;  // heights run from -496 to -369

// The height query is fixed to the 128 x 128 grid the scene builds: 64 cells on
// each side of the origin, whatever the cell counts.
constexpr float kQueryOffset = 8192.0f;
constexpr int kQueryHalfCells = 64;
constexpr int kQueryCellShift = 7;  // 128 units per cell

// Cell index along one axis for a world coordinate: truncation toward zero of
// coordinate + 8192, then an arithmetic shift, so -8192.5 still lands in cell 0
// and anything further out goes down. The value is clamped before the
// conversion, which is undefined for floats an int cannot hold (and NaN).
int queryCell(float coordinate) {
    float shifted = coordinate + kQueryOffset;
    if (std::isnan(shifted)) shifted = 0.0f;
    shifted = std::clamp(shifted, -1048576.0f, 1048576.0f);
    return static_cast<int>(shifted) >> kQueryCellShift;
}

}  // namespace

Terrain::Terrain(gpu::Device* borrowedDevice, uint16_t requestedCellsX, uint16_t requestedCellsZ, bool textureNow) {
    cellsX = std::clamp<uint16_t>(requestedCellsX, 1, kMaxCells);
    cellsZ = std::clamp<uint16_t>(requestedCellsZ, 1, kMaxCells);
    vertsX = static_cast<uint16_t>(cellsX + 1);
    vertsZ = static_cast<uint16_t>(cellsZ + 1);
    device = borrowedDevice;

    if (device && textureNow) loadTexture({});
    std::vector<TerrainVertex> vertices;
    std::vector<uint16_t> indices;
    build(&vertices, &indices);
    if (device) upload(vertices, indices);
}

void Terrain::loadTexture(const std::string& mapDir) {
    if (!device) return;
    std::string error;
    if (!mapDir.empty()) {
        // Beside the map, as its material images are; a file there that is
        // unusable is what the warning names.
        const std::string besideMap = (std::filesystem::path(mapDir) / kTextureFile).string();
        std::error_code missing;
        if (std::filesystem::exists(besideMap, missing)) {
            texture = loadTextureFile(*device, besideMap.c_str(), &error);
            if (!texture) warn((error + "; the terrain is drawn without its texture").c_str());
            return;
        }
    }
    texture = loadTextureFile(*device, kTextureFile, &error);
    if (texture) return;
    std::error_code missing;
    if (!mapDir.empty() && !std::filesystem::exists(kTextureFile, missing))
        error = std::string(kTextureFile) + ": not found beside the map (in " + mapDir +
                ") nor in the working directory";
    // The ground still draws, lit but untextured.
    warn((error + "; the terrain is drawn without its texture").c_str());
}

void Terrain::build(std::vector<TerrainVertex>* vertices, std::vector<uint16_t>* indices) {
    heights.assign(static_cast<size_t>(vertsX) * vertsZ, 0.0f);
    faceNormals.assign(static_cast<size_t>(cellsX) * cellsZ * 2, Vector3{});
    vertices->assign(static_cast<size_t>(vertsX) * vertsZ, TerrainVertex{});
    indices->clear();
    indices->reserve(static_cast<size_t>(cellsX) * cellsZ * 6);

    // Row by row, column by column: this order fixes which draw each vertex gets.
    TerrainRandom random;
    for (int i = 0; i < vertsZ; ++i) {
        for (int j = 0; j < vertsX; ++j) {
            const float y = static_cast<float>(random.next() % 128 + kLowestHeight);
            TerrainVertex& v = (*vertices)[static_cast<size_t>(i) * vertsX + static_cast<size_t>(j)];
            v.position = {kOrigin + kCellSize * static_cast<float>(j), y,
                          kOrigin + kCellSize * static_cast<float>(i)};
            // The texture covers one cell, mirrored from each cell to the next.
            v.u = static_cast<float>(j % 2);
            v.v = static_cast<float>(i % 2);
            heights[static_cast<size_t>(i) * vertsX + static_cast<size_t>(j)] = y;
        }
    }

    auto vertexIndex = [&](int column, int row) {
        return static_cast<uint16_t>(row * vertsX + column);
    };
    auto addTriangle = [&](uint16_t a, uint16_t b, uint16_t c, Vector3* faceNormal) {
        TerrainVertex* vs = vertices->data();
        const Vector3 p0 = vs[a].position;
        Vector3 n = cross(vs[b].position - p0, vs[c].position - p0);
        n = normalized(n);
        vs[a].normal = vs[a].normal + n;
        vs[b].normal = vs[b].normal + n;
        vs[c].normal = vs[c].normal + n;
        *faceNormal = n;
        indices->push_back(a);
        indices->push_back(b);
        indices->push_back(c);
    };
    for (int i = 0; i < cellsZ; ++i) {
        for (int g = 0; g < cellsX; ++g) {
            Vector3* cellNormals = &faceNormals[(static_cast<size_t>(i) * cellsX + static_cast<size_t>(g)) * 2];
            addTriangle(vertexIndex(g, i), vertexIndex(g, i + 1), vertexIndex(g + 1, i + 1), &cellNormals[0]);
            addTriangle(vertexIndex(g, i), vertexIndex(g + 1, i + 1), vertexIndex(g + 1, i), &cellNormals[1]);
        }
    }
    // Each vertex normal is the sum of the normals of the one to six triangles
    // that share it, made unit length.
    for (TerrainVertex& v : *vertices) v.normal = normalized(v.normal);
}

void Terrain::upload(const std::vector<TerrainVertex>& vertices, const std::vector<uint16_t>& indices) {
    std::vector<TangentVertex> lit(vertices.size());
    tangentVerticesOf(vertices.data(), static_cast<uint32_t>(vertices.size()), indices.data(),
                  static_cast<uint32_t>(indices.size()), lit.data());
    const uint32_t vertexBytes = static_cast<uint32_t>(lit.size() * sizeof(TangentVertex));
    const uint32_t indexBytes = static_cast<uint32_t>(indices.size() * sizeof(uint16_t));
    vertexBuffer = device->createVertexBuffer(vertexBytes, gpu::BufferUse::Static, lit.data());
    indexBuffer = device->createIndexBuffer(indexBytes, gpu::BufferUse::Static, indices.data());
    const bool filled = vertexBuffer && indexBuffer;
    if (!filled) {
        // Half-made geometry would draw garbage: without both buffers the ground
        // is simply not drawn (the height query does not need them).
        warn("The terrain's vertex or index buffer could not be made; the ground is not drawn");
        vertexBuffer.reset();
        indexBuffer.reset();
    }
}

float Terrain::heightAt(Vector3 p) const {
    // Onto the grid first: x and z from -8192 to the far edge of the last cell
    // (8192 for the 128 x 128 grid). A NaN is left to queryCell.
    const float low = -kQueryOffset;
    p.x = std::clamp(p.x, low, low + static_cast<float>(cellsX << kQueryCellShift));
    p.z = std::clamp(p.z, low, low + static_cast<float>(cellsZ << kQueryCellShift));
    const int cx = std::clamp(queryCell(p.x), 0, cellsX - 1);
    const int cz = std::clamp(queryCell(p.z), 0, cellsZ - 1);
    const float h = height(cz, cx);
    const float x0 = static_cast<float>((cx - kQueryHalfCells) * (1 << kQueryCellShift));
    const float z0 = static_cast<float>((cz - kQueryHalfCells) * (1 << kQueryCellShift));

    // Triangle B lies below the cell's diagonal (nearer the x edge), A on and above it.
    const Vector3 n = std::fabs(p.z - z0) < std::fabs(p.x - x0) ? faceNormal(cz, cx, 1)
                                                                : faceNormal(cz, cx, 0);
    // The plane of that triangle through the cell's low corner (x0, h, z0).
    return (n.x * (x0 - p.x) + n.y * h + n.z * (z0 - p.z)) / n.y;
}

void Terrain::draw(const SurfaceDraw& context) const {
    if (!vertexBuffer || !indexBuffer) return;
    gpu::DrawCall call;
    call.pipeline = context.pipelines.opaque();
    call.vertices = vertexBuffer.get();
    call.indices = indexBuffer.get();
    call.textures.surfaceImage = texture.get();
    call.uniforms = context.uniforms;
    call.count = static_cast<uint32_t>(cellsX) * cellsZ * 6;
    call.vertexCount = static_cast<uint32_t>(vertsX) * vertsZ;
    context.device.draw(call);
}

}  // namespace q
