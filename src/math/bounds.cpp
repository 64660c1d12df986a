#include "math/bounds.h"

namespace q {

void Bounds::setEmpty() {
    mins = {10000.0f, 10000.0f, 10000.0f};
    maxs = {-10000.0f, -10000.0f, -10000.0f};
}

Bounds Bounds::empty() {
    Bounds b;
    b.setEmpty();
    return b;
}

void Bounds::grow(const Bounds& other) {
    // Empty takes the other whole: its ±10000 would otherwise stay as a
    // bound of anything that lies beyond it (a copy placed 20000 out).
    if (isEmpty()) {
        if (!other.isEmpty()) *this = other;
        return;
    }
    for (int i = 0; i < 3; ++i) {
        if (other.mins[i] < mins[i]) mins[i] = other.mins[i];
        if (other.maxs[i] > maxs[i]) maxs[i] = other.maxs[i];
    }
}

void Bounds::grow(Vector3 point) { grow(Bounds{point, point}); }

Bounds Bounds::aroundPoint(Vector3 centre, Vector3 half) { return {centre - half, centre + half}; }

Bounds Bounds::transformed(const Matrix& m) const {
    if (isEmpty()) return *this;
    Bounds out = empty();
    for (int i = 0; i < 8; ++i) {
        const Vector3 corner{(i & 1) ? maxs.x : mins.x, (i & 2) ? maxs.y : mins.y, (i & 4) ? maxs.z : mins.z};
        out.grow(transformCoord(corner, m));
    }
    return out;
}

bool Bounds::disjoint(const Bounds& a, const Bounds& b) {
    for (int i = 0; i < 3; ++i)
        if (a.mins[i] > b.maxs[i] || a.maxs[i] < b.mins[i]) return true;
    return false;
}

}  // namespace q
