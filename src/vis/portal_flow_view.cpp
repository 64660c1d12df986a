#include "vis/portal_flow_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "vis/frustum.h"

namespace q {

namespace {

// Every cut of a convex polygon by a plane adds at most one point; rounding
// near a plane can make more, which the scratch room catches.
constexpr int kScratch = 2 * kMaxPortalPart;

// How far outside a passed view a point may lie and still count as inside, per
// unit of its distance from the eye: about a fifteenth of a pixel across the
// screen's width.
constexpr float kInsideSlack = 1e-4f;

}  // namespace

int portalPartInView(const Vector3* corners, const Frustum& view, Vector3 (&out)[kMaxPortalPart]) {
    Vector3 first[kScratch], second[kScratch];
    std::copy_n(corners, 4, first);
    Vector3* in = first;
    Vector3* kept = second;
    int count = 4;
    for (int slot = kLeft; slot <= kBottom && count > 0; ++slot) {
        const Plane& plane = view[slot];
        int next = 0;
        for (int i = 0; i < count; ++i) {
            const Vector3 a = in[i];
            const Vector3 b = in[(i + 1) % count];
            const float da = plane.distance(a);
            const float db = plane.distance(b);
            if (next + 2 > kScratch) return -1;
            if (da <= 0.0f) kept[next++] = a;
            if ((da <= 0.0f) != (db <= 0.0f)) kept[next++] = a + (b - a) * (da / (da - db));
        }
        count = next;
        std::swap(in, kept);
    }
    if (count > kMaxPortalPart) return -1;
    std::copy_n(in, count, out);
    return count;
}

float polygonArea(const Vector3* points, int count) {
    Vector3 sum{};
    for (int i = 1; i + 1 < count; ++i) sum = sum + cross(points[i] - points[0], points[i + 1] - points[0]);
    return 0.5f * std::sqrt(dot(sum, sum));
}

bool insidePassedView(const Vector3* points, int count, const PassedView& passed, Vector3 eye) {
    if (count < 0) return false;
    for (int i = 0; i < count; ++i) {
        const Vector3 fromEye = points[i] - eye;
        const float slack = kInsideSlack * std::sqrt(dot(fromEye, fromEye));
        for (const Plane& side : passed.sides)
            if (side.distance(points[i]) > slack) return false;
    }
    return true;
}

}  // namespace q
