// A generated map with entity models and its map source (mapgen tworooms
// --entities), walked and inspected by the real viewer, headless: the camera
// starts on the player start, climbs the solid step, the models (mesh models
// among them) are drawn,
// --no-entities and a damaged source leave them out, and --info lists them.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/run_shell.h"
#include "image/image.h"
#include "image/image_png_read.h"
#include "math/matrix.h"
#include "math/vector.h"
#include "world/camera.h"

namespace q {
namespace {

float number(const std::string& line, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = line.find(tag);
    return at == std::string::npos ? std::nanf("") : std::strtof(line.c_str() + at + tag.size(), nullptr);
}

class EntitiesEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "quorvane_entities_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir_);
        const Result made = runShell(std::string("'") + MAPGEN_BINARY + "' tworooms --entities '" + dir_ + "'");
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    Result viewer(const std::string& arguments) {
        return runShell(std::string("'") + QUORVANE_BINARY + "' --dir '" + dir_ + "' --map tworooms " + arguments);
    }
    // Runs a script of frames; the trace's lines.
    std::vector<std::string> walk(const std::string& script, const std::string& options, Result* run) {
        std::ofstream(dir_ + "/walk.txt") << script;
        *run = viewer("--headless --instances 1 --tick-ms 16 --input '" + dir_ + "/walk.txt' --trace '" + dir_ +
                      "/t.jsonl' " + options);
        std::vector<std::string> lines;
        std::ifstream in(dir_ + "/t.jsonl");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    Image shot(const std::string& options) {
        const Result run = viewer("--headless --instances 1 --frames 3 --screenshot '" + dir_ + "/s.png' " + options);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        Image image;
        std::string error;
        EXPECT_TRUE(loadPng((dir_ + "/s.png").c_str(), &image, &error)) << error;
        return image;
    }

    std::string dir_;
};

constexpr float kRestY = -64.0f + 32.03125f;  // the first copy's floor, the box resting on it

TEST_F(EntitiesEndToEnd, CameraStartsOnThePlayerStartAndClimbsTheSolidStep) {
    Result run;
    const std::vector<std::string> frames = walk("40* 0 0\n60* 0 0 W\n", "", &run);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(frames.size(), 100u);
    // Feet on the start at file (-40, -60, 0), facing its angle 0: the file's +x.
    EXPECT_EQ(number(frames[0], "x"), -40.0f);
    EXPECT_EQ(number(frames[0], "z"), -60.0f);
    EXPECT_NEAR(number(frames[0], "yaw"), 1.5707964f, 1e-6f);
    EXPECT_NEAR(number(frames[39], "y"), kRestY, 1e-3f);
    // 120 units east the box stands on the step, 12 high, from x 40 to 100.
    EXPECT_GT(number(frames.back(), "x"), 60.0f);
    EXPECT_NEAR(number(frames.back(), "y"), kRestY + 12.0f, 1e-3f);

    // --look wins over the start's angle; --no-entities keeps the default start.
    EXPECT_EQ(number(walk("1* 0 0\n", "--look 0 0", &run)[0], "yaw"), 0.0f);
    const std::vector<std::string> without = walk("1* 0 0\n", "--no-entities", &run);
    ASSERT_EQ(without.size(), 1u) << run.output;
    EXPECT_EQ(number(without[0], "x"), 0.0f);
}

TEST_F(EntitiesEndToEnd, ClipBoundToTheDoorLetsThePersonThroughTheDoorway) {
    // East from the west room through the doorway at file x 136 (door and clip box across it).
    Result run;
    const std::vector<std::string> frames =
        walk("20* 0 0\n150* 0 0 W\n", "--start 80 -31 0 --look 1.5707964 0", &run);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(frames.size(), 170u);
    // The clip would stop the box (half width 8) at x 116.
    EXPECT_GT(number(frames.back(), "x"), 160.0f);
    EXPECT_NE(number(frames.back(), "area"), number(frames[0], "area"));
}

// The map's source places lights: the map starts lit by them, unless
// --light camera says otherwise or the source is left unread; LIGHT switches.
TEST_F(EntitiesEndToEnd, TheMapsLightsLightItUnlessAskedOrSwitched) {
    Result run;
    std::vector<std::string> frames = walk("2* 0 0\n0 0 LIGHT\n", "", &run);
    ASSERT_EQ(frames.size(), 3u) << run.output;
    EXPECT_GT(number(frames[0], "lightsDrawn"), 0.0f);
    EXPECT_EQ(number(frames[2], "lightsDrawn"), 0.0f);
    frames = walk("0 0\n0 0 LIGHT\n", "--light camera", &run);
    ASSERT_EQ(frames.size(), 2u) << run.output;
    EXPECT_EQ(number(frames[0], "lightsDrawn"), 0.0f);
    EXPECT_GT(number(frames[1], "lightsDrawn"), 0.0f);
    EXPECT_EQ(number(walk("0 0\n", "--no-entities", &run)[0], "lightsDrawn"), 0.0f);
}

TEST_F(EntitiesEndToEnd, ModelsAreDrawnUnlessTheSourceIsLeftOut) {
    // From the player start the step fills the middle of the picture (both
    // lit by the camera: the map's lights would change every pixel).
    const Image with = shot("--light camera");
    const Image without = shot("--no-entities");
    ASSERT_EQ(with.rgba.size(), without.rgba.size());
    ASSERT_FALSE(with.rgba.empty());
    size_t differing = 0;
    for (size_t p = 0; p < with.rgba.size(); p += 4) differing += with.rgba[p] != without.rgba[p];
    EXPECT_GT(differing, with.rgba.size() / 4 / 20);

    // M names the step's material with the entity that placed it, and only
    // while the source places it.
    Result run;
    walk("30* 0 0\n0 0 M\n", "--look 1.5707964 0.3", &run);
    EXPECT_NE(run.output.find("; area 1 of copy 0; entity func_static_step (func_static)\n"), std::string::npos)
        << run.output;
    walk("30* 0 0\n0 0 M\n", "--look 1.5707964 0.3 --no-entities", &run);
    EXPECT_NE(run.output.find("quorvane: looking at textures/gen/"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("; entity "), std::string::npos) << run.output;
}

// mapgen --meshes' marker, a mesh model of a flat colour nothing else in the
// map has: that colour fills the screen rectangle its placed box projects
// to, and shows nowhere else.
TEST_F(EntitiesEndToEnd, MeshModelsShowWhereTheirEntitiesStand) {
    const Result made = runShell(std::string("'") + MAPGEN_BINARY + "' tworooms --meshes '" + dir_ + "'");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    // 100 units south of the marker (file 70 0 0: 16 wide, 48 tall), looking
    // north, lit by the camera (the map's coloured lights would tint it).
    const Image with = shot("--light camera --start 70 -31 -100 --look 0 0 --assets '" + dir_ + "'");
    ASSERT_EQ(with.width, 1024u);

    // The marker's box in the world (the copy stands 64 below the map's
    // origin), through the camera at rest, in pixels.
    const Matrix toClip = inverse(Matrix::translation(70, kRestY, -100)).value() * Camera().projection;
    float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
    for (int c = 0; c < 8; ++c) {
        const Vector3 ndc = transformCoord({(c & 1) ? 78.0f : 62.0f, (c & 2) ? -16.0f : -64.0f, (c & 4) ? 8.0f : -8.0f}, toClip);
        left = std::min(left, (ndc.x + 1) * 512), right = std::max(right, (ndc.x + 1) * 512);
        top = std::min(top, (1 - ndc.y) * 384), bottom = std::max(bottom, (1 - ndc.y) * 384);
    }
    size_t inside = 0, outside = 0, boxPixels = 0;
    for (size_t p = 0; p < with.rgba.size() / 4; ++p) {
        const float x = static_cast<float>(p % 1024) + 0.5f, y = static_cast<float>(p / 1024) + 0.5f;
        const bool inBox = x >= left - 2 && x <= right + 2 && y >= top - 2 && y <= bottom + 2;
        boxPixels += inBox;
        // Lit, its red and blue stay equal and its green 0 (unlike the
        // overlay's blue letters over red brick).
        const uint8_t* c = &with.rgba[p * 4];
        (inBox ? inside : outside) += c[0] > 80 && c[0] == c[2] && c[1] < 8;
    }
    EXPECT_GT(inside, boxPixels / 3) << left << " " << right << " " << top << " " << bottom;
    EXPECT_EQ(outside, 0u);

    // M names the marker's material (its bitmap's), its entity and its file.
    Result run;
    walk("3* 0 0\n0 0 M\n", "--start 70 -31 -100 --look 0 0 --assets '" + dir_ + "'", &run);
    EXPECT_NE(run.output.find("quorvane: looking at models/mapgen/meshes/marker (no definition); image models/mapgen/meshes/marker.png;"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("; area 1 of copy 0; entity mesh_marker, mesh models/mapgen/meshes/marker.ase\n"),
              std::string::npos)
        << run.output;
}

TEST_F(EntitiesEndToEnd, InfoListsThePlacedModelsAndThePlayerStart) {
    const Result text = viewer("--info");
    ASSERT_EQ(text.exitCode, 0) << text.output;
    EXPECT_NE(text.output.find("\n6 entity models placed from tworooms.map (2 solid)\n"), std::string::npos);
    EXPECT_NE(text.output.find("\nplayer start -40 -31 -60\n"), std::string::npos) << text.output;
    EXPECT_NE(text.output.find("\nlights: 4 (1 ambient, 1 projected, 0 parallel, 2 with shadow volumes, 2 without shadows)\n"), std::string::npos);
    const Result json = viewer("--info --json");
    ASSERT_EQ(json.exitCode, 0) << json.output;
    for (const char* field : {"\"entityModels\":0,", "\"entityModelsPlaced\":6,", "\"playerStart\":[-40,-31,-60],",
                              "{\"name\":\"func_static_step\",\"classname\":\"func_static\",\"origin\":[70,-64,-60],"
                              "\"solid\":true}",
                              "\"classname\":\"func_door\",\"origin\":[136,-64,0],\"solid\":false}",
                              "\"func_static_doorclip\",\"classname\":\"func_static\",\"origin\":[136,-64,0],"
                              "\"solid\":false}",
                              "\"lights\":4,\"ambientLights\":1,\"projectedLights\":1,\"parallelLights\":0,\"lightsWithShadowVolumes\":2,\"lightsWithoutShadows\":2,",
                              "{\"name\":\"light_point\",\"origin\":[-40,-4,70],\"radius\":[240,160,240],"
                              "\"color\":[1,0.8"})
        EXPECT_NE(json.output.find(field), std::string::npos) << field << "\n" << json.output;
    // The mesh entities, whose files mapgen writes: the lamp's in an
    // archive, found as the entity spells it (Lamp.LWO); the crate's damaged
    // here, the barrel's (named by its class's parent) taken away; the
    // character's animated mesh counted apart.
    // A mesh file and an entity definition file are inputs: no output replaces them.
    for (const char* input : {"models/mapgen/crate.ase", "def/mapgen.def"}) {
        const std::string path = dir_ + "/" + input;
        const uintmax_t bytes = std::filesystem::file_size(path);
        const Result refused = viewer("--headless --frames 1 --assets '" + dir_ + "' --trace '" + path + "'");
        EXPECT_EQ(refused.exitCode, 2) << refused.output;
        EXPECT_NE(refused.output.find("which this run reads"), std::string::npos) << refused.output;
        EXPECT_EQ(std::filesystem::file_size(path), bytes) << input;
    }
    std::ofstream(dir_ + "/models/mapgen/crate.ase") << "*3DSMAX_ASCIIEXPORT\n*GEOMOBJECT {\n";
    std::filesystem::remove(dir_ + "/models/mapgen/barrel.lwo");
    const Result meshes = viewer("--info --assets '" + dir_ + "'");
    EXPECT_NE(meshes.output.find("\nmesh models: 3 placed (1 file read, 1 missing, 1 did not read), other kinds: 1 md5mesh\n"),
              std::string::npos)
        << meshes.output;
    const Result meshJson = viewer("--info --json --assets '" + dir_ + "'");
    EXPECT_NE(meshJson.output.find("{\"path\":\"models/mapgen/Lamp.LWO\",\"found\":\"" + dir_ +
                                   "/mapgen_models.zip:models/mapgen/lamp.lwo\",\"read\":true,\"vertices\":24,"
                                   "\"triangles\":12,\"materialsNotDrawn\":[]}"),
              std::string::npos)
        << meshJson.output;
    const Result left = viewer("--info --json --no-entities");
    for (const char* field : {"\"entityModels\":6,", "\"entityModelsPlaced\":0,", "\"playerStart\":null,", "\"entities\":[]",
                              "\"lights\":0,", "\"shadowVolumesOfNoLight\":2,"})
        EXPECT_NE(left.output.find(field), std::string::npos) << field << "\n" << left.output;
}

TEST_F(EntitiesEndToEnd, ASourceThatDoesNotReadIsNamedOnceAndLeftOut) {
    std::ofstream(dir_ + "/tworooms.map") << "Version 2\n{\n\"classname\" \"info_player_start\"\n\"origin\"\n}\n";
    Result run;
    const std::vector<std::string> frames = walk("2* 0 0\n", "", &run);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("tworooms.map:5: expected a \"value\" after the key"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("6 entity models"), std::string::npos) << run.output;  // left undrawn
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(number(frames[0], "x"), 0.0f);  // the default start
}

}  // namespace
}  // namespace q
