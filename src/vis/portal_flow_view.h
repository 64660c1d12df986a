#pragma once
// What a view takes in of a portal, and whether a view that already passed the
// portal took all of it in: the portal flow looks through a portal again only
// when the view arriving now reaches parts that the views before did not.

#include "math/vector.h"
#include "world/map_instance.h"

namespace q {

struct Frustum;

// Most points a four-cornered portal keeps when cut by four planes.
constexpr int kMaxPortalPart = 8;

// The part of the quadrilateral `corners` inside the view's four side planes,
// written to `out`; returns its number of points (0: none of it is in view), or
// -1 when rounding made the cut lose its shape, in which case nothing is known.
int portalPartInView(const Vector3* corners, const Frustum& view, Vector3 (&out)[kMaxPortalPart]);

// The area of a convex polygon of `count` points.
float polygonArea(const Vector3* points, int count);

// Every point lies inside the four side planes of `passed`, up to an angle far
// below a pixel as seen from `eye`. A part of -1 points (unknown) is not inside.
bool insidePassedView(const Vector3* points, int count, const PassedView& passed, Vector3 eye);

}  // namespace q
