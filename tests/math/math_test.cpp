#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/bounds.h"
#include "math/matrix.h"
#include "math/plane.h"
#include "math/vector.h"

namespace q {
namespace {

void expectNear(Vector3 a, Vector3 b, float eps = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

TEST(Normalize, ZeroUnitAndEpsilonWindow) {
    Vector3 out{9, 9, 9};
    Vector3 zero{0, 0, 0};
    D3DXVec3Normalize(&out, &zero);
    EXPECT_EQ(out, Vector3(0, 0, 0));

    // A vector whose squared length is within float epsilon of 1 comes back bit for bit.
    Vector3 nearlyUnit{0.6f, 0.8f, 0.0f};
    D3DXVec3Normalize(&out, &nearlyUnit);
    EXPECT_EQ(std::memcmp(&out, &nearlyUnit, sizeof out), 0);

    Vector3 v{3, 0, 4};
    D3DXVec3Normalize(&v, &v);  // in place
    expectNear(v, {0.6f, 0.0f, 0.8f});

    // Below the smallest normal float: zero, not a division blow-up.
    Vector3 tiny{1e-20f, 0, 0};
    D3DXVec3Normalize(&out, &tiny);
    EXPECT_EQ(out, Vector3(0, 0, 0));
}

TEST(TransformCoord, DividesByWOnlyOutsideEpsilon) {
    Matrix m = Matrix::identity();
    m.m[3][3] = 2.0f;
    Vector3 p{2, 4, 6};
    expectNear(transformCoord(p, m), {1, 2, 3});
    m.m[3][3] = 1.0f + 1e-7f;  // within epsilon: no division
    Vector3 out;
    D3DXVec3TransformCoord(&out, &p, &m);
    EXPECT_EQ(out, p);
    Matrix t = Matrix::translation(1, 2, 3);
    expectNear(transformCoord(p, t), {3, 6, 9});
    expectNear(transformNormal(p, t), p);
}

TEST(MatrixInverse, SingularFailsAndLeavesOutputUntouched) {
    Matrix singular;  // all zeros
    Matrix out = Matrix::translation(7, 7, 7);
    const Matrix before = out;
    float det = 5.0f;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_EQ(out, before);
    EXPECT_EQ(det, 5.0f);
}

TEST(MatrixInverse, RotationAndTranslationRoundTrip) {
    Matrix r;
    D3DXMatrixRotationYawPitchRoll(&r, 10.0f, 0.3f, -0.2f);
    r.m[3][0] = 4000;
    r.m[3][1] = -64;
    r.m[3][2] = 4000;
    Matrix inv;
    float det = 0;
    ASSERT_NE(D3DXMatrixInverse(&inv, &det, &r), nullptr);
    EXPECT_NEAR(det, 1.0f, 1e-5f);
    const Matrix product = r * inv;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], i == j ? 1.0f : 0.0f, 1e-3f);
    // In place works too.
    Matrix same = r;
    D3DXMatrixInverse(&same, nullptr, &same);
    EXPECT_EQ(same, inv);
}

TEST(YawPitchRoll, ConventionsOfTheAxes) {
    Matrix m;
    D3DXMatrixRotationYawPitchRoll(&m, 0.5f * 3.14159265f, 0, 0);
    expectNear(transformNormal({0, 0, 1}, m), {1, 0, 0});  // positive yaw turns forward to +x
    D3DXMatrixRotationYawPitchRoll(&m, 0, 0.5f * 3.14159265f, 0);
    expectNear(transformNormal({0, 0, 1}, m), {0, -1, 0});  // positive pitch looks down
    D3DXMatrixRotationYawPitchRoll(&m, 0, 0, 0.5f * 3.14159265f);
    expectNear(transformNormal({1, 0, 0}, m), {0, 1, 0});
    D3DXMatrixRotationYawPitchRoll(&m, 0, 0, 0);
    EXPECT_EQ(m, Matrix::identity());
}

TEST(Perspective, RowsAsDefined) {
    Matrix p;
    D3DXMatrixPerspectiveFovLH(&p, 1.33f, 1.0f, 1.0f, 20000.0f);
    const float h = std::cos(0.665f) / std::sin(0.665f);
    EXPECT_FLOAT_EQ(p.m[0][0], h);
    EXPECT_FLOAT_EQ(p.m[1][1], h);
    EXPECT_FLOAT_EQ(p.m[2][2], 20000.0f / 19999.0f);
    EXPECT_FLOAT_EQ(p.m[2][3], 1.0f);
    EXPECT_FLOAT_EQ(p.m[3][2], -20000.0f / 19999.0f);
    EXPECT_EQ(p.m[3][3], 0.0f);
}

TEST(Planes, FromPointsNormalAndTransform) {
    Plane pl;
    Vector3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
    D3DXPlaneFromPoints(&pl, &a, &b, &c);
    EXPECT_EQ(pl, (Plane{0, 0, 1, 0}));
    D3DXPlaneFromPoints(&pl, &a, &a, &c);  // degenerate
    EXPECT_EQ(pl, (Plane{0, 0, 0, 0}));

    Vector3 p{0, 0, 5}, n{0, 0, 2};
    D3DXPlaneFromPointNormal(&pl, &p, &n);
    EXPECT_EQ(pl, (Plane{0, 0, 2, -10}));

    // Moving the plane z = 5 by +3 along z: pass transpose(inverse(T)).
    Plane unit{0, 0, 1, -5};
    Matrix t = Matrix::translation(0, 0, 3), inv;
    D3DXMatrixInverse(&inv, nullptr, &t);
    const Matrix carry = transposed(inv);
    D3DXPlaneTransform(&pl, &unit, &carry);
    EXPECT_FLOAT_EQ(pl.distance({0, 0, 8}), 0.0f);
}

TEST(BoundsOps, EmptyGrowAroundDisjoint) {
    Bounds b = Bounds::empty();
    EXPECT_EQ(b.mins, Vector3(10000, 10000, 10000));
    EXPECT_EQ(b.maxs, Vector3(-10000, -10000, -10000));
    b.grow(Bounds{{0, 0, 0}, {10, 30, 20}});
    EXPECT_EQ(b.mins, Vector3(0, 0, 0));
    EXPECT_EQ(b.maxs, Vector3(10, 30, 20));

    const Bounds box = Bounds::aroundPoint({-100, 5, 5}, {100, 100, 100});
    EXPECT_FALSE(Bounds::disjoint(box, b));  // touching at x = 0
    const Bounds further = Bounds::aroundPoint({-100.01f, 5, 5}, {100, 100, 100});
    EXPECT_TRUE(Bounds::disjoint(further, b));

    // Beyond the empty value's ±10000, and growing by nothing.
    Bounds far = Bounds::empty();
    far.grow(Bounds::empty());
    EXPECT_TRUE(far.isEmpty());
    far.grow(Vector3{20000, -15000, 12000});
    EXPECT_EQ(far.mins, Vector3(20000, -15000, 12000));
    EXPECT_EQ(far.maxs, Vector3(20000, -15000, 12000));
}

}  // namespace
}  // namespace q
