// Portal culling must never leave a hole: on generated maps, rendered headless
// with OpenGL, a frame in portal mode and a frame with every area drawn must
// show the same pixels, from eyes in rooms, looking through doorways and
// windows, inside walls and outside the building. Among the maps is a sealed
// one whose area 0 is a room with doorways onward, as a map compiler writes
// it. Also measured: how few areas portal mode draws.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gl_required.h"
#include "mapgen/mapgen.h"
#include "move/camera_update.h"
#include "image/image.h"
#include "move/movement.h"
#include "gpu/gl/gl_device.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "vis/render_pass.h"
#include "world/scene.h"
#include "world/standard_placements.h"

namespace q {
namespace {

constexpr uint32_t kWidth = 256;
constexpr uint32_t kHeight = 192;

// Generates a map into a scratch directory and works there while it lives, so
// that the map's relative texture names resolve.
class ScratchMap {
public:
    explicit ScratchMap(const mapgen::MapgenOptions& options) : options_(options) {
        char dir[] = "/tmp/quorvane-conservative-XXXXXX";
        if (!mkdtemp(dir)) return;
        dir_ = dir;
        previous_ = std::filesystem::current_path();
        ok_ = mapgen::generateMap(options, dir_, &error_) && mapgen::buildMap(options, &generated_, &error_);
        std::filesystem::current_path(dir_);
    }
    ~ScratchMap() {
        if (dir_.empty()) return;
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const mapgen::GeneratedMap& generated() const { return generated_; }
    std::string name() const { return mapgen::mapName(options_); }

private:
    mapgen::MapgenOptions options_;
    mapgen::GeneratedMap generated_;
    std::filesystem::path previous_;
    std::string dir_;
    std::string error_;
    bool ok_ = false;
};

struct Sample {
    Vector3 eye;
    float yaw;
    float pitch;
};

float uniform(std::mt19937& random, float lo, float hi) {
    return lo + std::uniform_real_distribution<float>(0.0f, 1.0f)(random) * (hi - lo);
}

// A sample at a map-space point of the files' frame (z up), looking along a
// direction of that frame.
Sample lookingAlong(const MapInstance& instance, const double at[3], const double dir[3]) {
    // The files are z up, the map's own space y up.
    const Vector3 eye = transformCoord({float(at[0]), float(at[2]), float(at[1])}, instance.world);
    const double horizontal = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1]);
    return {eye, float(std::atan2(dir[0], dir[1])), float(-std::atan2(dir[2], horizontal))};
}

// Eyes inside rooms (away from the walls, at standing height), looking every way.
void addEyesInRooms(const mapgen::GeneratedMap& map, const MapInstance& instance, int count, std::mt19937& random,
                    std::vector<Sample>* out) {
    const auto& rooms = map.layout.rooms;
    for (int i = 0; i < count; ++i) {
        const mapgen::Box& b = rooms[random() % rooms.size()].interior;
        const double at[3] = {uniform(random, b.lo[0] + 24, b.hi[0] - 24), uniform(random, b.lo[1] + 24, b.hi[1] - 24),
                              b.lo[2] + 48.0};
        const float yaw = uniform(random, 0, 6.2831853f);
        const double dir[3] = {std::sin(yaw), std::cos(yaw), uniform(random, -0.3f, 0.3f)};
        out->push_back(lookingAlong(instance, at, dir));
    }
}

// Eyes on either side of a doorway or window, some close and some across the
// room, looking at a point of the opening: the views the flow narrows most.
void addEyesThroughPortals(const mapgen::GeneratedMap& map, const MapInstance& instance, int count,
                           std::mt19937& random, std::vector<Sample>* out) {
    for (int i = 0; i < count && !map.portals.empty(); ++i) {
        const mapgen::PortalQuad& p = map.portals[random() % map.portals.size()];
        double lo[3], hi[3];
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min({p.points[0][a], p.points[1][a], p.points[2][a], p.points[3][a]});
            hi[a] = std::max({p.points[0][a], p.points[1][a], p.points[2][a], p.points[3][a]});
        }
        const int axis = hi[0] == lo[0] ? 0 : 1;  // the wall's normal; the opening is flat along it
        const int along = 1 - axis;
        double target[3], at[3];
        for (int a = 0; a < 3; ++a) target[a] = uniform(random, float(lo[a]), float(hi[a]));
        at[axis] = lo[axis] + (random() % 2 ? 1 : -1) * uniform(random, 20, 200);
        at[along] = target[along] + uniform(random, -60, 60);
        at[2] = lo[2] + uniform(random, 8, 80);
        const double dir[3] = {target[0] - at[0], target[1] - at[1], target[2] - at[2]};
        out->push_back(lookingAlong(instance, at, dir));
    }
}

