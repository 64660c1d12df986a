#pragma once
// The five placements of the loaded map that the viewer makes at start-up.

namespace q {

class Scene;
class MapInstance;
struct MapData;

constexpr int kStandardInstanceCount = 5;

// Adds and places the first `count` (clamped to 0..5) of the standard
// placements of `map`, in their fixed order; returns how many were placed.
int placeStandardInstances(Scene& scene, MapData* map, int count = kStandardInstanceCount);

// Places one copy where standard placement `index` (0 to 4) puts it.
void placeStandardInstance(MapInstance& instance, int index);

}  // namespace q
