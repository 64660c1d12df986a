// Maps, images and scripts that are broken in every way a downloaded file can
// be, through the real readers. Each is refused with a message that names the
// file and the line ("<file>:<line>: expected ...") or is read with the
// documented lenient behaviour; an image refused leaves nothing on the device,
// and this process (the one that read them) goes on to load a good map.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/input_script.h"
#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/proc_reader.h"
#include "map/pattern_reader.h"
#include "map_test_files.h"
#include "gpu/recording/recording_device.h"
#include "image/image.h"
#include "platform/report.h"
#include "recording_device_fixture.h"
#include "render/globals.h"
#include "render/texture_file.h"

namespace q {
namespace {

// The parts of a small, valid area-portal file that the tests change. The
// comments give the line each part is on.
struct ProcParts {
    std::string modelName = "\"_area0\"";  // line 3
    std::string numSurfaces = "1";         // line 3
    std::string material = "\"textures/floor\"";  // line 4
    std::string numVerts = "4";            // line 4
    std::string numIndexes = "6";          // line 4
    std::string vertex0 = "0 0 0 0 0 0 0 1";  // line 5
    std::string indexes = "0 1 2 0 2 3";   // line 6
    std::string numIAP = "1";              // line 11
    std::string portal = "4 0 1";          // line 13: numPoints positive negative
    std::string portalPoints = "( 64 0 0 ) ( 64 64 0 ) ( 64 64 64 ) ( 64 0 64 )";  // line 13
    std::string numNodes = "2";            // line 15
    std::string node0 = "( 1 0 0 -64 ) -2 1";  // line 19
    std::string node1 = "( 0 0 1 0 ) -1 0";    // line 20
    std::string after;                     // from line 22

    std::string text() const {
        return "mapProcFile003\n"
               "\n"
               "model { /* name = */ " + modelName + " /* numSurfaces = */ " + numSurfaces + "\n"
               "/* surface 0 */ { " + material + " /* numVerts = */ " + numVerts + " /* numIndexes = */ " + numIndexes + "\n"
               "( " + vertex0 + " ) ( 64 0 0 1 0 0 0 1 ) ( 64 64 0 1 1 0 0 1 ) ( 0 64 0 0 1 0 0 1 )\n"
               + indexes + "\n"
               "}\n"
               "}\n"
               "model { /* name = */ \"_area1\" /* numSurfaces = */ 0\n"
               "}\n"
               "interAreaPortals { /* numAreas = */ 2 /* numIAP = */ " + numIAP + "\n"
               "/* interAreaPortal format is: numPoints positiveSideArea negativeSideArea ( point) ... */\n"
               "/* iap 0 */ " + portal + " " + portalPoints + "\n"
               "}\n"
               "nodes { /* numNodes = */ " + numNodes + "\n"
               "/* node format is: ( planeVector ) positiveChild negativeChild */\n"
               "/* a child number of 0 is an opaque, solid area */\n"
               "/* negative child numbers are areas: (-1-child) */\n"
               "/* node 0 */ " + node0 + "\n"
               "/* node 1 */ " + node1 + "\n"
               "}\n" + after;
    }
};

// The same for the collision file: a split on file axis 0 at 32 with two
// leaves, and two brushes, one on each side.
struct CmParts {
    std::string nodes = "( 0 32 )\n( -1 0 )\n( -1 0 )";  // lines 3-5
    std::string sideCount = "2";                          // line 8
    std::string sides = "( 1 0 0 ) 16 ( -1 0 0 ) 0";      // line 8
    std::string bounds = "( 0 0 0 ) ( 16 16 16 )";        // line 8
    std::string word = "solid";                           // line 8
    std::string after;                                    // from line 11

