// What a frame draws across the copies of a sealed map (mapgen grid 6
// --area0-room 14: the outside is solid, area 0 one of the rooms), read back
// from the real viewer's trace: from inside a room no other copy can be seen,
// so one copy or five draw the same, and the frame's cost counts what the
// device was sent (checked against --info's counts of the map).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/run_shell.h"

namespace q {
namespace {

constexpr long long kTerrainTriangles = 128 * 128 * 2;

long long integer(const std::string& text, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = text.find(tag);
    return at == std::string::npos ? -1 : std::strtoll(text.c_str() + at + tag.size(), nullptr, 10);
}

struct Cost {
    long long visibleAreas = -1, drawCalls = -1, triangles = -1, copiesDrawn = -1;
    bool operator==(const Cost&) const = default;
};

class CopiesEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new std::string(::testing::TempDir() + "quorvane_copies_e2e_" + std::to_string(::getpid()));
        std::filesystem::remove_all(*dir_);
        made_ = runShell(std::string("'") + MAPGEN_BINARY + "' grid 6 --area0-room 14 '" + *dir_ + "'").exitCode == 0;
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(*dir_);
        delete dir_;
    }
    void SetUp() override { ASSERT_TRUE(made_); }

    // The last frame's cost of a run of `script`.
    static Cost lastFrame(const std::string& script, const std::string& options) {
        const std::string base = *dir_ + "/run";
        std::ofstream(base + ".txt") << script;
        const Result run = runShell(std::string("'") + QUORVANE_BINARY + "' --dir '" + *dir_ +
                                    "' --map grid6-area0-14 --headless --tick-ms 16 --input '" + base +
                                    ".txt' --trace '" + base + ".jsonl' " + options);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::string last;
        std::ifstream in(base + ".jsonl");
        for (std::string line; std::getline(in, line);) last = line;
        return {integer(last, "visibleAreas"), integer(last, "drawCalls"), integer(last, "triangles"),
                integer(last, "copiesDrawn")};
    }

    static std::string* dir_;
    static bool made_;
};

std::string* CopiesEndToEnd::dir_ = nullptr;
bool CopiesEndToEnd::made_ = false;

TEST_F(CopiesEndToEnd, FromInsideASealedMapOneCopyOrFiveDrawTheSame) {
    // Area 20 is an ordinary room, area 0 the room numbered so; each looking
    // along the grid so that doorways lead on.
    for (const char* area : {"20", "0"}) {
        for (const char* look : {"0 0", "1.5707964 0"}) {
            const std::string start = std::string("--area ") + area + " --look " + look;
            const Cost one = lastFrame("2* 0 0\n", start + " --instances 1");
            const Cost five = lastFrame("2* 0 0\n", start);
            EXPECT_EQ(one, five) << start << ": " << five.visibleAreas << " areas drawn of five copies, "
                                 << one.visibleAreas << " of one";
            EXPECT_EQ(five.copiesDrawn, 1) << start;
            EXPECT_GT(one.visibleAreas, 0) << start;
        }
    }
}

TEST_F(CopiesEndToEnd, FrameCostIsWhatTheDeviceWasSent) {
    const Result info = runShell(std::string("'") + QUORVANE_BINARY + "' --dir '" + *dir_ +
                                 "' --map grid6-area0-14 --info --json");
    ASSERT_EQ(info.exitCode, 0) << info.output;
    const long long areas = integer(info.output, "areas"), surfaces = integer(info.output, "surfaces");
    const long long triangles = integer(info.output, "triangles");
    ASSERT_GT(surfaces, 0);
    // Drawing everything: the terrain, then every surface of every copy.
    const std::string everything = "0 0 TAB\n";
    for (int copies : {1, 5}) {
        const Cost all = lastFrame(everything, "--area 20 --instances " + std::to_string(copies));
        EXPECT_EQ(all, (Cost{copies * areas, 1 + copies * surfaces, kTerrainTriangles + copies * triangles, copies}));
    }
    // Portal mode draws a part of that, the terrain with it.
    const Cost portal = lastFrame("2* 0 0\n", "--area 20 --instances 1");
    EXPECT_GT(portal.drawCalls, 1);
    EXPECT_LT(portal.drawCalls, 1 + surfaces);
    EXPECT_GT(portal.triangles, kTerrainTriangles);
    EXPECT_LT(portal.triangles, kTerrainTriangles + triangles);
}

}  // namespace
}  // namespace q
