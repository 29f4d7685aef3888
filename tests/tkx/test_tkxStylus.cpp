// The stylus model: its angles and encoders, its orientation against a product
// of elementary turns, the mirrored left hand, and its parameters in memory and
// in a file section.
#include "tkx/tkxStylus.h"

#include "FakeDevice.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxMemoryMap.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kQuarterPi = kPi / 4;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

using M3 = std::array<std::array<long double, 3>, 3>;

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

// the handle's orientation from its three angles: turns about x, y and z in
// that order from the base; on offset axes the whole is tilted about y by the
// offset and the handle lies along the last axis
M3 Reference(double offset, bool left, int e0, int e1, int e2) {
  const long double k = 2 * M_PIl / 1200;
  const long double t0 = -k * (e0 - 32768), t1 = (left ? k : -k) * (e1 - 32768), t2 = -k * (e2 - 32768);
  if (offset == 0) return Mul(Rx(t0), Mul(Ry(t1), Rz(t2 + (left ? -1 : 1) * M_PIl / 6)));
  return Mul(Ry(offset), Mul(Rx(t0), Mul(Ry(t1), Mul(Rz(t2), Ry(-M_PIl / 2)))));
}

M3 Matrix(tkxStylus &s, int e0, int e1, int e2) {
  double R[3][3];
  EXPECT_EQ(s.EncToMatrix(e0, e1, e2, R), 0);
  M3 m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[i][j] = R[i][j];
  return m;
}

tkxStylus Make(double offset, bool left) {
  tkxStylus s(offset);
  s.SetLeftHanded(left);
  s.Update();
  return s;
}

class Stylus : public ::testing::Test {
 protected:
  void SetUp() override { tkx::SetError(0); }
  tkxStylus s{kQuarterPi};
};

// ---- parameters ----

TEST_F(Stylus, ParametersAndTheAxisOffsetThatIsNone) {
  EXPECT_DOUBLE_EQ(s.GetAxisOffset(), kQuarterPi);
  // named, but neither read nor set: the offset belongs to the type
  EXPECT_STREQ(s.GetParamName(302), "TKX_EEPROM_STYLUS_AXISOFFSET");
  EXPECT_EQ(s.GetParam(302), 0);
  EXPECT_EQ(s.SetParam(302, 1.0), -1);
  EXPECT_DOUBLE_EQ(s.GetAxisOffset(), kQuarterPi);
  EXPECT_STREQ(s.GetParamName(308), "TKX_EEPROM_STYLUS_ENCMAX2");
  EXPECT_STREQ(s.GetParamName(309), "undefined");
  EXPECT_STREQ(s.GetParamName(299), "undefined");
  EXPECT_EQ(s.SetParam(309, 1), -1);
  EXPECT_EQ(s.SetParam(301, kNaN), -1);
  for (int id = tkxStylus::kFirstParam; id <= tkxStylus::kLastParam; ++id) {
    EXPECT_EQ(s.GetParam(id), tkxStylus::DefaultParam(id)) << id;
    if (id != 302) {
      EXPECT_TRUE(tkxStylus::Acceptable(id, tkxStylus::DefaultParam(id))) << id;
    }
  }
  // the mass is the rotator's mass; the resolution reaches the angles at once
  EXPECT_EQ(s.SetParam(301, 0.03), 0);
  EXPECT_DOUBLE_EQ(s.GetMass(), 0.03);
  EXPECT_EQ(s.SetParam(300, 2400), 0);
  double r0 = 0;
  s.EncToRot(32768 + 600, 32768, 32768, &r0, nullptr, nullptr);
  EXPECT_NEAR(r0, -kPi / 2, 1e-12);
  EXPECT_EQ(s.SetConfig(TKX_SYSTEM_POLUX6_RIGHT), 0);
  EXPECT_EQ(s.GetParam(300), 1200);
  EXPECT_EQ(s.GetMass(), 0);
  EXPECT_DOUBLE_EQ(s.GetAxisOffset(), kQuarterPi);
  // a stylus has no motors
  short m[3];
  EXPECT_EQ(s.TrqToMot(0, 0, 0, 32768, 32768, 32768, &m[0], &m[1], &m[2]), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_AVAILABLE);
}

// ---- angles ----

