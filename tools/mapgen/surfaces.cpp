#include "mapgen/surfaces.h"

#include <utility>

namespace q::mapgen {

const char* materialName(int material) {
    static const char* const names[kMaterialCount] = {
        "textures/gen/floor", "textures/gen/wall", "textures/gen/ceiling", "textures/gen/trim",
        "textures/gen/outer"};
    return material >= 0 && material < kMaterialCount ? names[material] : names[kWall];
}

namespace {

struct Quad {
    int axis;
    int side;  // +1: the face looks towards higher coordinates on axis
    int at;
    int lo[2], hi[2];  // on the two other axes, in the order (axis+1, axis+2) % 3
};

int materialFor(int axis, int side, int area, Fill air, Fill solid) {
    if (solid == Fill::Prop || air == Fill::OpeningAir) return kTrim;
    if (area == 0) return kOuter;
    if (axis == 2) return side > 0 ? kFloor : kCeiling;
    return kWall;
}

float texCoord(int value) { return static_cast<float>(value) / kUnitsPerRepeat; }

// +0.0 rather than -0.0, so the file never shows "-0".
float clean(float v) { return v == 0.0f ? 0.0f : v; }

void emitQuad(const Quad& q, std::vector<MeshSurface>& byMaterial, int material, int maxVertices) {
    const int u = (q.axis + 1) % 3, w = (q.axis + 2) % 3;
    // Corners counter-clockwise seen from the side the face looks to.
    int corners[4][2] = {{q.lo[0], q.lo[1]}, {q.hi[0], q.lo[1]}, {q.hi[0], q.hi[1]}, {q.lo[0], q.hi[1]}};
    if (q.side < 0) std::swap(corners[1], corners[3]);
    std::vector<MeshSurface>& list = byMaterial;
    if (list.empty() || list.back().vertices.size() + 4 > static_cast<size_t>(maxVertices)) {
        list.emplace_back();
        list.back().material = material;
    }
    MeshSurface& s = list.back();
    const uint16_t base = static_cast<uint16_t>(s.vertices.size());
    for (auto& c : corners) {
        int p[3];
        p[q.axis] = q.at;
        p[u] = c[0];
        p[w] = c[1];
        FileVertex v{};
        v.x = static_cast<float>(p[0]);
        v.y = static_cast<float>(p[1]);
        v.z = static_cast<float>(p[2]);
        // Upright images on walls: t runs down the wall.
        if (q.axis == 2) {
            v.s = texCoord(p[0]);
            v.t = clean(-texCoord(p[1]));
        } else {
            v.s = texCoord(q.axis == 0 ? p[1] : p[0]);
            v.t = clean(-texCoord(p[2]));
        }
        float n[3] = {0, 0, 0};
        n[q.axis] = static_cast<float>(q.side);
        v.nx = n[0];
        v.ny = n[1];
        v.nz = n[2];
        s.vertices.push_back(v);
    }
    const uint16_t tri[6] = {0, 1, 2, 0, 2, 3};
    for (uint16_t i : tri) s.indices.push_back(static_cast<uint16_t>(base + i));
}

}  // namespace

std::vector<AreaMesh> buildSurfaces(const Volume& v, int areaCount, int maxVertices) {
    // byArea[area][material]: surfaces of that material, each under the vertex limit.
    std::vector<std::vector<std::vector<MeshSurface>>> byArea(
        areaCount, std::vector<std::vector<MeshSurface>>(kMaterialCount));
    std::vector<int> keys;
    for (int axis = 0; axis < 3; ++axis) {
        const int u = (axis + 1) % 3, w = (axis + 2) % 3;
        const int nu = v.cells[u], nw = v.cells[w];
        keys.assign(static_cast<size_t>(nu) * nw, -1);
        for (int p = 1; p < v.cells[axis]; ++p) {
            for (int side = 1; side >= -1; side -= 2) {
                // Key per cross cell: area * kMaterialCount + material, or -1.
                for (int b = 0; b < nw; ++b)
                    for (int a = 0; a < nu; ++a) {
                        int lowCell[3], highCell[3];
                        lowCell[axis] = p - 1;
                        highCell[axis] = p;
                        lowCell[u] = highCell[u] = a;
                        lowCell[w] = highCell[w] = b;
                        const size_t lowAt = v.index(lowCell[0], lowCell[1], lowCell[2]);
                        const size_t highAt = v.index(highCell[0], highCell[1], highCell[2]);
                        const size_t solidAt = side > 0 ? lowAt : highAt;
                        const size_t airAt = side > 0 ? highAt : lowAt;
                        int key = -1;
                        if (v.label[solidAt] == kSolid && v.label[airAt] != kSolid) {
                            const int area = v.label[airAt];
                            key = area * kMaterialCount +
                                  materialFor(axis, side, area, v.fill[airAt], v.fill[solidAt]);
                        }
                        keys[static_cast<size_t>(b) * nu + a] = key;
                    }
                // Greedy rectangles of equal keys.
                for (int b = 0; b < nw; ++b)
                    for (int a = 0; a < nu; ++a) {
                        const int key = keys[static_cast<size_t>(b) * nu + a];
                        if (key < 0) continue;
                        int a1 = a + 1;
                        while (a1 < nu && keys[static_cast<size_t>(b) * nu + a1] == key) ++a1;
                        int b1 = b + 1;
                        for (; b1 < nw; ++b1) {
                            bool same = true;
                            for (int x = a; x < a1 && same; ++x) same = keys[static_cast<size_t>(b1) * nu + x] == key;
                            if (!same) break;
                        }
                        for (int y = b; y < b1; ++y)
                            for (int x = a; x < a1; ++x) keys[static_cast<size_t>(y) * nu + x] = -1;
                        Quad q{axis, side, v.coords[axis][p],
                               {v.coords[u][a], v.coords[w][b]},
                               {v.coords[u][a1], v.coords[w][b1]}};
                        const int area = key / kMaterialCount, material = key % kMaterialCount;
                        emitQuad(q, byArea[area][material], material, maxVertices);
                    }
            }
        }
    }
    std::vector<AreaMesh> out(areaCount);
    for (int area = 0; area < areaCount; ++area)
        for (auto& list : byArea[area])
            for (auto& s : list) out[area].surfaces.push_back(std::move(s));
    return out;
}

}  // namespace q::mapgen
