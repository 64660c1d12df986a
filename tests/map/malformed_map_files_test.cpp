// Map files that are wrong in one place each, one table for both readers: every
// one is refused with a message that starts with the file and the line where
// the fault is found and says what was expected there.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map_test_files.h"
#include "map/proc_reader.h"
#include "platform/report.h"
#include "proc_file_text.h"
#include "recording_device_fixture.h"

namespace q {
namespace {

using namespace test;

enum class Kind { Proc, Collision };

struct BadFile {
    const char* what;
    Kind kind;
    std::string text;
    int line;              // the message starts "<path>:<line>: "
    const char* expected;  // and says this after it
};

std::string brush(const char* bounds) { return std::string(" 0 { } ") + bounds + " solid\n"; }

std::vector<BadFile> badFiles() {
    const std::string head = "mapProcFile003\n";
    const std::string three = model("_area0", 0) + model("_area1", 0) + model("_area2", 0);
    const std::string points = " ( 0 0 0 ) ( 0 0 1 ) ( 0 1 1 ) ( 0 1 0 )\n";
    const std::string leaf = "nodes { ( -1 0 ) } brushes /* brushMemory = */ 1 {";
    const Kind P = Kind::Proc, C = Kind::Collision;
    return {
        // The area-portal file.
        {"empty", P, "", 1, "expected \"mapProcFile003\" in the first word of an area-portal file, found the end"},
        {"not an area-portal file", P, "mapProcFile002\n", 1, "expected \"mapProcFile003\""},
        {"binary", P, std::string("mapProcFile003\n\x01\x02", 17), 2, "expected a text file, found the byte 0x01"},
        {"no model", P, head + "interAreaPortals", 2,
         "expected \"{ /* numAreas = */\" in the interAreaPortals header, found the end"},
        {"no model at all", P, head + "\n\n", 4, "expected at least one model block"},
        {"negative surface count", P, head + model("_area0", -1), 2, "expected numSurfaces of 0 or more, found -1"},
        {"surface count beyond the file", P, head + model("_area0", 2000000000), 2,
         "expected numSurfaces that fits the rest of the file, found 2000000000"},
        {"fewer surfaces than counted", P, head + model("_area0", 2, surface("a", 0, 0, "")) + three, 6,
         "expected \"/* surface\" in a surface header, found \"}\""},
        {"vertex count beyond the file", P, head + model("_area0", 1, surface("a", 2147483647, 0, kQuad)), 3,
         "expected numVerts 2147483647 and numIndexes 0 that fit the rest of the file"},
        {"negative index count", P, head + model("_area0", 1, surface("a", 4, -3, kQuad)), 3,
         "expected numVerts and numIndexes of 0 or more, found 4 and -3"},
        {"fewer vertices than counted", P, head + model("_area0", 1, surface("a", 5, 0, kQuad)), 6,
         "expected \"(\" in a vertex ( x y z s t nx ny nz ), found \"}\""},
        {"index at the vertex count", P, head + model("_area0", 1, surface("a", 4, 3, kQuad + "0 1 4")), 5,
         "expected vertex indices from 0 below numVerts (4) and at most 65535, found 4"},
        {"index beyond 16 bits", P, head + model("_area0", 1, surface("a", 4, 3, kQuad + "65536 0 1")), 5,
         "found 65536"},
        {"negative index", P, head + model("_area0", 1, surface("a", 4, 3, kQuad + "0 -1 1")), 5, "found -1"},
        {"material name too long", P, head + model("_area0", 1, surface(std::string(124, 'm'), 0, 0, "")), 3,
         "expected a material name of at most 123 characters"},
        {"model name too long", P, head + model(std::string(200, 'n'), 0), 2,
         "expected a model name of at most 127 characters"},
        {"portal before its areas", P, head + portals(1, "/* iap 0 */ 4 0 1" + points) + three, 5,
         "expected portal areas below the 0 areas read before the portals, found 0 and 1"},
        {"portal area beyond the areas", P, head + three + portals(1, "/* iap 0 */ 4 0 3" + points), 14,
         "found 0 and 3"},
        {"negative portal area", P, head + three + portals(1, "/* iap 0 */ 4 -1 1" + points), 14, "found -1 and 1"},
        {"portal area at the int limit", P, head + three + portals(1, "/* iap 0 */ 4 1 2147483647" + points), 14,
         "found 1 and 2147483647"},
        {"negative portal count", P, head + three + portals(-2, ""), 11, "expected numIAP of 0 or more, found -2"},
        {"negative point count", P, head + three + portals(1, "/* iap 0 */ -4 0 1\n"), 14,
         "expected numPoints of 0 or more"},
        {"portal block not closed", P, head + three + portals(0, "").substr(0, portals(0, "").size() - 3), 14,
         "expected \"}\" in the closing } of interAreaPortals"},
        {"node child beyond the nodes", P, head + three + nodes(1, "/* node 0 */ ( 0 0 1 0 ) 1 -1\n"), 16,
         "expected node children below numNodes (1), found 1"},
        {"leaf area beyond the areas", P, head + three + nodes(1, "/* node 0 */ ( 0 0 1 0 ) -4 -1\n"), 16,
         "found child -4 (area 3)"},
        {"leaf area at the int limit", P, head + three + nodes(1, "/* node 0 */ ( 1 0 0 -64 ) -2147483648 -1\n"), 16,
         "(area 2147483647)"},
        {"node cycle", P,
         head + three +
             nodes(3, "/* node 0 */ ( 0 0 1 0 ) 1 -1\n/* node 1 */ ( 0 0 1 0 ) 2 -1\n/* node 2 */ ( 0 0 1 0 ) 1 -1\n"),
         18, "expected a tree of nodes, found node 2 leading back to node 1"},
        {"node block cut short", P, head + three + nodes(3, "/* node 0 */ ( 0 0 1 0 ) -1 -1\n") + three, 17,
         "expected \"/* node\" in a node"},
        {"node count beyond the file", P, head + three + nodes(1 << 30, ""), 11,
         "expected numNodes that fits the rest of the file"},

        // The collision file.
        {"empty", C, "", 1, "expected a collision file, found an empty file"},
        {"binary", C, std::string("nodes {\0 ( -1 0 ) }", 19), 1, "expected a text file"},
        {"no nodes at all", C, "CM \"1.00\"\n", 2, "expected a nodes block"},
        {"brushes before nodes", C, "brushes /* brushMemory = */ 1 {" + brush("( 0 0 0 ) ( 1 1 1 )") + "}", 1,
         "expected a nodes block before the first brush"},
        {"axis beyond 2", C, "nodes {\n ( 3 0 ) ( -1 0 ) ( -1 0 ) }", 2, "expected an axis of 0, 1, 2"},
        {"axis at the int limit", C, "nodes {\n ( 0 32 ) ( -1 0 )\n ( 2147483647 0 ) ( -1 0 ) ( -1 0 ) }", 3,
         "expected an axis of 0, 1, 2"},
        {"tree cut short", C, "nodes { ( 0 0 ) ( -1 0 )\n", 2, "expected \"(\" in a collision node"},
        {"tree not closed", C, "nodes { ( -1 0 ) brushes", 1, "expected \"}\" in the closing } of a nodes block"},
        {"side count beyond the file", C, leaf + " 2147483647 { ( 1 0 0 ) 0 } }", 1,
         "expected a side count that fits the rest of the file, found 2147483647"},
        {"fewer sides than counted", C, leaf + "\n 3 { ( 1 0 0 ) 0 }\n ( 0 0 0 ) ( 1 1 1 ) x }", 2,
         "expected \"(\" in a brush side"},
        {"bounds missing", C, leaf + " 0 { } solid }", 1, "expected \"(\" in brush bounds"},
        {"brush block never closed", C, leaf + brush("( 0 0 0 ) ( 1 1 1 )"), 2,
         "expected a word in a side count or the }"},
        {"overlong side count", C, leaf + " " + std::string(80, '1') + " }", 1,
         "a side count, found a word of more than 63 characters"},
    };
}

bool read(Kind kind, const std::string& path, std::string* message) {
    MapData map;
    return kind == Kind::Proc ? readProcFile(path, {}, &map, message)
                              : readCollisionFile(path.c_str(), &map, message);
}

class MalformedMapFiles : public test::RecordingDeviceTest {
protected:
    test::MapFiles files;
};

TEST_F(MalformedMapFiles, EachIsRefusedNamingFileLineAndWhatWasExpected) {
    for (const BadFile& bad : badFiles()) {
        const std::string path = files.write(bad.kind == Kind::Proc ? "m.proc" : "m.cm", bad.text);
        std::string message;
        EXPECT_FALSE(read(bad.kind, path, &message)) << bad.what;
        const std::string at = path + ":" + std::to_string(bad.line) + ": ";
        EXPECT_EQ(message.rfind(at, 0), 0u) << bad.what << ": " << message;
        EXPECT_NE(message.find(bad.expected), std::string::npos) << bad.what << ": " << message;
    }
}

TEST_F(MalformedMapFiles, MissingFilesAndDirectoriesAreNamedWithTheirDirectory) {
    const std::string dir = files.dir().string();
    for (const auto& [kind, name] : {std::pair{Kind::Proc, "bbb.proc"}, std::pair{Kind::Collision, "bbb.cm"}}) {
        std::string message;
        EXPECT_FALSE(read(kind, files.path(name), &message));
        EXPECT_EQ(message, "cannot open " + dir + "/" + name + ": No such file or directory");
        std::filesystem::create_directory(files.path(name));
        EXPECT_FALSE(read(kind, files.path(name), &message));
        EXPECT_EQ(message, "cannot read " + files.path(name) + ": it is a directory (looked in " + dir + ")");
    }
    // A bare name is looked for in the working directory, which the message names.
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::string message;
    EXPECT_FALSE(read(Kind::Proc, "missing.proc", &message));
    std::filesystem::current_path(started);
    EXPECT_EQ(message, "cannot open " + dir + "/missing.proc: No such file or directory");
}

}  // namespace
}  // namespace q
