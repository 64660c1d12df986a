#pragma once
// The area BSP of a building: axis planes chosen along the cell boundaries until
// every leaf holds cells of one kind (one area, or solid).

#include <vector>

#include "mapgen/volume.h"

namespace q::mapgen {

// Plane: the unit normal along `axis` (file frame) with d = -coord, so a point
// at or above coord goes to positiveChild. Children follow the file's rule:
// > 0 a node, 0 solid, < 0 the area -1 - child. Node 0 is the root.
struct AreaNode {
    int axis = 0;
    int coord = 0;
    int positiveChild = 0;
    int negativeChild = 0;
};

std::vector<AreaNode> buildAreaBsp(const Volume& volume);

// The descent a reader makes: the area holding the point, or kSolid.
int lookupArea(const std::vector<AreaNode>& nodes, double x, double y, double z);

}  // namespace q::mapgen
