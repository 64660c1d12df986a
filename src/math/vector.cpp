#include "math/vector.h"

#include <cmath>

#include "math/matrix.h"

namespace q {

namespace {
constexpr float kFloatEpsilon = 1.1920929e-7f;
constexpr float kSmallestNormal = 1.1754944e-38f;
}  // namespace

Vector3 normalized(Vector3 v) {
    const float s = v.x * v.x + v.y * v.y + v.z * v.z;
    if (std::fabs(s - 1.0f) <= kFloatEpsilon) return v;
    if (!(s > kSmallestNormal)) return {0.0f, 0.0f, 0.0f};
    const float inv = 1.0f / std::sqrt(s);
    return {v.x * inv, v.y * inv, v.z * inv};
}

Vector3 transformCoord(Vector3 p, const Matrix& m) {
    const auto& r = m.m;
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
    return {x, y, z};
}

Vector3 transformNormal(Vector3 p, const Matrix& m) {
    const auto& r = m.m;
    return {p.x * r[0][0] + p.y * r[1][0] + p.z * r[2][0],
            p.x * r[0][1] + p.y * r[1][1] + p.z * r[2][1],
            p.x * r[0][2] + p.y * r[1][2] + p.z * r[2][2]};
}

}  // namespace q
