// What a frame draws across the copies of a sealed map (mapgen grid 6
// --area0-room 14: the outside solid, area 0 a room), read from the viewer's
// trace: from inside, no other copy is seen; the cost is what the device was sent.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/run_shell.h"

namespace q {
namespace {

TEST(CopiesEndToEnd, SealedMapDrawsTheSameWithOneCopyOrFiveAndCountsWhatItDraws) {
    const std::string dir = ::testing::TempDir() + "quorvane_copies_e2e_" + std::to_string(::getpid());
    ASSERT_EQ(runShell(std::string("'") + MAPGEN_BINARY + "' grid 6 --area0-room 14 '" + dir + "'").exitCode, 0);
    const std::string viewer = std::string("'") + QUORVANE_BINARY + "' --dir '" + dir + "' --map grid6-area0-14 ";
    // visibleAreas, drawCalls, triangles and copiesDrawn of the last frame.
    auto cost = [&](const std::string& script, const std::string& options) {
        std::ofstream(dir + "/s.txt") << script;
        const Result run =
            runShell(viewer + "--headless --input '" + dir + "/s.txt' --trace '" + dir + "/t.jsonl' " + options);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::string last;
        std::ifstream in(dir + "/t.jsonl");
        for (std::string line; std::getline(in, line);) last = line;
        return std::vector<long long>{jsonInteger(last, "visibleAreas"), jsonInteger(last, "drawCalls"),
                                      jsonInteger(last, "triangles"), jsonInteger(last, "copiesDrawn")};
    };
    // From an ordinary room and from the room numbered 0, along the grid.
    for (const char* start : {"--area 20 --look 0 0", "--area 20 --look 1.5707964 0", "--area 0 --look 0 0"}) {
        const std::vector<long long> one = cost("2* 0 0\n", start + std::string(" --instances 1"));
        EXPECT_EQ(cost("2* 0 0\n", start), one) << start;
        EXPECT_EQ(one[3], 1) << start;
    }
    // Drawing everything: the terrain (128 x 128 cells, 2 triangles each),
    // then every surface of every copy, as --info counts them.
    const Result info = runShell(viewer + "--info --json");
    const long long areas = jsonInteger(info.output, "areas"), surfaces = jsonInteger(info.output, "surfaces");
    const long long triangles = jsonInteger(info.output, "triangles");
    ASSERT_GT(surfaces, 0) << info.output;
    for (long long copies : {1, 5})
        EXPECT_EQ(cost("0 0 TAB\n", "--area 20 --instances " + std::to_string(copies)),
                  (std::vector<long long>{copies * areas, 1 + copies * surfaces, 32768 + copies * triangles, copies}));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace q