// Eyes in the middle of the walls around rooms: solid space.
void addEyesInWalls(const mapgen::GeneratedMap& map, const MapInstance& instance, int count, std::mt19937& random,
                    std::vector<Sample>* out) {
    const auto& rooms = map.layout.rooms;
    const double half = map.layout.wall / 2.0;
    for (int i = 0; i < count; ++i) {
        const mapgen::Box& b = rooms[random() % rooms.size()].interior;
        const int axis = random() % 2, along = 1 - axis;
        double at[3];
        at[axis] = random() % 2 ? b.hi[axis] + half : b.lo[axis] - half;
        at[along] = uniform(random, float(b.lo[along]), float(b.hi[along]));
        at[2] = uniform(random, b.lo[2] + 8.0f, b.hi[2] - 8.0f);
        const float yaw = uniform(random, 0, 6.2831853f);
        const double dir[3] = {std::sin(yaw), std::cos(yaw), uniform(random, -0.3f, 0.3f)};
        out->push_back(lookingAlong(instance, at, dir));
    }
}

// Eyes outside the building, near it and far off, looking back at it.
void addEyesOutside(const mapgen::GeneratedMap& map, const MapInstance& instance, int count, std::mt19937& random,
                    std::vector<Sample>* out) {
    mapgen::Box all = map.layout.rooms[0].interior;
    for (const mapgen::Room& r : map.layout.rooms)
        for (int a = 0; a < 3; ++a) {
            all.lo[a] = std::min(all.lo[a], r.interior.lo[a]);
            all.hi[a] = std::max(all.hi[a], r.interior.hi[a]);
        }
    for (int i = 0; i < count; ++i) {
        const int axis = random() % 2, along = 1 - axis;
        const float out_ = uniform(random, 20, i % 2 ? 120 : 1500);
        double at[3];
        at[axis] = random() % 2 ? all.hi[axis] + map.layout.wall + out_ : all.lo[axis] - map.layout.wall - out_;
        at[along] = uniform(random, float(all.lo[along]), float(all.hi[along]));
        at[2] = uniform(random, all.lo[2] + 16.0f, all.hi[2] - 16.0f);
        const double dir[3] = {all.centre(0) + uniform(random, -200, 200) - at[0],
                               all.centre(1) + uniform(random, -200, 200) - at[1], all.centre(2) - at[2]};
        out->push_back(lookingAlong(instance, at, dir));
    }
}

// Eyes in the first room, away from its walls, looking at the wall with its
// doorways into the next room, both of them in view.
void addEyesAtTheFirstDoorways(const mapgen::GeneratedMap& map, const MapInstance& instance, int count,
                               std::mt19937& random, std::vector<Sample>* out) {
    const mapgen::Box& b = map.layout.rooms[0].interior;
    for (int i = 0; i < count; ++i) {
        const double at[3] = {uniform(random, b.lo[0] + 40, b.hi[0] - 40), uniform(random, b.lo[1] + 24, b.centre(1)),
                              b.lo[2] + uniform(random, 32, 64)};
        const double dir[3] = {b.centre(0) + uniform(random, -40, 40) - at[0], b.hi[1] - at[1],
                               uniform(random, -0.15f, 0.15f) * (b.hi[1] - at[1])};
        out->push_back(lookingAlong(instance, at, dir));
    }
}

std::vector<Sample> eyesAllOver(const mapgen::GeneratedMap& map, const MapInstance& instance) {
    std::mt19937 random(20261207u);
    std::vector<Sample> samples;
    addEyesInRooms(map, instance, 20, random, &samples);
    addEyesThroughPortals(map, instance, 20, random, &samples);
    addEyesInWalls(map, instance, 8, random, &samples);
    addEyesOutside(map, instance, 8, random, &samples);
    return samples;
}

struct Result {
    // Pixels that differ. A crack between two triangles of a wall is a line one
    // pixel thin, which the everything-frame happens to fill with some surface
    // behind it; a culling fault drops whole surfaces and leaves an area.
    double differingShare = 0;
    long holePixels = 0;        // differing pixels filling a 2 x 2 square
    double meanAreasDrawn = 0;  // portal mode
    int areasInMap = 0;
    int samples = 0;
};

