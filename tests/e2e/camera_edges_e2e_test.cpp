// The camera where no map wants it, through the real viewer, headless: inside
// a wall, outside every copy of the map, far beyond the terrain, looking past
// straight up. The run goes on frame after frame, the reports come at most
// about once a second, and the camera finds its way back.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "mapgen/mapgen.h"

namespace q {
namespace {

constexpr float kInstanceY = -64.0f;  // instance 0: map (x, y, z) is world (x, z - 64, y)
const float kQuarterTurn = 1.5707964f;

struct Frame {
    float x, y, z, pitch;
    int instance, area, visibleAreas;
};

float field(const std::string& line, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = line.find(tag);
    if (at == std::string::npos || line.compare(at + tag.size(), 4, "null") == 0) return std::nanf("");
    return std::strtof(line.c_str() + at + tag.size(), nullptr);
}

struct ViewerRun {
    std::vector<Frame> frames;
    std::map<std::string, int> reportLines;  // stderr lines by text, counts of "[N more ...]" cut off
    double seconds = 0;
    bool exitedCleanly = false;
};

class CameraEdges : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new std::string(testing::TempDir() + "quorvane_camera_edges");
        std::filesystem::remove_all(*dir_);
        const std::string command = std::string("'") + MAPGEN_BINARY + "' room '" + *dir_ + "' >/dev/null 2>&1";
        mapgenOk_ = std::system(command.c_str()) == 0;
        mapgen::MapgenOptions options;
        options.preset = "room";
        layout_ = new mapgen::Layout;
        std::string error;
        mapgenOk_ = mapgenOk_ && mapgen::buildLayout(options, layout_, &error) && layout_->rooms.size() == 1;
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(*dir_);
        delete dir_;
        delete layout_;
    }
    void SetUp() override { ASSERT_TRUE(mapgenOk_); }

    static const mapgen::Box& room() { return layout_->rooms[0].interior; }
    static int roomArea() { return layout_->rooms[0].area; }
    static float floorY() { return static_cast<float>(room().lo[2]) + kInstanceY; }

    ViewerRun run(const std::string& script, const std::string& options) {
        const std::string base = testing::TempDir() + "camera_edges_" +
                                 testing::UnitTest::GetInstance()->current_test_info()->name();
        std::ofstream(base + ".txt") << script;
        const std::string command = std::string("'") + QUORVANE_BINARY + "' --headless --dir '" + *dir_ +
                                    "' --map room --instances 1 --tick-ms 16 --input '" + base + ".txt' --trace '" +
                                    base + ".jsonl' " + options + " >'" + base + ".log' 2>&1";
        ViewerRun out;
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        out.exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::ifstream trace(base + ".jsonl");
        for (std::string line; std::getline(trace, line);) {
            out.frames.push_back({field(line, "x"), field(line, "y"), field(line, "z"), field(line, "pitch"),
                                  static_cast<int>(field(line, "instance")), static_cast<int>(field(line, "area")),
                                  static_cast<int>(field(line, "visibleAreas"))});
        }
        std::ifstream log(base + ".log");
        for (std::string line; std::getline(log, line);) out.reportLines[line.substr(0, line.find(" ["))]++;
        for (const char* ext : {".txt", ".jsonl", ".log"}) std::remove((base + ext).c_str());
        return out;
    }

    // Every frame ran, every position is finite, and no report text came more
    // often than about once a second.
    static void expectSteadyRun(const ViewerRun& r, size_t frames) {
        EXPECT_TRUE(r.exitedCleanly);
        ASSERT_EQ(r.frames.size(), frames);
        for (const Frame& f : r.frames) {
            ASSERT_TRUE(std::isfinite(f.x) && std::isfinite(f.y) && std::isfinite(f.z) && std::isfinite(f.pitch));
        }
        for (const auto& [text, count] : r.reportLines)
            EXPECT_LE(count, static_cast<int>(r.seconds) + 2) << text << " in " << r.seconds << " s";
    }

    static std::string* dir_;
    static mapgen::Layout* layout_;
    static bool mapgenOk_;
};

