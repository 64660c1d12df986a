#pragma once
// The four corners the view is narrowed to through a portal. Compiled maps
// write portals of three to many points; the narrowing works on four, so a
// portal of more points is narrowed to the rectangle around it in its plane,
// which may let a little more through the opening, never less.

#include <array>
#include <vector>

#include "math/vector.h"

namespace q {

// The smallest rectangle in the points' plane (found from all of them, in the
// order they go round) with sides along that plane's horizontal and its
// steepest direction, holding every point; its corners go round the same way
// as the points, so a plane made from them faces the same side. Needs at
// least four points; when all lie on one line, the first four as they are.
std::array<Vector3, 4> rectangleAround(const std::vector<Vector3>& points);

}  // namespace q