// Differing pixels that are part of a 2 x 2 square of differing pixels.
long inSquares(const std::vector<uint8_t>& mask) {
    std::vector<uint8_t> counted(mask.size());
    long count = 0;
    for (uint32_t y = 0; y + 1 < kHeight; ++y)
        for (uint32_t x = 0; x + 1 < kWidth; ++x) {
            const size_t square[4] = {y * kWidth + x, y * kWidth + x + 1, (y + 1) * kWidth + x, (y + 1) * kWidth + x + 1};
            if (!(mask[square[0]] && mask[square[1]] && mask[square[2]] && mask[square[3]])) continue;
            for (size_t at : square) {
                count += !counted[at];
                counted[at] = 1;
            }
        }
    return count;
}

class ConservativeRender : public ::testing::Test {
protected:
    GraphicsDevice graphics;
    std::unique_ptr<Scene> scene;
    std::vector<std::string> assetDirs;  // given to the scene at load
    bool mapLights = false;              // the map's own lights, not the camera's

    void SetUp() override {
        std::string error;
        std::unique_ptr<gpu::Device> device = gpu::createHeadlessDevice(kWidth, kHeight, &error);
        if (!device) QUORVANE_NO_GL_CONTEXT(error);
        ASSERT_TRUE(graphics.create(std::move(device)));
        ASSERT_NE(graphics.lightingProgram(), nullptr);
    }
    void TearDown() override {
        scene.reset();  // everything it holds goes before the device
        g_portalMode = true;
    }

    // One copy of the map: with five, the generated buildings overlap one
    // another's rooms, which the flow does not look for.
    MapData* load(const ScratchMap& scratch) {
        scene = std::make_unique<Scene>();
        scene->device = graphics.device();
        scene->graphics = &graphics;
        scene->init();
        scene->assetDirs = assetDirs;
        std::string error;
        MapData* map = scene->loadMap(scratch.name().c_str(), &error);
        EXPECT_NE(map, nullptr) << error;
        if (map) placeStandardInstances(*scene, map, 1);
        scene->mapLights = mapLights;
        return map;
    }

    int areasDrawnLast = 0;
    std::vector<uint8_t> frame(bool portals) {
        g_portalMode = portals;
        graphics.beginFrame();
        areasDrawnLast = render(*scene);
        graphics.endFrame(scene->camera->view, scene->camera->projection, portals);
        std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
        EXPECT_TRUE(graphics.device()->readBackBuffer(rgba.data()));
        return rgba;
    }

    // Generates the map, loads one copy and compares the two modes from eyes
    // all over it: in rooms, through portals, in walls and outside.
    void compareAllOver(const mapgen::MapgenOptions& options, const char* label, Result* r);

    Result compare(MapData* map, const std::vector<Sample>& samples) {
        Result result;
        result.areasInMap = static_cast<int>(map->areas.size());
        size_t differing = 0, pixels = 0;
        std::vector<uint8_t> differs(static_cast<size_t>(kWidth) * kHeight);
        long areasDrawn = 0;
        for (const Sample& s : samples) {
            Camera& camera = *scene->camera;
            camera.position = s.eye;
            camera.yaw = s.yaw;
            camera.pitch = s.pitch;
            camera.fallSpeed = 0.0f;
            updateScene(*scene);  // finds the copy and area, and composes the view

            const std::vector<uint8_t> portal = frame(true);
            areasDrawn += areasDrawnLast;
            const std::vector<uint8_t> everything = frame(false);
            for (size_t p = 0; p < portal.size(); p += 4) {
                differs[p / 4] = std::memcmp(&portal[p], &everything[p], 3) != 0;
                differing += differs[p / 4];
            }
            result.holePixels += inSquares(differs);
            pixels += portal.size() / 4;
            ++result.samples;
        }
        if (result.samples) {
            result.differingShare = static_cast<double>(differing) / static_cast<double>(pixels);
            result.meanAreasDrawn = static_cast<double>(areasDrawn) / result.samples;
        }
        return result;
    }
};

void print(const char* mapName, const Result& r) {
    std::printf("%s: %d eye positions; pixels differing from every area drawn: %.5f%% "
                "(%ld of them in holes, the rest thin cracks); areas drawn in portal mode %.2f of %d\n",
                mapName, r.samples, 100.0 * r.differingShare, r.holePixels, r.meanAreasDrawn, r.areasInMap);
}

void expectNoHoles(const Result& r) {
    ASSERT_GE(r.samples, 40);
    EXPECT_EQ(r.holePixels, 0);
    EXPECT_LT(r.differingShare, 1e-4);
}

