#include "render/tangent_vertex.h"

#include <cmath>

namespace q {

namespace {

// Any unit vector perpendicular to n (n need not be unit length).
Vector3 perpendicularTo(Vector3 n) {
    const Vector3 axis = std::fabs(n.x) < 0.9f ? Vector3{1.0f, 0.0f, 0.0f} : Vector3{0.0f, 1.0f, 0.0f};
    const Vector3 p = cross(n, axis);
    const float length = std::sqrt(dot(p, p));
    return length > 0.0f ? p * (1.0f / length) : Vector3{1.0f, 0.0f, 0.0f};
}

}  // namespace

void tangentVerticesOf(const MapVertex* vertices, uint32_t count, const uint16_t* indices, uint32_t indexCount,
                   TangentVertex* out) {
    // The outputs' tangents first hold sums: xyz of the u directions of a
    // vertex's triangles, w of how the v directions lean (its sign is the
    // handedness).
    for (uint32_t i = 0; i < count; ++i) {
        out[i].position = vertices[i].position;
        out[i].normal = vertices[i].normal;
        out[i].u = vertices[i].u;
        out[i].v = vertices[i].v;
        out[i].tangent[0] = out[i].tangent[1] = out[i].tangent[2] = out[i].tangent[3] = 0.0f;
    }
    for (uint32_t t = 0; t + 2 < indexCount; t += 3) {
        const uint32_t a = indices[t], b = indices[t + 1], c = indices[t + 2];
        if (a >= count || b >= count || c >= count) continue;
        const MapVertex& p = vertices[a];
        const MapVertex& q = vertices[b];
        const MapVertex& r = vertices[c];
        const Vector3 e1 = q.position - p.position;
        const Vector3 e2 = r.position - p.position;
        const float du1 = q.u - p.u, dv1 = q.v - p.v;
        const float du2 = r.u - p.u, dv2 = r.v - p.v;
        const float area = du1 * dv2 - du2 * dv1;
        if (area == 0.0f || !std::isfinite(area)) continue;
        const float inverse = 1.0f / area;
        const Vector3 alongU = (e1 * dv2 - e2 * dv1) * inverse;
        const Vector3 alongV = (e2 * du1 - e1 * du2) * inverse;
        for (const uint32_t corner : {a, b, c}) {
            float* sum = out[corner].tangent;
            sum[0] += alongU.x;
            sum[1] += alongU.y;
            sum[2] += alongU.z;
            // Which side of the normal-tangent plane v runs on, weighed by
            // the triangle: the sign of the sum gives the handedness.
            sum[3] += dot(cross(out[corner].normal, alongU), alongV);
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        float* tangent = out[i].tangent;
        const Vector3 n = out[i].normal;
        const float nn = dot(n, n);
        Vector3 along{tangent[0], tangent[1], tangent[2]};
        // Made perpendicular to the normal (Gram-Schmidt), then unit length.
        if (nn > 0.0f) along = along - n * (dot(n, along) / nn);
        const float length = std::sqrt(dot(along, along));
        if (length > 1e-12f && std::isfinite(length))
            along = along * (1.0f / length);
        else
            along = perpendicularTo(nn > 0.0f ? n : Vector3{0.0f, 0.0f, 1.0f});
        const float handedness = tangent[3] < 0.0f ? -1.0f : 1.0f;
        tangent[0] = along.x;
        tangent[1] = along.y;
        tangent[2] = along.z;
        tangent[3] = handedness;
    }
}

}  // namespace q
