#include "map/shadow_volume_builder.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "map/light_entities.h"
#include "map/map_data.h"
#include "map/material_definitions.h"
#include "math/matrix.h"

namespace q {

namespace {

// A parallel light's shadows are cast from this far out along its direction:
// far beyond any map, near enough for the rays to keep their precision.
constexpr float kParallelDistance = 131072.0f;

float length(Vector3 v) { return std::sqrt(dot(v, v)); }

bool holds(const Bounds& bounds, Vector3 p) {
    return p.x >= bounds.mins.x && p.x <= bounds.maxs.x && p.y >= bounds.mins.y && p.y <= bounds.maxs.y &&
           p.z >= bounds.mins.z && p.z <= bounds.maxs.z;
}

// The map's axes (y up, a mirror of the files') and the files' (z up,
// right-handed) differ by the exchange of y and z, its own inverse.
Vector3 exchanged(Vector3 v) { return {v.x, v.z, v.y}; }

// Welds corners by their exact position: the same point of two triangles,
// whatever else their vertices carry (normals, texture coordinates), is one
// point, so that the triangles' shared edges are found.
class PointPairs {
public:
    PointPairs(Vector3 light, float extrusion, ShadowVolume* out) : light_(light), extrusion_(extrusion), out_(*out) {}

    // The even index of the point's pair; -1 at the light itself (no ray).
    int32_t pairOf(Vector3 p) {
        std::array<uint32_t, 3> key;
        std::memcpy(key.data(), &p, sizeof key);
        const uint64_t hash = (uint64_t{key[0]} * 0x9E3779B97F4A7C15ull) ^ (uint64_t{key[1]} << 21) ^ key[2];
        auto [at, added] = index_.try_emplace(hash, Entry{key, 0});
        if (!added && at->second.key == key) return at->second.even;
        if (!added) return pairOfSlow(p, key);  // a hash shared by two points
        at->second.even = push(p);
        return at->second.even;
    }

private:
    struct Entry {
        std::array<uint32_t, 3> key;
        int32_t even;
    };

    int32_t pairOfSlow(Vector3 p, const std::array<uint32_t, 3>& key) {
        for (const auto& [k, even] : collided_)
            if (k == key) return even;
        collided_.push_back({key, push(p)});
        return collided_.back().second;
    }

    int32_t push(Vector3 p) {
        const Vector3 ray = p - light_;
        const float distance = length(ray);
        if (!(distance > 0.0f)) return -1;
        const auto even = static_cast<int32_t>(out_.points.size());
        out_.points.push_back(p);
        out_.points.push_back(p + ray * (extrusion_ / distance));
        return even;
    }

    Vector3 light_;
    float extrusion_;
    ShadowVolume& out_;
    std::unordered_map<uint64_t, Entry> index_;
    std::vector<std::pair<std::array<uint32_t, 3>, int32_t>> collided_;
};

void addTriangle(ShadowVolume& out, int32_t a, int32_t b, int32_t c) {
    out.indices.insert(out.indices.end(), {a, b, c});
}

// Triangle corners in the files' axes, facing as the files' surfaces do.
class CornerList {
public:
    explicit CornerList(std::vector<Vector3>* corners) : corners_(*corners) {}

