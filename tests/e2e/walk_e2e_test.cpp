// Walking the generated demo building through the real viewer, headless, with
// scripted input; what happened is read back from the per-frame trace. The
// building's rooms come from the generator's own layout, so the expected
// positions follow the map rather than being copied into the test.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mapgen/mapgen.h"
#include "image/image.h"
#include "image/image_png_read.h"
#include "world/terrain.h"

namespace q {
namespace {

// Instance 0 stands at (0, -64, 0) unturned: a map point (x, y, z) in the
// files' z-up frame is at world (x, z - 64, y).
constexpr float kInstanceY = -64.0f;
constexpr float kRestAboveFloor = 32.03125f;  // box half height plus the trace's stand-off
const float kQuarterTurn = 1.5707964f;

struct Frame {
    float x = 0, y = 0, z = 0, fallSpeed = 0;
    int instance = -1, area = -1;
    bool freeFlight = false;
};

float number(const std::string& line, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = line.find(tag);
    return at == std::string::npos ? std::nanf("") : std::strtof(line.c_str() + at + tag.size(), nullptr);
}

class WalkEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Per process: other checkouts may run this suite at the same time.
        dir_ = new std::string(::testing::TempDir() + "quorvane_walk_e2e_" + std::to_string(::getpid()));
        std::filesystem::remove_all(*dir_);
        const std::string command = std::string("'") + MAPGEN_BINARY + "' demo '" + *dir_ + "' >/dev/null 2>&1";
        mapgenStatus_ = std::system(command.c_str());
        mapgen::MapgenOptions options;
        options.preset = "demo";
        layout_ = new mapgen::Layout;
        std::string error;
        layoutBuilt_ = mapgen::buildLayout(options, layout_, &error);
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(*dir_);
        delete dir_;
        delete layout_;
    }
    void SetUp() override {
        ASSERT_EQ(mapgenStatus_, 0);
        ASSERT_TRUE(layoutBuilt_);
    }

    static const mapgen::Room& room(const char* name) {
        for (const mapgen::Room& r : layout_->rooms)
            if (r.name == name) return r;
        ADD_FAILURE() << "no room " << name;
        return layout_->rooms.front();
    }
    static float floorY(const mapgen::Room& r) { return static_cast<float>(r.interior.lo[2]) + kInstanceY; }

    // Runs the viewer for as many frames as the script holds and returns the trace.
    std::vector<Frame> walk(const std::string& script, const std::string& options) {
        const std::string base = *dir_ + "/walk_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        {
            std::ofstream out(base + ".txt");
            out << script;
        }
        const std::string command = std::string("'") + QUORVANE_BINARY + "' --headless --dir '" + *dir_ +
                                    "' --input '" + base + ".txt' --trace '" + base + ".jsonl' " + options +
                                    " >'" + base + ".log' 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
        std::vector<Frame> frames;
        std::ifstream in(base + ".jsonl");
        for (std::string line; std::getline(in, line);) {
            Frame f;
            f.x = number(line, "x");
            f.y = number(line, "y");
            f.z = number(line, "z");
            f.fallSpeed = number(line, "fallSpeed");
            f.instance = static_cast<int>(number(line, "instance"));
            f.area = static_cast<int>(number(line, "area"));
            f.freeFlight = line.find("\"freeFlight\":true") != std::string::npos;
            frames.push_back(f);
        }
        std::remove((base + ".txt").c_str());
        std::remove((base + ".jsonl").c_str());
        std::remove((base + ".log").c_str());
        return frames;
    }

    static std::string* dir_;
    static mapgen::Layout* layout_;
    static int mapgenStatus_;
    static bool layoutBuilt_;
};

std::string* WalkEndToEnd::dir_ = nullptr;
mapgen::Layout* WalkEndToEnd::layout_ = nullptr;
int WalkEndToEnd::mapgenStatus_ = -1;
bool WalkEndToEnd::layoutBuilt_ = false;