TEST_F(Stylus, AnglesAndEncodersHaveOppositeSenses) {
  double r0 = 0, r1 = 9, r2 = 9;
  ASSERT_EQ(s.EncToRot(32768 + 100, 32768, 32768, &r0, &r1, &r2), 0);
  EXPECT_NEAR(r0, -100 * 2 * kPi / 1200, 1e-12);
  EXPECT_NEAR(r0, -0.5236, 1e-4);
  EXPECT_EQ(r1, 0);
  EXPECT_EQ(r2, 0);
  int e0 = 0, e1 = 0, e2 = 0;
  ASSERT_EQ(s.RotToEnc(-0.5236, 0, 0, &e0, &e1, &e2), 0);
  EXPECT_NEAR(e0, 32668, 1);
  EXPECT_EQ(e1, 32768);
  EXPECT_EQ(e2, 32768);
  tkx::SetError(0);
  EXPECT_EQ(s.RotToEnc(kNaN, 0, 0, &e0, &e1, &e2), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
}

TEST_F(Stylus, EncodersRoundTripWithinOneCount) {
  for (bool left : {false, true}) {
    tkxStylus t = Make(0.0, left);
    std::mt19937 rng(left ? 41 : 40);
    std::uniform_int_distribution<int> u(32768 - 700, 32768 + 700);
    for (int i = 0; i < 300; ++i) {
      const int e[3] = {u(rng), u(rng), u(rng)};
      double r[3];
      ASSERT_EQ(t.EncToRot(e[0], e[1], e[2], &r[0], &r[1], &r[2]), 0);
      const double k = 2 * kPi / 1200;
      EXPECT_NEAR(r[0], -k * (e[0] - 32768), 1e-12);
      EXPECT_NEAR(r[1], (left ? 1 : -1) * k * (e[1] - 32768), 1e-12);
      EXPECT_NEAR(r[2], -k * (e[2] - 32768), 1e-12);
      // the encoders count against the angles
      int b[3];
      ASSERT_EQ(t.RotToEnc(-r[0], -r[1], -r[2], &b[0], &b[1], &b[2]), 0);
      for (int c = 0; c < 3; ++c) EXPECT_LE(std::abs(b[c] - e[c]), 1) << c;
    }
  }
}

// ---- orientation ----

TEST_F(Stylus, RestOfTheUnoffsetHandleIsTurnedThirtyDegrees) {
  tkxStylus t(0.0);
  const M3 R = Matrix(t, 32768, 32768, 32768);
  const double c = std::cos(kPi / 6), sn = std::sin(kPi / 6);
  const double want[3][3] = {{c, -sn, 0}, {sn, c, 0}, {0, 0, 1}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(static_cast<double>(R[i][j]), want[i][j], 1e-15) << i << j;
}

TEST_F(Stylus, MatrixIsAProductOfElementaryTurns) {
  unsigned seed = 90;
  for (double offset : {0.0, kQuarterPi})
    for (bool left : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "offset " << offset << (left ? " left" : " right"));
      tkxStylus t = Make(offset, left);
      std::mt19937 rng(seed++);
      std::uniform_int_distribution<int> u(32768 - 600, 32768 + 600);
      for (int i = 0; i < 200; ++i) {
        const int e0 = u(rng), e1 = u(rng), e2 = u(rng);
        const M3 R = Matrix(t, e0, e1, e2);
        const M3 want = Reference(offset, left, e0, e1, e2);
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) ASSERT_NEAR(static_cast<double>(R[r][c]), static_cast<double>(want[r][c]), 1e-12);
        // a rotation: orthonormal rows, determinant one
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b) {
            long double dot = 0;
            for (int c = 0; c < 3; ++c) dot += R[a][c] * R[b][c];
            ASSERT_NEAR(static_cast<double>(dot), a == b ? 1.0 : 0.0, 1e-12);
          }
        const long double det = R[0][0] * (R[1][1] * R[2][2] - R[1][2] * R[2][1]) -
                                R[0][1] * (R[1][0] * R[2][2] - R[1][2] * R[2][0]) +
                                R[0][2] * (R[1][0] * R[2][1] - R[1][1] * R[2][0]);
        ASSERT_NEAR(static_cast<double>(det), 1.0, 1e-12);
      }
    }
}

TEST_F(Stylus, LeftHandIsTheMirrorImage) {
  for (double offset : {0.0, kQuarterPi}) {
    tkxStylus right = Make(offset, false), left = Make(offset, true);
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> u(32768 - 600, 32768 + 600);
    for (int i = 0; i < 200; ++i) {
      const int e[3] = {u(rng), u(rng), u(rng)};
      // the mirrored handle's encoders count the other way about the reference
      const M3 R = Matrix(right, e[0], e[1], e[2]);
      const M3 L = Matrix(left, 65536 - e[0], 65536 - e[1], 65536 - e[2]);
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
          const double sign = ((r == 1) != (c == 1)) ? -1.0 : 1.0;
          ASSERT_NEAR(static_cast<double>(L[r][c]), sign * static_cast<double>(R[r][c]), 1e-12) << offset;
        }
      // for the same encoders only the middle angle changes sign
      double a[3], b[3];
      right.EncToRot(e[0], e[1], e[2], &a[0], &a[1], &a[2]);
      left.EncToRot(e[0], e[1], e[2], &b[0], &b[1], &b[2]);
      EXPECT_EQ(b[0], a[0]);
      EXPECT_EQ(b[1], -a[1]);
      EXPECT_EQ(b[2], a[2]);
    }
  }
}

// ---- memory and file ----

class StylusStore : public Stylus {
 protected:
  void SetUp() override {
    Stylus::SetUp();
    bus.usb.resize(1);
    bus.usb[0].memory.assign(2048, 0xFF);
    ASSERT_EQ(com.Open(0), 0);
  }
  fake::Bus bus;
  fake::Com com{bus, false};
};