    // Corners in a model's own space, carried into map space by `placement`;
    // `mirrored` when the model's own axes are the map's (a mirror of the
    // files', so its triangles face the other way round there).
    void add(Vector3 a, Vector3 b, Vector3 c, const Matrix& placement, bool mirrored) {
        const bool swap = mirrored == (determinant(placement) < 0.0f);
        const Vector3 pa = exchanged(transformCoord(a, placement));
        const Vector3 pb = exchanged(transformCoord(b, placement));
        const Vector3 pc = exchanged(transformCoord(c, placement));
        corners_.insert(corners_.end(), {pa, swap ? pc : pb, swap ? pb : pc});
    }

private:
    std::vector<Vector3>& corners_;
};

}  // namespace

bool castsShadows(const MapLight& light, const MaterialDefinitions& definitions) {
    return !light.noShadows && !isAmbientLightMaterial(definitions, light.material);
}

Vector3 shadowCastingPoint(const MapLight& light) {
    const Vector3 centre = transformNormal(light.center, light.axes);
    if (!light.parallel) return light.origin + centre;
    const float distance = length(centre);
    // A parallel light without a direction comes from straight above.
    const Vector3 direction = distance > 0.0f ? centre * (1.0f / distance) : Vector3{0.0f, 1.0f, 0.0f};
    return light.origin + direction * kParallelDistance;
}

float shadowExtrusion(const MapLight& light) {
    // Any point of the box lies within its diagonal of any other.
    return length(light.bounds.maxs - light.bounds.mins) + 1.0f;
}

void buildShadowVolume(const std::vector<Vector3>& corners, Vector3 light, float extrusion, ShadowVolume* out) {
    out->points.clear();
    out->indices.clear();
    PointPairs pairs(light, extrusion, out);
    std::vector<std::array<int32_t, 3>> caps;
    for (size_t t = 0; t + 2 < corners.size(); t += 3) {
        const Vector3 a = corners[t], b = corners[t + 1], c = corners[t + 2];
        if (!(dot(cross(b - a, c - a), light - a) > 0.0f)) continue;  // away from the light, or no area
        const std::array<int32_t, 3> cap{pairs.pairOf(a), pairs.pairOf(b), pairs.pairOf(c)};
        if (cap[0] < 0 || cap[1] < 0 || cap[2] < 0 || cap[0] == cap[1] || cap[1] == cap[2] || cap[0] == cap[2])
            continue;
        caps.push_back(cap);
    }
    // Each edge's balance: how many more times the near cap runs it from its
    // lower point than back. Edges shared by two caps the usual way balance
    // out; what is left is the outline, whose sides close the volume.
    std::unordered_map<uint64_t, int> balance;
    auto key = [](int32_t from, int32_t to) {
        return (uint64_t(uint32_t(std::min(from, to))) << 32) | uint32_t(std::max(from, to));
    };
    for (const auto& cap : caps)
        for (int k = 0; k < 3; ++k) {
            const int32_t from = cap[static_cast<size_t>(k)], to = cap[static_cast<size_t>((k + 1) % 3)];
            balance[key(from, to)] += from < to ? 1 : -1;
        }
    // In the caps' order, so that the same triangles make the same file.
    for (const auto& cap : caps)
        for (int k = 0; k < 3; ++k) {
            const int32_t from = cap[static_cast<size_t>(k)], to = cap[static_cast<size_t>((k + 1) % 3)];
            int& left = balance[key(from, to)];
            const int32_t low = std::min(from, to), high = std::max(from, to);
            for (; left != 0; left += left > 0 ? -1 : 1) {
                // The near cap runs u to v here: the side runs it back.
                const int32_t u = left > 0 ? low : high, v = left > 0 ? high : low;
                addTriangle(*out, v, u, u + 1);
                addTriangle(*out, v, u + 1, v + 1);
            }
        }
    out->sidesEnd = static_cast<int>(out->indices.size());
    for (const auto& cap : caps) addTriangle(*out, cap[0] + 1, cap[2] + 1, cap[1] + 1);
    out->farCapEnd = static_cast<int>(out->indices.size());
    for (const auto& cap : caps) addTriangle(*out, cap[0], cap[1], cap[2]);
}

void buildModelShadowVolume(const MapData& map, const MapLight& light, ShadowVolume* out) {
    const Vector3 from = shadowCastingPoint(light);
    std::vector<Vector3> corners;
    CornerList list(&corners);
    for (const EntityModel& model : map.entityModels) {
        const Bounds placed = model.bounds.transformed(model.placement);
        if (Bounds::disjoint(placed, light.bounds) || holds(placed, from)) continue;
        for (const SurfaceGroup& group : model.geometry.surfaceGroups)
            for (const Surface& surface : group.surfaces) {
                const MaterialLook& look = map.materials[static_cast<size_t>(surface.material)].look;
                if (look.blend != MaterialBlend::Opaque || look.alphaTest > 0.0f) continue;
                const MapVertex* vertices = map.verticesOf(surface);
                const uint16_t* indices = map.indicesOf(surface);
                for (int i = 0; i + 2 < surface.indexCount; i += 3)
                    list.add(vertices[indices[i]].position, vertices[indices[i + 1]].position,
                             vertices[indices[i + 2]].position, model.placement, true);
            }
    }
    const MeshModels& meshes = map.meshModels;
    for (const PlacedMesh& placed : meshes.placed) {
        if (Bounds::disjoint(placed.bounds, light.bounds) || holds(placed.bounds, from)) continue;
        const MeshModel& model = meshes.files[static_cast<size_t>(placed.file)].model;
        for (size_t g = 0; g < model.groups.size() && g < placed.groupMaterials.size(); ++g) {
            if (!meshes.materials[static_cast<size_t>(placed.groupMaterials[g])].drawn) continue;
            const std::vector<uint32_t>& indices = model.groups[g].indices;
            for (size_t i = 0; i + 2 < indices.size(); i += 3)
                list.add(model.vertices[indices[i]].position, model.vertices[indices[i + 1]].position,
                         model.vertices[indices[i + 2]].position, placed.placement, false);
        }
    }
    // Made in the files' axes, where the triangles face as they are wound,
    // and brought back: the volume then faces as the file's own do.
    buildShadowVolume(corners, exchanged(from), shadowExtrusion(light), out);
    for (Vector3& p : out->points) p = exchanged(p);
    out->light = -1;
}

}  // namespace q
