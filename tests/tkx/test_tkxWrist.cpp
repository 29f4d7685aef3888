// The wrist model against a slow numerical solve of its leg lengths, its
// round trips, and the cases where a conversion must fail or limit.
#include "tkx/tkxWrist.h"

#include "FakeDevice.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxMemoryMap.h"
#include "tkx/tkxc.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using V3 = std::array<long double, 3>;
using M3 = std::array<V3, 3>;

M3 Rx(long double a) { return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}}; }
M3 Ry(long double a) { return {{{std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}}}; }
M3 Rz(long double a) { return {{{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}}}; }
M3 Mul(const M3 &a, const M3 &b) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
  return r;
}
template <typename M>
long double Det(const M &m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// ---- slow reference: leg lengths of a rotation, and Newton on them ----

struct Reference {
  long double kr, off[3], L[3];
  explicit Reference(tkxWrist &w) {
    kr = w.GetParam(202) * 2 * M_PIl / w.GetParam(225) * w.GetParam(224);
    for (int i = 0; i < 3; ++i) {
      off[i] = w.GetParam(203 + i);
      long double d = 0;
      for (int c = 0; c < 3; ++c) d += std::pow((long double)tkxWrist::kA[i][c] - tkxWrist::kB[i][c], 2);
      L[i] = std::sqrt(d);
    }
  }
  // the moving part turned by (alpha, beta, gamma) as Rx(gamma) Ry(beta) Rz(alpha)
  static M3 Q(const V3 &abg) { return Mul(Rx(abg[2]), Mul(Ry(abg[1]), Rz(abg[0]))); }
  static V3 Lengths(const V3 &abg) {
    const M3 q = Q(abg);
    V3 l{};
    for (int i = 0; i < 3; ++i) {
      long double d = 0;
      for (int c = 0; c < 3; ++c) {
        long double pb = 0;
        for (int k = 0; k < 3; ++k) pb += q[c][k] * tkxWrist::kB[i][k];
        d += std::pow(tkxWrist::kA[i][c] - pb, 2);
      }
      l[i] = std::sqrt(d);
    }
    return l;
  }
  V3 LengthsOf(int e0, int e1, int e2) const {
    return {L[0] - (e0 - off[0]) * kr, L[1] + (e1 - off[1]) * kr, L[2] - (e2 - off[2]) * kr};
  }
  // damped Newton from the rest pose with a numerical Jacobian; the angles r with mounting angle 0
  bool Solve(const V3 &target, V3 *r) const {
    V3 x{0, 0, 0};
    for (int it = 0; it < 200; ++it) {
      const V3 f0 = Lengths(x);
      M3 J{};
      for (int c = 0; c < 3; ++c) {
        V3 y = x;
        y[c] += 1e-7L;
        const V3 f1 = Lengths(y);
        for (int i = 0; i < 3; ++i) J[i][c] = (f1[i] - f0[i]) / 1e-7L;
      }
      V3 F{f0[0] - target[0], f0[1] - target[1], f0[2] - target[2]};
      const long double d = Det(J);
      V3 step{};
      for (int c = 0; c < 3; ++c) {
        M3 M = J;
        for (int i = 0; i < 3; ++i) M[i][c] = F[i];
        step[c] = Det(M) / d;
      }
      const long double n = std::sqrt(step[0] * step[0] + step[1] * step[1] + step[2] * step[2]);
      const long double damp = n > 0.1L ? 0.1L / n : 1.0L;
      for (int c = 0; c < 3; ++c) x[c] -= damp * step[c];
    }
    const V3 f = Lengths(x);
    for (int i = 0; i < 3; ++i)
      if (!(std::fabs(f[i] - target[i]) < 1e-12L)) return false;
    *r = {x[0], x[1], -x[2]};
    return true;
  }
};

class Wrist : public ::testing::Test {
 protected:
  void SetUp() override { tkx::SetError(0); }
  tkxWrist w;
};

constexpr int kRest[3] = {1210, 304, 1069};

// encoders of random poses over the working range, as the wrist itself gives them
std::vector<std::array<int, 3>> Poses(tkxWrist &w, int count, double range, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-range, range);
  std::vector<std::array<int, 3>> out;
  while (static_cast<int>(out.size()) < count) {
    std::array<int, 3> e{};
    if (w.RotToEnc(u(rng), u(rng), u(rng), &e[0], &e[1], &e[2]) == 0) out.push_back(e);
  }
  return out;
}

