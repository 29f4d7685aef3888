// The three-arm mechanism model against slow numerical references, and the
// cases where a conversion must fail, saturate, fade or forget its cache.
#include "tkx/tkxTrion.h"

#include "tkx/tkxErrno.h"
#include "tkx/tkxTime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <thread>

namespace {

using V3 = std::array<long double, 3>;
using Th = std::array<long double, 3>;

double fakeRaw = 1000.0;
double FakeClock() { return fakeRaw; }

template <typename M>
long double Det(const M &m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// ---- slow reference: the three sphere constraints solved by Newton's method ----

struct Reference {
  long double a, b, R, off, k, od, ws, cb, sb, alpha, C, K, phi[3], mb[3];

  explicit Reference(tkxTrion &t)
      : a(t.GetParam(136)),
        b(t.GetParam(137)),
        R(t.GetParam(130)),
        off(t.GetParam(131)),
        k(t.GetParam(122) * 2 * M_PIl / (t.GetParam(124) * t.GetParam(125))),
        od(t.GetParam(132)),
        ws(t.GetParam(133)),
        cb(std::cos(t.GetParam(141))),
        sb(std::sin(t.GetParam(141))),
        alpha(t.GetParam(146)),
        C(t.GetParam(126)),
        K(t.GetParam(127) * t.GetParam(129) / (t.GetParam(128) * t.GetParam(124))),
        phi{t.GetParam(138), t.GetParam(139), t.GetParam(140)},
        mb{t.GetParam(143), t.GetParam(144), t.GetParam(145)} {}
  V3 Elbow(int i, long double th) const {
    const long double r = R + a * std::cos(th);
    return {r * std::cos(phi[i]), r * std::sin(phi[i]), -a * std::sin(th)};
  }
  // Newton from far above and far below; the lower of two distinct roots, in the device frame
  bool Solve(const Th &th, V3 *out, V3 *mech = nullptr) const {
    const V3 E[3] = {Elbow(0, th[0]), Elbow(1, th[1]), Elbow(2, th[2])};
    V3 root[2];
    for (int r = 0; r < 2; ++r) {
      V3 p = {0, 0, (r ? 1 : -1) * (a + b)};
      for (int it = 0; it < 100; ++it) {
        long double J[3][3], F[3];
        for (int i = 0; i < 3; ++i) {
          F[i] = -b * b;
          for (int c = 0; c < 3; ++c) J[i][c] = 2 * (p[c] - E[i][c]), F[i] += (p[c] - E[i][c]) * (p[c] - E[i][c]);
        }
        const V3 q = p;
        for (int c = 0; c < 3; ++c) {  // Cramer's rule
          long double M[3][3];
          for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) M[i][j] = j == c ? F[i] : J[i][j];
          p[c] = q[c] - Det(M) / Det(J);
        }
      }
      for (int i = 0; i < 3; ++i) {
        long double d = -b * b;
        for (int c = 0; c < 3; ++c) d += (p[c] - E[i][c]) * (p[c] - E[i][c]);
        if (!(std::fabs(d) < 1e-15L)) return false;
      }
      root[r] = p;
    }
    if (std::fabs(root[0][2] - root[1][2]) < 1e-6L) return false;  // tangent spheres
    const V3 &P = root[0][2] < root[1][2] ? root[0] : root[1];
    const long double w = od + P[2] + ws / 2;
    *out = {sb * P[0] - cb * w, P[1], -cb * P[0] - sb * w};
    if (mech) *mech = P;
    return true;
  }
  // derivative of f(θ) along arm j, by central differences
  template <typename F>
  static long double Partial(F &&f, const Th &th, int j) {
    const long double h = 1e-6L;
    Th up = th, down = th;
    up[j] += h, down[j] -= h;
    return (f(up) - f(down)) / (2 * h);
  }
};

class Trion : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { tkx::testing::SetRawClock(FakeClock); }
  void TearDown() override { tkx::testing::SetRawClock(nullptr); }
  static void NoSprings(tkxTrion &t) {
    for (int id = 153; id <= 161; ++id) t.SetParam(id, 0.0);
  }
  // random configurations over the whole joint range, fixed seed; encoders as the device reports them
  template <typename F>
  static int ForWorkspace(tkxTrion &t, unsigned seed, int n, F &&f) {
    const Reference ref(t);
    const long long turn = std::llround(t.GetParam(124) * t.GetParam(125));
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> arm(-0.80, 1.57);
    int solved = 0;
    for (int s = 0; s < n; ++s) {
      int e[3];
      Th th;
      for (int i = 0; i < 3; ++i) {
        long long v = std::llround((arm(gen) - ref.off) / ref.k);
        while (v <= 0) v += turn;
        e[i] = static_cast<int>(v), th[i] = e[i] * ref.k + ref.off;
      }
      V3 p, P;
      if (ref.Solve(th, &p, &P)) ++solved, f(e, th, p, P, ref, gen);
    }
    return solved;
  }
};

