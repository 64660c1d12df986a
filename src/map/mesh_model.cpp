#include "map/mesh_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

namespace q {

size_t MeshModel::triangleCount() const {
    size_t n = 0;
    for (const MeshMaterialGroup& g : groups) n += g.indices.size() / 3;
    return n;
}

size_t MeshBuilder::KeyHash::operator()(const std::array<uint32_t, 8>& key) const {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t word : key) h = (h ^ word) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29));
}

size_t MeshBuilder::group(const std::string& material, const std::string& image) {
    const auto [it, added] = groupIndex_.try_emplace(material + '\0' + image, model_->groups.size());
    if (added) model_->groups.push_back({material, image, {}});
    return it->second;
}

uint32_t MeshBuilder::vertexFor(const MeshVertex& v) {
    // -0 and +0 are one corner; the bits of anything else are its identity.
    auto bits = [](float f) { return std::bit_cast<uint32_t>(f == 0.0f ? 0.0f : f); };
    const std::array<uint32_t, 8> key{bits(v.position.x), bits(v.position.y), bits(v.position.z),
                                      bits(v.normal.x),   bits(v.normal.y),   bits(v.normal.z),
                                      bits(v.s),          bits(v.t)};
    const auto [it, added] = index_.try_emplace(key, static_cast<uint32_t>(model_->vertices.size()));
    if (added) model_->vertices.push_back(v);
    return it->second;
}

void MeshBuilder::addTriangle(size_t group, const Vector3 (&positions)[3], const float (&st)[3][2],
                              const Vector3 (*normals)[3]) {
    Vector3 faceNormal = normalized(cross(positions[1] - positions[0], positions[2] - positions[0]));
    if (!(dot(faceNormal, faceNormal) > 0.5f)) faceNormal = {0.0f, 0.0f, 1.0f};  // no area (or not finite)
    for (int k = 0; k < 3; ++k) {
        MeshVertex v;
        v.position = positions[k];
        v.normal = faceNormal;
        if (normals) {
            const Vector3 given = normalized((*normals)[k]);
            if (dot(given, given) > 0.5f) v.normal = given;
        }
        v.s = st[k][0];
        v.t = st[k][1];
        model_->groups[group].indices.push_back(vertexFor(v));
    }
}

void MeshBuilder::warn(std::string message) {
    if (model_->warnings.size() < kMaxWarnings)
        model_->warnings.push_back(std::move(message));
    else
        ++warningsLeftOut_;
}

void MeshBuilder::finish() {
    if (warningsLeftOut_ > 0)
        model_->warnings.push_back("... and " + std::to_string(warningsLeftOut_) + " more faults of the same file");
    auto& groups = model_->groups;
    groups.erase(std::remove_if(groups.begin(), groups.end(),
                                [](const MeshMaterialGroup& g) { return g.indices.empty(); }),
                 groups.end());
    model_->bounds = Bounds::empty();
    for (const MeshVertex& v : model_->vertices) model_->bounds.grow(v.position);
}

}  // namespace q
