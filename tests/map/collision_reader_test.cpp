// The collision file reader: split trees stored children first, brushes linked
// into the leaves their bounds reach, the map bounds. Files it refuses are in
// malformed_map_files_test.cpp.

#include <gtest/gtest.h>

#include <string>

#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map_test_files.h"

namespace q {
namespace {

std::string brush(const char* bounds, const char* sides = "") {
    return std::string(" 0 { ") + sides + " } " + bounds + " solid\n";
}

struct Loaded {
    MapData map;
    bool ok = false;
    std::string error;
};

void load(const test::MapFiles& files, const std::string& text, Loaded* out) {
    const std::string path = files.write("m.cm", text);
    out->ok = readCollisionFile(path.c_str(), &out->map, &out->error);
}

TEST(CollisionReader, SingleLeafHoldsEveryBrush) {
    test::MapFiles files;
    Loaded l;
    load(files,
         "CM \"1.00\"\ncollisionModel \"worldMap\" {\n vertices { 0 }\n nodes {\n ( -1 0 )\n }\n"
         " brushes /* brushMemory = */ 100 {\n" +
             brush("( 0 0 0 ) ( 1 1 1 )") + brush("( 5 5 5 ) ( 6 6 6 )") + " }\n}\n",
         &l);
    ASSERT_TRUE(l.ok) << l.error;
    ASSERT_EQ(l.map.collisionNodes.size(), 1u);
    EXPECT_LT(l.map.collisionNodes[0].axis, 0);
    EXPECT_EQ(l.map.collisionNodes[0].brushIndices, (std::vector<int>{0, 1}));
    EXPECT_EQ(l.map.collisionRoot, 0);
    EXPECT_EQ(l.map.brushes.size(), 2u);
}

TEST(CollisionReader, PreOrderTreeIsStoredChildrenFirstWithAxesExchanged) {
    test::MapFiles files;
    Loaded l;
    // root: axis 1 at 32; front: leaf; back: axis 2 at 16 with two leaves, then
    // a split on axis 0 to show it stays 0.
    load(files, "nodes { ( 1 32 ) ( -1 0 ) ( 2 16 ) ( 0 8 ) ( -1 0 ) ( -1 0 ) ( -1 0 ) }", &l);
    ASSERT_TRUE(l.ok) << l.error;
    const auto& n = l.map.collisionNodes;
    ASSERT_EQ(n.size(), 7u);
    // Order appended: leaf, leaf, leaf, split x, leaf, split (file 2), root.
    EXPECT_EQ(n[3].axis, 0);
    EXPECT_EQ(n[3].frontChild, 1);
    EXPECT_EQ(n[3].backChild, 2);
    EXPECT_EQ(n[5].axis, 1);  // file axis 2 (z) is our y
    EXPECT_EQ(n[5].frontChild, 3);
    EXPECT_EQ(n[5].backChild, 4);
    EXPECT_EQ(n[6].axis, 2);  // file axis 1 (y) is our z
    EXPECT_FLOAT_EQ(n[6].distance, 32.0f);
    EXPECT_EQ(n[6].frontChild, 0);
    EXPECT_EQ(n[6].backChild, 5);
    EXPECT_EQ(l.map.collisionRoot, 6);
    EXPECT_TRUE(l.map.brushes.empty());
    EXPECT_EQ(l.map.bounds.mins, Bounds::empty().mins);  // no brushes: bounds stay empty
    EXPECT_EQ(l.map.bounds.maxs, Bounds::empty().maxs);
}

TEST(CollisionReader, BrushTouchingASplitGoesToOneSideStraddlingToBoth) {
    struct Case {
        const char* split;
        std::vector<int> front, back;
    } cases[] = {
        {"64", {}, {0}},   // hi == d: back only
        {"0", {0}, {}},    // lo == d: front only
        {"32", {0}, {0}},  // lo < d < hi: both
    };
    for (const Case& c : cases) {
        test::MapFiles files;
        Loaded l;
        load(files,
             std::string("nodes { ( 0 ") + c.split + " ) ( -1 0 ) ( -1 0 ) } brushes /* brushMemory = */ 1 {" +
                 brush("( 0 -5 -5 ) ( 64 5 5 )") + "}",
             &l);
        ASSERT_TRUE(l.ok) << l.error;
        EXPECT_EQ(l.map.collisionNodes[0].brushIndices, c.front) << "split at " << c.split;
        EXPECT_EQ(l.map.collisionNodes[1].brushIndices, c.back) << "split at " << c.split;
    }
}

TEST(CollisionReader, BrushBoundsAndPlanesAreExchangedAndGrowTheMap) {
    test::MapFiles files;
    Loaded l;
    load(files,
         "nodes { ( -1 0 ) } brushes /* brushMemory = */ 9 {\n 2 {\n ( 0 0.0039215675 1 ) 30\n ( -1 0 0 ) 0\n }"
         " ( 0 0 0 ) ( 10 20 30 ) solid\n 0 { } ( -5 1 1 ) ( 1 1 1 ) x\n}\n",
         &l);
    ASSERT_TRUE(l.ok) << l.error;
    ASSERT_EQ(l.map.brushes.size(), 2u);
    const Brush& b = l.map.brushes[0];
    EXPECT_EQ(b.bounds.mins, Vector3(0, 0, 0));
    EXPECT_EQ(b.bounds.maxs, Vector3(10, 30, 20));
    ASSERT_EQ(b.planes.size(), 2u);
    EXPECT_EQ(b.planes[0], (Plane{0, 1, 0.0039215675f, 30}));  // tiny components read as written
    EXPECT_EQ(b.planes[1], (Plane{-1, 0, 0, 0}));
    EXPECT_TRUE(l.map.brushes[1].planes.empty());
    EXPECT_EQ(l.map.bounds.mins, Vector3(-5, 0, 0));
    EXPECT_EQ(l.map.bounds.maxs, Vector3(10, 30, 20));
}

TEST(CollisionReader, EmptyBrushBlockAddsNothing) {
    test::MapFiles files;
    Loaded l;
    load(files, "nodes { ( -1 0 ) } brushes /* brushMemory = */ 0 { }", &l);
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_TRUE(l.map.brushes.empty());
    EXPECT_TRUE(l.map.collisionNodes[0].brushIndices.empty());
}

TEST(CollisionReader, SeveralModelsTraceFromTheWorldTreeAndLinkIntoTheLast) {
    test::MapFiles files;
    Loaded l;
    load(files,
         "CM \"1.00\"\n"
         "collisionModel \"worldMap\" { nodes { ( 0 0 ) ( -1 0 ) ( -1 0 ) }\n"
         " brushes /* brushMemory = */ 1 {" + brush("( 1 0 0 ) ( 2 1 1 )") + "} }\n"
         "collisionModel \"door\" { polygons /* polygonMemory = */ 5 { } nodes { ( -1 0 ) }\n"
         " brushes /* brushMemory = */ 1 {" + brush("( 100 0 0 ) ( 101 1 1 )") + "} }\n",
         &l);
    ASSERT_TRUE(l.ok) << l.error;
    ASSERT_EQ(l.map.collisionNodes.size(), 4u);
    EXPECT_EQ(l.map.collisionRoot, 2);                                     // the world's root
    EXPECT_EQ(l.map.collisionNodes[0].brushIndices, std::vector<int>{0});  // world brush, front leaf
    EXPECT_EQ(l.map.collisionNodes[3].brushIndices, std::vector<int>{1});  // door brush, door tree
    // The door's brushes are in its own space: they are its bounds, not the map's.
    EXPECT_EQ(l.map.bounds.maxs, Vector3(2, 1, 1));
    ASSERT_EQ(l.map.namedCollisionModels.size(), 1u);
    EXPECT_EQ(l.map.namedCollisionModels[0].bounds.maxs, Vector3(101, 1, 1));
}

TEST(CollisionReader, NamesHoldingAKeywordAreWordsUnlessTheirBlockOpens) {
    test::MapFiles files;
    Loaded l;
    // An entity whose name holds "nodes" (followed by a { but not by a node),
    // polygon materials that hold "brushes", and a name holding "brushes".
    load(files,
         "CM \"1.00\"\n"
         "collisionModel \"worldMap\" { nodes { ( -1 0 ) }\n"
         " polygons /* polygonMemory = */ 9 {\n"
         "  4 ( 1 2 3 4 ) ( 0 0 1 ) 0 ( 0 0 0 ) ( 1 1 0 ) \"textures/brushes/floor\"\n"
         " }\n brushes /* brushMemory = */ 1 {" + brush("( 0 0 0 ) ( 1 1 1 )") + "} }\n"
         "collisionModel \"func_nodes_2\" { vertices { } }\n"
         "collisionModel \"func_brushes_1\" { }\n",
         &l);
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.map.collisionNodes.size(), 1u);
    EXPECT_EQ(l.map.brushes.size(), 1u);

