#pragma once
// Small maps built directly as records, and a camera placed by hand, for the
// scene and visibility tests: exact geometry gives exact answers.

#include <algorithm>
#include <cmath>
#include <vector>

#include "map/map_data.h"
#include "math/matrix.h"
#include "math/plane.h"
#include "world/camera.h"
#include "vis/frustum.h"

namespace q::testmaps {

// A portal as seen by someone standing on its positive side and facing it:
// p0 right-bottom, p1 left-bottom, p2 left-top, p3 right-top, so that its plane
// (through p0, p1, p2) faces that viewer. right and up are half extents.
inline Portal makePortal(Vector3 centre, Vector3 right, Vector3 up, int positiveArea, int negativeArea) {
    Portal p;
    p.positiveArea = positiveArea;
    p.negativeArea = negativeArea;
    p.points = {centre + right - up, centre - right - up, centre - right + up, centre + right + up};
    p.plane = Plane::fromPoints(p.points[0], p.points[1], p.points[2]);
    std::copy_n(p.points.begin(), 4, p.viewCorners.begin());
    return p;
}

// A window in the plane z = const, facing a viewer who looks along +z from the
// smaller z (its positive side).
inline Portal windowAlongZ(float z, float x0, float x1, float y0, float y1, int positiveArea, int negativeArea) {
    return makePortal({(x0 + x1) / 2, (y0 + y1) / 2, z}, {(x1 - x0) / 2, 0, 0}, {0, (y1 - y0) / 2, 0},
                      positiveArea, negativeArea);
}

// Lists every portal in both of its areas, in portal order, as the reader does.
inline void linkPortals(MapData& map) {
    for (Area& area : map.areas) area.portalIndices.clear();
    for (size_t i = 0; i < map.portals.size(); ++i) {
        map.areas[map.portals[i].positiveArea].addPortal(static_cast<int>(i));
        map.areas[map.portals[i].negativeArea].addPortal(static_cast<int>(i));
    }
}

inline BspNode splitZ(float z, int positiveChild, int negativeChild) {
    BspNode n;
    n.plane = {0, 0, 1, -z};
    n.positiveChild = positiveChild;
    n.negativeChild = negativeChild;
    return n;
}

constexpr int leaf(int area) { return -1 - area; }

// Rooms 1, 2, 3 one after another along +z (z in [0,100], [100,200], [200,300],
// x and y in [-50, 50]); area 0 is everything before z = 0 and beyond z = 300.
// Portals: 0 area 0 -> 1 at z = 0, 1 area 1 -> 2 at z = 100, 2 area 2 -> 3 at
// z = 200, 3 area 3 -> 0 at z = 300, each the full cross-section unless a
// narrower window is asked for.
inline MapData corridor(float halfWindow = 50.0f) {
    MapData map;
    map.areas.resize(4);
    const float h = halfWindow;
    map.portals = {
        windowAlongZ(0, -50, 50, -50, 50, 0, 1),
        windowAlongZ(100, -h, h, -h, h, 1, 2),
        windowAlongZ(200, -h, h, -h, h, 2, 3),
        windowAlongZ(300, -h, h, -h, h, 3, 0),
    };
    linkPortals(map);
    map.bspNodes = {
        splitZ(100, 1, 2),
        splitZ(200, 3, leaf(2)),
        splitZ(0, leaf(1), leaf(0)),
        splitZ(300, leaf(0), leaf(3)),
    };
    map.bounds = {{-50, -50, 0}, {50, 50, 300}};
    return map;
}

// Places the camera as the camera update leaves it: eye at `position`, turned by
// yaw and pitch, view the inverse of that placement.
inline void aimCamera(Camera& camera, Vector3 position, float yaw, float pitch = 0.0f) {
    camera.position = position;
    camera.yaw = yaw;
    camera.pitch = pitch;
    Matrix placement = Matrix::rotationYawPitchRoll(yaw, pitch, 0.0f);
    camera.viewDir = transformNormal({0, 0, 1}, placement);
    placement.m[3][0] = position.x;
    placement.m[3][1] = position.y;
    placement.m[3][2] = position.z;
    camera.view = inverse(placement).value();
}

constexpr float kPi = 3.14159265358979f;

}  // namespace q::testmaps