std::string* CameraEdges::dir_ = nullptr;
mapgen::Layout* CameraEdges::layout_ = nullptr;
bool CameraEdges::mapgenOk_ = false;

std::string start(float x, float y, float z) {
    return "--start " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z);
}

TEST_F(CameraEdges, InsideAWallIsReportedAndWalkedOutOf) {
    // Centred in the east wall, facing west into the room.
    const float x = static_cast<float>(room().hi[0]) + static_cast<float>(layout_->wall) / 2;
    const float z = static_cast<float>(room().lo[1] + room().hi[1]) / 2;
    const ViewerRun r = run("20* 0 0\n40* 0 0 W\n", start(x, floorY() + 40, z) + " --look " + std::to_string(-kQuarterTurn) + " 0");
    expectSteadyRun(r, 60);
    int solidLines = 0;
    for (const auto& [text, count] : r.reportLines)
        if (text.find("我在墙里!") != std::string::npos) solidLines += count;
    EXPECT_GE(solidLines, 1);
    // The area number never leaves the map while in the wall, and is the
    // room's once the camera has walked out.
    for (const Frame& f : r.frames) EXPECT_GE(f.area, 0);
    EXPECT_EQ(r.frames.back().instance, 0);
    EXPECT_EQ(r.frames.back().area, roomArea());
    EXPECT_GE(r.frames.back().visibleAreas, 1);
    EXPECT_LT(r.frames.back().x, static_cast<float>(room().hi[0]));

    // Free flight goes through walls on purpose: in one, nothing is reported.
    const ViewerRun flown = run("0 0 N\n20* 0 0\n", start(x, floorY() + 40, z));
    expectSteadyRun(flown, 21);
    for (const auto& [text, count] : flown.reportLines) EXPECT_EQ(text.find("我在墙里!"), std::string::npos) << text;
}

TEST_F(CameraEdges, OutsideEveryCopyThenFallingOntoOne) {
    // High above the building, out of reach of its bounds: the camera falls
    // onto the roof, and the copy holds it again from then on.
    const float roofTop = static_cast<float>(room().hi[2] + layout_->wall) + kInstanceY;
    const float x = static_cast<float>(room().lo[0] + room().hi[0]) / 2;
    const float z = static_cast<float>(room().lo[1] + room().hi[1]) / 2;
    const ViewerRun r = run("90* 0 0\n", start(x, roofTop + 300, z));
    expectSteadyRun(r, 90);
    EXPECT_EQ(r.frames.front().instance, -1);
    EXPECT_EQ(r.frames.front().area, -1) << "no copy, no area (area 0 is a real one)";
    EXPECT_EQ(r.frames.back().instance, 0);
    // Resting on the roof, not let through it.
    EXPECT_NEAR(r.frames.back().y, roofTop + 32.03125f, 0.01f);
}

TEST_F(CameraEdges, FarBeyondTheTerrain) {
    const ViewerRun r = run("30* 50 0 W L\n30* 0 0 S\n", start(1e7f, 100, -1e7f));
    expectSteadyRun(r, 60);
    for (const Frame& f : r.frames) {
        EXPECT_EQ(f.instance, -1);
        EXPECT_EQ(f.area, -1);
    }
}

TEST_F(CameraEdges, PitchPastAQuarterTurnAndBack) {
    const float x = static_cast<float>(room().lo[0] + room().hi[0]) / 2;
    const float z = static_cast<float>(room().lo[1] + room().hi[1]) / 2;
    const ViewerRun r = run("10* 0 0 W\n10* 0 3000\n10* 0 -6000\n10* 0 0 D\n",
                      start(x, floorY() + 40, z) + " --look 0 2.5");
    expectSteadyRun(r, 40);
    for (const Frame& f : r.frames) {
        EXPECT_EQ(f.instance, 0);
        EXPECT_EQ(f.area, roomArea());
    }
    EXPECT_GE(r.frames.back().visibleAreas, 1);
}

}  // namespace
}  // namespace q
