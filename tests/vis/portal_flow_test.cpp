#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "map/map_data.h"
#include "math/matrix.h"
#include "move/camera_update.h"
#include "platform/report.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "recording_graphics.h"
#include "vis/frustum.h"
#include "vis/portal_flow.h"
#include "world/map_instance.h"
#include "world/scene.h"
#include "vis_test_maps.h"

namespace q {
namespace {

using testmaps::aimCamera;
using testmaps::corridor;
using testmaps::kPi;
using testmaps::leaf;
using testmaps::windowAlongZ;
using Areas = std::vector<int>;

struct PortalFlow : ::testing::Test {
    Scene scene;
    Camera* camera = new Camera();
    std::vector<std::unique_ptr<MapData>> maps;  // kept here, not by the scene

    PortalFlow() {
        scene.camera.reset(camera);
        camera->scene = &scene;
    }
    MapData* keep(MapData map) {
        maps.push_back(std::make_unique<MapData>(std::move(map)));
        return maps.back().get();
    }
    MapInstance* place(MapData* map, Vector3 position, float yaw = 0.0f) {
        MapInstance* instance = scene.addInstance(map);
        instance->position = position;
        instance->yaw = yaw;
        instance->placeInWorld();
        return instance;
    }
    // One frame of the flow as the render pass starts it from the camera.
    void flowFrom(MapInstance* start) {
        for (const auto& instance : scene.instances) instance->enteredThisFrame = false;
        Frustum frustum;
        buildFrustum(*camera, &frustum, Matrix::identity());
        if (start)
            startFlow(*start, frustum);
        else
            flowInstances(scene, frustum, nullptr);
    }
    static Areas marked(const MapInstance* instance) {
        Areas result;
        if (!instance->enteredThisFrame) return result;
        for (uint32_t i = 0; i < instance->map->areas.size(); ++i)
            if (bitTest(instance->visibleAreas.data(), i)) result.push_back(static_cast<int>(i));
        return result;
    }
};

TEST_F(PortalFlow, PortalStraightAheadMarksTheRoomsBeyond) {
    MapInstance* instance = place(keep(corridor()), {0, 0, 0});
    aimCamera(*camera, {0, 0, 50}, 0.0f);
    flowFrom(instance);
    // On through the last portal into the instance's own area 0; portal 0 of
    // area 0 faces away from the eye, so the flow ends there.
    EXPECT_EQ(marked(instance), (Areas{0, 1, 2, 3}));

    // Turned round in room 2: through portal 1 from its negative side into room 1,
    // and on through portal 0 into area 0.
    aimCamera(*camera, {0, 0, 150}, kPi);
    flowFrom(instance);
    EXPECT_EQ(marked(instance), (Areas{0, 1, 2}));
}

TEST_F(PortalFlow, PortalSeenFromBehindItsFacingSideIsSkipped) {
    MapData map = corridor();
    // Wound the other way, portal 1 faces room 2 while naming room 1 as its
    // positive side: from room 1 it is seen from behind.
    std::vector<Vector3>& p = map.portals[1].points;
    std::swap(p[0], p[3]);
    std::swap(p[1], p[2]);
    map.portals[1].plane = Plane::fromPoints(p[0], p[1], p[2]);
    MapInstance* instance = place(keep(std::move(map)), {0, 0, 0});
    aimCamera(*camera, {0, 0, 50}, 0.0f);
    flowFrom(instance);
    EXPECT_EQ(marked(instance), (Areas{1}));
}

// The corridor with narrow windows, and a portal in the left wall of room 2 into
// room 4: in the camera's view, but beyond the left edge of the first window.
MapData corridorWithSideRoom(float halfWindow) {
    MapData map = corridor(halfWindow);
    map.areas.resize(5);
    map.portals.push_back(testmaps::makePortal({-50, 0, 150}, {0, 0, 30}, {0, 10, 0}, 2, 4));
    testmaps::linkPortals(map);
    return map;
}

TEST_F(PortalFlow, PortalOutsideTheNarrowedFrustumIsSkipped) {
    aimCamera(*camera, {0, 0, 50}, 0.0f);
    MapInstance* narrow = place(keep(corridorWithSideRoom(10)), {0, 0, 0});
    flowFrom(narrow);
    EXPECT_EQ(marked(narrow), (Areas{0, 1, 2, 3}));

    // The same side portal through a window as wide as the room is seen.
    MapInstance* wide = place(keep(corridorWithSideRoom(50)), {0, 0, 0});
    flowFrom(wide);
    EXPECT_EQ(marked(wide), (Areas{0, 1, 2, 3, 4}));
}

TEST_F(PortalFlow, PortalOfMorePointsIsLookedThroughAsTheRectangleAroundIt) {
    // Portal 1 an octagon whose first four points all lie left of the middle;
    // the narrow window behind it (portal 2, in the middle) is seen through
    // the octagon's other half. Narrowed to the first four points alone, rooms
    // 3 and on would vanish.
    MapData map = corridor(10);
    Portal& octagon = map.portals[1];
    octagon.points.clear();
    for (int k = 0; k < 8; ++k) {
        const float angle = (247.5f - 45.0f * static_cast<float>(k)) * kPi / 180.0f;
        octagon.points.push_back({40.0f * std::cos(angle), 40.0f * std::sin(angle), 100.0f});
    }
    octagon.computePlane();
    MapInstance* instance = place(keep(std::move(map)), {0, 0, 0});
    aimCamera(*camera, {0, 0, 50}, 0.0f);
    flowFrom(instance);
    EXPECT_EQ(marked(instance), (Areas{0, 1, 2, 3}));
}

TEST_F(PortalFlow, NarrowingFromTheNegativeSide) {
    // From room 3 looking back: the windows are seen from their negative sides.
    aimCamera(*camera, {0, 0, 250}, kPi);
    MapInstance* narrow = place(keep(corridorWithSideRoom(10)), {0, 0, 0});
    flowFrom(narrow);
    EXPECT_EQ(marked(narrow), (Areas{0, 1, 2, 3}));

    MapInstance* wide = place(keep(corridorWithSideRoom(50)), {0, 0, 0});
    flowFrom(wide);
    EXPECT_EQ(marked(wide), (Areas{0, 1, 2, 3, 4}));
}

// Room 1 sees room 2 through a small window A (left) and a wide window B; room 2
// leads on through C into room 3, and room 3 through D (to the right) into room 4.
// D can be seen along the path through B, not along the one through A.
MapData twoWindows(bool withA) {
    MapData map;
    map.areas.resize(5);
    if (withA) map.portals.push_back(windowAlongZ(100, -30, -20, -5, 5, 1, 2));
    map.portals.push_back(windowAlongZ(100, -10, 60, -50, 50, 1, 2));
    map.portals.push_back(windowAlongZ(200, -70, 70, -50, 50, 2, 3));
    map.portals.push_back(windowAlongZ(300, 30, 50, -10, 10, 3, 4));
    testmaps::linkPortals(map);
    map.bspNodes = {testmaps::splitZ(100, leaf(2), leaf(1))};
    map.bounds = {{-100, -100, 0}, {100, 100, 400}};
    return map;
}

// Passes made in the frame so far, from the budget the copy started it with.
int passesMade(const MapInstance* instance) {
    return kFlowPassesPerPortal * static_cast<int>(instance->map->portals.size()) + kMinimumFlowPasses -
           instance->flowPassesLeft;
}

TEST_F(PortalFlow, PortalIsLookedThroughAgainWhenALaterViewReachesMoreOfIt) {
    aimCamera(*camera, {0, 0, 0}, 0.0f);
    MapInstance* both = place(keep(twoWindows(true)), {0, 0, 0});
    flowFrom(both);
    // The path through A passes C with A's narrow view, which misses D; the path
    // through B looks through C again and sees D.
    EXPECT_EQ(marked(both), (Areas{1, 2, 3, 4}));
    EXPECT_TRUE(bitTest(both->passedPortals.data(), 2));  // C
    EXPECT_TRUE(bitTest(both->passedPortals.data(), 3));  // D
    EXPECT_EQ(passesMade(both), 5);                       // A, C, B, C again, D
    EXPECT_EQ(both->flowDepth, 0);
    EXPECT_FALSE(both->flowSpent);

    // A view inside one that passed before is not passed again: room 5, reached
    // through a narrow window E in front of B, looks into room 2 through F, and
    // F's view of C lies inside B's.
    MapData map = twoWindows(false);
    map.areas.resize(6);
    map.portals.push_back(windowAlongZ(50, 0, 10, -5, 5, 1, 5));   // E
    map.portals.push_back(windowAlongZ(100, 0, 20, -5, 5, 5, 2));  // F
    testmaps::linkPortals(map);
    MapInstance* nested = place(keep(std::move(map)), {0, 0, 0});
    flowFrom(nested);
    EXPECT_EQ(marked(nested), (Areas{1, 2, 3, 4, 5}));
    EXPECT_EQ(passesMade(nested), 5);  // B, C, D, E, F; C not again
}

// Room 1 looks into the hall, room 2, through three doorways; the hall's wide
// far opening C shows room 3, whose three doorways (rooms 4, 5, 6) are each
// seen through one doorway of the hall only.
TEST_F(PortalFlow, HallSeenThroughThreeDoorwaysShowsWhatEachOneSees) {
    MapData map;
    map.areas.resize(7);
    map.portals = {windowAlongZ(100, -70, -40, -20, 20, 1, 2), windowAlongZ(100, -15, 15, -20, 20, 1, 2),
                   windowAlongZ(100, 40, 70, -20, 20, 1, 2),   windowAlongZ(200, -150, 150, -50, 50, 2, 3),
                   windowAlongZ(300, -200, -130, -20, 20, 3, 4), windowAlongZ(300, -30, 30, -20, 20, 3, 5),
                   windowAlongZ(300, 130, 200, -20, 20, 3, 6)};
    testmaps::linkPortals(map);
    map.bspNodes = {testmaps::splitZ(100, leaf(2), leaf(1))};
    MapInstance* instance = place(keep(std::move(map)), {0, 0, 0});
    aimCamera(*camera, {0, 0, 0}, 0.0f);
    flowFrom(instance);
    EXPECT_EQ(marked(instance), (Areas{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(passesMade(instance), 9);  // each doorway, C after it, and one doorway beyond
}

// Four rooms in a loop around a pillar, 1 -> 2 -> 3 -> 4 -> 1, every doorway
// facing the eye from the room before it (as where the doorways' planes meet
// round the pillar, or as a faulty file may have it), each one in view through
// the one before: a path could go round for ever. It ends where it would pass a
// doorway it holds, and the other paths end there too.
TEST_F(PortalFlow, LoopOfRoomsAroundAPillarEnds) {
    MapData map;
    map.areas.resize(5);
    map.portals = {windowAlongZ(100, -50, 50, -50, 50, 1, 2), windowAlongZ(200, -40, 40, -40, 40, 2, 3),
                   windowAlongZ(300, -30, 30, -30, 30, 3, 4), windowAlongZ(400, -20, 20, -20, 20, 4, 1)};
    testmaps::linkPortals(map);
    map.bspNodes = {testmaps::splitZ(100, leaf(2), leaf(1))};
    MapInstance* instance = place(keep(std::move(map)), {0, 0, 0});
    aimCamera(*camera, {0, 0, 0}, 0.0f);
    flowFrom(instance);
    EXPECT_EQ(marked(instance), (Areas{1, 2, 3, 4}));
    EXPECT_EQ(passesMade(instance), 4);
    EXPECT_EQ(instance->flowDepth, 0);
    EXPECT_FALSE(instance->flowSpent);
    for (uint32_t word : instance->heldPortals) EXPECT_EQ(word, 0u);
}

TEST_F(PortalFlow, PortalIntoAreaZeroHandsTheViewToOtherInstances) {
    MapData* map = keep(corridor());
    MapInstance* own = place(map, {0, 0, 0});
    MapInstance* ahead = place(map, {0, 0, 1000});
    MapInstance* aside = place(map, {5000, 0, 0});
    MapInstance* behind = place(map, {0, 0, -2000});
    aimCamera(*camera, {0, 0, 50}, 0.0f);
    flowFrom(own);
    EXPECT_EQ(marked(own), (Areas{0, 1, 2, 3}));
    // Entered from area 0, where the eye lies in its map, and in through portal 0.
    EXPECT_EQ(marked(ahead), (Areas{0, 1, 2, 3}));
    EXPECT_FALSE(aside->enteredThisFrame);
    EXPECT_FALSE(behind->enteredThisFrame);

    // Entered a second time in the frame, a copy keeps what it marked first.
    Frustum frustum;
    buildFrustum(*camera, &frustum, Matrix::identity());
    aimCamera(*camera, {0, 0, 1150}, kPi);  // now in room 2 of `ahead`, turned round
    startFlow(*ahead, frustum);
    EXPECT_EQ(marked(ahead), (Areas{0, 1, 2, 3}));
}

TEST_F(PortalFlow, CameraInNoInstanceEntersEveryInstanceInView) {
    MapData* map = keep(corridor());
    MapInstance* first = place(map, {0, 0, 0});
    MapInstance* second = place(map, {0, 0, 1000});
    MapInstance* behind = place(map, {0, 0, -2000});
    MapInstance* turned = place(map, {0, 0, 3000}, kPi);  // its portals face away
    aimCamera(*camera, {0, 0, -500}, 0.0f);
    flowFrom(nullptr);
    EXPECT_EQ(marked(first), (Areas{0, 1, 2, 3}));
    EXPECT_EQ(marked(second), (Areas{0, 1, 2, 3}));
    EXPECT_FALSE(behind->enteredThisFrame);
    // Turned round, the copy shows its last portal (area 3 -> 0) to the eye.
    EXPECT_EQ(marked(turned), (Areas{0, 1, 2, 3}));
}

TEST_F(PortalFlow, PortalListedInTheWrongAreaIsReportedAndSkipped) {
    MapData map = corridor();
    map.areas[1].portalIndices.insert(map.areas[1].portalIndices.begin(), 2);  // portal 2 joins 2 and 3
    MapInstance* instance = place(keep(std::move(map)), {0, 0, 0});
    aimCamera(*camera, {0, 0, 50}, 0.0f);
    resetReportsForTest();
    flowFrom(instance);
    EXPECT_EQ(reportCount(), 1u);
    EXPECT_EQ(marked(instance), (Areas{0, 1, 2, 3}));
}

TEST_F(PortalFlow, EyeInSolidSpaceDrawsAllOfThatInstanceWithoutAReport) {
    MapData map = corridor();
    map.bspNodes[2].negativeChild = 0;  // before z = 0: solid
    MapInstance* solid = place(keep(std::move(map)), {0, 0, 0});
    MapInstance* open = place(keep(corridor()), {0, 0, 1000});
    aimCamera(*camera, {0, 0, -500}, 0.0f);
    resetReportsForTest();
    flowFrom(nullptr);
    EXPECT_EQ(marked(solid), (Areas{0, 1, 2, 3}));
    EXPECT_EQ(marked(open), (Areas{0, 1, 2, 3}));
    // Only the scene update's lookup of the camera tells of a wall.
    EXPECT_EQ(reportCount(), 0u);

    // Held by the walled-in instance, the eye still sees the one beyond it.
    camera->instanceIndex = 0;
    for (const auto& instance : scene.instances) instance->enteredThisFrame = false;
    Frustum frustum;
    buildFrustum(*camera, &frustum, Matrix::identity());
    flowFromCamera(scene, frustum);
    EXPECT_EQ(marked(solid), (Areas{0, 1, 2, 3}));
    EXPECT_EQ(marked(open), (Areas{0, 1, 2, 3}));
}

TEST_F(PortalFlow, AreaZeroRoomOfACompiledMapIsEnteredAndLookedThrough) {
    // Area 0 as the middle room: 1 -> 0 at z = 100, then a door at z = 200 into
    // room 2 whose positive side is room 2; before z = 0 and beyond z = 300
    // solid, as outside a sealed map.
    MapData map;
    map.areas.resize(3);
    map.portals = {windowAlongZ(100, -20, 20, -20, 20, 1, 0),
                   testmaps::makePortal({0, 0, 200}, {-20, 0, 0}, {0, 20, 0}, 2, 0)};
    testmaps::linkPortals(map);
    map.bspNodes = {testmaps::splitZ(100, 1, 2), testmaps::splitZ(200, 3, leaf(0)),
                    testmaps::splitZ(0, leaf(1), 0), testmaps::splitZ(300, 0, leaf(2))};
    map.bounds = {{-50, -50, 0}, {50, 50, 300}};
    MapInstance* instance = place(keep(std::move(map)), {0, 0, 0});
    MapInstance* other = place(keep(corridor()), {0, 0, 1000});
    aimCamera(*camera, {0, 0, 50}, 0.0f);
    flowFrom(instance);
    EXPECT_EQ(marked(instance), (Areas{0, 1, 2}));
    // Its outside is solid: the view through the door into area 0 stays in this
    // copy, and the copy ahead, in view but walled off, is not entered.
    EXPECT_FALSE(instance->areaZeroIsOutside);
    EXPECT_TRUE(other->areaZeroIsOutside);
    EXPECT_FALSE(other->enteredThisFrame);

    // An eye exactly on a door's plane, looking along the wall, sees the rooms on
    // both sides: from the door's negative side (area 0 holds the eye) ...
    aimCamera(*camera, {0, 0, 100}, kPi / 2);
    flowFrom(instance);
    EXPECT_EQ(marked(instance), (Areas{0, 1}));
    // ... and from its positive side (room 2 holds the eye).
    aimCamera(*camera, {0, 0, 200}, kPi / 2);
    flowFrom(instance);
    EXPECT_EQ(marked(instance), (Areas{0, 2}));
}

// An open grid of cells 100 wide, every wall between two cells one opening,
// looked across from a corner: the views through the cells cross one another
// and part at every portal, far more than the budget allows. The copy is then
// drawn whole; the last area, joined to nothing, shows it.
TEST_F(PortalFlow, BudgetRunsOutOnALargeOpenGridAndTheCopyIsDrawnWhole) {
    constexpr int kCells = 40;
    MapData map;
    map.areas.resize(kCells * kCells + 2);
    const auto cell = [](int i, int j) { return 1 + i + j * kCells; };
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i) {
            const Vector3 centre{100.0f * static_cast<float>(i) + 50.0f, 0, 100.0f * static_cast<float>(j) + 50.0f};
            if (i + 1 < kCells)
                map.portals.push_back(testmaps::makePortal(centre + Vector3{50, 0, 0}, {0, 0, -50}, {0, 50, 0},
                                                           cell(i, j), cell(i + 1, j)));
            if (j + 1 < kCells)
                map.portals.push_back(testmaps::makePortal(centre + Vector3{0, 0, 50}, {50, 0, 0}, {0, 50, 0},
                                                           cell(i, j), cell(i, j + 1)));
        }
    testmaps::linkPortals(map);
    map.bspNodes = {testmaps::splitZ(-1000, leaf(1), 0)};
    MapInstance* instance = place(keep(std::move(map)), {0, 0, 0});
    MapInstance* beyond = place(keep(corridor()), {6000, 0, 6000});
    aimCamera(*camera, {10, 0, 10}, kPi / 4);
    flowFrom(instance);
    EXPECT_TRUE(instance->flowSpent);
    EXPECT_EQ(marked(instance).size(), instance->map->areas.size());
    EXPECT_EQ(instance->flowDepth, 0);
    // Its area 0, drawn now, may show any copy in view.
    EXPECT_TRUE(beyond->enteredThisFrame);
}

// A chain far longer than any thread's stack could follow by calling itself
// once per portal: 50,000 rooms in a line, a window every 0.2 units, all in view.
TEST_F(PortalFlow, ChainOf50000AreasInALineIsFollowedToTheEnd) {
    constexpr int kRooms = 50000;
    MapData map;
    map.areas.resize(kRooms + 1);
    for (int k = 1; k < kRooms; ++k)
        map.portals.push_back(windowAlongZ(0.2f * static_cast<float>(k), -50, 50, -50, 50, k, k + 1));
    testmaps::linkPortals(map);
    map.bspNodes = {testmaps::splitZ(0.2f, leaf(2), leaf(1))};
    map.bounds = {{-50, -50, 0}, {50, 50, 0.2f * kRooms}};
    MapInstance* instance = place(keep(std::move(map)), {0, 0, 0});
    aimCamera(*camera, {0, 0, 0.1f}, 0.0f);
    flowFrom(instance);
    const Areas seen = marked(instance);
    ASSERT_EQ(seen.size(), static_cast<size_t>(kRooms));
    EXPECT_EQ(seen.front(), 1);
    EXPECT_EQ(seen.back(), kRooms);
}

}  // namespace
}  // namespace q

namespace q {
namespace {

// Lines collected into the device wrapper, as while F is held, read from its
// collection before the frame's end writes them to the line buffer.
struct FrustumLines : PortalFlow {
    GraphicsDevice graphics;
    const LineVertex* buffer = nullptr;

