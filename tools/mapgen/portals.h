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

// A portal no eye can look through, for checking that tools find one: the
// first opening's quad moved along its wall by its width and a wall's
// thickness, with its sides exchanged. An eye standing in either of its rooms
// sees its back, so the flow does not take it from the room it starts in; a
// view that reached either room came through a doorway in the same wall and
// was cut at that doorway's edge, which lies between the two at the same
// heights, so the portal is outside it. Needs a first opening with that much
// solid wall beside it towards lower coordinates (bends N from 2 rooms has it).
PortalQuad deadPortalBesideFirstOpening(const Layout& layout, const PortalQuad& firstOpening);

// The normal a reader computes: normalise((p1 - p0) x (p2 - p0)) of the points
// with y and z exchanged. Returned in the reader's frame (y up).
void readerPortalNormal(const PortalQuad& portal, double normal[3]);

}  // namespace q::mapgen