TEST_F(WalkEndToEnd, FallsOntoTheStartRoomFloorAndRests) {
    const std::vector<Frame> frames = walk("60* 0 0\n", "--instances 1");
    ASSERT_EQ(frames.size(), 60u);
    const mapgen::Room& atrium = room("atrium");
    const Frame& last = frames.back();
    EXPECT_EQ(last.instance, 0);
    EXPECT_EQ(last.area, atrium.area);
    EXPECT_NEAR(last.y, floorY(atrium) + kRestAboveFloor, 1e-3f);
    EXPECT_EQ(last.fallSpeed, 0.0f);
    // Resting: nothing moves over the last frames.
    EXPECT_EQ(frames[frames.size() - 10].y, last.y);
}

TEST_F(WalkEndToEnd, WalkingIntoAWallStopsAtTheWall) {
    // Off the atrium's east doorway, facing east (+x).
    const mapgen::Room& atrium = room("atrium");
    const float z = static_cast<float>(atrium.interior.lo[1]) + 60.0f;
    const std::vector<Frame> frames =
        walk("200* 0 0 W\n", "--instances 1 --start 100 -20 " + std::to_string(z) + " --look " +
                                 std::to_string(kQuarterTurn) + " 0");
    ASSERT_EQ(frames.size(), 200u);
    const float wall = static_cast<float>(atrium.interior.hi[0]);
    EXPECT_NEAR(frames.back().x, wall - 8.0f - 0.03125f, 0.05f);
    EXPECT_EQ(frames[frames.size() - 20].x, frames.back().x);
    EXPECT_NEAR(frames.back().z, z, 1e-3f);
    EXPECT_FALSE(frames.back().freeFlight);

    // The same walk in free flight (N) goes through the wall, level; N again
    // hands the camera back to gravity.
    const std::vector<Frame> flown =
        walk("0 0 N\n200* 0 0 W\n0 0 N\n", "--instances 1 --start 100 -20 " + std::to_string(z) + " --look " +
                                               std::to_string(kQuarterTurn) + " 0");
    ASSERT_EQ(flown.size(), 202u);
    EXPECT_TRUE(flown[0].freeFlight && flown[200].freeFlight);
    EXPECT_GT(flown[200].x, wall + 8.0f);
    EXPECT_EQ(flown[200].y, flown[0].y);
    EXPECT_FALSE(flown.back().freeFlight);
}

TEST_F(WalkEndToEnd, StairsAreClimbedToTheLanding) {
    // In the stairwell east of the lowest step, facing west up the steps.
    const mapgen::Room& stairs = room("stairwell");
    // Off the middle: the landing's doorway west into the gallery is centred.
    const float z = static_cast<float>(stairs.interior.lo[1]) + 40.0f;
    const float x = static_cast<float>(stairs.interior.hi[0]) - 100.0f;
    const std::vector<Frame> frames =
        walk("320* 0 0 W\n", "--instances 1 --start " + std::to_string(x) + " -20 " + std::to_string(z) +
                                 " --look " + std::to_string(-kQuarterTurn) + " 0");
    ASSERT_EQ(frames.size(), 320u);
    // The landing is the upper storey's floor, 144 above the ground floor.
    const float landing = floorY(stairs) + 144.0f + kRestAboveFloor;
    EXPECT_NEAR(frames.back().y, landing, 0.05f);
    EXPECT_LT(frames.back().x, static_cast<float>(stairs.interior.lo[0]) + 96.0f);
}

TEST_F(WalkEndToEnd, WalkingThroughADoorwayChangesTheArea) {
    const mapgen::Room& atrium = room("atrium");
    const mapgen::Room& hall = room("hall1");
    const std::vector<Frame> frames =
        walk("150* 0 0 W\n", "--instances 1 --start 150 -20 0 --look " + std::to_string(kQuarterTurn) + " 0");
    ASSERT_EQ(frames.size(), 150u);
    EXPECT_EQ(frames[5].area, atrium.area);
    EXPECT_EQ(frames.back().area, hall.area);
    EXPECT_GT(frames.back().x, static_cast<float>(hall.interior.lo[0]));
}