void ConservativeRender::compareAllOver(const mapgen::MapgenOptions& options, const char* label, Result* r) {
    ScratchMap scratch(options);
    ASSERT_TRUE(scratch.ok()) << scratch.error();
    MapData* map = load(scratch);
    ASSERT_NE(map, nullptr);
    *r = compare(map, eyesAllOver(scratch.generated(), *scene->instances[0]));
    print(label, *r);
    expectNoHoles(*r);
}

mapgen::MapgenOptions preset(const char* name, int count = 0, int areaZeroRoom = 0) {
    mapgen::MapgenOptions options;
    options.preset = name;
    options.count = count;
    options.areaZeroRoom = areaZeroRoom;
    return options;
}

TEST_F(ConservativeRender, DemoMapHasNoHoles) {
    Result r;
    ASSERT_NO_FATAL_FAILURE(compareAllOver(preset("demo"), "demo", &r));
    EXPECT_LT(r.meanAreasDrawn, r.areasInMap);
}

// The same building with every portal written as compilers write portals that
// other splits cut: eight points, the first four covering part of the opening.
TEST_F(ConservativeRender, DemoMapWithEightPointPortalsHasNoHoles) {
    mapgen::MapgenOptions options = preset("demo");
    options.splitPortals = true;
    Result r;
    ASSERT_NO_FATAL_FAILURE(compareAllOver(options, "demo, eight-point portals", &r));
    ASSERT_EQ(scene->maps[0]->portals[0].points.size(), 8u);
    EXPECT_LT(r.meanAreasDrawn, r.areasInMap);
}

// Area 0 is the room in the second row and column, doorways on all four sides;
// outside the building is solid space.
TEST_F(ConservativeRender, SealedMapWithAreaZeroRoomHasNoHoles) {
    Result r;
    ASSERT_NO_FATAL_FAILURE(compareAllOver(preset("grid", 6, 8), "grid 6 with room 8 as area 0", &r));
    EXPECT_LT(r.meanAreasDrawn, r.areasInMap);
}

// The sealed grid again, its portals written as eight points.
TEST_F(ConservativeRender, SealedMapWithEightPointPortalsHasNoHoles) {
    mapgen::MapgenOptions options = preset("grid", 6, 8);
    options.splitPortals = true;
    Result r;
    ASSERT_NO_FATAL_FAILURE(compareAllOver(options, "grid 6 with room 8 as area 0, eight-point portals", &r));
    EXPECT_LT(r.meanAreasDrawn, r.areasInMap);
}

// A room seen through two doorways: what lies beyond it through the second
// doorway only is drawn too, seen from the first room and from all over.
TEST_F(ConservativeRender, RoomSeenThroughTwoDoorwaysHasNoHoles) {
    ScratchMap scratch(preset("twodoors"));
    ASSERT_TRUE(scratch.ok()) << scratch.error();
    MapData* map = load(scratch);
    ASSERT_NE(map, nullptr);
    std::mt19937 random(20261207u);
    std::vector<Sample> samples = eyesAllOver(scratch.generated(), *scene->instances[0]);
    addEyesAtTheFirstDoorways(scratch.generated(), *scene->instances[0], 40, random, &samples);
    const Result r = compare(map, samples);
    print("twodoors", r);
    expectNoHoles(r);
}

// Entity models placed by the map source: a closed door in the doorway, which
// every portal eye sees from one side or the other, a sill reaching into both
// rooms, and statics in one room; and mesh models (a crate, a turned lamp
// from an archive, a skinned barrel). Drawn whenever an area they reach is.
TEST_F(ConservativeRender, EntityAndMeshModelsHaveNoHoles) {
    mapgen::MapgenOptions options = preset("tworooms");
    options.entities = true;
    assetDirs = {"."};  // where the mesh files are
    Result r;
    ASSERT_NO_FATAL_FAILURE(compareAllOver(options, "two rooms with entity and mesh models", &r));
    const MapData& map = *scene->maps[0];
    EXPECT_EQ(map.entityModels.size(), 6u);
    ASSERT_EQ(map.meshModels.placed.size(), 3u);
    for (const PlacedMesh& placed : map.meshModels.placed)
        for (const int material : placed.groupMaterials)
            EXPECT_GE(map.meshModels.materials[static_cast<size_t>(material)].mapMaterial, 0) << placed.entity;
}

