#pragma once
// Drawable surfaces: every face between a solid cell and an air cell, drawn in
// the area of the air, merged into rectangles, two triangles each, with texture
// coordinates laid out in map units (one repeat per 128).

#include <cstdint>
#include <vector>

#include "mapgen/volume.h"

namespace q::mapgen {

enum Material { kFloor, kWall, kCeiling, kTrim, kOuter, kMaterialCount };

// The name written in the map; the texture file is this with ".jpg".
const char* materialName(int material);

constexpr int kUnitsPerRepeat = 128;
// Indices are 16-bit: a surface never holds more vertices than this.
constexpr int kMaxSurfaceVertices = 65532;

// One vertex in the order the file lists it (z up): position, texture
// coordinate, normal.
struct FileVertex {
    float x, y, z, s, t, nx, ny, nz;
};

struct MeshSurface {
    int material = 0;
    std::vector<FileVertex> vertices;
    std::vector<uint16_t> indices;
};

struct AreaMesh {
    std::vector<MeshSurface> surfaces;
};

// One mesh per area, 0 to areaCount - 1; materials in a fixed order within each.
std::vector<AreaMesh> buildSurfaces(const Volume& volume, int areaCount,
                                    int maxVertices = kMaxSurfaceVertices);

}  // namespace q::mapgen
