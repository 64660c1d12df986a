#pragma once
// What the portals let through, measured over a whole map: eyes stood on the
// floors of every area (and at the player start) of one copy, each looking
// every way the sphere round with the frame's own frustum, and the frame's
// portal flow run from each. No graphics device: the flow and the area tree
// are CPU work, and surfaces are counted from the map's data.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "world/standing_point.h"

namespace q {

// One direction of an eye: the camera's yaw and pitch (radians).
struct ViewAngle {
    float yaw = 0.0f;
    float pitch = 0.0f;
};

// Directions that, with the frame's frustum, cover the whole sphere: eight
// yaws at three pitches, then straight up and straight down.
const std::vector<ViewAngle>& surveyAngles();

// A point of the plan, the map seen from above: map x and map z (y is up),
// rounded to whole units.
struct PlanPoint {
    int x = 0;
    int z = 0;
    bool operator==(const PlanPoint&) const = default;
};

struct PlanPortal {
    std::array<PlanPoint, 2> ends{};  // its two points farthest apart on the plan
    std::array<int, 2> areas{};       // the areas on its positive and its negative side
};

struct AreaVisibility {
    int eyes = 0;            // eyes that stood in the area
    int floorsRefused = 0;   // floor triangles of the area no one can stand over
    int areasDrawnMax = 0;   // over every view of every eye
    double areasDrawnMean = 0.0;
    int surfacesDrawnMax = 0;
    double surfacesDrawnMean = 0.0;
    int64_t trianglesDrawnMax = 0;
    double trianglesDrawnMean = 0.0;
    int portalsPassed = 0;   // distinct portals the flow passed from any view of its eyes
    std::string worstEye;    // the options that bring back the view drawing most areas; empty: no eye
    std::vector<int> sees;   // areas drawn from any view of its eyes, in area order
    int seenFrom = 0;        // other areas from whose eyes this one is drawn
    // On the plan (PlanFloors::drawPlan): the outline round its floors seen
    // from above, counter-clockwise on the plan (empty: no floor), the height
    // of its lowest floor, and its floor band (-1: no floor or no eye, and
    // not drawn on the plan).
    std::vector<PlanPoint> outline;
    int floorHeight = 0;
    int band = -1;
};

struct VisibilitySurvey {
    std::vector<AreaVisibility> areas;     // one per area, in area order
    std::vector<int> portalTimesPassed;    // per portal: views whose flow passed it
    int eyes = 0;
    int views = 0;                         // eyes times directions
    int surfaces = 0;                      // the map's own, drawn or not
    int64_t triangles = 0;
    std::vector<PlanPortal> portalPlan;  // per portal, once the plan is drawn
};

// Collects the corners of every area's floors (the upward-facing triangles,
// map space) and hands each surface on to `floors`, so that one pass over the
// map feeds both the eyes and the plan.
class PlanFloors {
public:
    explicit PlanFloors(AreaFloors& floors) : floors_(floors) {}
    // Every area's surfaces of the map.
    void collect(const MapData& map);
    void surfaceRead(int area, const MapVertex* vertices, int vertexCount, const uint16_t* indices, int indexCount);

    // Fills the plan into a survey of that map: each area's outline (the
    // convex hull of its floors from above), floor height and band, and each
    // portal's ends. Areas with eyes whose lowest floors lie more than
    // bandGap apart in height, with no such area between, are in different
    // bands, lowest first.
    void drawPlan(const MapData& map, float bandGap, VisibilitySurvey* survey) const;

private:
    AreaFloors& floors_;
    std::vector<std::vector<Vector3>> corners_;  // per area
};

// Eyes stand eyeHeight above the floors, at most eyesPerArea per area. The
// map's floors must be collected in `floors`, and its
// collision model too (the eye takes a frame's movement step before it looks,
// as the viewer's first frame does). progress, when given, is called after
// each area with how many are done. eyeOptions follows the place in each
// worst eye (what else a run needs to see the same, such as " --instances 1").
VisibilitySurvey surveyVisibility(MapData& map, const AreaFloors& floors, float eyeHeight, size_t eyesPerArea,
                                  const std::string& eyeOptions,
                                  const std::function<void(size_t done, size_t total)>& progress = {});

}  // namespace q