// The same map lit by its own lights: each light is drawn over the areas it
// reaches that are drawn, within its box's rectangle on the screen; what
// portal mode leaves out of a light's pass is nowhere in view.
TEST_F(ConservativeRender, MapLightsHaveNoHoles) {
    mapgen::MapgenOptions options = preset("tworooms");
    options.entities = true;
    mapLights = true;
    Result r;
    ASSERT_NO_FATAL_FAILURE(compareAllOver(options, "two rooms lit by the map's lights", &r));
    EXPECT_EQ(scene->maps[0]->lights.size(), 4u);
    EXPECT_GT(scene->frameCost.lightsDrawn, 0);
}

// Entity models (a door in the doorway, a sill, statics) whose materials show
// through: alpha-tested with half their texels cut away, blended, added. What
// is seen through them, portal mode draws too: they are drawn after every
// opaque surface, or cut where their texels are, in both modes alike.
TEST_F(ConservativeRender, AlphaTestedAndBlendedMaterialsHaveNoHoles) {
    mapgen::MapgenOptions options = preset("tworooms");
    options.entities = true;
    ScratchMap scratch(options);
    ASSERT_TRUE(scratch.ok()) << scratch.error();
    // Each entity model gets a material of its own, in turn of the three kinds.
    const std::string procName = scratch.name() + ".proc";
    std::ifstream in(procName);
    std::string proc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const char* kinds[] = {"textures/see/cut", "textures/see/glass", "textures/see/glow"};
    int models = 0;
    for (size_t at = 0; (at = proc.find("model { /* name = */ \"", at)) != std::string::npos; ++at) {
        if (proc.compare(at + 22, 5, "_area") == 0) continue;
        const size_t material = proc.find("textures/gen/trim", at);
        ASSERT_NE(material, std::string::npos);
        proc.replace(material, 17, kinds[models++ % 3]);
    }
    ASSERT_GE(models, 3);
    std::ofstream(procName) << proc;
    std::filesystem::create_directories("materials");
    std::ofstream("materials/see.mtr") << "textures/see/cut { { alphaTest 0.5\n map textures/cut } }\n"
                                          "textures/see/glass { translucent\n diffusemap textures/glass }\n"
                                          "textures/see/glow { { blend add\n map textures/gen/trim } }\n";
    Image image;
    image.width = image.height = 8;
    for (uint32_t i = 0; i < 64; ++i)
        image.rgba.insert(image.rgba.end(), {200, 120, 40, static_cast<uint8_t>((i % 8 + i / 8) % 2 ? 255 : 0)});
    std::string error;
    ASSERT_TRUE(writePng("textures/cut.png", image, &error)) << error;
    for (size_t p = 3; p < image.rgba.size(); p += 4) image.rgba[p] = 128;
    ASSERT_TRUE(writePng("textures/glass.png", image, &error)) << error;
    assetDirs = {"."};

    MapData* map = load(scratch);
    ASSERT_NE(map, nullptr);
    EXPECT_TRUE(map->hasBlendedSurfaces);
    int tested = 0, blended = 0;
    for (const EntityModel& model : map->entityModels)
        for (const SurfaceGroup& group : model.geometry.surfaceGroups)
            for (const Surface& surface : group.surfaces) {
                const MaterialLook& look = map->materials[static_cast<size_t>(surface.material)].look;
                tested += look.alphaTest == 0.5f;
                blended += look.blend != MaterialBlend::Opaque;
            }
    EXPECT_GT(tested, 0);
    EXPECT_GT(blended, 0);
    const Result r = compare(map, eyesAllOver(scratch.generated(), *scene->instances[0]));
    print("two rooms, entity models alpha-tested and blended", r);
    expectNoHoles(r);
    // Lit by the map's lights, the light passes keep the alpha test.
    scene->mapLights = true;
    const Result lit = compare(map, eyesAllOver(scratch.generated(), *scene->instances[0]));
    print("the same lit by the map's lights", lit);
    expectNoHoles(lit);
}

TEST_F(ConservativeRender, Grid16HasNoHolesAndDrawsFewAreas) {
    ScratchMap scratch(preset("grid", 16));
    ASSERT_TRUE(scratch.ok()) << scratch.error();
    MapData* map = load(scratch);
    ASSERT_NE(map, nullptr);
    std::mt19937 random(20261207u);
    std::vector<Sample> inRooms;
    addEyesInRooms(scratch.generated(), *scene->instances[0], 40, random, &inRooms);
    const Result r = compare(map, inRooms);
    print("grid 16", r);
    expectNoHoles(r);
    // From inside one room of 256, only a handful of rooms can be in view.
    EXPECT_LT(r.meanAreasDrawn, 0.1 * r.areasInMap);
}

}  // namespace
}  // namespace q