INSTANTIATE_TEST_SUITE_P(Types, Trion, ::testing::Values(31, 33, 61, 63));

// ---- against the references ----

TEST_P(Trion, ForwardMatchesTheSphereConstraints) {
  for (double beta : {0.0, 0.35}) {
    tkxTrion t;
    t.SetConfig(GetParam());
    t.SetParam(141, beta);
    EXPECT_GT(ForWorkspace(t, 11, 1500,
                           [&](const int *e, const Th &, const V3 &p, const V3 &, const Reference &, std::mt19937 &) {
                             double x, y, z;
                             ASSERT_EQ(t.EncToPos(e[0], e[1], e[2], &x, &y, &z), 0);
                             EXPECT_NEAR(x, p[0], 1e-9);
                             EXPECT_NEAR(y, p[1], 1e-9);
                             EXPECT_NEAR(z, p[2], 1e-9);
                           }),
              1000);
  }
}

TEST_P(Trion, InverseGivesTheEncodersBackWithinOneCount) {
  tkxTrion t;
  t.SetConfig(GetParam());
  int accepted = 0;
  ForWorkspace(t, 12, 1500, [&](const int *e, const Th &, const V3 &p, const V3 &, const Reference &, std::mt19937 &) {
    int r[3];
    tkx::SetError(0);
    if (t.PosToEnc(p[0], p[1], p[2], &r[0], &r[1], &r[2]) < 0) {
      EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
      return;
    }
    ++accepted;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(r[i] == e[i] || r[i] == e[i] - 1) << e[i] << " -> " << r[i];
  });
  EXPECT_GT(accepted, 500);
}