    // A word holding the keyword with the block's opening after it is that
    // block, and one that is the keyword itself always is: damage inside either
    // is reported where it is.
    Loaded opened;
    load(files, "\"func_nodes_2\" {\n ( -1 0 ) ( 7 0 )\n}", &opened);
    EXPECT_FALSE(opened.ok);
    EXPECT_NE(opened.error.find("m.cm:2: expected \"}\" in the closing } of a nodes block"), std::string::npos)
        << opened.error;
    Loaded exact;
    load(files, "nodes { ( -1 0 ) }\nbrushes\n{ 0 }", &exact);
    EXPECT_FALSE(exact.ok);
    EXPECT_NE(exact.error.find("m.cm:3: expected \"/* brushMemory = */\""), std::string::npos) << exact.error;
}

TEST(CollisionReader, DeepTreesNeitherOverflowTheStackNorLoseLeaves) {
    test::MapFiles files;
    Loaded l;
    constexpr int kDepth = 100000;
    std::string text = "nodes {";
    text.reserve(kDepth * 16);
    for (int i = 0; i < kDepth; ++i) text += " ( 0 0 )";
    for (int i = 0; i <= kDepth; ++i) text += " ( -1 0 )";
    text += " } brushes /* brushMemory = */ 1 {" + brush("( -1 0 0 ) ( 1 1 1 )") + "}";
    load(files, text, &l);
    ASSERT_TRUE(l.ok) << l.error;
    ASSERT_EQ(l.map.collisionNodes.size(), static_cast<size_t>(2 * kDepth + 1));
    size_t leavesWithBrush = 0;
    for (const CollisionNode& n : l.map.collisionNodes) {
        if (n.axis < 0) leavesWithBrush += n.brushIndices.size();
        if (n.axis >= 0) {
            ASSERT_LT(n.frontChild, &n - l.map.collisionNodes.data());
            ASSERT_LT(n.backChild, &n - l.map.collisionNodes.data());
        }
    }
    EXPECT_EQ(leavesWithBrush, static_cast<size_t>(kDepth + 1));  // straddles every split
}

}  // namespace
}  // namespace q