// With a clock the camera covers the same ground in a second at 10 frames a
// second as at 50: the same steps, taken a few to a frame.
TEST_F(WalkEndToEnd, ASecondOfWalkingCoversTheSameGroundAtAnyFrameRate) {
    const std::string start = "--instances 1 --start 150 -20 0 --look " + std::to_string(kQuarterTurn) + " 0";
    const std::vector<Frame> slow = walk("11* 0 0 W\n", start + " --tick-ms 100");
    const std::vector<Frame> fast = walk("51* 0 0 W\n", start + " --tick-ms 20");
    ASSERT_EQ(slow.size(), 11u);
    ASSERT_EQ(fast.size(), 51u);
    EXPECT_NEAR(slow[10].x - slow[0].x, 60 * 2.0f, 1e-3f) << "60 steps of 2 units";
    EXPECT_TRUE(slow[10].x == fast[50].x && slow[10].y == fast[50].y && slow[10].z == fast[50].z)
        << slow[10].x << " " << slow[10].y << " against " << fast[50].x << " " << fast[50].y;
}

TEST_F(WalkEndToEnd, FlyingUnderACeilingStopsThere) {
    const mapgen::Room& porch = room("porch");
    const float z = 0.5f * static_cast<float>(porch.interior.lo[1] + porch.interior.hi[1]);
    const std::vector<Frame> frames = walk("100* 0 0 L\n", "--instances 1 --start 0 -20 " + std::to_string(z));
    ASSERT_EQ(frames.size(), 100u);
    const float ceiling = static_cast<float>(porch.interior.hi[2]) + kInstanceY;
    EXPECT_NEAR(frames.back().y, ceiling - kRestAboveFloor, 1e-3f);
    EXPECT_EQ(frames[frames.size() - 10].y, frames.back().y);
    EXPECT_EQ(frames.back().fallSpeed, 0.0f);
}

TEST_F(WalkEndToEnd, OutsideEveryInstanceTheEyeSettlesOnTheTerrain) {
    const std::vector<Frame> frames = walk("150* 0 0\n", "--start 2500 0 300");
    ASSERT_EQ(frames.size(), 150u);
    const Frame& last = frames.back();
    EXPECT_EQ(last.instance, -1);
    const Terrain terrain(nullptr, 128, 128);
    EXPECT_EQ(last.y, terrain.heightAt({last.x, 0, last.z}) + 32.0f);
    EXPECT_EQ(last.x, 2500.0f);
    EXPECT_EQ(last.z, 300.0f);
}

// The portal display (P) in a headless picture: from inside the atrium facing
// its east doorway, the doorway the view passes is outlined green and portals
// the view does not pass (behind walls, drawn over them) red; in both modes.
TEST_F(WalkEndToEnd, PortalDisplayOutlinesPassedPortalsGreenAndOthersRed) {
    const std::string start = "--instances 1 --start 150 -20 0 --look " + std::to_string(kQuarterTurn) + " 0";
    struct Counts {
        int green = 0, red = 0;
    };  // pure green and pure red pixels
    auto shoot = [&](const std::string& script) {
        const std::string shot = *dir_ + "/portals.png";
        walk(script, start + " --screenshot '" + shot + "'");
        Image image;
        std::string error;
        EXPECT_TRUE(loadPng(shot.c_str(), &image, &error)) << error;
        Counts counts;
        for (size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
            const uint8_t r = image.rgba[i], g = image.rgba[i + 1], b = image.rgba[i + 2];
            if (g > 200 && r < 40 && b < 40) ++counts.green;
            if (r > 200 && g < 40 && b < 40) ++counts.red;
        }
        std::remove(shot.c_str());
        return counts;
    };
    const Counts plain = shoot("3* 0 0\n");
    const Counts shown = shoot("0 0 P\n2* 0 0\n");
    const Counts everything = shoot("0 0 TAB P\n2* 0 0\n");
    EXPECT_GT(shown.green, plain.green + 100);
    EXPECT_GT(shown.red, plain.red + 100);
    EXPECT_GT(everything.green, plain.green + 100);
    EXPECT_GT(everything.red, plain.red + 100);
}

}  // namespace
}  // namespace q
