#pragma once
// The vertices lit surfaces go to the GPU as: a map vertex and its tangent.
// The tangent is made here, when a mesh is built, from each surface's own
// triangles, so the light passes can turn a normal map's texels into the
// surface's space without working it out per pixel.

#include <cstdint>

#include "gpu/device.h"
#include "map/map_data.h"

namespace q {

struct TangentVertex {
    Vector3 position;
    Vector3 normal;
    float u = 0.0f;
    float v = 0.0f;
    // Along increasing u in the surface; w is +1 or -1 so that
    // cross(normal, tangent) * w runs along increasing v.
    float tangent[4] = {1.0f, 0.0f, 0.0f, 1.0f};
};
static_assert(sizeof(TangentVertex) == gpu::vertexBytes(gpu::VertexFormat::LitTextured));

// Writes `count` vertices to `out` with the tangents their triangles give:
// the direction of increasing u across each triangle, summed over the
// triangles a vertex is a corner of, then made perpendicular to its normal.
// Indices at or past `count` are skipped. A vertex whose triangles give no
// direction (no area in u and v, or none at all) takes one perpendicular to
// its normal.
void tangentVerticesOf(const MapVertex* vertices, uint32_t count, const uint16_t* indices, uint32_t indexCount,
                   TangentVertex* out);

}  // namespace q