// the user torques are -Jᵀ·F, J the device-frame Jacobian, scaled by the torque gain
TEST_P(Trion, UserTorquesAreVirtualWork) {
  tkxTrion t;
  t.SetConfig(GetParam());
  NoSprings(t);
  t.SetGravityCompensation(false, 0.0);
  ForWorkspace(t, 13, 400,
               [&](const int *e, const Th &th, const V3 &, const V3 &, const Reference &ref, std::mt19937 &gen) {
                 std::uniform_real_distribution<double> force(-3.0, 3.0);
                 const double f[3] = {force(gen), force(gen), force(gen)};
                 double user[3], held[3], expected[3];
                 short m[3];
                 ASSERT_EQ(t.ArmTorques(f[0], f[1], f[2], e[0], e[1], e[2], user, held), 0);
                 ASSERT_EQ(t.FrcToMot(f[0], f[1], f[2], e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
                 bool saturated = false;
                 for (int j = 0; j < 3; ++j) {
                   expected[j] = static_cast<double>(-ref.K * Reference::Partial(
                                                                  [&](const Th &q) {
                                                                    V3 p;
                                                                    EXPECT_TRUE(ref.Solve(q, &p));
                                                                    return p[0] * f[0] + p[1] * f[1] + p[2] * f[2];
                                                                  },
                                                                  th, j));
                   EXPECT_NEAR(user[j], expected[j], 0.01);
                   EXPECT_NEAR(held[j], 0.0, 1e-9);
                   saturated = saturated || std::fabs(expected[j]) > 2000;
                 }
                 for (int j = 0; j < 3 && !saturated; ++j) EXPECT_NEAR(m[j] - 2048, expected[j], 1.0);
               });
}

// the held torques are the gradient of the potential energy of every modelled mass
TEST_P(Trion, HeldTorquesBalanceTheModelledMasses) {
  tkxTrion t;
  t.SetConfig(GetParam());
  NoSprings(t);
  t.SetParam(141, 0.35);
  t.SetAdditionalMass(0.05);
  t.Update();
  const double g = t.GetEffectiveGravity(), effector = t.GetEffectorMass();
  ForWorkspace(
      t, 14, 300, [&](const int *e, const Th &th, const V3 &, const V3 &, const Reference &ref, std::mt19937 &) {
        // gravity acts along (cos β, 0, sin β) in the mechanism frame
        auto energy = [&](const Th &q) {
          V3 p, P;
          EXPECT_TRUE(ref.Solve(q, &p, &P));
          long double U = -(effector + (ref.mb[0] + ref.mb[1] + ref.mb[2]) / 2) * g * (ref.cb * P[0] + ref.sb * P[2]);
          for (int i = 0; i < 3; ++i) {
            const V3 E = ref.Elbow(i, q[i]);
            U -= ref.mb[i] / 2 * g * (ref.cb * E[0] + ref.sb * E[2]);
            U -= ref.C *
                 (ref.cb * std::cos(q[i] - ref.alpha) * std::cos(ref.phi[i]) - ref.sb * std::sin(q[i] - ref.alpha));
          }
          return U;
        };
        double held[3];
        ASSERT_EQ(t.ArmTorques(0, 0, 0, e[0], e[1], e[2], nullptr, held), 0);
        for (int j = 0; j < 3; ++j)
          EXPECT_NEAR(held[j], static_cast<double>(-ref.K * Reference::Partial(energy, th, j)), 0.01) << j;
      });
}

// ---- edge cases ----

TEST_F(Trion, HomePositionsAndDownwardEncoders) {
  tkxTrion t;
  t.SetConfig(33);
  double x, y, z;
  int e[3];
  ASSERT_EQ(t.EncToPos(15570, 15570, 15570, &x, &y, &z), 0);
  EXPECT_NEAR(x, -0.0407, 1e-4);
  EXPECT_NEAR(std::hypot(y, z), 0.0, 1e-12);
  ASSERT_EQ(t.PosToEnc(x, y, z, &e[0], &e[1], &e[2]), 0);
  for (int v : e) EXPECT_TRUE(v == 15570 || v == 15569) << v;
  // encoders counting downwards report the angle whole turns on; that reading comes back
  t.SetConfig(61);
  ASSERT_EQ(t.EncToPos(22018, 22018, 22018, &x, &y, &z), 0);
  ASSERT_EQ(t.PosToEnc(x, y, z, &e[0], &e[1], &e[2]), 0);
  for (int v : e) EXPECT_TRUE(v == 22018 || v == 22017) << v;
}

TEST_F(Trion, GeometricFailuresAreReportedAndRemembered) {
  tkxTrion t;
  t.SetConfig(33);
  int e[3] = {7, 7, 7};
  double x = 5, y = 5, z = 5;
  short m = 0;
  for (int round = 0; round < 2; ++round) {
    tkx::SetError(0);
    EXPECT_EQ(t.PosToEnc(0.5, 0.5, 0.5, &e[0], &e[1], &e[2]), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  }
  // lower arms too short to meet: no position, and no success either, even
  // for encoders answered before the change
  ASSERT_EQ(t.EncToPos(15570, 15570, 15570, &x, &y, &z), 0);
  t.SetParam(137, 0.01);
  x = y = z = 5;
  for (int round = 0; round < 2; ++round) {
    tkx::SetError(0);
    EXPECT_EQ(t.EncToPos(15570, 15570, 15570, &x, &y, &z), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  }
  EXPECT_EQ(e[0] + e[1] + e[2] + x + y + z, 36.0);
  EXPECT_EQ(t.FrcToMot(1, 0, 0, 15570, 15570, 15570, &m, &m, &m), -1);
  EXPECT_EQ(t.FrcToMot(NAN, 0, 0, 15570, 15570, 15600, &m, &m, &m), -1);
  EXPECT_EQ(t.JointTrqToMot(INFINITY, 0, 0, &m, &m, &m), -1);
}

TEST_F(Trion, ZeroForceWithoutCompensationIsTheZeroCommand) {
  tkxTrion t;
  t.SetConfig(31);
  t.SetParam(150, 12.7), t.SetParam(151, -3.2);
  t.SetGravityCompensation(false, 0.0);
  short m[3];
  ASSERT_EQ(t.FrcToMot(0, 0, 0, 22018, 22018, 22018, &m[0], &m[1], &m[2]), 0);
  EXPECT_EQ(std::vector<short>(m, m + 3), (std::vector<short>{2060, 2045, 2048}));
  // joint torques take the same gain and offsets, never a raw zero
  ASSERT_EQ(t.JointTrqToMot(0, 0.1, 100, &m[0], &m[1], &m[2]), 0);
  EXPECT_EQ(
      std::vector<short>(m, m + 3),
      (std::vector<short>{2060, static_cast<short>(2048 + std::trunc(0.1 * 819.2 / (0.0389 * 16.82) - 3.2)), 4095}));
}

TEST_F(Trion, SaturationKeepsLimitsAndDirection) {
  tkxTrion t;
  t.SetConfig(33);
  NoSprings(t);
  t.SetGravityCompensation(false, 0.0);
  double user[3];
  short m[3];
  ASSERT_EQ(t.ArmTorques(60, -40, 25, 15000, 17000, 16000, user, nullptr), 0);
  ASSERT_EQ(t.FrcToMot(60, -40, 25, 15000, 17000, 16000, &m[0], &m[1], &m[2]), 0);
  const int big = static_cast<int>(
      std::max_element(user, user + 3, [](double a, double b) { return std::fabs(a) < std::fabs(b); }) - user);
  ASSERT_GT(std::fabs(user[big]), 2047.0);
  const double s = (m[big] - 2048) / user[big];
  EXPECT_GT(s, 0.0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_LE(std::abs(m[i] - 2048), 2047);
    EXPECT_NEAR(m[i] - 2048, s * user[i], 2.0);
  }
}

// when the held part alone is past a limit the user part is never reversed nor amplified
TEST_F(Trion, SaturationScaleStaysWithinZeroAndOne) {
  tkxTrion t;
  t.SetConfig(33);
  NoSprings(t);
  t.SetGravityCompensation(false, 0.0);
  t.SetParam(150, 3000);
  const int e[3] = {15000, 17000, 16000};
  long double A[3][3];  // force to user torques, to ask for chosen torques
  for (int c = 0; c < 3; ++c) {
    double u[3];
    ASSERT_EQ(t.ArmTorques(c == 0, c == 1, c == 2, e[0], e[1], e[2], u, nullptr), 0);
    for (int r = 0; r < 3; ++r) A[r][c] = u[r];
  }
  for (double first : {400.0, -400.0}) {
    // the first arm pushes further past its limit, or back towards it
    const double want[3] = {first, 100, -100};
    double f[3], user[3];
    short m[3];
    for (int c = 0; c < 3; ++c) {
      long double M[3][3];
      for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) M[r][k] = k == c ? want[r] : A[r][k];
      f[c] = static_cast<double>(Det(M) / Det(A));
    }
    ASSERT_EQ(t.ArmTorques(f[0], f[1], f[2], e[0], e[1], e[2], user, nullptr), 0);
    ASSERT_EQ(t.FrcToMot(f[0], f[1], f[2], e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
    EXPECT_EQ(m[0], 2048 + 2047);
    for (int i = 1; i < 3; ++i) EXPECT_EQ(m[i], 2048 + static_cast<int>(std::trunc(first > 0 ? 0.0 : user[i])));
  }
}

// ---- caches, the fade and the clock ----

TEST_F(Trion, ForceCacheFollowsEveryChange) {
  tkxTrion t;
  t.SetConfig(33);
  short m[3] = {0, 0, 0}, n[3];
  auto changed = [&] {
    EXPECT_EQ(t.FrcToMot(0.5, 0.2, -0.1, 15000, 16000, 17000, &n[0], &n[1], &n[2]), 0);
    const bool differs = !std::equal(n, n + 3, m);
    std::copy(n, n + 3, m);
    return differs;
  };
  changed();
  t.SetParam(150, 100);
  const short before = m[0];
  EXPECT_TRUE(changed());
  EXPECT_EQ(m[0], before + 100);
  t.SetAdditionalMass(0.3);
  t.Update();
  EXPECT_TRUE(changed());
  t.SetStandardGravity(1.62);
  EXPECT_TRUE(changed());
  t.SetGravityCompensation(false, 0.0);
  EXPECT_TRUE(changed());
}

TEST_F(Trion, FadeAdvancesWithRepeatedRequestsAndScalesEveryGravityTerm) {
  tkxTrion t;
  t.SetConfig(63);
  NoSprings(t);
  const int e[3] = {30000, 30000, 30000};
  double full[3], held[3];
  short m[3];
  ASSERT_EQ(t.ArmTorques(0, 0, 0, e[0], e[1], e[2], nullptr, full), 0);
  fakeRaw = 1000.0;
  t.SetGravityCompensation(false, 2.0);
  for (double at : {0.5, 1.0, 2.0, 3.0, 3.5, 4.0, 4.5, 5.0}) {
    // a device at rest with zero force: the same request every time
    fakeRaw = 1000.0 + at;
    if (at == 3.5) t.SetGravityCompensation(true, 1.0);
    ASSERT_EQ(t.FrcToMot(0, 0, 0, e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
    const double factor = at <= 3.0 ? std::max(0.0, 1.0 - at / 2.0) : std::min(1.0, at - 3.5);
    EXPECT_NEAR(t.GetEffectiveGravity(), factor * 9.81, 1e-9) << at;
    ASSERT_EQ(t.ArmTorques(0, 0, 0, e[0], e[1], e[2], nullptr, held), 0);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(held[i], factor * full[i], 1e-6) << at;
      EXPECT_EQ(m[i], 2048 + static_cast<int>(std::trunc(held[i]))) << at;
    }
  }
}

// ---- parameters and threads ----

TEST_F(Trion, ParametersAndTables) {
  tkxTrion t;
  t.SetConfig(34);
  EXPECT_EQ(t.GetParam(153) + t.GetParam(159), 1918 + 16.52);
  EXPECT_EQ(tkxTrion::DefaultParam(131, 62), -1.570796);
  EXPECT_EQ(tkxTrion::DefaultParam(127, 64), 2048.0 / 3.0);
  EXPECT_EQ(tkxTrion::DefaultParam(124, 90), 0.0);
  EXPECT_EQ(t.GetUpperParam(142, 33) + t.GetUpperParam(142, 63) + t.GetLowerParam(153, 35), 0.5 + 1 + 1500);
  EXPECT_EQ(t.GetLowerParam(153, 32) + t.GetUpperParam(124, 32), 15.7);
  EXPECT_STREQ(t.GetParamName(136), "TKX_EEPROM_TRION_LENGTHA");
  EXPECT_STREQ(t.GetParamName(168), "undefined");
  EXPECT_EQ(t.SetParam(170, 1) + t.SetParam(119, 1), -2);
  t.SetParam(120, 2047.9), t.SetParam(162, -5.7), t.SetParam(141, 0.25), t.SetParam(142, 0.2);
  EXPECT_EQ(t.GetParam(120) + t.GetParam(162), 2047 - 5);
  EXPECT_EQ(t.GetBaseAngle(), 0.25);
  EXPECT_DOUBLE_EQ(t.GetEffectorMass(), 0.2);
}

// each thread always gets the answer to its own question through the shared caches
TEST_F(Trion, ConcurrentConversionsKeepTheirOwnAnswers) {
  tkxTrion t;
  t.SetConfig(33);
  auto worker = [&t](int e, bool *ok) {
    double x0, x;
    short m0, m;
    t.EncToPos(e, e, e, &x0, nullptr, nullptr);
    t.FrcToMot(1, 0, 0, e, e, e, &m0, nullptr, nullptr);
    for (int i = 0; i < 20000 && *ok; ++i)
      *ok = t.EncToPos(e, e, e, &x, nullptr, nullptr) == 0 && x == x0 &&
            t.FrcToMot(1, 0, 0, e, e, e, &m, nullptr, nullptr) == 0 && m == m0;
  };
  bool a = true, b = true;
  std::thread ta(worker, 14000, &a), tb(worker, 17000, &b);
  ta.join(), tb.join();
  EXPECT_TRUE(a && b);
}

}  // namespace
