// The Falcon's mechanism model against slow numerical references: positions
// from a Newton solve of the arm constraints, forces from virtual work with a
// finite-difference Jacobian, gravity from the potential of the effector and
// of the turned upper arms.
#include "tkx/tkxFalcon.h"

#include "tkx/tkxErrno.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace {

using V3 = std::array<long double, 3>;
using Th = std::array<long double, 3>;

const long double kTurn = std::atan2((long double)tkxFalcon::kTurnSin, (long double)tkxFalcon::kTurnCos);

long double Angle(int e) { return e * (long double)tkxFalcon::kAnglePerCount + (long double)tkxFalcon::kAngleAtZero; }

V3 Elbow(int i, long double th) {
  const long double phi = tkxFalcon::ArmPosition(i);
  const long double r = tkxFalcon::kR + tkxFalcon::kA * std::cos(th);
  return {r * std::cos(phi), r * std::sin(phi), -tkxFalcon::kA * std::sin(th)};
}

// the lower of the two points at lower-arm length from all three elbows, by
// Newton's method from far below; the result in the device frame (base angle 0)
bool Solve(const Th &th, V3 *out) {
  const V3 E[3] = {Elbow(0, th[0]), Elbow(1, th[1]), Elbow(2, th[2])};
  V3 p = {0, 0, -0.3L};
  const long double b = tkxFalcon::kB;
  for (int it = 0; it < 200; ++it) {
    long double f[3], J[3][3];
    for (int i = 0; i < 3; ++i) {
      f[i] = -b * b;
      for (int k = 0; k < 3; ++k) {
        f[i] += (p[k] - E[i][k]) * (p[k] - E[i][k]);
        J[i][k] = 2 * (p[k] - E[i][k]);
      }
    }
    // Cramer's rule
    auto det = [](long double m[3][3]) {
      return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
             m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const long double D = det(J);
    if (std::fabs(D) < 1e-30L) return false;
    for (int k = 0; k < 3; ++k) {
      long double M[3][3];
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) M[r][c] = c == k ? f[r] : J[r][c];
      p[k] -= det(M) / D;
    }
  }
  const long double c = std::cos(kTurn), s = std::sin(kTurn);
  const long double X = c * p[0] - s * p[1], Y = s * p[0] + c * p[1];
  *out = {-(tkxFalcon::kOriginDistance + p[2]), Y, -X};
  return true;
}

// device-frame derivative of the effector point per radian of each arm
void Jacobian(const Th &th, long double J[3][3]) {
  const long double h = 1e-6L;
  for (int i = 0; i < 3; ++i) {
    Th up = th, dn = th;
    up[i] += h;
    dn[i] -= h;
    V3 pu, pd;
    Solve(up, &pu);
    Solve(dn, &pd);
    for (int k = 0; k < 3; ++k) J[k][i] = (pu[k] - pd[k]) / (2 * h);
  }
}

// potential energy (device z up) of the effector and the upper arms' centres of mass
long double Potential(const Th &th, long double mass, long double g) {
  V3 p;
  Solve(th, &p);
  long double V = mass * g * p[2];
  for (int i = 0; i < 3; ++i) {
    // the arm's centre of mass, turned with the whole mechanism; its height is
    // minus the turned X; the gravity torque constant is m g r
    const long double phi = tkxFalcon::ArmPosition(i) + kTurn;
    V += tkxFalcon::kArmGravityTorque * -(std::cos(th[i] - tkxFalcon::kArmGravityAngle) * std::cos(phi));
  }
  return V;
}

class FalconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tkx::SetError(0);
    ASSERT_EQ(f.SetConfig(60), 0);
  }
  std::array<int, 3> RandomEnc() {
    std::uniform_int_distribution<int> d(-1200, 2000);
    return {d(rng), d(rng), d(rng)};
  }
  tkxFalcon f;
  std::mt19937 rng{20261208};
};

TEST_F(FalconTest, KnownPositions) {
  double x = 9, y = 9, z = 9;
  ASSERT_EQ(f.EncToPos(0, 0, 0, &x, &y, &z), 0);
  EXPECT_NEAR(x, 0.0, 1e-4);
  EXPECT_NEAR(y, 0.0, 1e-9);
  EXPECT_NEAR(z, 0.0, 1e-9);
  ASSERT_EQ(f.EncToPos(1000, 1000, 1000, &x, &y, &z), 0);
  EXPECT_NEAR(x, 0.0347, 5e-4);
  EXPECT_NEAR(y, 0.0, 1e-9);
  EXPECT_NEAR(z, 0.0, 1e-9);
}

