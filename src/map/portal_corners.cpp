#include "map/portal_corners.h"

#include <algorithm>
#include <limits>

namespace q {

namespace {

// The polygon's normal by Newell's sum, which weighs every edge: unlike the
// cross product of two edges it stays right when some points are in line.
Vector3 newellNormal(const std::vector<Vector3>& points) {
    Vector3 n{};
    for (size_t i = 0; i < points.size(); ++i) {
        const Vector3& a = points[i];
        const Vector3& b = points[(i + 1) % points.size()];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

}  // namespace

std::array<Vector3, 4> rectangleAround(const std::vector<Vector3>& points) {
    const Vector3 normal = normalized(newellNormal(points));
    if (!(dot(normal, normal) > 0.5f))  // all in line, or not finite
        return {points[0], points[1], points[2], points[3]};

    // Across: horizontal in the plane (y is up); for a floor or ceiling
    // portal, along x. Then (across, along, normal) turn like (x, y, z).
    const Vector3 up{0.0f, 1.0f, 0.0f};
    Vector3 across = cross(up, normal);
    across = dot(across, across) > 1e-6f ? normalized(across) : normalized(cross(normal, Vector3{0.0f, 0.0f, 1.0f}));
    const Vector3 along = cross(normal, across);

    const Vector3 origin = points[0];
    float lowA = std::numeric_limits<float>::max(), highA = -lowA, lowB = lowA, highB = -lowA;
    for (const Vector3& p : points) {
        const Vector3 d = p - origin;
        lowA = std::min(lowA, dot(d, across));
        highA = std::max(highA, dot(d, across));
        lowB = std::min(lowB, dot(d, along));
        highB = std::max(highB, dot(d, along));
    }
    auto corner = [&](float a, float b) { return origin + across * a + along * b; };
    // Anticlockwise seen from the side the normal points to, as the points go.
    return {corner(lowA, lowB), corner(highA, lowB), corner(highA, highB), corner(lowA, highB)};
}

}  // namespace q
