// Value types: vectors, matrices, colours, segments; the fast inline forms are
// checked against longhand references over seeded random inputs.
#include "scene/math/CColor.h"
#include "scene/math/CMaths.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- vectors ----------------------------------------------------------------------

TEST(Vector, CrossAndDotFollowTheRightHand) {
  const cVector3d x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
  EXPECT_EQ(x.cross(y), z);
  EXPECT_EQ(y.cross(z), x);
  EXPECT_EQ(z.cross(x), y);
  EXPECT_EQ(y.cross(x), -z);
  EXPECT_EQ(cDot(cVector3d(1, 2, 3), cVector3d(4, -5, 6)), 12.0);
  EXPECT_EQ(cVector3d(3, 4, 12).length(), 13.0);
  EXPECT_EQ(cDistance(cVector3d(1, 1, 1), cVector3d(4, 5, 1)), 5.0);
}

TEST(Vector, NormalizeHasNoZeroGuard) {
  cVector3d v(0, 3, 4);
  v.normalize();
  EXPECT_TRUE(v.equals(cVector3d(0, 0.6, 0.8), 1e-15));
  EXPECT_TRUE(cNormalize(cVector3d(2, 0, 0)) == cVector3d(1, 0, 0));
  cVector3d zero;
  zero.normalize();
  EXPECT_FALSE(std::isfinite(zero.x));
}

TEST(Vector, ComponentsAreContiguous) {
  cVector3d v(1, 2, 3);
  EXPECT_EQ(v.data()[0], 1.0);
  EXPECT_EQ(v.data()[2], 3.0);
  v[1] = 7;
  EXPECT_EQ(v.y, 7.0);
  static_assert(sizeof(cVector3d) == 3 * sizeof(double), "a vector passes to OpenGL as double[3]");
}

// ---- matrices ----------------------------------------------------------------------

TEST(Matrix, RotationAboutZByQuarterTurn) {
  const cMatrix3d r = cRotMatrix(cVector3d(0, 0, 1), kPi / 2);
  EXPECT_TRUE((r * cVector3d(1, 0, 0)).equals(cVector3d(0, 1, 0), 1e-15));
  EXPECT_TRUE((r * cVector3d(0, 1, 0)).equals(cVector3d(-1, 0, 0), 1e-15));
  // the transpose turns back
  EXPECT_TRUE(r.transMul(cVector3d(0, 1, 0)).equals(cVector3d(1, 0, 0), 1e-15));
}

TEST(Matrix, DefaultIsIdentityAndColumnsAreAxes) {
  const cMatrix3d i;
  EXPECT_EQ(i, cMatrix3d(1, 0, 0, 0, 1, 0, 0, 0, 1));
  cMatrix3d m;
  m.setCols(cVector3d(1, 2, 3), cVector3d(4, 5, 6), cVector3d(7, 8, 9));
  EXPECT_EQ(m.col(1), cVector3d(4, 5, 6));
  EXPECT_EQ(m.row(0), cVector3d(1, 4, 7));
  EXPECT_EQ(m * cVector3d(0, 1, 0), cVector3d(4, 5, 6));
}

// longhand forms of the products, index by index
cVector3d SlowMul(const cMatrix3d &a, const cVector3d &v) {
  cVector3d r;
  for (int i = 0; i < 3; ++i) {
    double s = 0;
    for (int k = 0; k < 3; ++k) s += a.m[i][k] * v[k];
    r[i] = s;
  }
  return r;
}

cVector3d SlowTransMul(const cMatrix3d &a, const cVector3d &v) {
  cVector3d r;
  for (int i = 0; i < 3; ++i) {
    double s = 0;
    for (int k = 0; k < 3; ++k) s += a.m[k][i] * v[k];
    r[i] = s;
  }
  return r;
}

cMatrix3d SlowRotation(const cVector3d &u, double t) {
  // c I + (1 - c) u u^T + s [u]x
  const double c = std::cos(t), s = std::sin(t);
  const double cross[3][3] = {{0, -u.z, u.y}, {u.z, 0, -u.x}, {-u.y, u.x, 0}};
  cMatrix3d r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = (i == j ? c : 0.0) + (1 - c) * u[i] * u[j] + s * cross[i][j];
  return r;
}

