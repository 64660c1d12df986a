#pragma once
// One placed copy of a loaded map: its placement in the world, its world bounds
// and its per-frame visibility state. The portal flow and the render pass
// (vis/) and the collision trace (move/) act on it from above.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "map/map_data.h"
#include "math/bounds.h"
#include "math/matrix.h"
#include "math/plane.h"
#include "math/vector.h"

namespace q {

class MapMesh;
class Scene;

// How deep the portal flow hands views from copy to copy within one frame;
// beyond it every copy in view is drawn whole.
constexpr int kMaxFlowHandOffs = 32;

// One step of the portal flow's own walk: an area reached with a view (six
// planes in map space), the portal the step holds (-1 where the walk starts)
// and how far through the area's portal list the walk has got.
struct FlowStep {
    int area = 0;
    int heldPortal = -1;
    uint32_t nextPortal = 0;
    Plane view[6];
};

// A view that passed a portal this frame: its four side planes, and the size of
// the part of the portal it took in (negative until a second view arrives).
struct PassedView {
    Plane sides[4];
    float seen = 0.0f;
};

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
    // The flow's walk and what it keeps per portal, sized by bindMap: a frame
    // allocates nothing, and no map can deepen the thread's own stack.
    std::vector<uint32_t> heldPortals;    // one bit per portal: held by the path being walked
    std::vector<PassedView> passedViews;  // per portal, valid where passedPortals is set
    std::vector<FlowStep> flowSteps;      // the walk's stack; flowDepth of them in use
    int flowDepth = 0;
    int flowPassesLeft = 0;  // this frame's budget of portal passes
    bool flowSpent = false;  // the budget ran out this frame: every area is marked
    // Area 0 is the open space around the map (set by bindMap): only then does
    // a view into area 0 go on to the other copies. On a sealed map, whose
    // outside is solid, area 0 is one of its rooms and leads to no other copy.
    bool areaZeroIsOutside = true;

    MapData* map = nullptr;
    const MapMesh* mesh = nullptr;  // the map's GPU side; null: nothing is drawn
    Matrix world = Matrix::identity();         // map space to world space
    Matrix inverseWorld = Matrix::identity();  // world space to map space
    Area* areas = nullptr;
    Portal* portals = nullptr;

    Scene* scene = nullptr;  // the scene this instance was added to
    int index = -1;          // its number in the scene's instance list

    // Marks every area visible this frame: drawing everything, or an eye with
    // no area of this map to look out of.
    void markEveryArea();
    // Whether the area is marked visible this frame (false for any number
    // that is not one of its areas).
    bool areaMarked(int area) const {
        const size_t word = static_cast<size_t>(area) / 32;
        return area >= 0 && word < visibleAreas.size() && (visibleAreas[word] >> (static_cast<uint32_t>(area) % 32)) & 1u;
    }
    // Whether what reaches these areas is drawn with this copy this frame:
    // one of them is marked, or there are none (it reaches only solid space).
    bool drawsWhatReaches(const std::vector<int>& areas) const {
        return areas.empty() || std::any_of(areas.begin(), areas.end(), [this](int area) { return areaMarked(area); });
    }
    // Calls visit(area) for each marked area of the map, in number order, and
    // returns how many. Word by word, lowest bit first: the many unmarked
    // areas of a portal frame cost one test per 32 of them.
    template <class Visit>
    int eachMarkedArea(Visit&& visit) const {
        const uint32_t areaCount = map ? static_cast<uint32_t>(map->areas.size()) : 0;
        const uint32_t wordCount = std::min<uint32_t>(static_cast<uint32_t>(visibleAreas.size()), (areaCount + 31) / 32);
        int marked = 0;
        for (uint32_t w = 0; w < wordCount; ++w) {
            for (uint32_t bits = visibleAreas[w]; bits != 0; bits &= bits - 1) {
                const uint32_t area = w * 32 + static_cast<uint32_t>(std::countr_zero(bits));
                if (area >= areaCount) break;
                visit(area);
                ++marked;
            }
        }
        return marked;
    }
    // Stores the map, caches its arrays and sizes the bit sets to it.
    void bindMap(MapData* newMap);
    // Builds world, inverseWorld and grows worldBounds from position and rotation.
    void placeInWorld();

    // Area of the map holding the world-space point; -1 in solid space
    // (reported unless reportSolid is false) or when the map has no usable
    // area tree.
    int areaAt(Vector3 point, bool reportSolid = true) const;
};

}  // namespace q
