#pragma once
// One placed copy of a loaded map: its placement in the world, its world bounds
// and its per-frame visibility state. The portal flow and the render pass
// (vis/) and the collision trace (move/) act on it from above.

#include <cstdint>
#include <vector>

#include "map/map_data.h"
#include "math/bounds.h"
#include "math/matrix.h"
#include "math/vector.h"

namespace q {

class Scene;

class MapInstance {
public:
    Bounds worldBounds = Bounds::empty();
    Vector3 position;
    float yaw = 0.0f;
    float pitch = 0.0f;
    float roll = 0.0f;

    // Per-frame state of the portal flow and the render pass.
    bool enteredThisFrame = false;
    std::vector<uint32_t> visibleAreas;   // one bit per area, sized by bindMap
    std::vector<uint32_t> passedPortals;  // one bit per portal, sized by bindMap
    Vector3 localEye;

    MapData* map = nullptr;
    Matrix world = Matrix::identity();         // map space to world space
    Matrix inverseWorld = Matrix::identity();  // world space to map space
    Area* areas = nullptr;
    Portal* portals = nullptr;

    Scene* scene = nullptr;  // the scene this instance was added to
    int index = -1;          // its number in the scene's instance list

    // Marks every area visible this frame: drawing everything, or an eye with
    // no area of this map to look out of.
    void markEveryArea();
    // Stores the map, caches its arrays and sizes the bit sets to it.
    void bindMap(MapData* newMap);
    // Builds world, inverseWorld and grows worldBounds from position and rotation.
    void placeInWorld();

    // Area of the map holding the world-space point; -1 in solid space (reported)
    // or when the map has no usable area tree.
    int areaAt(Vector3 point) const;
};

}  // namespace q
