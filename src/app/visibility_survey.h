#pragma once
// What the portals let through, measured over a whole map: eyes stood on the
// floors of every area (and at the player start) of one copy, each looking
// every way the sphere round with the frame's own frustum, and the frame's
// portal flow run from each. No graphics device: the flow and the area tree
// are CPU work, and surfaces are counted from the map's data.

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
};

struct VisibilitySurvey {
    std::vector<AreaVisibility> areas;     // one per area, in area order
    std::vector<int> portalTimesPassed;    // per portal: views whose flow passed it
    int eyes = 0;
    int views = 0;                         // eyes times directions
    int surfaces = 0;                      // the map's own, drawn or not
    int64_t triangles = 0;
};

// Eyes stand eyeHeight above the floors, at most eyesPerArea per area. The
// map must have been read with `floors` as its surface observer, and its
// collision model too (the eye takes a frame's movement step before it looks,
// as the viewer's first frame does). progress, when given, is called after
// each area with how many are done. eyeOptions follows the place in each
// worst eye (what else a run needs to see the same, such as " --instances 1").
VisibilitySurvey surveyVisibility(MapData& map, const AreaFloors& floors, float eyeHeight, size_t eyesPerArea,
                                  const std::string& eyeOptions,
                                  const std::function<void(size_t done, size_t total)>& progress = {});

}  // namespace q