TEST_F(FalconTest, ForwardMatchesNumericalSolve) {
  for (int n = 0; n < 500; ++n) {
    const auto e = RandomEnc();
    double p[3];
    ASSERT_EQ(f.EncToPos(e[0], e[1], e[2], &p[0], &p[1], &p[2]), 0);
    V3 ref;
    ASSERT_TRUE(Solve({Angle(e[0]), Angle(e[1]), Angle(e[2])}, &ref));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], (double)ref[k], 1e-9) << e[0] << " " << e[1] << " " << e[2];
  }
}

TEST_F(FalconTest, ForcesMatchVirtualWork) {
  f.SetGravityCompensation(false, 0.0);
  std::uniform_real_distribution<double> force(-2.0, 2.0);
  for (int n = 0; n < 300; ++n) {
    const auto e = RandomEnc();
    const double F[3] = {force(rng), force(rng), force(rng)};
    short m[3] = {0, 0, 0};
    ASSERT_EQ(f.FrcToMot(F[0], F[1], F[2], e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
    long double J[3][3];
    Jacobian({Angle(e[0]), Angle(e[1]), Angle(e[2])}, J);
    for (int i = 0; i < 3; ++i) {
      // the torque that makes the force: tau = J^T F; the motors count the other way
      const long double tau = J[0][i] * F[0] + J[1][i] * F[1] + J[2][i] * F[2];
      const long double want = -tau * tkxFalcon::kTorqueGain;
      if (std::fabs(want) < 4000) {
        EXPECT_NEAR(m[i], (double)want, 1.0) << "motor " << i;
      }
    }
  }
}

TEST_F(FalconTest, GravityMatchesPotentialWithTurnedArms) {
  const double g = tkxFalcon::kStandardGravity;
  for (int n = 0; n < 300; ++n) {
    const auto e = RandomEnc();
    short m[3] = {0, 0, 0};
    ASSERT_EQ(f.FrcToMot(0, 0, 0, e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
    const Th th = {Angle(e[0]), Angle(e[1]), Angle(e[2])};
    for (int i = 0; i < 3; ++i) {
      Th up = th, dn = th;
      const long double h = 1e-6L;
      up[i] += h;
      dn[i] -= h;
      const long double dV = (Potential(up, f.GetEffectorMass(), g) - Potential(dn, f.GetEffectorMass(), g)) / (2 * h);
      // holding against gravity is the force along the potential's gradient
      const long double want = -dV * tkxFalcon::kTorqueGain;
      if (std::fabs(want) < 4000) {
        EXPECT_NEAR(m[i], (double)want, 1.0) << "motor " << i;
      }
    }
  }
}

TEST_F(FalconTest, ZeroForceWithoutGravityIsZero) {
  f.SetGravityCompensation(false, 0.0);
  short m[3] = {7, 7, 7};
  ASSERT_EQ(f.FrcToMot(0, 0, 0, 300, -200, 800, &m[0], &m[1], &m[2]), 0);
  EXPECT_EQ(m[0], 0);
  EXPECT_EQ(m[1], 0);
  EXPECT_EQ(m[2], 0);
}

TEST_F(FalconTest, LargeForceSaturatesKeepingDirection) {
  f.SetGravityCompensation(false, 0.0);
  short small[3], big[3];
  ASSERT_EQ(f.FrcToMot(0.3, -0.2, 0.5, 300, 200, 400, &small[0], &small[1], &small[2]), 0);
  ASSERT_EQ(f.FrcToMot(300, -200, 500, 300, 200, 400, &big[0], &big[1], &big[2]), 0);
  int largest = 0;
  for (int i = 0; i < 3; ++i) largest = std::max(largest, std::abs((int)big[i]));
  EXPECT_EQ(largest, 4095);
  const double scale = 4095.0 / std::max({std::abs(small[0]), std::abs(small[1]), std::abs(small[2])});
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(big[i], small[i] * scale, scale * 1.5);
}

TEST_F(FalconTest, ForceThatIsNoNumberSendsNothing) {
  short m[3] = {11, 12, 13};
  EXPECT_EQ(f.FrcToMot(NAN, 0, 0, 100, 100, 100, &m[0], &m[1], &m[2]), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  EXPECT_EQ(m[0], 11);
  EXPECT_EQ(m[1], 12);
  EXPECT_EQ(m[2], 13);
}

TEST_F(FalconTest, NoInverseNoParameters) {
  int e[3] = {4, 5, 6};
  EXPECT_EQ(f.PosToEnc(0.01, 0.0, 0.0, &e[0], &e[1], &e[2]), 0);
  EXPECT_EQ(e[0], 4);
  EXPECT_EQ(e[2], 6);
  double fx = 0;
  EXPECT_EQ(f.MotToFrc(1, 2, 3, 0, 0, 0, &fx, &fx, &fx), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_EQ(f.GetParam(125), 0.0);
  EXPECT_STREQ(f.GetParamName(125), "undefined");
  EXPECT_EQ(f.SetParam(125, 3.0), 0);
  EXPECT_NEAR(f.GetEffectorMass(), 0.19, 1e-12);
}

}  // namespace
