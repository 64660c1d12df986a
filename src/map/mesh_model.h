#pragma once
// A mesh model as its file gives it, before anything goes to the GPU: the
// vertices of its triangles and the triangles grouped by the material they
// show. The readers of each format (ASE, LWO) fill it, converting the
// format's own axes and winding once, so that whoever draws it sees one
// convention:
//   - positions and normals are in the map's file axes: z up, right-handed,
//     in the entity's own space (fromFileAxes carries them into the viewer's);
//   - a triangle (a, b, c) faces where (b - a) x (c - a) points, as the
//     area-portal file's surfaces do;
//   - texture coordinates run as the surfaces' do: s to the right, t down the
//     image from its top row.

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "math/bounds.h"
#include "math/vector.h"

namespace q {

struct MeshVertex {
    Vector3 position;
    Vector3 normal;  // unit length; the file's where it gives them, else the triangle's own
    float s = 0.0f;
    float t = 0.0f;
};

struct MeshMaterialGroup {
    std::string material;  // the material (ASE) or surface (LWO) name as the file writes it
    std::string image;     // the colour image path the file names for it, as written; may be empty
    std::vector<uint32_t> indices;  // three per triangle, into MeshModel::vertices
};

struct MeshModel {
    std::vector<MeshVertex> vertices;
    std::vector<MeshMaterialGroup> groups;  // groups without triangles are left out
    Bounds bounds = Bounds::empty();        // of the vertices; empty when there are none
    // Faults that cost some of the model but not all of it ("file:line: ..."
    // or "file: chunk X at byte N: ..."), one line each.
    std::vector<std::string> warnings;

    size_t triangleCount() const;
};

// What the readers share: collects triangles into a MeshModel, one vertex per
// distinct corner, grouped by material.
class MeshBuilder {
public:
    explicit MeshBuilder(MeshModel* model) : model_(model) {}
    // The group of this material, made on first use; returns its index.
    size_t group(const std::string& material, const std::string& image);
    // Corners in the model's winding. Without normals (null) each corner takes
    // the triangle's own, or +z for a triangle with no area.
    void addTriangle(size_t group, const Vector3 (&positions)[3], const float (&st)[3][2],
                     const Vector3 (*normals)[3]);
    // Records a fault that cost part of the model. The first kMaxWarnings are
    // kept; finish() counts the rest in one line, so a file of a million
    // faulty objects does not make a million messages.
    void warn(std::string message);
    static constexpr size_t kMaxWarnings = 32;
    // Drops empty groups, sets the bounds and counts the warnings left out.
    void finish();

private:
    uint32_t vertexFor(const MeshVertex& vertex);
    MeshModel* model_;
    struct KeyHash {
        size_t operator()(const std::array<uint32_t, 8>& key) const;
    };
    // Index of each distinct vertex, keyed by its bits.
    std::unordered_map<std::array<uint32_t, 8>, uint32_t, KeyHash> index_;
    // Index of each group, keyed by its material, a zero byte and its image.
    std::unordered_map<std::string, size_t> groupIndex_;
    size_t warningsLeftOut_ = 0;
};

}  // namespace q
