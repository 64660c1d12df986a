#pragma once
// Axis-aligned bounds. The empty value is mins (10000, 10000, 10000), maxs
// (-10000, -10000, -10000), as maps have always written it; growing it takes
// what it grows by whole, wherever that lies.

#include "math/vector.h"

namespace q {

struct Bounds {
    Vector3 mins;
    Vector3 maxs;

    void setEmpty();
    static Bounds empty();
    // Per axis the smaller of the mins and the larger of the maxs.
    void grow(const Bounds& other);
    void grow(Vector3 point);
    static Bounds aroundPoint(Vector3 centre, Vector3 half);
    // True when on some axis a.mins > b.maxs or a.maxs < b.mins; touching bounds
    // are not disjoint.
    static bool disjoint(const Bounds& a, const Bounds& b);
    // True when some axis has mins above maxs (nothing has grown it).
    bool isEmpty() const { return mins.x > maxs.x || mins.y > maxs.y || mins.z > maxs.z; }
    // The bounds around the eight corners carried through m (empty stays empty).
    Bounds transformed(const Matrix& m) const;
};

}  // namespace q
