#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "world/terrain.h"

namespace q {
namespace {

// Height at (dx, dz) inside the cell at row i, column g, interpolated directly
// from the four corner heights over triangle A (dz >= dx side) or B.
float triangleA(const Terrain& t, int i, int g, float dx, float dz) {
    const float h00 = t.height(i, g), h01 = t.height(i + 1, g), h11 = t.height(i + 1, g + 1);
    return h00 + (h11 - h01) * dx / 128.0f + (h01 - h00) * dz / 128.0f;
}
float triangleB(const Terrain& t, int i, int g, float dx, float dz) {
    const float h00 = t.height(i, g), h10 = t.height(i, g + 1), h11 = t.height(i + 1, g + 1);
    return h00 + (h10 - h00) * dx / 128.0f + (h11 - h10) * dz / 128.0f;
}
float cellX(int g) { return -8192.0f + 128.0f * static_cast<float>(g); }

class TerrainGrid : public ::testing::Test {
protected:
    Terrain terrain{nullptr, 128, 128};
};

TEST(TerrainRandom, ReproducesTheFixedSequence) {
    TerrainRandom random;
    for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(random.next(), expected);
}

TEST_F(TerrainGrid, HeightsFollowTheSequenceRowByRow) {
    EXPECT_EQ(terrain.vertsX, 129);
    EXPECT_EQ(terrain.vertsZ, 129);
    const float firstRow[] = {-455, -461, -434, -492, -399};
    for (int j = 0; j < 5; ++j) EXPECT_EQ(terrain.height(0, j), firstRow[j]) << "column " << j;
    for (float h : terrain.heights) {
        ASSERT_GE(h, -496.0f);
        ASSERT_LE(h, -369.0f);
    }
    // Building again gives the same ground: the sequence is the terrain's own.
    Terrain again(nullptr, 128, 128);
    EXPECT_EQ(again.heights, terrain.heights);
}

TEST_F(TerrainGrid, OnAVertexTheHeightIsThatVertexHeight) {
    for (auto [i, j] : {std::pair{0, 0}, {5, 9}, {64, 64}, {127, 3}, {100, 127}}) {
        EXPECT_FLOAT_EQ(terrain.heightAt({cellX(j), 999.0f, cellX(i)}), terrain.height(i, j))
            << "row " << i << " column " << j;
    }
    // The far edge and corner belong to the last cells, answered by their planes.
    EXPECT_NEAR(terrain.heightAt({8192.0f, 0, 8192.0f}), terrain.height(128, 128), 1e-3f);
    EXPECT_NEAR(terrain.heightAt({8192.0f, 0, cellX(40)}), terrain.height(40, 128), 1e-3f);
}

TEST_F(TerrainGrid, PointsInACellUseTheTriangleTheyLieIn) {
    const int i = 70, g = 33;
    struct Case { float dx, dz; bool inB; };
    for (Case c : {Case{100, 20, true}, Case{20, 100, false}, Case{50, 50, false}, Case{127, 1, true}}) {
        const float a = triangleA(terrain, i, g, c.dx, c.dz);
        const float b = triangleB(terrain, i, g, c.dx, c.dz);
        const float got = terrain.heightAt({cellX(g) + c.dx, 0, cellX(i) + c.dz});
        EXPECT_NEAR(got, c.inB ? b : a, 1e-3f) << c.dx << "," << c.dz;
        // On the diagonal both planes meet; elsewhere the wrong one is off.
        if (c.dx != c.dz) {
            EXPECT_GT(std::fabs(a - b), 1e-2f) << "cell too flat for this check";
        }
    }
}

TEST_F(TerrainGrid, OutsideTheGridTheNearestEdgeCellAnswers) {
    // Half a unit beyond the low edge still truncates into column 0.
    const float z = cellX(10) + 64.0f;
    EXPECT_NEAR(terrain.heightAt({-8192.5f, 0, z}), triangleA(terrain, 10, 0, -0.5f, 64.0f), 1e-3f);
    // Far beyond the high edge: the last column's plane carried outwards.
    EXPECT_NEAR(terrain.heightAt({9000.0f, 0, cellX(10) + 5.0f}),
                triangleB(terrain, 10, 127, 9000.0f - cellX(127), 5.0f), 1e-2f);
    EXPECT_NEAR(terrain.heightAt({-20000.0f, 0, -20000.0f}),
                triangleA(terrain, 0, 0, -20000.0f - cellX(0), -20000.0f - cellX(0)), 0.5f);

    // Values no cell index can hold are clamped before conversion, not converted.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(std::isfinite(terrain.heightAt({1e30f, 0, -1e30f})));
    for (Vector3 p : {Vector3{inf, 0, 0}, Vector3{0, 0, -inf}, Vector3{nan, 0, 0}, Vector3{0, 0, nan}}) {
        (void)terrain.heightAt(p);  // the sanitizer build checks these convert nothing out of range
    }
}

TEST(Terrain, CellCountsStayAddressableBySixteenBitIndices) {
    Terrain big(nullptr, 1000, 0);
    EXPECT_EQ(big.cellsX, Terrain::kMaxCells);
    EXPECT_EQ(big.cellsZ, 1);
    EXPECT_EQ(big.heights.size(), 256u * 2u);
    // A small grid still answers the fixed query safely from its own cells.
    EXPECT_TRUE(std::isfinite(big.heightAt({8000, 0, 8000})));
}

}  // namespace
}  // namespace q
