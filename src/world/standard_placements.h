#pragma once
// The five placements of the loaded map that the viewer makes at start-up.

namespace q {

class Scene;
class MapInstance;
struct MapData;

constexpr int kStandardInstanceCount = 5;
// Room kept between two copies of a map too wide for the standard places.
constexpr float kCopyMargin = 512.0f;

// Adds and places the first `count` (clamped to 0..5) of the standard
// placements of `map`, in their fixed order; returns how many were placed.
// The copies never overlap: a map wider than the standard places allow has
// them moved out from the origin, along the same directions, until the
// nearest two are the map's own width plus kCopyMargin apart; maps that fit
// keep the standard places exactly.
int placeStandardInstances(Scene& scene, MapData* map, int count = kStandardInstanceCount);

// How far out the copies of `map` are moved: 1 for a map that fits.
float copySpread(const MapData& map);

// Places one copy where standard placement `index` (0 to 4) puts it, its
// position scaled by spread.
void placeStandardInstance(MapInstance& instance, int index, float spread = 1.0f);

}  // namespace q