    std::string text() const {
        return "CM \"1.00\"\n"
               "nodes {\n" + nodes + "\n"
               "}\n"
               "brushes /* brushMemory = */ 100 {\n"
               + sideCount + " { " + sides + " } " + bounds + " " + word + "\n"
               "0 { } ( 40 0 0 ) ( 48 8 8 ) solid\n"
               "}\n" + after;
    }
};

class MalformedInput : public test::RecordingDeviceTest {
protected:
    void TearDown() override {
        // Whatever was refused, the same process still reads a good map.
        EXPECT_TRUE(load(ProcParts().text(), CmParts().text())) << error;
        RecordingDeviceTest::TearDown();
    }

    // Writes bbb.proc and bbb.cm and reads them as the map load does: the
    // area-portal file, then the collision file.
    bool load(const std::string& proc, const std::string& cm) {
        files.write("bbb.proc", proc);
        files.write("bbb.cm", cm);
        MapData map;
        error.clear();
        const bool ok = readProcFile(procPath(), {}, &map, &error) && readCollisionFile(cmPath().c_str(), &map, &error);
        loaded = ok ? std::move(map) : MapData();
        return ok;
    }
    std::string procPath() const { return files.path("bbb.proc"); }
    std::string cmPath() const { return files.path("bbb.cm"); }

