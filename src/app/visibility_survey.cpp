#include "app/visibility_survey.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <numbers>

#include "app/camera_place.h"
#include "math/matrix.h"
#include "move/camera_update.h"
#include "vis/frustum.h"
#include "vis/portal_flow.h"
#include "world/camera.h"
#include "world/map_instance.h"
#include "world/player_start.h"
#include "world/scene.h"
#include "world/standard_placements.h"

namespace q {

namespace {

// What one view's flow marked in the copy.
struct ViewResult {
    int areas = 0;
    int surfaces = 0;
    int64_t triangles = 0;
};

struct AreaCost {
    int surfaces = 0;
    int64_t triangles = 0;
};

// Calls f(i) for every bit set below `count`, lowest first.
template <typename F>
void forEachBit(const std::vector<uint32_t>& words, size_t count, F f) {
    for (size_t w = 0; w < words.size() && w * 32 < count; ++w)
        for (uint32_t bits = words[w]; bits != 0; bits &= bits - 1) {
            const size_t i = w * 32 + static_cast<size_t>(std::countr_zero(bits));
            if (i < count) f(i);
        }
}

PlanPoint onPlan(Vector3 point) {
    return {static_cast<int>(std::lround(point.x)), static_cast<int>(std::lround(point.z))};
}

int64_t turn(PlanPoint o, PlanPoint a, PlanPoint b) {
    return int64_t{a.x - o.x} * (b.z - o.z) - int64_t{a.z - o.z} * (b.x - o.x);
}

// The convex hull of the points, counter-clockwise on the plan (x right, z
// down), without repeated or collinear corners.
std::vector<PlanPoint> convexHull(std::vector<PlanPoint> points) {
    std::sort(points.begin(), points.end(),
              [](PlanPoint a, PlanPoint b) { return a.x != b.x ? a.x < b.x : a.z < b.z; });
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 3) return points;
    std::vector<PlanPoint> hull(2 * points.size());
    size_t k = 0;
    for (size_t i = 0; i < points.size(); ++i) {  // one side, then the other
        while (k >= 2 && turn(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
        hull[k++] = points[i];
    }
    for (size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && turn(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
        hull[k++] = points[i];
    }
    hull.resize(k - 1);
    return hull;
}

}  // namespace

void PlanFloors::collect(const MapData& map) {
    for (size_t area = 0; area < map.areas.size(); ++area)
        for (const SurfaceGroup& group : map.areas[area].surfaceGroups)
            for (const Surface& surface : group.surfaces)
                surfaceRead(static_cast<int>(area), map.verticesOf(surface), surface.vertexCount,
                            map.indicesOf(surface), surface.indexCount);
}

void PlanFloors::surfaceRead(int area, const MapVertex* vertices, int vertexCount, const uint16_t* indices,
                             int indexCount) {
    floors_.surfaceRead(area, vertices, vertexCount, indices, indexCount);
    if (area < 0) return;
    if (static_cast<size_t>(area) >= corners_.size()) corners_.resize(static_cast<size_t>(area) + 1);
    for (int t = 0; t + 2 < indexCount; t += 3) {
        const uint16_t i[3] = {indices[t], indices[t + 1], indices[t + 2]};
        if (i[0] >= vertexCount || i[1] >= vertexCount || i[2] >= vertexCount) continue;
        const Vector3 a = vertices[i[0]].position, b = vertices[i[1]].position, c = vertices[i[2]].position;
        const Vector3 across = cross(b - a, c - a);
        const float twiceSize = std::sqrt(dot(across, across));
        const Vector3 facing = vertices[i[0]].normal + vertices[i[1]].normal + vertices[i[2]].normal;
        // Floors as the eyes take them: facing up (by the file's normals),
        // no steeper than half a right angle.
        if (!(twiceSize > 0.0f) || std::fabs(across.y) / twiceSize < 0.7071f || !(facing.y > 0.0f)) continue;
        corners_[static_cast<size_t>(area)].insert(corners_[static_cast<size_t>(area)].end(), {a, b, c});
    }
}

void PlanFloors::drawPlan(const MapData& map, float bandGap, VisibilitySurvey* survey) const {
    std::vector<int> withFloors;
    for (size_t a = 0; a < survey->areas.size() && a < corners_.size(); ++a) {
        if (corners_[a].empty()) continue;
        AreaVisibility& area = survey->areas[a];
        std::vector<PlanPoint> points;
        float lowest = corners_[a][0].y;
        for (const Vector3& corner : corners_[a]) {
            points.push_back(onPlan(corner));
            lowest = std::min(lowest, corner.y);
        }
        area.outline = convexHull(std::move(points));
        area.floorHeight = static_cast<int>(std::lround(lowest));
        // Where no one stands (the roofs of the outside, say) is no storey.
        if (area.eyes > 0) withFloors.push_back(static_cast<int>(a));
    }
    std::stable_sort(withFloors.begin(), withFloors.end(), [&](int a, int b) {
        return survey->areas[static_cast<size_t>(a)].floorHeight < survey->areas[static_cast<size_t>(b)].floorHeight;
    });
    int band = 0;
    for (size_t i = 0; i < withFloors.size(); ++i) {
        AreaVisibility& area = survey->areas[static_cast<size_t>(withFloors[i])];
        if (i > 0 && area.floorHeight - survey->areas[static_cast<size_t>(withFloors[i - 1])].floorHeight > bandGap) ++band;
        area.band = band;
    }
    survey->portalPlan.assign(map.portals.size(), {});
    for (size_t p = 0; p < map.portals.size(); ++p) {
        const std::vector<Vector3>& points = map.portals[p].points;
        survey->portalPlan[p].areas = {map.portals[p].positiveArea, map.portals[p].negativeArea};
        int64_t farthest = -1;
        for (size_t i = 0; i < points.size(); ++i)
            for (size_t j = i + 1; j < points.size(); ++j) {
                const PlanPoint a = onPlan(points[i]), b = onPlan(points[j]);
                const int64_t dx = b.x - a.x, dz = b.z - a.z;
                if (dx * dx + dz * dz > farthest) {
                    farthest = dx * dx + dz * dz;
                    survey->portalPlan[p].ends = {a, b};
                }
            }
    }
}

const std::vector<ViewAngle>& surveyAngles() {
    // The frame's frustum spans 1.33 radians from top to bottom and as much
    // across: yaws an eighth of a turn apart at pitches a sixth of a turn
    // apart overlap, and the poles close the sphere. Every angle lies within
    // (-pi, pi], as C writes it, so the options read back the same floats.
    static const std::vector<ViewAngle> angles = [] {
        constexpr float kPi = std::numbers::pi_v<float>;
        std::vector<ViewAngle> list;
        for (float pitch : {-kPi / 3.0f, 0.0f, kPi / 3.0f})
            for (int k = -3; k <= 4; ++k)  // the float nearest pi lies past it: half a turn is the one below
                list.push_back({std::min(static_cast<float>(k) * kPi / 4.0f, std::nextafter(kPi, 0.0f)), pitch});
        list.push_back({0.0f, -kPi / 2.0f});
        list.push_back({0.0f, kPi / 2.0f});
        return list;
    }();
    return angles;
}

VisibilitySurvey surveyVisibility(MapData& map, const AreaFloors& floors, float eyeHeight, size_t eyesPerArea,
                                  const std::string& eyeOptions,
                                  const std::function<void(size_t done, size_t total)>& progress) {
    VisibilitySurvey survey;
    const size_t areaCount = map.areas.size();
    survey.areas.resize(areaCount);
    survey.portalTimesPassed.assign(map.portals.size(), 0);
    std::vector<AreaCost> costs(areaCount);
    for (size_t a = 0; a < areaCount; ++a) {
        for (const SurfaceGroup& group : map.areas[a].surfaceGroups)
            for (const Surface& surface : group.surfaces) {
                ++costs[a].surfaces;
                costs[a].triangles += surface.indexCount / 3;
            }
        survey.surfaces += costs[a].surfaces;
        survey.triangles += costs[a].triangles;
    }

    // One copy, placed where the viewer's first copy stands.
    Scene scene;
    placeStandardInstances(scene, &map, 1);
    MapInstance& copy = *scene.instances[0];

    // Each area's eyes in world space; the player start joins the area holding it.
    std::vector<std::vector<Vector3>> eyes(areaCount);
    for (size_t a = 0; a < areaCount; ++a) {
        for (const Vector3& local :
             standingPointsAcross(map, floors, static_cast<int>(a), eyeHeight, eyesPerArea, &survey.areas[a].floorsRefused))
            eyes[a].push_back(transformCoord(local, copy.world));
    }
    if (map.hasPlayerStart) {
        const Vector3 start = playerStartEye(map, copy, eyeHeight);
        const int area = map.areaHolding(transformCoord(start, copy.inverseWorld));
        if (area >= 0 && static_cast<size_t>(area) < areaCount) eyes[static_cast<size_t>(area)].push_back(start);
    }

    const std::vector<ViewAngle>& angles = surveyAngles();
    std::vector<uint32_t> seenFromArea((areaCount + 31) / 32);
    std::vector<uint32_t> passedFromArea((map.portals.size() + 31) / 32);
    std::vector<int> seenFrom(areaCount, 0);
    for (size_t a = 0; a < areaCount; ++a) {
        AreaVisibility& result = survey.areas[a];
        std::fill(seenFromArea.begin(), seenFromArea.end(), 0u);
        std::fill(passedFromArea.begin(), passedFromArea.end(), 0u);
        int64_t areasSum = 0, surfacesSum = 0, trianglesSum = 0;
        int views = 0;
        for (const Vector3& eye : eyes[a]) {
            ++result.eyes;
            for (const ViewAngle& angle : angles) {
                // A camera as a run started with --start and --look has it:
                // fresh, then one frame's update (which finds its copy and
                // area and takes a movement step) before the flow.
                scene.camera = std::make_unique<Camera>();
                Camera& camera = *scene.camera;
                camera.scene = &scene;
                camera.position = eye;
                camera.yaw = angle.yaw;
                camera.pitch = angle.pitch;
                char place[160];
                formatCameraPlace(camera, place, sizeof place);
                updateScene(scene);
                copy.enteredThisFrame = false;
                Frustum frustum;
                buildFrustum(camera, &frustum, Matrix::identity());
                flowFromCamera(scene, frustum);

                ViewResult view;
                if (copy.enteredThisFrame) {
                    forEachBit(copy.visibleAreas, areaCount, [&](size_t drawn) {
                        ++view.areas;
                        view.surfaces += costs[drawn].surfaces;
                        view.triangles += costs[drawn].triangles;
                        bitSet(seenFromArea.data(), static_cast<uint32_t>(drawn));
                    });
                    forEachBit(copy.passedPortals, map.portals.size(), [&](size_t portal) {
                        ++survey.portalTimesPassed[portal];
                        bitSet(passedFromArea.data(), static_cast<uint32_t>(portal));
                    });
                }
                ++views;
                areasSum += view.areas;
                surfacesSum += view.surfaces;
                trianglesSum += view.triangles;
                if (result.worstEye.empty() || view.areas > result.areasDrawnMax) {
                    result.areasDrawnMax = view.areas;
                    result.worstEye = std::string(place) + eyeOptions;
                }
                result.surfacesDrawnMax = std::max(result.surfacesDrawnMax, view.surfaces);
                result.trianglesDrawnMax = std::max(result.trianglesDrawnMax, view.triangles);
            }
        }
        if (views > 0) {
            result.areasDrawnMean = static_cast<double>(areasSum) / views;
            result.surfacesDrawnMean = static_cast<double>(surfacesSum) / views;
            result.trianglesDrawnMean = static_cast<double>(trianglesSum) / views;
        }
        forEachBit(seenFromArea, areaCount, [&](size_t seen) {
            result.sees.push_back(static_cast<int>(seen));
            if (seen != a) ++seenFrom[seen];
        });
        forEachBit(passedFromArea, map.portals.size(), [&](size_t) { ++result.portalsPassed; });
        survey.eyes += result.eyes;
        survey.views += views;
        if (progress) progress(a + 1, areaCount);
    }
    for (size_t a = 0; a < areaCount; ++a) survey.areas[a].seenFrom = seenFrom[a];
    return survey;
}

}  // namespace q
