#pragma once
// What every mesh model a reader accepts promises, whatever its bytes: three
// indices a triangle, each naming a vertex; no group without triangles;
// finite positions inside the bounds; unit normals.

#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "map/mesh_model.h"

namespace q::fuzz {

inline void checkMeshModel(const MeshModel& model) {
    for (const MeshMaterialGroup& group : model.groups) {
        if (group.indices.empty()) broken("a group without triangles", group.material);
        if (group.indices.size() % 3 != 0) broken("indices not three a triangle", std::to_string(group.indices.size()));
        for (uint32_t i : group.indices)
            if (i >= model.vertices.size()) broken("index past the vertices", std::to_string(i));
    }
    const Bounds& b = model.bounds;
    for (const MeshVertex& v : model.vertices) {
        const Vector3 p = v.position;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) broken("position not finite", "");
        if (p.x < b.mins.x || p.y < b.mins.y || p.z < b.mins.z || p.x > b.maxs.x || p.y > b.maxs.y || p.z > b.maxs.z)
            broken("position outside the bounds", "");
        const float length = std::sqrt(dot(v.normal, v.normal));
        if (!(std::fabs(length - 1.0f) < 1e-3f)) broken("normal not of unit length", std::to_string(length));
        if (!std::isfinite(v.s) || !std::isfinite(v.t)) broken("texture coordinate not finite", "");
    }
}

}  // namespace q::fuzz
