// Maps written the way a real map compiler writes them, each loaded, drawn and
// walked by the real viewer, headless, with a simulated clock. The maps are
// small hand-written files in tests/data/variations (one per way real files
// differ from ours, and one holding them all); each is a room 1024 x 512
// inside, x from -512 to 512 and y from -256 to 256 in the files' z-up frame,
// floor top at z 0, walls 256 high, unless its test says otherwise.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/image_png_read.h"

namespace q {
namespace {

// Instance 0 stands at (0, -64, 0) unturned: the files' floor at z 0 is the
// world's y -64, and the camera's box (half height 32) rests 1/32 above it.
constexpr float kRestY = -64.0f + 32.03125f;
constexpr float kEastWallStop = 512.0f - 8.0f - 0.03125f;  // box half width 8
const std::string kFacingEast = " --look 1.5707964 0";

struct Frame {
    float x = 0, y = 0, z = 0, fallSpeed = 0;
    int instance = -1, area = -1, visibleAreas = -1;
    bool portalMode = false;
};

struct ViewerRun {
    int exitCode = -1;
    std::vector<Frame> frames;
    std::vector<std::string> errors;  // stderr, a line each
    Image shot;
};

float number(const std::string& line, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = line.find(tag);
    return at == std::string::npos ? std::nanf("") : std::strtof(line.c_str() + at + tag.size(), nullptr);
}

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The viewer on one variation map, driven by script, 16 ms a frame.
ViewerRun view(const std::string& map, const std::string& script, const std::string& options, bool screenshot = false) {
    const std::string base = ::testing::TempDir() + "variation_" + std::to_string(::getpid()) + "_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::ofstream(base + ".txt") << script;
    const std::string command = std::string("'") + QUORVANE_BINARY + "' --headless --tick-ms 16 --dir '" +
                                QUORVANE_SOURCE_DIR + "/tests/data/variations' --map " + map + " --input '" + base +
                                ".txt' --trace '" + base + ".jsonl' " + (screenshot ? "--screenshot '" + base + ".png' " : "") +
                                options + " >/dev/null 2>'" + base + ".err'";
    ViewerRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (const std::string& line : linesOf(base + ".jsonl")) {
        Frame f;
        f.x = number(line, "x");
        f.y = number(line, "y");
        f.z = number(line, "z");
        f.fallSpeed = number(line, "fallSpeed");
        f.instance = static_cast<int>(number(line, "instance"));
        f.area = static_cast<int>(number(line, "area"));
        f.visibleAreas = static_cast<int>(number(line, "visibleAreas"));
        f.portalMode = line.find("\"portalMode\":true") != std::string::npos;
        run.frames.push_back(f);
    }
    run.errors = linesOf(base + ".err");
    if (screenshot) {
        std::string error;
        EXPECT_TRUE(loadPng((base + ".png").c_str(), &run.shot, &error)) << error;
    }
    for (const char* ext : {".txt", ".jsonl", ".err", ".png"}) std::remove((base + ext).c_str());
    return run;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    return all;
}

int linesWith(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const std::string& l : lines) n += l.find(text) != std::string::npos;
    return n;
}

bool lit(const Image& image, uint32_t x, uint32_t y) {
    const uint8_t* p = &image.rgba[(size_t{y} * image.width + x) * 4];
    return p[0] + p[1] + p[2] > 30;
}

// Share of lit pixels in a rectangle of the screenshot.
double litShare(const Image& image, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
    if (image.width < x1 || image.height < y1) return 0.0;
    size_t n = 0;
    for (uint32_t y = y0; y < y1; ++y)
        for (uint32_t x = x0; x < x1; ++x) n += lit(image, x, y);
    return static_cast<double>(n) / (double(x1 - x0) * (y1 - y0));
}

// The camera fell and now rests where it stands.
void expectResting(const std::vector<Frame>& frames, float y, float tolerance = 1e-3f) {
    ASSERT_GT(frames.size(), 10u);
    EXPECT_NEAR(frames.back().y, y, tolerance);
    EXPECT_EQ(frames.back().fallSpeed, 0.0f);
    EXPECT_EQ(frames[frames.size() - 10].y, frames.back().y);
}

// Walked east into the room's east wall: stopped there, the last frames still.
void expectStoppedByEastWall(const std::vector<Frame>& frames) {
    ASSERT_GT(frames.size(), 20u);
    EXPECT_NEAR(frames.back().x, kEastWallStop, 0.05f);
    EXPECT_EQ(frames[frames.size() - 20].x, frames.back().x);
}

TEST(Variations, OneAreaMapIsAreaZeroEverywhereAndDrawsInBothModes) {
    // No portals and no area tree: every frame is in area 0, falling, resting
    // and walking; looking down the room, both drawing modes show the floor.
    const std::string options = " --instances 1 --look 1.5707964 0.45";
    const ViewerRun portals = view("one_area", "40* 0 0\n30* 0 0 W\n", options, true);
    const ViewerRun everything = view("one_area", "40* 0 0\n30* 0 0 W\n0 0 TAB\n", options, true);
    for (const ViewerRun* run : {&portals, &everything}) {
        ASSERT_EQ(run->exitCode, 0) << joined(run->errors);
        EXPECT_TRUE(run->errors.empty()) << joined(run->errors);
        for (const Frame& f : run->frames) {
            EXPECT_EQ(f.instance, 0);
            EXPECT_EQ(f.area, 0);
        }
        EXPECT_NEAR(run->frames.back().y, kRestY, 1e-3f);
        EXPECT_GT(run->frames.back().x, 50.0f);  // walked east
        EXPECT_GT(litShare(run->shot, 0, 400, 1024, 768), 0.9) << "floor and walls below the horizon";
    }
    ASSERT_EQ(portals.frames.size(), 70u);
    EXPECT_TRUE(portals.frames.back().portalMode);
    EXPECT_EQ(portals.frames.back().visibleAreas, 1);
    ASSERT_EQ(everything.frames.size(), 71u);
    EXPECT_FALSE(everything.frames.back().portalMode);
}

TEST(Variations, EntityModelsAreLeftUndrawnAndSaidSoOnce) {
    // Area 1 holds only its floor; "func_static_1", read after it, would stand
    // 300 east of the portal at x 0 if its own space were the map's. Its
    // placement is not in the files, so it is not drawn: seen from area 0
    // through the portal there is only sky where its panel would be, and one
    // line says why.
    const ViewerRun run = view("entity_models", "3* 0 0\n", "--instances 1 --start -300 -31.96875 0" + kFacingEast, true);
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    ASSERT_EQ(run.errors.size(), 1u) << joined(run.errors);
    EXPECT_NE(run.errors[0].find("2 entity models"), std::string::npos) << run.errors[0];
    EXPECT_NE(run.errors[0].find("left undrawn"), std::string::npos) << run.errors[0];
    ASSERT_EQ(run.frames.size(), 3u);
    EXPECT_EQ(run.frames.back().area, 0);
    EXPECT_EQ(run.frames.back().visibleAreas, 2);  // the area numbering is as before
    ASSERT_EQ(run.shot.width, 1024u);
    EXPECT_LT(litShare(run.shot, 502, 364, 522, 404), 0.05) << "where the entity's panel would be";
    EXPECT_LT(litShare(run.shot, 800, 250, 1000, 330), 0.05) << "sky beside and above it";
}

TEST(Variations, ShadowModelsAfterTheNodesArePassedOver) {
    // Thousands of numbers and a name of more than 127 characters whose tail
    // holds "model", "nodes" and "interAreaPortals": none of it opens a block.
    const ViewerRun run = view("shadow_models", "60* 0 0\n", "--instances 1");
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    EXPECT_TRUE(run.errors.empty()) << joined(run.errors);
    ASSERT_EQ(run.frames.size(), 60u);
    EXPECT_EQ(run.frames.back().area, 1);  // x 0 lies on the tree's plane: the positive side
    expectResting(run.frames, kRestY);
}

TEST(Variations, WorldWallStopsTheCameraWhenEntityCollisionModelsFollow) {
    // The collision file holds "worldMap", then two entities' models, the last
    // a small crate in the room's north-west corner, far from this walk.
    const ViewerRun run = view("several_collision_models", "20* 0 0\n70* 0 0 W\n",
                         "--instances 1 --start 420 -20 0" + kFacingEast);
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    ASSERT_EQ(run.frames.size(), 90u);
    EXPECT_NEAR(run.frames[19].y, kRestY, 1e-3f) << "the world floor holds the camera";
    expectStoppedByEastWall(run.frames);
    EXPECT_EQ(run.frames.back().area, 1);
}

TEST(Variations, TinyNormalComponentsAndLongDecimalsAreReadAsWritten) {
    // The floor's top plane leans by 0.0039 (one unit over 256, downwards to
    // the east), and the area tree's plane is nearly x = 0.
    const ViewerRun run = view("tiny_normals", "30* 0 0\n50* 0 0 W\n",
                               "--instances 1 --start -30 -20 0" + kFacingEast);
    // Resting on the leaning plane: the box's corner reaches 8 x 0.0039 further.
    const auto restY = [](float x) { return kRestY + (8.0f - x) * 0.0039215675f; };
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    EXPECT_TRUE(run.errors.empty()) << joined(run.errors) << "(no portal here is parallel to no axis)";
    ASSERT_EQ(run.frames.size(), 80u);
    EXPECT_EQ(run.frames[29].area, 0);
    EXPECT_NEAR(run.frames[29].y, restY(-30.0f), 0.01f);
    EXPECT_EQ(run.frames[29].fallSpeed, 0.0f);
    EXPECT_EQ(run.frames.back().area, 1);
    EXPECT_NEAR(run.frames.back().x, 70.0f, 0.01f);
    EXPECT_NEAR(run.frames.back().y, restY(70.0f), 0.25f);  // walking down the slope, a step at a time
    for (const Frame& f : run.frames) EXPECT_TRUE(std::isfinite(f.x) && std::isfinite(f.y) && std::isfinite(f.z));
}

TEST(Variations, PortalsParallelToNoAxisAreReportedOnceEachAndLookedThrough) {
    // Three areas in a row split by leaning planes; three leaning portals.
    const ViewerRun run = view("skew_portals", "3* 0 0\n150* 0 0 W\n", "--instances 1 --start -150 -31.96875 0" + kFacingEast);
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    EXPECT_EQ(run.errors.size(), 3u) << joined(run.errors);
    for (int portal = 0; portal < 3; ++portal)
        EXPECT_EQ(linesWith(run.errors, "zop (portal " + std::to_string(portal) + " of skew_portals.proc)"), 1)
            << joined(run.errors);
    ASSERT_EQ(run.frames.size(), 153u);
    EXPECT_EQ(run.frames[2].area, 0);
    EXPECT_EQ(run.frames[2].visibleAreas, 3);
    // Walking east crosses both leaning planes, area by area.
    int area = 0;
    for (const Frame& f : run.frames) {
        EXPECT_GE(f.area, area);
        area = f.area;
    }
    EXPECT_EQ(run.frames.back().area, 2);
    EXPECT_NEAR(run.frames.back().x, 150.0f, 0.01f);
}

TEST(Variations, PortalsOfFiveAndThreePointsAreKeptAndOfTwoDropped) {
    // Four areas in a row split at x -256, 0 and 256: a five-point portal, a
    // three-point one, and one of two points between areas 2 and 3. Walked
    // from area 0 through the first two into area 2.
    const ViewerRun run = view("portal_points", "3* 0 0\n150* 0 0 W\n", "--instances 1 --start -280 -31.96875 0" + kFacingEast);
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    ASSERT_EQ(run.errors.size(), 1u) << joined(run.errors);
    EXPECT_NE(run.errors[0].find("dropped the portal on line 114 of portal_points.proc: it has 2 points"),
              std::string::npos)
        << run.errors[0];
    ASSERT_EQ(run.frames.size(), 153u);
    EXPECT_EQ(run.frames[2].area, 0);
    EXPECT_EQ(run.frames[2].visibleAreas, 3) << "areas 0, 1 and 2; area 3 only lay behind the dropped portal";
    std::vector<int> areasCrossed{run.frames[0].area};
    for (const Frame& f : run.frames)
        if (f.area != areasCrossed.back()) areasCrossed.push_back(f.area);
    EXPECT_EQ(areasCrossed, (std::vector<int>{0, 1, 2}));
    EXPECT_NEAR(run.frames.back().x, 20.0f, 0.01f);
    EXPECT_EQ(run.frames.back().visibleAreas, 1) << "area 3 lies straight ahead, but only behind the dropped portal";
}

TEST(Variations, OverlappingCopiesWithTheEyeInSolidReportTheCameraOnceASecond) {
    // The map is 9000 units across, so the five copies overlap; below z 200
    // all of it but one room is solid in the area tree, and a pillar stands at
    // the origin where the camera starts. Every frame the eye is in solid
    // space of all five copies: 300 frames of 16 ms are 4.8 seconds. Only the
    // lookup of the copy that holds the camera reports; the flow's lookups in
    // the copies it enters are silent.
    const ViewerRun run = view("large_map", "300* 0 0\n", "--look 0 -1.4");
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    ASSERT_EQ(run.frames.size(), 300u);
    std::map<std::string, int> linesPerMessage;
    for (const std::string& line : run.errors) {
        EXPECT_NE(line.find("我在墙里!"), std::string::npos) << line;
        ++linesPerMessage[line.substr(0, line.find(" ["))];  // without the count of lines held back
    }
    ASSERT_EQ(linesPerMessage.size(), 1u) << joined(run.errors);
    EXPECT_NE(linesPerMessage.begin()->first.find("instance 0"), std::string::npos) << joined(run.errors);
    for (const auto& [message, count] : linesPerMessage) EXPECT_EQ(count, 5) << message;
    EXPECT_EQ(run.frames.back().instance, 0);
    // Inside the pillar nothing holds the box up but the floor below it.
    expectResting(run.frames, kRestY);
}

TEST(Variations, MissingMaterialImagesAreSummedUpInOneLineAndDrawnLit) {
    const ViewerRun run = view("missing_images", "40* 0 0\n", "--instances 1 --look 0 0.3", true);
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    ASSERT_EQ(run.errors.size(), 1u) << joined(run.errors);
    EXPECT_NE(run.errors[0].find("12 of 13 material images missing: textures/city/brick_01, "), std::string::npos)
        << run.errors[0];
    expectResting(run.frames, kRestY);
    // Looking north at the wall of twelve untextured materials.
    EXPECT_GT(litShare(run.shot, 0, 200, 1024, 768), 0.95);
}

TEST(Variations, MissingMaterialImagesDrawAsAGreyGridWhenAsked) {
    const std::string options = "--instances 1 --look 0 0.3";
    const Image plain = view("missing_images", "40* 0 0\n", options, true).shot;
    const ViewerRun run = view("missing_images", "40* 0 0\n", options + " --untextured grid", true);
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    ASSERT_EQ(run.errors.size(), 1u) << joined(run.errors);
    EXPECT_NE(run.errors[0].find("drawn with a grey grid"), std::string::npos) << run.errors[0];
    ASSERT_EQ(plain.width, run.shot.width);
    // The wall of twelve missing materials (above the horizon, right of the
    // overlay): mid grey cells darken the lit surface, and the grid's lines
    // make edges that the plain surface lacks.
    double plainLight = 0, gridLight = 0;
    size_t plainEdges = 0, gridEdges = 0, pixels = 0;
    auto green = [](const Image& image, uint32_t x, uint32_t y) { return int(image.rgba[(size_t{y} * image.width + x) * 4 + 1]); };
    for (uint32_t y = 110; y < 280; ++y)
        for (uint32_t x = 150; x + 3 < 1024; ++x, ++pixels) {
            plainLight += green(plain, x, y);
            gridLight += green(run.shot, x, y);
            plainEdges += std::abs(green(plain, x, y) - green(plain, x + 3, y)) > 12;
            gridEdges += std::abs(green(run.shot, x, y) - green(run.shot, x + 3, y)) > 12;
        }
    EXPECT_LT(gridLight, 0.65 * plainLight);
    EXPECT_GT(gridEdges, plainEdges + pixels / 50);
}

TEST(Variations, AllOfItInOneMap) {
    // Four areas in a row as in the portal test, the last two split by a
    // leaning portal next to the dropped one; entities in areas 0 and 3 with
    // their own collision models, left undrawn; shadow models; five missing
    // images, two of them named only by the entities and so not looked for.
    const ViewerRun run = view("combined", "30* 0 0\n160* 0 0 W\n", "--instances 1 --start 230 -20 0" + kFacingEast, true);
    ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
    EXPECT_EQ(run.errors.size(), 5u) << joined(run.errors);
    EXPECT_EQ(linesWith(run.errors, "zop (portal"), 2) << joined(run.errors);
    EXPECT_EQ(linesWith(run.errors, "dropped the portal on line"), 1);
    EXPECT_EQ(linesWith(run.errors, "3 of 5 material images missing"), 1);
    EXPECT_EQ(linesWith(run.errors, "2 entity models"), 1);
    ASSERT_EQ(run.frames.size(), 190u);
    EXPECT_NEAR(run.frames[29].y, kRestY, 1e-3f);
    EXPECT_EQ(run.frames[29].area, 2);
    EXPECT_EQ(run.frames[29].visibleAreas, 2) << "area 3 through the leaning portal";
    EXPECT_EQ(run.frames.back().area, 3);
    expectStoppedByEastWall(run.frames);
    EXPECT_GT(litShare(run.shot, 0, 400, 1024, 768), 0.9);
}

TEST(Variations, AreaOptionStandsTheCameraOnAFloorOfThatArea) {
    // Four areas in a row along x; each start rests on the floor of its area
    // and stays there, with --instances and --look as given.
    for (int area : {0, 3}) {
        const ViewerRun run = view("combined", "20* 0 0\n", "--instances 2 --look 1 0.2 --area " + std::to_string(area));
        ASSERT_EQ(run.exitCode, 0) << joined(run.errors);
        ASSERT_EQ(run.frames.size(), 20u);
        for (const Frame& f : run.frames) {
            EXPECT_EQ(f.instance, 0);
            EXPECT_EQ(f.area, area);
        }
        EXPECT_NEAR(run.frames.back().y, kRestY, 1e-3f) << "standing on the floor";
    }
    const ViewerRun beyond = view("combined", "1* 0 0\n", "--instances 1 --area 4");
    EXPECT_EQ(beyond.exitCode, 2);
    EXPECT_TRUE(beyond.frames.empty());
    EXPECT_EQ(linesWith(beyond.errors, "--area 4: no such area; the map has areas 0 to 3"), 1) << joined(beyond.errors);
}

// The viewer's --info on one variation map: exit code and what it printed.
int info(const std::string& map, const std::string& options, std::string* out) {
    const std::string command = std::string("'") + QUORVANE_BINARY + "' --dir '" + QUORVANE_SOURCE_DIR +
                                "/tests/data/variations' --map " + map + " --info " + options + " 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out->append(chunk, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Variations, InfoSumsUpTheMapWithoutAWindow) {
    std::string text;
    ASSERT_EQ(info("combined", "", &text), 0) << text;
    for (const char* line : {"4 areas, 3 portals, 3 BSP nodes\n", "8 surfaces drawn, 28 triangles\n",
                             "2 entity models (2 surfaces) not drawn", "3 collision models, 7 brushes\n",
                             // world units of the first copy, 64 lower: the numbers --start takes
                             "bounds (world units, first copy): -528 -80 -272 to 528 192 272\n",
                             "area 2: 2 surfaces, 6 triangles, 2 portals, standing point ",
                             "copy 3: position 4000 -64 -4000, yaw 0, bounds 3472 -80 -4272 to 4528 192 -3728\n",
                             "5 materials, 3 missing\n", "  textures/base/floor: textures/base/floor.jpg\n",
                             "  textures/city/tile_01: missing\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in:\n" << text;

    std::string json;
    ASSERT_EQ(info("combined", "--json", &json), 0) << json;
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << json;
    for (const char* part : {"{\"map\":\"combined\",\"areas\":4,\"portals\":3,\"bspNodes\":3,\"surfaces\":8,",
                             "\"entityModels\":2,", "\"brushes\":7,", "\"mins\":[-528,-80,-272]",
                             "{\"area\":0,\"surfaces\":2,\"triangles\":8,\"portals\":1,\"standingPoint\":[",
                             "{\"name\":\"textures/city/tile_01\",\"file\":null,\"definition\":null}",
                             ",\"copies\":[{\"position\":[0,-64,0],\"yaw\":0,\"bounds\":{\"mins\":[-528,-80,-272],"
                             "\"maxs\":[528,192,272]}},{\"position\":[4000,-64,4000],\"yaw\":10,"})
        EXPECT_NE(json.find(part), std::string::npos) << part << " in:\n" << json;

    // A map without entity models says nothing of them; one material is one.
    std::string oneArea;
    ASSERT_EQ(info("one_area", "", &oneArea), 0) << oneArea;
    EXPECT_EQ(oneArea.find("entity model"), std::string::npos) << oneArea;
    EXPECT_NE(oneArea.find("1 area, 0 portals, 0 BSP nodes\n"), std::string::npos) << oneArea;

    std::string none;
    EXPECT_EQ(info("no_such_map", "", &none), 1);
    EXPECT_TRUE(none.empty()) << none;
}

}  // namespace
}  // namespace q