TEST_F(Wrist, ParametersDefaultsNamesAndDerivedScale) {
  EXPECT_EQ(w.GetParam(200), 2048);
  EXPECT_EQ(w.GetParam(202), -1);
  EXPECT_EQ(w.GetParam(204), 304);
  EXPECT_DOUBLE_EQ(w.GetParam(216), 0.006);
  EXPECT_DOUBLE_EQ(w.GetParam(226), 2047 / 2.5);
  EXPECT_EQ(w.GetParam(237), 3000);
  EXPECT_STREQ(w.GetParamName(200), "TKX_EEPROM_WRIST_DACZEROVALUE");
  EXPECT_STREQ(w.GetParamName(228), "TKX_EEPROM_WRIST_WRISTMASS");
  EXPECT_STREQ(w.GetParamName(237), "TKX_EEPROM_WRIST_MOTCALIB2");
  EXPECT_STREQ(w.GetParamName(199), "undefined");
  EXPECT_STREQ(w.GetParamName(238), "undefined");
  EXPECT_EQ(w.SetParam(238, 1), -1);
  EXPECT_EQ(w.SetParam(199, 1), -1);
  // the DAC scale always follows the reference voltage, whatever is stored in it
  EXPECT_EQ(w.SetParam(218, 2.0), 0);
  EXPECT_DOUBLE_EQ(w.GetParam(226), 1023.5);
  EXPECT_EQ(w.SetParam(226, 5.0), 0);
  EXPECT_DOUBLE_EQ(w.GetParam(226), 1023.5);
  // 16-bit parameters hold whole numbers; the mass is the rotator's mass
  EXPECT_EQ(w.SetParam(203, 1234.7), 0);
  EXPECT_EQ(w.GetParam(203), 1234);
  EXPECT_DOUBLE_EQ(w.GetMass(), 0.45);
  EXPECT_EQ(w.SetParam(228, 0.5), 0);
  EXPECT_DOUBLE_EQ(w.GetMass(), 0.5);
  EXPECT_EQ(w.SetConfig(61), 0);
  EXPECT_EQ(w.GetParam(203), 1210);
  EXPECT_DOUBLE_EQ(w.GetMass(), 0.45);
  EXPECT_DOUBLE_EQ(w.GetParam(226), 2047 / 2.5);
  EXPECT_EQ(w.Calibrate(nullptr), 0);
}

TEST_F(Wrist, RestEncodersAreTheRestPose) {
  double r[3];
  ASSERT_EQ(w.EncToRot(kRest[0], kRest[1], kRest[2], &r[0], &r[1], &r[2]), 0);
  for (double v : r) EXPECT_NEAR(v, 0.0, 1e-12);
}

TEST_F(Wrist, AnglesMatchANumericalSolveOfTheLegLengths) {
  const Reference ref(w);
  for (double angle : {0.0, 0.4}) {
    ASSERT_EQ(w.SetParam(227, angle), 0);
    for (const auto &e : Poses(w, 300, 1.0, 7)) {
      double r[3];
      ASSERT_EQ(w.EncToRot(e[0], e[1], e[2], &r[0], &r[1], &r[2]), 0);
      V3 q;
      ASSERT_TRUE(ref.Solve(ref.LengthsOf(e[0], e[1], e[2]), &q));
      // the reference knows no mounting angle: mix its angles the same way
      const long double c = std::cos(angle), s = std::sin(angle), a = q[0], g = -q[2];
      EXPECT_NEAR(r[0], c * a + s * g, 1e-9);
      EXPECT_NEAR(r[1], q[1] + angle, 1e-9);
      EXPECT_NEAR(r[2], s * a - c * g, 1e-9);
    }
  }
}