    test::MapFiles files;
    MapData loaded;  // the last map read whole (buffers released)
    std::string error;
};

// "<file>:<line>: expected ..." where line 0 stands for any line.
testing::AssertionResult namesFileAndLine(const std::string& message, const std::string& file, int line) {
    const std::string prefix = file + ":";
    if (message.rfind(prefix, 0) != 0)
        return testing::AssertionFailure() << "does not start with " << prefix << ": " << message;
    size_t end = prefix.size();
    while (end < message.size() && std::isdigit(static_cast<unsigned char>(message[end]))) ++end;
    if (end == prefix.size() || message.compare(end, 2, ": ") != 0)
        return testing::AssertionFailure() << "no line number: " << message;
    const int got = std::stoi(message.substr(prefix.size(), end - prefix.size()));
    if (got < 1 || (line > 0 && got != line))
        return testing::AssertionFailure() << "line " << got << ", expected line " << line << ": " << message;
    return testing::AssertionSuccess();
}

int lineCount(const std::string& text) {
    int lines = 1;
    for (char c : text) lines += c == '\n';
    return lines;
}

TEST_F(MalformedInput, TruncatedAtEveryBlockBoundaryAndByteOffset) {
    const std::string proc = ProcParts().text();
    const std::string cm = CmParts().text();
    // Cut right after each keyword and at the start of each element: the
    // message names the end of the file on the last line there is.
    for (const char* mark : {"model", "/* surface", "( ", "}", "interAreaPortals", "/* iap", "nodes", "/* node"}) {
        for (size_t at = proc.find(mark, 15); at != std::string::npos; at = proc.find(mark, at + 1)) {
            for (size_t cut : {at, at + std::strlen(mark)}) {
                const std::string text = proc.substr(0, cut);
                if (load(text, cm)) continue;  // a file that ends between blocks is whole
                EXPECT_TRUE(namesFileAndLine(error, procPath(), 0)) << "cut at " << cut;
                EXPECT_LE(std::stoi(error.substr(procPath().size() + 1)), lineCount(text)) << error;
                EXPECT_TRUE(error.find("end of the file") != std::string::npos ||
                            error.find("at least one model block") != std::string::npos ||
                            error.find("fits the rest of the file") != std::string::npos ||
                            error.find("fit the rest of the file") != std::string::npos)
                    << "cut at " << cut << ": " << error;
            }
        }
    }
    // Cut between blocks: what is there is a whole map of fewer parts.
    EXPECT_TRUE(load(proc.substr(0, proc.find("interAreaPortals")), cm)) << error;
    EXPECT_TRUE(load(proc.substr(0, proc.find("nodes")), cm)) << error;
    EXPECT_EQ(loaded.portals.size(), 1u);
    EXPECT_TRUE(loaded.bspNodes.empty());

    // Every byte offset of both files: read whole, or refused naming a line the
    // cut file has. Never anything else.
    int refused = 0;
    for (size_t cut = 0; cut < proc.size(); ++cut) {
        const std::string text = proc.substr(0, cut);
        if (load(text, cm)) continue;
        ++refused;
        ASSERT_TRUE(namesFileAndLine(error, procPath(), 0)) << "cut at " << cut;
        EXPECT_LE(std::stoi(error.substr(procPath().size() + 1)), lineCount(text)) << error;
    }
    EXPECT_GT(refused, static_cast<int>(proc.size() / 2));
    refused = 0;
    for (size_t cut = 0; cut < cm.size(); ++cut) {
        const std::string text = cm.substr(0, cut);
        if (load(proc, text)) continue;
        ++refused;
        ASSERT_TRUE(namesFileAndLine(error, cmPath(), 0)) << "cut at " << cut;
        EXPECT_LE(std::stoi(error.substr(cmPath().size() + 1)), lineCount(text)) << error;
    }
    EXPECT_GT(refused, static_cast<int>(cm.size() / 2));
}

TEST_F(MalformedInput, CountsLyingHighAndLow) {
    const CmParts cm;
    struct Case {
        std::string ProcParts::*field;
        int truth;
        int line;  // where a high count is found out: the count's own line when it cannot fit
    };
    const Case cases[] = {
        {&ProcParts::numSurfaces, 1, 0}, {&ProcParts::numVerts, 4, 0}, {&ProcParts::numIndexes, 6, 0},
        {&ProcParts::numIAP, 1, 0},      {&ProcParts::numNodes, 2, 0},
    };
    for (const Case& c : cases) {
        for (int lie : {c.truth - 1, c.truth + 1, c.truth * 1000 + 7}) {
            ProcParts parts;
            parts.*c.field = std::to_string(lie);
            EXPECT_FALSE(load(parts.text(), cm.text())) << parts.*c.field;
            EXPECT_TRUE(namesFileAndLine(error, procPath(), c.line)) << error;
        }
    }
    // A count far beyond the file is refused on its own line before anything is
    // sized by it.
    for (std::string ProcParts::*field : {&ProcParts::numSurfaces, &ProcParts::numIAP, &ProcParts::numNodes}) {
        ProcParts parts;
        parts.*field = "100000000";
        EXPECT_FALSE(load(parts.text(), cm.text()));
        EXPECT_NE(error.find("that fits the rest of the file, found 100000000"), std::string::npos) << error;
    }
    for (const char* points : {"3 0 1", "5 0 1", "100000000 0 1"}) {
        ProcParts parts;
        parts.portal = points;
        EXPECT_FALSE(load(parts.text(), cm.text())) << points;
        EXPECT_TRUE(namesFileAndLine(error, procPath(), 0)) << error;
    }
    for (const char* sides : {"1", "3", "100000000"}) {
        CmParts parts;
        parts.sideCount = sides;
        EXPECT_FALSE(load(ProcParts().text(), parts.text())) << sides;
        EXPECT_TRUE(namesFileAndLine(error, cmPath(), 8)) << error;
    }
}

TEST_F(MalformedInput, NegativeAndHugeNumbers) {
    const std::string cm = CmParts().text();
    const char* numbers[] = {"-1", "-2147483648", "2147483647", "99999999999999999999", "-99999999999999999999"};
    struct Field {
        std::string ProcParts::*field;
        int line;
    };
    const Field fields[] = {{&ProcParts::numSurfaces, 3}, {&ProcParts::numVerts, 4}, {&ProcParts::numIndexes, 4},
                            {&ProcParts::numIAP, 11},     {&ProcParts::numNodes, 15}};
    for (const Field& f : fields) {
        for (const char* n : numbers) {
            ProcParts parts;
            parts.*f.field = n;
            EXPECT_FALSE(load(parts.text(), cm)) << n;
            EXPECT_TRUE(namesFileAndLine(error, procPath(), f.line)) << n << ": " << error;
        }
    }
    for (const char* n : numbers) {
        ProcParts parts;
        parts.portal = std::string(n) + " 0 1";
        EXPECT_FALSE(load(parts.text(), cm)) << n;
        EXPECT_TRUE(namesFileAndLine(error, procPath(), 13)) << n << ": " << error;
        CmParts cmParts;
        cmParts.sideCount = n;
        // A side count of 0 or less reads no sides; the sides written then do
        // not fit where the "}" is expected.
        EXPECT_FALSE(load(ProcParts().text(), cmParts.text())) << n;
        EXPECT_TRUE(namesFileAndLine(error, cmPath(), 8)) << n << ": " << error;
    }
    // Coordinates beyond float range read as scanf reads them: infinities and
    // zeros, kept as they are.
    ProcParts parts;
    parts.vertex0 = "1e39 -1e39 1e-50 99999999999999999999999 0 0 0 1";
    CmParts cmParts;
    cmParts.bounds = "( -1e39 0 0 ) ( 1e39 16 16 )";
    ASSERT_TRUE(load(parts.text(), cmParts.text())) << error;
    EXPECT_EQ(loaded.brushes[0].bounds.mins.x, -INFINITY);
    EXPECT_EQ(loaded.bounds.maxs.x, INFINITY);
}

TEST_F(MalformedInput, NanAndInfiniteCoordinatesAreKeptAsRead) {
    ProcParts parts;
    parts.vertex0 = "nan inf -inf 0 0 nan 0 1";
    parts.portalPoints = "( 64 nan 0 ) ( 64 64 0 ) ( 64 64 inf ) ( 64 0 64 )";
    parts.node0 = "( nan 0 0 -inf ) -2 1";
    CmParts cm;
    cm.sides = "( nan 0 0 ) inf ( -inf 0 0 ) nan";
    cm.bounds = "( nan 0 0 ) ( nan inf 16 )";
    ASSERT_TRUE(load(parts.text(), cm.text())) << error;
    const Plane& portalPlane = loaded.portals[0].plane;
    EXPECT_TRUE(std::isnan(portalPlane.a) || std::isnan(portalPlane.b) || std::isnan(portalPlane.c) ||
                std::isnan(portalPlane.d));
    EXPECT_TRUE(std::isnan(loaded.bspNodes[0].plane.a));
    EXPECT_TRUE(std::isinf(loaded.bspNodes[0].plane.d));
    ASSERT_EQ(loaded.brushes.size(), 2u);
    EXPECT_TRUE(std::isnan(loaded.brushes[0].planes[0].a));
    EXPECT_TRUE(std::isinf(loaded.brushes[0].bounds.maxs.z));  // file y goes to z
    // A brush with NaN bounds is compared false against every split, so it
    // is listed on both sides rather than lost.
    int leavesWithFirstBrush = 0;
    for (const CollisionNode& node : loaded.collisionNodes)
        for (int b : node.brushIndices) leavesWithFirstBrush += b == 0;
    EXPECT_EQ(leavesWithFirstBrush, 2);
}

TEST_F(MalformedInput, CyclesInBothTrees) {
    const std::string cm = CmParts().text();
    struct Case {
        const char* node0;
        const char* node1;
    } cases[] = {
        {"( 1 0 0 -64 ) -2 1", "( 0 0 1 0 ) 1 -1"},  // a node that is its own child
        {"( 1 0 0 -64 ) 1 1", "( 0 0 1 0 ) -1 1"},   // shared and self
    };
    for (const Case& c : cases) {
        ProcParts parts;
        parts.node0 = c.node0;
        parts.node1 = c.node1;
        EXPECT_FALSE(load(parts.text(), cm)) << c.node1;
        EXPECT_TRUE(namesFileAndLine(error, procPath(), 20)) << error;
        EXPECT_NE(error.find("a tree of nodes"), std::string::npos) << error;
    }
    // The collision tree is written in pre-order, so it cannot loop; what a
    // hostile file can do is never close it. A chain of 200000 splits that
    // never reaches its leaves ends in a message, not a stack overflow.
    CmParts endless;
    endless.nodes.clear();
    for (int i = 0; i < 200000; ++i) endless.nodes += "( 0 1 ) ";
    EXPECT_FALSE(load(ProcParts().text(), endless.text()));
    EXPECT_TRUE(namesFileAndLine(error, cmPath(), 4)) << error;
}

TEST_F(MalformedInput, BrushesSpanningAFineTreeAreBounded) {
    // 8192 leaves and brushes that reach all of them: every brush would be
    // listed in every leaf. A file of a few hundred kilobytes must not turn
    // into gigabytes of lists and minutes of linking; past 4194304 entries
    // the file is refused at the brush that goes over.
    std::string tree;
    std::function<void(int, int)> split = [&](int lo, int hi) {
        if (hi - lo == 1) {
            tree += "( -1 0 )\n";
            return;
        }
        const int mid = (lo + hi) / 2;
        tree += "( 0 " + std::to_string(mid) + " )\n";
        split(mid, hi);
        split(lo, mid);
    };
    split(0, 8192);
    std::string text = "nodes {\n" + tree + "}\nbrushes /* brushMemory = */ 0 {\n";
    const int headerLines = lineCount(text) - 1;
    for (int i = 0; i < 600; ++i) text += "0 { } ( -1 0 0 ) ( 9000 1 1 ) wide\n";
    text += "}\n";
    EXPECT_FALSE(load(ProcParts().text(), text));
    // 512 brushes fill 4194304 entries exactly; the next one goes past.
    EXPECT_TRUE(namesFileAndLine(error, cmPath(), headerLines + 513)) << error;
    EXPECT_NE(error.find("found brush 512 going past that"), std::string::npos) << error;

    // Narrow brushes in the same tree are listed only where they reach: one
    // leaf for x 100 to 101, eight for x 40 to 48.
    CmParts narrow;
    narrow.nodes = tree;
    narrow.bounds = "( 100 0 0 ) ( 101 1 1 )";
    ASSERT_TRUE(load(ProcParts().text(), narrow.text())) << error;
    size_t listings = 0;
    for (const CollisionNode& node : loaded.collisionNodes) listings += node.brushIndices.size();
    EXPECT_EQ(listings, 9u);
}

TEST_F(MalformedInput, ManySmallProblemsInALongFileStayQuick) {
    // 50000 portals of two points: each is dropped with a warning naming its
    // line. Naming a line must not count from the start of the file each time
    // (that took a minute for a file of 4 MB).
    ProcParts parts;
    parts.numIAP = "50001";
    std::string dropped;
    for (int i = 0; i < 50000; ++i) dropped += "/* iap 1 */ 2 0 1 ( 0 0 0 ) ( 1 1 1 )\n";
    parts.portalPoints += "\n" + dropped;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(load(parts.text(), CmParts().text())) << error;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(loaded.portals.size(), 1u);
    EXPECT_LT(seconds, 10.0);

    // Lines are still right when asked for out of order.
    const std::string text = "a\nb\n\nc\n  d\ne";
    PatternReader reader(text, "t");
    for (size_t offset : {size_t{9}, size_t{2}, size_t{13}, size_t{0}, size_t{6}, text.size(), size_t{4}}) {
        size_t at = offset;
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n')) ++at;
        EXPECT_EQ(reader.lineAt(offset), 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n')))
            << offset;
    }
}

TEST_F(MalformedInput, EmptyFilesAndBinaryGarbage) {
    const std::string proc = ProcParts().text();
    const std::string cm = CmParts().text();
    for (const std::string& nothing : {std::string(), std::string(" \n\t\r\n\n")}) {
        EXPECT_FALSE(load(nothing, cm));
        EXPECT_TRUE(namesFileAndLine(error, procPath(), 0)) << error;
        EXPECT_FALSE(load(proc, nothing));
        EXPECT_TRUE(namesFileAndLine(error, cmPath(), 0)) << error;
    }

    std::mt19937 random(9);
    for (int i = 0; i < 50; ++i) {
        std::string garbage(1 + random() % 2000, '\0');
        for (char& c : garbage) c = static_cast<char>(random());
        EXPECT_FALSE(load(garbage, cm));
        EXPECT_TRUE(namesFileAndLine(error, procPath(), 0)) << error;
        EXPECT_FALSE(load(proc, garbage));
        EXPECT_TRUE(namesFileAndLine(error, cmPath(), 0)) << error;
        // Garbage after a good start: refused where the first odd byte is.
        EXPECT_FALSE(load(proc.substr(0, 200) + garbage + "\x01", cm));
        EXPECT_TRUE(namesFileAndLine(error, procPath(), 0)) << error;
    }
    // A zero byte in the middle of a good file, and text that is no map.
    EXPECT_FALSE(load(proc.substr(0, 300) + std::string(1, '\0') + proc.substr(300), cm));
    EXPECT_TRUE(namesFileAndLine(error, procPath(), lineCount(proc.substr(0, 300)))) << error;
    EXPECT_FALSE(load("\xEF\xBB\xBFmapProcFile003\n" + proc.substr(15), cm));  // a byte-order mark first
    EXPECT_TRUE(namesFileAndLine(error, procPath(), 1)) << error;

    // Input scripts: garbage and zero bytes are refused on their line.
    InputScript script;
    std::string scriptError;
    EXPECT_FALSE(parseInputScript("1 2 W\n\x01\x02\x03\n", "walk.txt", &script, &scriptError));
    EXPECT_EQ(scriptError.rfind("walk.txt:2: expected ", 0), 0u) << scriptError;
    EXPECT_FALSE(parseInputScript(std::string("1 2\n3 4\0 W\n", 11), "walk.txt", &script, &scriptError));
    EXPECT_EQ(scriptError.rfind("walk.txt:2: expected ", 0), 0u) << scriptError;
}

TEST_F(MalformedInput, NamesAtAndPastTheirBufferLengths) {
    const std::string cm = CmParts().text();
    // Model names only choose the area: entity names from map compilers are
    // long, so up to 127 characters read; a longer word is refused.
    for (size_t length : {31, 32, 127}) {
        ProcParts parts;
        parts.modelName = "_area0" + std::string(length - 6, 'x');
        EXPECT_TRUE(load(parts.text(), cm)) << length << ": " << error;
    }
    for (size_t length : {128, 129, 5000}) {
        ProcParts parts;
        parts.modelName = std::string(length, 'n');
        EXPECT_FALSE(load(parts.text(), cm)) << length;
        EXPECT_TRUE(namesFileAndLine(error, procPath(), 3)) << error;
        EXPECT_NE(error.find("a model name of at most 127 characters"), std::string::npos) << error;
    }

    // Materials: 123 characters and an image extension fill a 128-byte name
    // exactly, quotes around them or not.
    const std::string longest(123, 'm');
    for (const std::string& material : {longest, "\"" + longest + "\""}) {
        ProcParts parts;
        parts.material = material;
        ASSERT_TRUE(load(parts.text(), cm)) << error;
        ASSERT_EQ(loaded.materials.size(), 1u);
        EXPECT_EQ(loaded.materials[0].name, longest);
    }
    for (size_t length : {124, 127, 128, 5000}) {
        ProcParts parts;
        parts.material = std::string(length, 'm');
        EXPECT_FALSE(load(parts.text(), cm)) << length;
        EXPECT_TRUE(namesFileAndLine(error, procPath(), 4)) << error;
        EXPECT_NE(error.find("a material name of at most 123 characters"), std::string::npos) << error;
    }

    // Words of blocks the viewer does not read are passed over whatever their
    // length, and a number of any length reads (a shadow volume's planeBits).
    for (size_t length : {127, 128, 100000}) {
        ProcParts parts;
        parts.after = "shadowModel { \"_prelight_s\" 0 0 0 0 " + std::string(length, '7') + " }\n";
        CmParts cmParts;
        cmParts.after = "collisionModel \"" + std::string(length, 'c') + "\" { }\n";
        EXPECT_TRUE(load(parts.text(), cmParts.text())) << length << ": " << error;
    }
    // The word after a brush's bounds is not used: any length reads.
    for (size_t length : {63, 64, 100000}) {
        CmParts cmParts;
        cmParts.word = std::string(length, 'w');
        EXPECT_TRUE(load(ProcParts().text(), cmParts.text())) << length << ": " << error;
        EXPECT_EQ(loaded.brushes.size(), 2u);
    }
}

// Bytes of a small valid image of each kind, made by our own writers.
std::vector<uint8_t> imageBytes(const test::MapFiles& files, bool jpeg) {
    Image image;
    image.width = 8;
    image.height = 8;
    image.rgba.assign(8 * 8 * 4, 0x80);
    const std::string path = files.path(jpeg ? "good.jpg" : "good.bmp");
    std::string error;
    EXPECT_TRUE(jpeg ? writeJpeg(path.c_str(), image, 90, &error) : writeBmp(path.c_str(), image, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(MalformedInput, ImagesThatLieAboutTheirSize) {
    auto putLe32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    struct Lie {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* fragment;
    };
    std::vector<Lie> lies;
    const std::vector<uint8_t> bmp = imageBytes(files, false);
    auto bmpLie = [&](const char* what, size_t at, uint32_t value, const char* fragment) {
        std::vector<uint8_t> b = bmp;
        putLe32(b, at, value);
        lies.push_back({what, b, fragment});
    };
    bmpLie("pixels past the end", 10, 1000000, "truncated BMP data");
    bmpLie("pixel offset past 4 GiB", 10, 0xFFFFFFFF, "truncated BMP data");
    bmpLie("header longer than the file", 14, 1000, "truncated BMP header");
    bmpLie("header size not a BMP's", 14, 0xFFFFFFFF, "unknown header size");
    bmpLie("width at the limit, rows missing", 18, 16384, "truncated BMP data");
    bmpLie("width past the limit", 18, 16385, "image too large (16385 x 8)");
    bmpLie("negative width", 18, 0xFFFFFFF0, "no pixels");
    bmpLie("most negative height", 22, 0x80000000, "image too large");
    bmpLie("bits per pixel 7", 28, 0x00000007, "7 bits per pixel");
    bmpLie("run-length data of another depth", 30, 1, "RLE8 data with");

    const std::vector<uint8_t> jpeg = imageBytes(files, true);
    size_t frame = 0;
    for (size_t i = 2; i + 9 < jpeg.size() && !frame; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) frame = i + 5;  // height, then width, big-endian
    ASSERT_NE(frame, 0u);
    auto jpegLie = [&](const char* what, uint16_t height, uint16_t width, const char* fragment) {
        std::vector<uint8_t> b = jpeg;
        b[frame] = static_cast<uint8_t>(height >> 8);
        b[frame + 1] = static_cast<uint8_t>(height);
        b[frame + 2] = static_cast<uint8_t>(width >> 8);
        b[frame + 3] = static_cast<uint8_t>(width);
        lies.push_back({what, b, fragment});
    };
    jpegLie("largest sides a frame can claim", 65535, 65535, "image too large (65535 x 65535)");
    jpegLie("largest sides the decoder takes", 65500, 65500, "image too large (65500 x 65500)");
    jpegLie("sides at the limit, data for 8 x 8", 16384, 16384, "truncated JPEG data");
    jpegLie("no rows", 0, 8, "JPEG");
    jpegLie("a few hundred bytes claiming millions of pixels", 4096, 4096, "cannot hold a 4096 x 4096 image");
    lies.push_back({"cut inside its data", std::vector<uint8_t>(jpeg.begin(), jpeg.end() - 40), "truncated JPEG data"});
    // Files found by fuzzing: a few bytes of arithmetic-coded JPEG (which the
    // library would decode to the end as flat grey) or of run-length BMP that
    // claim images of a hundred million pixels and more.
    auto kept = [](const char* file) {
        std::ifstream in(std::string(QUORVANE_SOURCE_DIR) + "/tests/data/malformed/" + file, std::ios::binary);
        return std::vector<uint8_t>{std::istreambuf_iterator<char>(in), {}};
    };
    lies.push_back({"arithmetic-coded progressive, 97 bytes",
                    kept("tiny_arithmetic_progressive_jpeg_claiming_large_image.jpg"),
                    "97 bytes cannot hold a 15629 x 10041 image"});
    lies.push_back({"arithmetic-coded sequential, 103 bytes",
                    kept("tiny_arithmetic_sequential_jpeg_claiming_large_image.jpg"),
                    "103 bytes cannot hold a 15629 x 10041 image"});
    lies.push_back({"run-length BMP, 2 bytes of data", kept("rle4_two_bytes_for_141m_pixels.bmp"),
                    "2 bytes of run-length data cannot describe 13826 x 10240 pixels"});
    lies.push_back({"arithmetic-coded sequential, 4968 bytes",
                    kept("arithmetic_jpeg_5k_claiming_157m_pixels.jpg"),
                    "4968 bytes cannot hold a 15629 x 10041 image"});
    lies.push_back({"BMP of an unknown coding", kept("bmp_unknown_compression.bmp"), "(compression 262144)"});

    for (const Lie& lie : lies) {
        const std::string path = files.write("lie.img", std::string(lie.bytes.begin(), lie.bytes.end()));
        std::string message;
        EXPECT_EQ(loadTextureFile(device, path.c_str(), &message), nullptr) << lie.what;
        EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << lie.what << ": " << message;
        EXPECT_NE(message.find(lie.fragment), std::string::npos) << lie.what << ": " << message;
        EXPECT_EQ(device.liveTextures(), 0u) << lie.what;
    }
}

// Files that once broke a reader (kept from fuzzing) stay refused cleanly or,
// where named *.loads.*, read.
TEST_F(MalformedInput, FilesThatOnceBrokeAReader) {
    const std::filesystem::path dir = std::filesystem::path(QUORVANE_SOURCE_DIR) / "tests/data/malformed";
    ASSERT_TRUE(std::filesystem::is_directory(dir));
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        const std::string path = entry.path().string();
        const std::string ext = entry.path().extension().string();
        const bool shouldLoad = name.find(".loads.") != std::string::npos;
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        SCOPED_TRACE(name);
        if (ext == ".proc") {
            MapData map;
            error.clear();
            EXPECT_EQ(readProcFile(path, {}, &map, &error), shouldLoad) << error;
            if (!shouldLoad) {
                EXPECT_TRUE(namesFileAndLine(error, path, 0));
            }
        } else if (ext == ".cm") {
            MapData map;
            error.clear();
            EXPECT_EQ(readCollisionFile(path.c_str(), &map, &error), shouldLoad) << error;
            if (!shouldLoad) {
                EXPECT_TRUE(namesFileAndLine(error, path, 0));
            }
        } else if (ext == ".txt") {
            InputScript script;
            error.clear();
            EXPECT_EQ(parseInputScript(bytes, path, &script, &error), shouldLoad) << error;
            if (!shouldLoad) {
                EXPECT_TRUE(namesFileAndLine(error, path, 0));
            }
        } else if (ext == ".jpg" || ext == ".bmp") {
            Image image;
            error.clear();
            EXPECT_EQ(loadImageFile(path.c_str(), &image, &error), shouldLoad) << error;
            if (!shouldLoad) {
                EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
            }
        } else {
            continue;
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace q