    FrustumLines() {
        test::recordOn(graphics);
        scene.graphics = &graphics;
        graphics.beginLines();
        buffer = graphics.collectedLines();
        camera->collectingLines = true;
    }
    ~FrustumLines() override { camera->collectingLines = false; }
    int count(uint32_t colour) const {
        int n = 0;
        for (uint32_t i = 0; i < graphics.lineCount(); ++i) n += buffer[2 * i].colour == colour;
        return n;
    }
    // Rooms 1 and 2 with one window between them at z = 100.
    MapInstance* oneWindow(float halfWidth, float halfHeight, Vector3 position) {
        MapData map;
        map.areas.resize(3);
        map.portals = {windowAlongZ(100, -halfWidth, halfWidth, -halfHeight, halfHeight, 1, 2)};
        testmaps::linkPortals(map);
        map.bspNodes = {testmaps::splitZ(100, leaf(2), leaf(1))};
        map.bounds = {{-50, -50, 0}, {50, 50, 200}};
        return place(keep(std::move(map)), position);
    }
};

constexpr uint32_t kRed = 0xffff0000u;
constexpr uint32_t kGreen = 0xff00ff00u;

TEST_F(FrustumLines, CameraVolumeIsFourRedLinesToTheFarCorners) {
    // Turned a quarter round to +x and raised: the far corners (view space) are
    // carried to world space by the camera's placement.
    aimCamera(*camera, {10, 20, 30}, kPi / 2);
    Frustum frustum;
    buildFrustum(*camera, &frustum, Matrix::identity());
    ASSERT_EQ(graphics.lineCount(), 4u);
    EXPECT_EQ(count(kRed), 4);
    for (int i = 0; i < 4; ++i) {
        const LineVertex* v = &buffer[2 * i];
        EXPECT_EQ(v[0].x, 10.0f);
        EXPECT_EQ(v[0].y, 20.0f);
        EXPECT_EQ(v[0].z, 30.0f);
        const Vector3 corner = camera->farCorners[i];
        EXPECT_NEAR(v[1].x, 10.0f + corner.z, 1.0f);
        EXPECT_NEAR(v[1].y, 20.0f + corner.y, 1.0f);
        EXPECT_NEAR(v[1].z, 30.0f - corner.x, 1.0f);
    }

    camera->collectingLines = false;
    graphics.beginLines();
    buildFrustum(*camera, &frustum, Matrix::identity());
    EXPECT_EQ(graphics.lineCount(), 0u);
}

TEST_F(FrustumLines, TwoGreenLinesForEverySideThePortalReplaces) {
    aimCamera(*camera, {1000, 0, 50}, 0.0f);
    MapInstance* square = oneWindow(10, 10, {1000, 0, 0});
    flowFrom(square);
    EXPECT_EQ(count(kRed), 4);
    EXPECT_EQ(count(kGreen), 8);  // every corner in view: all four sides replaced
    // From the eye to the window's corners, in world space.
    for (uint32_t i = 4; i < graphics.lineCount(); ++i) {
        const LineVertex* v = &buffer[2 * i];
        EXPECT_EQ(v[0].x, 1000.0f);
        EXPECT_EQ(v[0].z, 50.0f);
        EXPECT_EQ(std::fabs(v[1].x - 1000.0f), 10.0f);
        EXPECT_EQ(std::fabs(v[1].y), 10.0f);
        EXPECT_EQ(v[1].z, 100.0f);
    }

    // A tall slit: its top and bottom corners lie beyond the top and bottom planes,
    // so only the left and right sides are replaced.
    graphics.beginLines();
    flowFrom(oneWindow(10, 60, {1000, 0, 0}));
    EXPECT_EQ(count(kGreen), 4);

    // A window wider than the view in every direction replaces nothing.
    graphics.beginLines();
    flowFrom(oneWindow(60, 60, {1000, 0, 0}));
    EXPECT_EQ(count(kGreen), 0);

    camera->collectingLines = false;
    graphics.beginLines();
    flowFrom(square);
    EXPECT_EQ(graphics.lineCount(), 0u);
}

// Both paths into the room behind the two windows show their views through C:
// the lines of the two windows together are those of each window alone.
TEST_F(FrustumLines, EveryViewThatPassesIsShown) {
    aimCamera(*camera, {0, 0, 0}, 0.0f);
    const auto greenLinesOf = [&](MapData map) {
        graphics.beginLines();
        flowFrom(place(keep(std::move(map)), {0, 0, 0}));
        return count(kGreen);
    };
    MapData onlyA = twoWindows(true);
    onlyA.portals.erase(onlyA.portals.begin() + 1);
    testmaps::linkPortals(onlyA);
    const int throughA = greenLinesOf(std::move(onlyA));
    const int throughB = greenLinesOf(twoWindows(false));
    EXPECT_GT(throughA, 0);
    EXPECT_GT(throughB, 0);
    EXPECT_EQ(greenLinesOf(twoWindows(true)), throughA + throughB);
}

}  // namespace
}  // namespace q
