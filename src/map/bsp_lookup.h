#pragma once
// Which area of a map holds a point: a descent of the map's area tree. The map's
// own lookups (MapData::pointArea, areaHolding; the portal flow's is silent)
// and the placed copy's (MapInstance::areaAt) share it.

#include "math/vector.h"

namespace q {

struct MapData;

enum class Descent { InArea, Solid, Broken };

// Walks the tree from `node`; writes *area only when the descent ends in one.
Descent descendAreaTree(const MapData& map, int node, Vector3 point, int* area);

// Reports a point in solid space (naming `where`, which may be null) or a tree
// that leads nowhere; true when the descent ended in an area.
bool reportDescent(Descent result, const char* where);

}  // namespace q
