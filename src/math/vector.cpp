#include "math/vector.h"

#include <cmath>

#include "math/matrix.h"

namespace q {

namespace {
constexpr float kFloatEpsilon = 1.1920929e-7f;
constexpr float kSmallestNormal = 1.1754944e-38f;
}  // namespace

Vector3* D3DXVec3Normalize(Vector3* out, const Vector3* v) {
    const Vector3 in = *v;
    const float s = in.x * in.x + in.y * in.y + in.z * in.z;
    if (std::fabs(s - 1.0f) <= kFloatEpsilon) {
        *out = in;
    } else if (!(s > kSmallestNormal)) {
        *out = {0.0f, 0.0f, 0.0f};
    } else {
        const float inv = 1.0f / std::sqrt(s);
        *out = {in.x * inv, in.y * inv, in.z * inv};
    }
    return out;
}

Vector3* D3DXVec3TransformCoord(Vector3* out, const Vector3* v, const Matrix* m) {
    const Vector3 p = *v;
    const auto& r = m->m;
    float x = p.x * r[0][0] + p.y * r[1][0] + p.z * r[2][0] + r[3][0];
    float y = p.x * r[0][1] + p.y * r[1][1] + p.z * r[2][1] + r[3][1];
    float z = p.x * r[0][2] + p.y * r[1][2] + p.z * r[2][2] + r[3][2];
    const float w = p.x * r[0][3] + p.y * r[1][3] + p.z * r[2][3] + r[3][3];
    if (std::fabs(w - 1.0f) > kFloatEpsilon) {
        const float inv = 1.0f / w;
        x *= inv;
        y *= inv;
        z *= inv;
    }
    *out = {x, y, z};
    return out;
}

Vector3* D3DXVec3TransformNormal(Vector3* out, const Vector3* v, const Matrix* m) {
    const Vector3 p = *v;
    const auto& r = m->m;
    *out = {p.x * r[0][0] + p.y * r[1][0] + p.z * r[2][0],
            p.x * r[0][1] + p.y * r[1][1] + p.z * r[2][1],
            p.x * r[0][2] + p.y * r[1][2] + p.z * r[2][2]};
    return out;
}

Vector3 normalized(Vector3 v) {
    D3DXVec3Normalize(&v, &v);
    return v;
}

Vector3 transformCoord(Vector3 v, const Matrix& m) {
    D3DXVec3TransformCoord(&v, &v, &m);
    return v;
}

Vector3 transformNormal(Vector3 v, const Matrix& m) {
    D3DXVec3TransformNormal(&v, &v, &m);
    return v;
}

}  // namespace q
