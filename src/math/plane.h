#pragma once
// Plane a*x + b*y + c*z + d = 0; signed distance of p is a*p.x + b*p.y + c*p.z + d.

#include "math/vector.h"

namespace q {

struct Matrix;

struct Plane {
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
    float d = 0.0f;

    constexpr Vector3 normal() const { return {a, b, c}; }
    constexpr float distance(Vector3 p) const { return a * p.x + b * p.y + c * p.z + d; }

    // (n, -(n . p)); n is not normalised.
    static constexpr Plane fromPointNormal(Vector3 p, Vector3 n) { return {n.x, n.y, n.z, -dot(n, p)}; }

    // normal = normalise((p2 - p1) x (p3 - p1)), d = -(normal . p1). A degenerate
    // triangle gives (0, 0, 0, 0).
    static Plane fromPoints(Vector3 p1, Vector3 p2, Vector3 p3);
};

constexpr bool operator==(const Plane& l, const Plane& r) {
    return l.a == r.a && l.b == r.b && l.c == r.c && l.d == r.d;
}

// The row vector (a, b, c, d) * M. To carry a plane by a point transform T pass
// the transpose of T's inverse.
Plane transformed(const Plane& p, const Matrix& m);

}  // namespace q
