#pragma once
// Portals: one four-point polygon per opening, in the middle of the wall.

#include <vector>

#include "mapgen/layout.h"

namespace q::mapgen {

struct PortalQuad {
    int positiveArea = 0;
    int negativeArea = 0;
    float points[4][3];  // file frame (z up)
};

// The points are ordered so that the plane a reader builds from the first three
// (after exchanging y and z, which turns the winding over) faces positiveArea.
std::vector<PortalQuad> buildPortals(const Layout& layout);

// The normal a reader computes: normalise((p1 - p0) x (p2 - p0)) of the points
// with y and z exchanged. Returned in the reader's frame (y up).
void readerPortalNormal(const PortalQuad& portal, double normal[3]);

}  // namespace q::mapgen