TEST_F(Wrist, EncodersRoundTripWithinOneCount) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> jitter(-40, 40);
  for (auto e : Poses(w, 500, 1.1, 11)) {
    for (int &v : e) v += jitter(rng);
    double r[3];
    ASSERT_EQ(w.EncToRot(e[0], e[1], e[2], &r[0], &r[1], &r[2]), 0);
    int b[3];
    ASSERT_EQ(w.RotToEnc(r[0], r[1], r[2], &b[0], &b[1], &b[2]), 0);
    for (int i = 0; i < 3; ++i) EXPECT_LE(std::abs(b[i] - e[i]), 1) << i;
  }
}

TEST_F(Wrist, SixteenBitCountsBelowZeroReadAsNegative) {
  // a quarter turn about the last axis takes encoder 0 below zero
  int e[3];
  ASSERT_EQ(w.RotToEnc(0, 0, 0.4, &e[0], &e[1], &e[2]), 0);
  ASSERT_LT(e[0], 0);
  double r[3], u[3];
  ASSERT_EQ(w.EncToRot(e[0], e[1], e[2], &r[0], &r[1], &r[2]), 0);
  ASSERT_EQ(w.EncToRot(e[0] & 0xFFFF, e[1] & 0xFFFF, e[2] & 0xFFFF, &u[0], &u[1], &u[2]), 0);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(u[i], r[i]);
  EXPECT_NEAR(r[2], 0.4, 1e-3);
}

TEST_F(Wrist, MatrixIsARotationOverTheWholeRange) {
  int checked = 0;
  for (double a = -1.2; a <= 1.2; a += 0.2)
    for (double b = -1.2; b <= 1.2; b += 0.2)
      for (double c = -1.2; c <= 1.2; c += 0.2) {
        int e[3];
        ASSERT_EQ(w.RotToEnc(a, b, c, &e[0], &e[1], &e[2]), 0);
        double R[3][3];
        if (w.EncToMatrix(e[0], e[1], e[2], R) != 0) continue;
        ++checked;
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) {
            double d = 0;
            for (int k = 0; k < 3; ++k) d += R[k][i] * R[k][j];
            EXPECT_NEAR(d, i == j ? 1.0 : 0.0, 1e-12);
          }
        EXPECT_NEAR(Det(R), 1.0, 1e-12);
      }
  // nearly all of the grid is reachable
  EXPECT_GT(checked, 13 * 13 * 13 * 9 / 10);
}

TEST_F(Wrist, MatrixOfAKnownPose) {
  int e[3];
  ASSERT_EQ(w.RotToEnc(0.3, 0.5, 0.7, &e[0], &e[1], &e[2]), 0);
  double R[3][3];
  ASSERT_EQ(w.EncToMatrix(e[0], e[1], e[2], R), 0);
  // one count is about 0.3 mrad of angle
  const double first[3] = {0.671212, -0.507082, 0.540687}, last[3] = {-0.479426, 0.259343, 0.838387};
  for (int j = 0; j < 3; ++j) {
    EXPECT_NEAR(R[0][j], first[j], 1e-3);
    EXPECT_NEAR(R[2][j], last[j], 1e-3);
  }
  // and it is Rz(r2) Ry(r1) Rx(r0) of the angles read
  double r[3];
  ASSERT_EQ(w.EncToRot(e[0], e[1], e[2], &r[0], &r[1], &r[2]), 0);
  const M3 M = Mul(Rz(r[2]), Mul(Ry(r[1]), Rx(r[0])));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(R[i][j], static_cast<double>(M[i][j]), 1e-12);
}

