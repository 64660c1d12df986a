#include "math/plane.h"

#include "math/matrix.h"

namespace q {

Plane Plane::fromPoints(Vector3 p1, Vector3 p2, Vector3 p3) {
    // (p1 - p2) x (p1 - p3) equals (p2 - p1) x (p3 - p1).
    const Vector3 n = normalized(cross(p1 - p2, p1 - p3));
    return {n.x, n.y, n.z, -dot(n, p1)};
}

Plane transformed(const Plane& in, const Matrix& m) {
    const auto& r = m.m;
    return {in.a * r[0][0] + in.b * r[1][0] + in.c * r[2][0] + in.d * r[3][0],
            in.a * r[0][1] + in.b * r[1][1] + in.c * r[2][1] + in.d * r[3][1],
            in.a * r[0][2] + in.b * r[1][2] + in.c * r[2][2] + in.d * r[3][2],
            in.a * r[0][3] + in.b * r[1][3] + in.c * r[2][3] + in.d * r[3][3]};
}

}  // namespace q
