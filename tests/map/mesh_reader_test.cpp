// The mesh model readers (ASE, LWO2) over mapgen's test box, whole and
// damaged: axes and winding brought to the map's, materials and texture
// coordinates as the files give them, faults named.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "map/ase_reader.h"
#include "map/lwo_reader.h"
#include "mapgen/mesh_files.h"

namespace q {
namespace {

const MeshMaterialGroup* findGroup(const MeshModel& model, const std::string& material) {
    for (const MeshMaterialGroup& g : model.groups)
        if (g.material == material) return &g;
    return nullptr;
}

void replaceOnce(std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

void putBigEndian(std::string& bytes, size_t at, uint32_t value, int width) {
    for (int k = 0; k < width; ++k)
        bytes[at + static_cast<size_t>(k)] = static_cast<char>(value >> (8 * (width - 1 - k)));
}

// The box of mapgen's test models: 16 wide, 48 tall, standing on z = 0; every
// triangle's winding and every normal point away from its middle.
void expectUprightBoxFacingOut(const MeshModel& model) {
    EXPECT_EQ(model.triangleCount(), 12u);
    EXPECT_EQ(model.bounds.mins, Vector3(-8, -8, 0));
    EXPECT_EQ(model.bounds.maxs, Vector3(8, 8, 48));
    const Vector3 middle{0, 0, 24};
    for (const MeshMaterialGroup& group : model.groups) {
        for (size_t i = 0; i + 2 < group.indices.size(); i += 3) {
            const MeshVertex& a = model.vertices[group.indices[i]];
            const MeshVertex& b = model.vertices[group.indices[i + 1]];
            const MeshVertex& c = model.vertices[group.indices[i + 2]];
            const Vector3 facing = normalized(cross(b.position - a.position, c.position - a.position));
            const Vector3 outward = (a.position + b.position + c.position) * (1.0f / 3.0f) - middle;
            EXPECT_GT(dot(facing, outward), 0.0f) << group.material << " triangle " << i / 3;
            for (const MeshVertex* v : {&a, &b, &c}) EXPECT_GT(dot(v->normal, facing), 0.99f);
        }
    }
}

TEST(MeshReader, AseBoxStandsUprightWithItsSubMaterialsAndTextureCorners) {
    std::string text = mapgen::aseTestModel();
    // A face's material id past the sub-materials wraps round: side face 4 shows sub-material 1.
    replaceOnce(text, "*MESH_SMOOTHING 3 \t*MESH_MTLID 0", "*MESH_SMOOTHING 3 \t*MESH_MTLID 3");
    MeshModel model;
    std::string error;
    ASSERT_TRUE(readAseModel(text, "box.ase", &model, &error)) << error;
    EXPECT_TRUE(model.warnings.empty());
    expectUprightBoxFacingOut(model);

    const MeshMaterialGroup* side = findGroup(model, "mapgen/box_side");
    const MeshMaterialGroup* top = findGroup(model, "mapgen/box_top");
    ASSERT_TRUE(side && top);
    EXPECT_EQ(side->image, "//base/textures/gen/wall.tga");
    EXPECT_EQ(top->image, "//base/textures/gen/floor.tga");
    EXPECT_EQ(side->indices.size(), 7u * 3);
    EXPECT_EQ(top->indices.size(), 5u * 3);
    // The top's corner (-8, -8) has texture (0, 0): the image's bottom left,
    // t = 1; its corner (8, 8) has (1, 1): t = 0.
    int cornersSeen = 0;
    for (uint32_t i : top->indices) {
        const MeshVertex& v = model.vertices[i];
        if (v.normal.z < 0.5f) continue;  // side face 4's corners
        if (v.position == Vector3(-8, -8, 48)) {
            EXPECT_EQ(v.s, 0.0f);
            EXPECT_EQ(v.t, 1.0f);
            ++cornersSeen;
        }
        if (v.position == Vector3(8, 8, 48)) {
            EXPECT_EQ(v.s, 1.0f);
            EXPECT_EQ(v.t, 0.0f);
            ++cornersSeen;
        }
    }
    EXPECT_GE(cornersSeen, 2);
    // Corners shared by triangles of one side are one vertex: 4 a side.
    EXPECT_EQ(model.vertices.size(), 24u);
}

TEST(MeshReader, LwoBoxStandsUprightWithFannedQuadsSurfacesAndPolygonUvs) {
    MeshModel model;
    std::string error;
    ASSERT_TRUE(readLwoModel(mapgen::lwoTestModel(), "box.lwo", &model, &error)) << error;
    EXPECT_TRUE(model.warnings.empty());
    expectUprightBoxFacingOut(model);

    const MeshMaterialGroup* side = findGroup(model, "mapgen/crate_side");
    const MeshMaterialGroup* top = findGroup(model, "mapgen/crate_top");
    ASSERT_TRUE(side && top);
    EXPECT_EQ(side->image, "textures/gen/crate.tga");
    EXPECT_EQ(top->image, "");
    EXPECT_EQ(side->indices.size(), 8u * 3);
    EXPECT_EQ(top->indices.size(), 4u * 3);
    // The top quad (polygon 1) takes its corners' own coordinates; the sides
    // take the points' (u 0 or 1), whatever the top gives the same points.
    for (const MeshMaterialGroup* group : {side, top}) {
        for (uint32_t i : group->indices) {
            const MeshVertex& v = model.vertices[i];
            if (v.position.z != 48) continue;
            const float u = v.position.x > 0 ? 1.0f : 0.0f, w = v.position.y > 0 ? 1.0f : 0.0f;
            const float expectedS = group == top ? 0.25f + 0.5f * u : u;
            const float expectedT = 1.0f - (group == top ? 0.25f + 0.5f * w : w);
            EXPECT_EQ(v.s, expectedS) << group->material;
            EXPECT_EQ(v.t, expectedT) << group->material;
        }
    }
}

TEST(MeshReader, FacesNamingPointsOutOfRangeAreNamedAndSkipped) {
    std::string text = mapgen::aseTestModel();
    replaceOnce(text, "*MESH_FACE    2:    A:    4", "*MESH_FACE    2:    A:   99");
    replaceOnce(text, "*MESH_TFACE 5\t0", "*MESH_TFACE 5\t7");
    MeshModel model;
    std::string error;
    ASSERT_TRUE(readAseModel(text, "box.ase", &model, &error)) << error;
    EXPECT_EQ(model.triangleCount(), 10u);
    ASSERT_EQ(model.warnings.size(), 1u);
    EXPECT_NE(model.warnings[0].find("box.ase:"), std::string::npos) << model.warnings[0];
    EXPECT_NE(model.warnings[0].find("2 faces"), std::string::npos) << model.warnings[0];
    EXPECT_NE(model.warnings[0].find("first: *MESH_FACE 2"), std::string::npos) << model.warnings[0];

    // The LWO's third quad (polygon 2) names point 99 at its second corner.
    std::string bytes = mapgen::lwoTestModel();
    const size_t pols = bytes.find("POLS");
    ASSERT_NE(pols, std::string::npos);
    putBigEndian(bytes, pols + 12 + 2 * 10 + 4, 99, 2);
    ASSERT_TRUE(readLwoModel(bytes, "box.lwo", &model, &error)) << error;
    EXPECT_EQ(model.triangleCount(), 10u);
    ASSERT_EQ(model.warnings.size(), 1u);
    EXPECT_EQ(model.warnings[0],
              "box.lwo: chunk POLS at byte " + std::to_string(pols) +
                  ": 1 polygon name a point out of range (first: polygon 2); skipped");
}

TEST(MeshReader, AseThatDoesNotReadIsRefusedAtItsLine) {
    const std::string good = mapgen::aseTestModel();
    const auto lineOf = [&](const std::string& what) {
        const size_t at = good.find(what);
        return std::to_string(1 + std::count(good.begin(), good.begin() + static_cast<long>(at), '\n'));
    };
    struct Case {
        std::string text;
        std::string message;
    };
    std::string nested = "*MATERIAL_LIST { *MATERIAL 0 {";
    for (int i = 0; i < 8; ++i) nested += "\n*SUBMATERIAL 0 {";
    std::string huge = good, beyond = good, quote = good;
    replaceOnce(huge, "*MESH_NUMVERTEX 8", "*MESH_NUMVERTEX 99999999");
    replaceOnce(beyond, "*MESH_VERTEX    7", "*MESH_VERTEX    8");
    replaceOnce(quote, "\"box.max\"", "\"box.max");
    const Case cases[] = {
        {huge, "box.ase:" + lineOf("*MESH_NUMVERTEX") +
                   ": expected *MESH_NUMVERTEX 99999999 that the rest of the file can hold"},
        {beyond, "box.ase:" + lineOf("*MESH_VERTEX    7") + ": expected *MESH_VERTEX index below its count 8, found 8"},
        // Cut short: the counts before the cut no longer fit, and a list
        // cut after them has no closing brace.
        {good.substr(0, good.find("*MESH_VERTEX    5")),
         "box.ase:" + lineOf("*MESH_NUMFACES") + ": expected *MESH_NUMFACES 12 that the rest of the file can hold"},
        {good.substr(0, good.find("*MESH_FACENORMAL 11")), "box.ase:" + lineOf("*MESH_FACENORMAL 11") +
                                                               ": expected } closing the block opened at line " +
                                                               lineOf("*MESH_NORMALS")},
        {quote, "box.ase:" + lineOf("\"box.max") + ": expected a closing quote on the same line"},
        {nested, "box.ase:9: expected sub-materials nested at most 8 deep"},
        {"*GEOMOBJECT { *MESH { *MESH_NUMVERTEX 1 *MESH_VERTEX_LIST { *MESH_VERTEX 0 1 nan 3 } } }",
         "box.ase:1: expected *MESH_VERTEX x y z (a finite number), found \"nan\""},
        {"*SCENE {\n\x01", "box.ase:2: expected a text file, found a control byte"},
    };
    for (const Case& c : cases) {
        MeshModel model;
        std::string error;
        EXPECT_FALSE(readAseModel(c.text, "box.ase", &model, &error));
        EXPECT_EQ(error, c.message);
        EXPECT_TRUE(model.vertices.empty() && model.groups.empty());
    }
}

TEST(MeshReader, LwoThatDoesNotReadIsRefusedAtItsChunk) {
    const std::string good = mapgen::lwoTestModel();
    const size_t points = good.find("PNTS"), polygons = good.find("POLS");
    struct Case {
        std::string bytes;
        std::string message;
    };
    std::string pastEnd = good, hugePolygon = good, older = good, oddPoints = good;
    putBigEndian(pastEnd, points + 4, 0x7FFFFFF0u, 4);
    putBigEndian(hugePolygon, polygons + 8 + 4, 0x03FF, 2);  // 1023 points in a chunk of 64 bytes
    older.replace(8, 4, "LWOB");
    putBigEndian(oddPoints, points + 4, 95, 4);
    const size_t formSize = good.size() - 8;
    const Case cases[] = {
        {pastEnd, "box.lwo: chunk PNTS at byte " + std::to_string(points) + ": expected a size of at most " +
                      std::to_string(good.size() - points - 8) + " (what the FORM holds after it), found 2147483632"},
        {hugePolygon, "box.lwo: chunk POLS at byte " + std::to_string(polygons + 12) +
                          ": expected a polygon of 1023 points that the chunk can hold (58 bytes left)"},
        {good.substr(0, points + 20), "box.lwo: chunk FORM at byte 4: expected a size from 4 to " +
                                          std::to_string(points + 12) + " (the bytes after it), found " +
                                          std::to_string(formSize)},
        {older, "box.lwo: chunk FORM at byte 8: expected LWO2, found LWOB (the older form, not read)"},
        {oddPoints, "box.lwo: chunk PNTS at byte " + std::to_string(points + 8) +
                        ": expected a size that is a multiple of 12 (x y z), found 95"},
        {"", "box.lwo: chunk FORM at byte 0: expected an IFF file (FORM, a size, LWO2) of at least 12 bytes"},
    };
    for (const Case& c : cases) {
        MeshModel model;
        std::string error;
        EXPECT_FALSE(readLwoModel(c.bytes, "box.lwo", &model, &error));
        EXPECT_EQ(error, c.message);
        EXPECT_TRUE(model.vertices.empty() && model.groups.empty());
    }
}

}  // namespace
}  // namespace q