TEST_F(Wrist, TorquesRoundTripWhereTheMotorsAllow) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> t(-0.01, 0.01);
  for (double angle : {0.0, 0.4}) {
    ASSERT_EQ(w.SetParam(227, angle), 0);
    for (const auto &e : Poses(w, 200, 0.6, 13)) {
      const double q[3] = {t(rng), t(rng), t(rng)};
      short m[3];
      ASSERT_EQ(w.TrqToMot(q[0], q[1], q[2], e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
      bool inside = true;
      for (short v : m) inside = inside && v > 2048 + 0.1 * 818.8 + 1 && v < 2048 + 1.7 * 818.8 - 1;
      if (!inside) continue;
      double b[3];
      ASSERT_EQ(w.MotToTrq(m[0], m[1], m[2], e[0], e[1], e[2], &b[0], &b[1], &b[2]), 0);
      // one DAC count is a few 1e-4 N.m
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(b[i], q[i], 1e-3) << i;
    }
  }
}

TEST_F(Wrist, ZeroTorqueKeepsTheCablesWithinTheirRange) {
  const int lo = static_cast<int>(0.1 * 2047 / 2.5) + 2048, hi = static_cast<int>(1.7 * 2047 / 2.5) + 2048;
  for (const auto &e : Poses(w, 200, 1.0, 17)) {
    short m[3];
    ASSERT_EQ(w.TrqToMot(0, 0, 0, e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
    for (short v : m) {
      EXPECT_GE(v, lo);
      EXPECT_LE(v, hi);
    }
  }
  // huge requests still give commands in the motors' range
  short m[3];
  ASSERT_EQ(w.TrqToMot(1e6, -1e6, 1e6, kRest[0], kRest[1], kRest[2], &m[0], &m[1], &m[2]), 0);
  for (short v : m) {
    EXPECT_GE(v, lo);
    EXPECT_LE(v, hi);
  }
}

// the torque of raising the cable tensions by the given DAC counts, at rest
std::array<double, 3> TorqueOfCounts(tkxWrist &w, int d0, int d1, int d2) {
  double a[3], b[3];
  EXPECT_EQ(w.MotToTrq(2048 + d0, 2048 + d1, 2048 + d2, kRest[0], kRest[1], kRest[2], &a[0], &a[1], &a[2]), 0);
  EXPECT_EQ(w.MotToTrq(2048, 2048, 2048, kRest[0], kRest[1], kRest[2], &b[0], &b[1], &b[2]), 0);
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// what a request adds to the torque of no request
std::array<double, 3> Delivered(tkxWrist &w, const std::array<double, 3> &q) {
  short m[3], z[3];
  EXPECT_EQ(w.TrqToMot(q[0], q[1], q[2], kRest[0], kRest[1], kRest[2], &m[0], &m[1], &m[2]), 0);
  EXPECT_EQ(w.TrqToMot(0, 0, 0, kRest[0], kRest[1], kRest[2], &z[0], &z[1], &z[2]), 0);
  return TorqueOfCounts(w, m[0] - z[0], m[1] - z[1], m[2] - z[2]);
}

double Dot3(const std::array<double, 3> &a, const std::array<double, 3> &b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

TEST_F(Wrist, AnOutOfRangePreloadNeverReversesTheTorque) {
  // a strong preload on spring 0 asks more of motor 0 than it has
  ASSERT_EQ(w.SetParam(209, 10.0), 0);
  short z[3];
  ASSERT_EQ(w.TrqToMot(0, 0, 0, kRest[0], kRest[1], kRest[2], &z[0], &z[1], &z[2]), 0);
  EXPECT_EQ(z[0], static_cast<int>(1.7 * 2047 / 2.5) + 2048);
  // a request that pulls cable 0 harder cannot be given; it must not turn into its opposite
  const auto q = TorqueOfCounts(w, 200, 100, 0);
  short m[3];
  ASSERT_EQ(w.TrqToMot(q[0], q[1], q[2], kRest[0], kRest[1], kRest[2], &m[0], &m[1], &m[2]), 0);
  EXPECT_GE(m[1], z[1]);
  const auto d = Delivered(w, q);
  EXPECT_GE(Dot3(d, q), -1e-3 * Dot3(q, q));
  // a request that eases cable 0 is given
  const auto q2 = TorqueOfCounts(w, -600, 0, 0);
  const auto d2 = Delivered(w, q2);
  EXPECT_GT(Dot3(d2, q2), 0.0);
}

TEST_F(Wrist, AnUnderRangePreloadNeverAmplifiesTheTorque) {
  // a weak preload on spring 0 leaves motor 0 below its least command
  ASSERT_EQ(w.SetParam(209, -3.0), 0);
  short z[3];
  ASSERT_EQ(w.TrqToMot(0, 0, 0, kRest[0], kRest[1], kRest[2], &z[0], &z[1], &z[2]), 0);
  ASSERT_EQ(z[0], static_cast<int>(0.1 * 2047 / 2.5) + 2048);
  // a little more on cable 0 and much more on cable 1: no more than asked reaches cable 1
  const auto q = TorqueOfCounts(w, 8, 160, 0);
  short m[3];
  ASSERT_EQ(w.TrqToMot(q[0], q[1], q[2], kRest[0], kRest[1], kRest[2], &m[0], &m[1], &m[2]), 0);
  EXPECT_LE(m[1] - z[1], 161);
  EXPECT_GE(m[1] - z[1], 159);
  const auto d = Delivered(w, q);
  EXPECT_LE(std::sqrt(Dot3(d, d)), 1.05 * std::sqrt(Dot3(q, q)));
}

TEST_F(Wrist, UnreachableEncodersFailWithoutACommand) {
  const int bad[3] = {30000, -30000, 30000};
  double r[3] = {7, 7, 7};
  for (int pass = 0; pass < 2; ++pass) {  // the second from the cache
    tkx::SetError(0);
    EXPECT_EQ(w.EncToRot(bad[0], bad[1], bad[2], &r[0], &r[1], &r[2]), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  }
  EXPECT_EQ(r[0], 7);
  double R[3][3] = {{7}};
  tkx::SetError(0);
  EXPECT_EQ(w.EncToMatrix(bad[0], bad[1], bad[2], R), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  EXPECT_EQ(R[0][0], 7);
  short m[3] = {-7, -7, -7};
  tkx::SetError(0);
  EXPECT_EQ(w.TrqToMot(0.01, 0, 0, bad[0], bad[1], bad[2], &m[0], &m[1], &m[2]), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  for (short v : m) EXPECT_EQ(v, -7);
  double t[3] = {7, 7, 7};
  tkx::SetError(0);
  EXPECT_EQ(w.MotToTrq(2400, 2400, 2400, bad[0], bad[1], bad[2], &t[0], &t[1], &t[2]), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  EXPECT_EQ(t[0], 7);
  // neither do undefined torques or angles become commands
  tkx::SetError(0);
  EXPECT_EQ(w.TrqToMot(NAN, 0, 0, kRest[0], kRest[1], kRest[2], &m[0], &m[1], &m[2]), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  for (short v : m) EXPECT_EQ(v, -7);
  int e[3] = {7, 7, 7};
  EXPECT_EQ(w.RotToEnc(INFINITY, 0, 0, &e[0], &e[1], &e[2]), -1);
  EXPECT_EQ(e[0], 7);
}

TEST_F(Wrist, ParameterChangesReachCachedAnswers) {
  double a[3], b[3];
  ASSERT_EQ(w.EncToRot(1500, 304, 1069, &a[0], &a[1], &a[2]), 0);
  ASSERT_EQ(w.SetParam(227, 0.2), 0);
  ASSERT_EQ(w.EncToRot(1500, 304, 1069, &b[0], &b[1], &b[2]), 0);
  EXPECT_NEAR(b[1], a[1] + 0.2, 1e-12);
  short m[3], n[3];
  ASSERT_EQ(w.TrqToMot(0, 0, 0, kRest[0], kRest[1], kRest[2], &m[0], &m[1], &m[2]), 0);
  ASSERT_EQ(w.SetParam(209, 1.0), 0);
  ASSERT_EQ(w.TrqToMot(0, 0, 0, kRest[0], kRest[1], kRest[2], &n[0], &n[1], &n[2]), 0);
  EXPECT_GT(n[0], m[0]);
}

TEST_F(Wrist, FileSectionRoundTrips) {
  const std::string path = ::testing::TempDir() + "wrist_section.txt";
  ASSERT_EQ(w.SetParam(203, 1300), 0);
  ASSERT_EQ(w.SetParam(224, 0.0035), 0);
  {
    std::ofstream out(path);
    ASSERT_EQ(w.ConfigToFile(out), 0);
  }
  tkxWrist other;
  {
    std::ifstream in(path);
    std::string blank;
    std::getline(in, blank);
    ASSERT_EQ(other.ConfigFromFile(in), 0);
  }
  for (int id = tkxWrist::kFirstParam; id <= tkxWrist::kLastParam; ++id)
    EXPECT_EQ(other.GetParam(id), w.GetParam(id)) << id;
  // a section of another model, or one cut short, leaves the model alone
  {
    std::ofstream out(path);
    out << "[trion]\n";
  }
  tkxWrist third;
  {
    std::ifstream in(path);
    tkx::SetError(0);
    EXPECT_EQ(third.ConfigFromFile(in), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_AUTOCONFIG);
  }
  {
    std::ofstream out(path);
    out << "[wrist]\nTKX_EEPROM_WRIST_DACZEROVALUE=2000\n";
  }
  {
    std::ifstream in(path);
    EXPECT_EQ(third.ConfigFromFile(in), -1);
  }
  EXPECT_EQ(third.GetParam(200), 2048);
  std::remove(path.c_str());
}

TEST_F(Wrist, MemoryHoldsTheWordsFirstThenTheNumbers) {
  fake::Bus bus;
  bus.usb.resize(1);
  bus.usb[0].memory.resize(2048, 0);
  fake::Com com(bus, false);
  ASSERT_EQ(com.Open(0), 0);
  ASSERT_EQ(w.SetParam(203, 1250), 0);
  ASSERT_EQ(w.SetParam(224, 0.0036), 0);
  ASSERT_EQ(w.ConfigToMemory(&com), 0);
  std::vector<int> order;
  for (int id = 200; id <= 205; ++id) order.push_back(id);
  for (int id = 229; id <= 237; ++id) order.push_back(id);
  for (int id = 206; id <= 228; ++id) order.push_back(id);
  ASSERT_EQ(bus.writes.size(), order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(bus.writes[i].addr, tkx::mem::ParamAddress(order[i])) << order[i];
    EXPECT_EQ(bus.writes[i].bytes.size(), tkxWrist::IsShort(order[i]) ? 2u : 4u) << order[i];
  }
  tkxWrist other;
  ASSERT_EQ(other.ConfigFromMemory(&com), 0);
  EXPECT_EQ(other.GetParam(203), 1250);
  EXPECT_FLOAT_EQ(other.GetParam(224), 0.0036f);
  EXPECT_FLOAT_EQ(other.GetMass(), 0.45f);
  // the DAC scale is derived again, not taken from memory
  EXPECT_DOUBLE_EQ(other.GetParam(226), 2047.0 / other.GetParam(218));
  EXPECT_EQ(w.ConfigToMemory(nullptr), -1);
}

}  // namespace