TEST_F(StylusStore, MemoryRoundTripsAndRefusesWhatIsOutOfBounds) {
  ASSERT_EQ(s.SetParam(300, 1024), 0);
  ASSERT_EQ(s.SetParam(301, 0.035), 0);
  ASSERT_EQ(s.SetParam(305, 32000), 0);
  ASSERT_EQ(s.ConfigToMemory(&com), 0);
  const std::vector<int> order = {300, 301, 303, 304, 305, 306, 307, 308};
  ASSERT_EQ(bus.writes.size(), order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(bus.writes[i].addr, tkx::mem::ParamAddress(order[i])) << order[i];
    EXPECT_EQ(bus.writes[i].bytes.size(), order[i] == 300 ? 2u : 4u) << order[i];
  }
  tkxStylus other(0.0);
  ASSERT_EQ(other.ConfigFromMemory(&com), 0);
  EXPECT_EQ(other.GetParam(300), 1024);
  EXPECT_FLOAT_EQ(static_cast<float>(other.GetMass()), 0.035f);
  EXPECT_EQ(other.GetParam(305), 32000);
  EXPECT_EQ(other.GetAxisOffset(), 0.0);
  // the resolution read is the one the angles use
  double r0 = 0;
  other.EncToRot(32768 + 256, 32768, 32768, &r0, nullptr, nullptr);
  EXPECT_NEAR(r0, -kPi / 2, 1e-12);
  // a zero resolution and a mass that is no number are refused
  bus.usb[0].memory[tkx::mem::ParamAddress(300)] = 0;
  bus.usb[0].memory[tkx::mem::ParamAddress(300) + 1] = 0;
  for (int i = 0; i < 4; ++i) bus.usb[0].memory[tkx::mem::ParamAddress(301) + i] = 0xFF;
  tkxStylus third(0.0);
  ASSERT_EQ(third.ConfigFromMemory(&com), 0);
  EXPECT_EQ(third.GetParam(300), 1200);
  EXPECT_EQ(third.GetMass(), 0);
  EXPECT_EQ(third.GetParam(305), 32000);
  EXPECT_EQ(s.ConfigToMemory(nullptr), -1);
}

TEST_F(StylusStore, BlankMemoryKeepsTheDefaults) {
  ASSERT_EQ(s.ConfigFromMemory(&com), 0);
  for (int id = tkxStylus::kFirstParam; id <= tkxStylus::kLastParam; ++id)
    EXPECT_EQ(s.GetParam(id), tkxStylus::DefaultParam(id)) << id;
}

TEST_F(Stylus, FileSectionRoundTripsAndIgnoresTheOffsetLine) {
  const std::string path = ::testing::TempDir() + "stylus_section.txt";
  ASSERT_EQ(s.SetParam(300, 1000), 0);
  ASSERT_EQ(s.SetParam(301, 0.02), 0);
  ASSERT_EQ(s.SetParam(308, 33333), 0);
  {
    std::ofstream out(path);
    ASSERT_EQ(s.ConfigToFile(out), 0);
  }
  std::string text;
  {
    std::ifstream in(path);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_NE(text.find("[stylus]\nTKX_EEPROM_STYLUS_ENCRES=1000\nTKX_EEPROM_STYLUS_MASS=0.02\n"
                      "TKX_EEPROM_STYLUS_AXISOFFSET=0\n"),
            std::string::npos)
      << text;
  tkxStylus other(0.0);
  {
    std::ifstream in(path);
    ASSERT_EQ(other.ConfigFromFile(in), 0);
  }
  for (int id = tkxStylus::kFirstParam; id <= tkxStylus::kLastParam; ++id)
    EXPECT_EQ(other.GetParam(id), s.GetParam(id)) << id;
  EXPECT_EQ(other.GetAxisOffset(), 0.0);
  auto rewrite = [&](const std::string &from, const std::string &to) {
    std::string t = text;
    t.replace(t.find(from), from.size(), to);
    std::ofstream out(path);
    out << t;
  };
  // an offset in the file changes nothing; a resolution out of bounds is refused
  rewrite("AXISOFFSET=0\n", "AXISOFFSET=1.5\n");
  {
    tkxStylus t(0.0);
    std::ifstream in(path);
    ASSERT_EQ(t.ConfigFromFile(in), 0);
    EXPECT_EQ(t.GetAxisOffset(), 0.0);
    EXPECT_EQ(t.GetParam(300), 1000);
  }
  rewrite("ENCRES=1000\n", "ENCRES=-5\n");
  {
    tkxStylus t(0.0);
    std::ifstream in(path);
    ASSERT_EQ(t.ConfigFromFile(in), 0);
    EXPECT_EQ(t.GetParam(300), 1200);
    EXPECT_EQ(t.GetParam(308), 33333);
  }
  for (const char *header : {"[pincher]", "[stylus]x", "[styl]"}) {
    rewrite("[stylus]", header);
    tkxStylus t(0.0);
    std::ifstream in(path);
    tkx::SetError(0);
    EXPECT_EQ(t.ConfigFromFile(in), -1) << header;
    EXPECT_EQ(tkx::LastError(), TKX_ERR_AUTOCONFIG);
    EXPECT_EQ(t.GetParam(300), 1200);
  }
  std::remove(path.c_str());
}

}  // namespace