TEST(Matrix, ProductsMatchLonghandOverSeeds) {
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> d(-10, 10);
  for (int n = 0; n < 1000; ++n) {
    cMatrix3d a, b;
    for (auto &row : a.m)
      for (double &x : row) x = d(rng);
    for (auto &row : b.m)
      for (double &x : row) x = d(rng);
    const cVector3d v(d(rng), d(rng), d(rng));
    ASSERT_TRUE((a * v).equals(SlowMul(a, v), 1e-12));
    ASSERT_TRUE(a.transMul(v).equals(SlowTransMul(a, v), 1e-12));
    ASSERT_TRUE(a.transMul(v).equals(a.transpose() * v, 1e-12));
    const cMatrix3d ab = a * b;
    ASSERT_TRUE((ab * v).equals(a * (b * v), 1e-9));
    cVector3d axis(d(rng), d(rng), d(rng));
    axis.normalize();
    const double angle = d(rng);
    const cMatrix3d r = cRotMatrix(axis, angle);
    ASSERT_TRUE(r.equals(SlowRotation(axis, angle), 1e-14));
    // a rotation is orthonormal, keeps its axis, and turns by the angle
    ASSERT_TRUE((r * r.transpose()).equals(cMatrix3d(), 1e-12));
    ASSERT_NEAR(r.det(), 1.0, 1e-12);
    ASSERT_TRUE((r * axis).equals(axis, 1e-12));
  }
}

// ---- geometry ------------------------------------------------------------------------

TEST(Geometry, SurfaceNormalOfCounterClockwiseCorners) {
  EXPECT_EQ(cComputeSurfaceNormal(cVector3d(0, 0, 0), cVector3d(1, 0, 0), cVector3d(0, 1, 0)), cVector3d(0, 0, 1));
  EXPECT_EQ(cComputeSurfaceNormal(cVector3d(0, 0, 0), cVector3d(0, 1, 0), cVector3d(1, 0, 0)), cVector3d(0, 0, -1));
  // long and short edges weigh the same
  EXPECT_TRUE(cComputeSurfaceNormal(cVector3d(0, 0, 0), cVector3d(100, 0, 0), cVector3d(0, 0.01, 0))
                  .equals(cVector3d(0, 0, 1), 1e-15));
}

TEST(Geometry, SegmentDistance) {
  const cSegment3D s(cVector3d(0, 0, 0), cVector3d(1, 0, 0));
  double t = -1;
  cVector3d c;
  EXPECT_EQ(s.distanceSquaredToPoint(cVector3d(2, 1, 0), t, &c), 2.0);
  EXPECT_EQ(t, 1.0);
  EXPECT_EQ(c, cVector3d(1, 0, 0));
  EXPECT_EQ(s.distanceSquaredToPoint(cVector3d(0.25, 0, 3), t, nullptr), 9.0);
  EXPECT_EQ(t, 0.25);
  EXPECT_EQ(s.distanceSquaredToPoint(cVector3d(-5, 0, 0), t, &c), 25.0);
  EXPECT_EQ(t, 0.0);
  // a zero-length segment measures from its start
  const cSegment3D dot(cVector3d(1, 1, 1), cVector3d(1, 1, 1));
  EXPECT_EQ(dot.distanceSquaredToPoint(cVector3d(1, 1, 3), t, &c), 4.0);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(c, cVector3d(1, 1, 1));
}

// ---- colours --------------------------------------------------------------------------

TEST(Colour, ConstantsAndBasicColours) {
  EXPECT_EQ(KORA_BASIC_COLORS[5], KORA_COLOR_YELLOW);
  EXPECT_EQ(KORA_BASIC_COLORS[0], KORA_COLOR_RED);
  EXPECT_EQ(KORA_BASIC_COLORS[7], KORA_COLOR_PURPLE);
  EXPECT_EQ(KORA_COLOR_AQUA, cColorf(0, 1, 1, 1));
  for (const cColorf &c : KORA_BASIC_COLORS) EXPECT_EQ(c.a, 1.0f);
}

TEST(Colour, ThreeChannelSetterClamps) {
  cColorf c(0.1f, 0.2f, 0.3f, 0.4f);
  c.set(-1.0f, 0.5f, 7.0f);
  EXPECT_EQ(c, cColorf(0.0f, 0.5f, 1.0f, 1.0f));
  static_assert(sizeof(cColorf) == 4 * sizeof(float), "a colour passes to OpenGL as float[4]");
  static_assert(sizeof(cColorb) == 4, "four bytes");
}

}  // namespace
