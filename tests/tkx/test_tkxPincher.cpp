// The pinch gripper model: its motor command at the edges and against the gain
// worked out here, the finger against its pivot geometry, the mirrored left
// hand, and its parameters in memory and in a file section.
#include "tkx/tkxPincher.h"

#include "FakeDevice.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxMemoryMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

using M3 = std::array<std::array<double, 3>, 3>;

M3 Rx(double a) { return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}}; }
M3 Ry(double a) { return {{{std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}}}; }
M3 Rz(double a) { return {{{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}}}; }
M3 Mul(const M3 &a, const M3 &b) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
  return r;
}
// the mirror in the y = 0 plane, on both sides of a rotation
M3 Mirror(const M3 &m) {
  M3 r = m;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] *= ((i == 1) != (j == 1)) ? -1.0 : 1.0;
  return r;
}

struct Point {
  double x, y, z;
};

Point Finger(tkxPincher &p, int enc, M3 R) {
  double a[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i][j] = R[i][j];
  Point o{9, 9, 9};
  EXPECT_EQ(p.EncToFinger(enc, a, &o.x, &o.y, &o.z), 0);
  return o;
}

Point Thumb(tkxPincher &p, M3 R) {
  double a[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i][j] = R[i][j];
  Point o{9, 9, 9};
  EXPECT_EQ(p.EncToThumb(a, &o.x, &o.y, &o.z), 0);
  return o;
}

Point Apply(const M3 &R, Point v) {
  return {R[0][0] * v.x + R[0][1] * v.y + R[0][2] * v.z, R[1][0] * v.x + R[1][1] * v.y + R[1][2] * v.z,
          R[2][0] * v.x + R[2][1] * v.y + R[2][2] * v.z};
}

M3 RandomTurn(std::mt19937 &rng) {
  std::uniform_real_distribution<double> u(-kPi, kPi);
  return Mul(Rz(u(rng)), Mul(Ry(u(rng) / 2), Rx(u(rng))));
}

class Pincher : public ::testing::Test {
 protected:
  void SetUp() override { tkx::SetError(0); }
  tkxPincher p;
};

// ---- parameters ----

TEST_F(Pincher, ParametersNamesStorageAndBounds) {
  EXPECT_DOUBLE_EQ(p.GetMass(), 0.1);
  EXPECT_FALSE(p.IsLeftHanded());
  EXPECT_STREQ(p.GetParamName(400), "TKX_EEPROM_PINCHER_ENCRES");
  EXPECT_STREQ(p.GetParamName(421), "TKX_EEPROM_PINCHER_DACOFFSET");
  EXPECT_STREQ(p.GetParamName(399), "undefined");
  EXPECT_STREQ(p.GetParamName(422), "undefined");
  EXPECT_EQ(p.GetParam(409), 35 * kPi / 180);
  // every default lies within its bounds, so a factory image always loads
  for (int id = tkxPincher::kFirstParam; id <= tkxPincher::kLastParam; ++id) {
    EXPECT_EQ(p.GetParam(id), tkxPincher::DefaultParam(id)) << id;
    EXPECT_TRUE(tkxPincher::Acceptable(id, tkxPincher::DefaultParam(id))) << id;
  }
  // outside the range, or no number: refused and nothing changes
  EXPECT_EQ(p.SetParam(422, 1), -1);
  EXPECT_EQ(p.SetParam(399, 1), -1);
  EXPECT_EQ(p.SetParam(401, kNaN), -1);
  EXPECT_EQ(p.SetParam(401, kInf), -1);
  EXPECT_EQ(p.GetParam(401), 14.29);
  // 16-bit values are whole; the gear ratio reaches the angle per count at once
  EXPECT_EQ(p.SetParam(400, 2000.7), 0);
  EXPECT_EQ(p.GetParam(400), 2000);
  double a = 0;
  p.EncToRot(32768 + 2000, &a);
  EXPECT_NEAR(a, 2 * kPi / 14.29, 1e-12);
  // SetConfig restores every default
  EXPECT_EQ(p.SetConfig(TKX_SYSTEM_POLUX7_RIGHT), 0);
  EXPECT_EQ(p.GetParam(400), 4000);
}

// ---- motor command ----

TEST_F(Pincher, MotorCommandOfTheEdgeTorques) {
  short m = 0;
  EXPECT_EQ(p.TrqToMot(0.0, &m), 0);
  EXPECT_EQ(m, 2048);
  // a torque far beyond the motor would once overflow a 32-bit count
  EXPECT_EQ(p.TrqToMot(1e6, &m), 0);
  EXPECT_EQ(m, 4095);
  EXPECT_EQ(p.TrqToMot(-1e6, &m), 0);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(p.TrqToMot(std::numeric_limits<double>::max(), &m), 0);
  EXPECT_EQ(m, 4095);
  EXPECT_EQ(p.TrqToMot(-std::numeric_limits<double>::max(), &m), 0);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(p.FrcToMot(1e9, &m), 0);
  EXPECT_EQ(m, 4095);
  EXPECT_EQ(p.FrcToMot(-1e9, &m), 0);
  EXPECT_EQ(m, 0);
  // no number: no torque, and the caller is told
  for (double bad : {kNaN, kInf, -kInf}) {
    m = 1;
    tkx::SetError(0);
    EXPECT_EQ(p.TrqToMot(bad, &m), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
    EXPECT_EQ(m, 2048);
    m = 1;
    tkx::SetError(0);
    EXPECT_EQ(p.FrcToMot(bad, &m), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
    EXPECT_EQ(m, 2048);
  }
  // the base's conversions of a gap are not available
  double g = 0;
  int e = 0;
  EXPECT_EQ(p.EncToPos(32768, &g), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_EQ(p.PosToEnc(0.01, &e), -1);
  EXPECT_EQ(p.MotToFrc(2048, &g), -1);
}

TEST_F(Pincher, MotorCommandFollowsTheGainSlopeAndOffset) {
  std::mt19937 rng(17);
  for (int set = 0; set < 3; ++set) {
    if (set == 1) {
      ASSERT_EQ(p.SetParam(420, 1.25), 0);
    }
    if (set == 2) {
      ASSERT_EQ(p.SetParam(421, -37), 0);
    }
    // counts per newton-metre at the motor: DAC per volt, volts per amp, amps per N·m, through the gears
    const double G = 819.2 * 3.2 / (0.0438 * 14.29);
    const double slope = p.GetParam(420), offset = p.GetParam(421);
    std::uniform_real_distribution<double> u(-0.4, 0.4);
    for (int i = 0; i < 200; ++i) {
      const double t = u(rng);
      short m = 0;
      ASSERT_EQ(p.TrqToMot(t, &m), 0);
      const double want = 2048 + std::trunc(t * G * slope + offset);
      ASSERT_EQ(m, std::min(4095.0, std::max(0.0, want))) << t;
      double back = 0;
      ASSERT_EQ(p.MotToTrq(m, &back), 0);
      // a command is whole: the torque comes back within one count
      if (want > 0 && want < 4095) {
        EXPECT_NEAR(back, t, 1.0 / (G * slope)) << t;
      }
      short f = 0;
      ASSERT_EQ(p.FrcToMot(t / 0.0525, &f), 0);
      EXPECT_NEAR(f, m, 1) << t;
    }
  }
}

// ---- angle and points ----

TEST_F(Pincher, FingerAngleRoundTripsWithinOneCount) {
  double a = 0;
  ASSERT_EQ(p.EncToRot(static_cast<int>(32768 + 4000 * 14.29 / 4), &a), 0);
  const double k = 2 * kPi / (4000 * 14.29);
  EXPECT_NEAR(a, kPi / 2, k);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> u(30000, 36000);
  for (int i = 0; i < 500; ++i) {
    const int e = u(rng);
    ASSERT_EQ(p.EncToRot(e, &a), 0);
    EXPECT_NEAR(a, (e - 32768) * k, 1e-12);
    int back = 0;
    ASSERT_EQ(p.RotToEnc(a, &back), 0);
    EXPECT_LE(std::abs(back - e), 1) << e;
  }
  int e = 7;
  tkx::SetError(0);
  EXPECT_EQ(p.RotToEnc(kNaN, &e), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_GEOMETRY);
  EXPECT_EQ(p.RotToEnc(1e300, &e), -1);
  EXPECT_EQ(e, 7);
}

TEST_F(Pincher, FingerTurnsAboutItsPivotAndThumbIsFixed) {
  const double psi = p.GetParam(409), beta = p.GetParam(414), F = p.GetParam(412), X = p.GetParam(410);
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> u(31000, 34500);
  for (int i = 0; i < 200; ++i) {
    const M3 R = RandomTurn(rng);
    const int e = u(rng);
    double a = 0;
    ASSERT_EQ(p.EncToRot(e, &a), 0);
    // the pivot sits X along the pivot direction; the finger of length F turns
    // back from ANGLEMAX by the gripper angle, measured from the pivot direction
    const Point pivot{X * std::cos(psi), X * std::sin(psi), p.GetParam(411)};
    const M3 finger = Rz(psi + beta - a);
    const Point tip{pivot.x + finger[0][0] * F, pivot.y + finger[1][0] * F, pivot.z};
    const Point want = Apply(R, tip);
    const Point got = Finger(p, e, R);
    EXPECT_NEAR(got.x, want.x, 1e-12);
    EXPECT_NEAR(got.y, want.y, 1e-12);
    EXPECT_NEAR(got.z, want.z, 1e-12);
    const Point thumb = Thumb(p, R);
    const Point wantThumb = Apply(R, {0, -0.02, 0});
    EXPECT_NEAR(thumb.x, wantThumb.x, 1e-15);
    EXPECT_NEAR(thumb.y, wantThumb.y, 1e-15);
    EXPECT_NEAR(thumb.z, wantThumb.z, 1e-15);
  }
  // opening the gripper moves the finger away from the thumb
  const M3 I = Rx(0);
  auto gap = [&](int e) {
    const Point f = Finger(p, e, I), t = Thumb(p, I);
    return std::hypot(f.x - t.x, f.y - t.y);
  };
  EXPECT_GT(gap(34000), gap(33000));
  EXPECT_GT(gap(33000), gap(32768));
}

TEST_F(Pincher, LeftHandIsTheMirrorImage) {
  tkxPincher left;
  left.SetLeftHanded(true);
  ASSERT_EQ(left.Update(), 0);
  std::mt19937 rng(23);
  std::uniform_int_distribution<int> u(31000, 34500);
  for (int i = 0; i < 200; ++i) {
    const M3 R = RandomTurn(rng);
    // the mirrored gripper's encoder counts the other way about the reference
    const int e = u(rng), mirrored = 2 * 32768 - e;
    const Point f = Finger(p, e, R), fl = Finger(left, mirrored, Mirror(R));
    EXPECT_NEAR(fl.x, f.x, 1e-12);
    EXPECT_NEAR(fl.y, -f.y, 1e-12);
    EXPECT_NEAR(fl.z, f.z, 1e-12);
    const Point t = Thumb(p, R), tl = Thumb(left, Mirror(R));
    EXPECT_NEAR(tl.x, t.x, 1e-15);
    EXPECT_NEAR(tl.y, -t.y, 1e-15);
    EXPECT_NEAR(tl.z, t.z, 1e-15);
  }
  // in the effector's own frame the thumb's y is negated
  const Point t = Thumb(left, Rx(0));
  EXPECT_DOUBLE_EQ(t.y, 0.02);
}

// ---- memory and file ----

class PincherStore : public Pincher {
 protected:
  void SetUp() override {
    Pincher::SetUp();
    bus.usb.resize(1);
    bus.usb[0].memory.assign(2048, 0xFF);
    ASSERT_EQ(com.Open(0), 0);
  }
  void Put(int id, std::vector<unsigned char> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) bus.usb[0].memory[tkx::mem::ParamAddress(id) + i] = bytes[i];
  }
  fake::Bus bus;
  fake::Com com{bus, false};
};

TEST_F(PincherStore, MemoryHoldsWordsThenIntegersThenNumbers) {
  ASSERT_EQ(p.SetParam(403, 2000), 0);
  ASSERT_EQ(p.SetParam(419, 34000), 0);
  ASSERT_EQ(p.SetParam(410, 0.05), 0);
  ASSERT_EQ(p.ConfigToMemory(&com), 0);
  std::vector<int> order = {400, 403, 402, 418, 419, 401};
  for (int id = 404; id <= 417; ++id) order.push_back(id);
  order.push_back(420);
  order.push_back(421);
  ASSERT_EQ(bus.writes.size(), order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(bus.writes[i].addr, tkx::mem::ParamAddress(order[i])) << order[i];
    EXPECT_EQ(bus.writes[i].bytes.size(), tkxPincher::StorageOf(order[i]) == tkxPincher::Storage::Short ? 2u : 4u);
  }
  EXPECT_EQ(bus.usb[0].Word(tkx::mem::ParamAddress(403)), 2000);
  tkxPincher other;
  ASSERT_EQ(other.ConfigFromMemory(&com), 0);
  for (int id = tkxPincher::kFirstParam; id <= tkxPincher::kLastParam; ++id)
    EXPECT_FLOAT_EQ(static_cast<float>(other.GetParam(id)), static_cast<float>(p.GetParam(id))) << id;
  EXPECT_EQ(p.ConfigToMemory(nullptr), -1);
  EXPECT_EQ(p.ConfigFromMemory(nullptr), -1);
}

TEST_F(PincherStore, BlankOrCorruptedMemoryKeepsTheValuesInForce) {
  // all bytes 0xFF: words of -1, integers of -1, numbers that are no number
  tkxPincher blank;
  ASSERT_EQ(blank.ConfigFromMemory(&com), 0);
  for (int id = tkxPincher::kFirstParam; id <= tkxPincher::kLastParam; ++id)
    EXPECT_EQ(blank.GetParam(id), tkxPincher::DefaultParam(id)) << id;
  short m = 0;
  EXPECT_EQ(blank.TrqToMot(0, &m), 0);
  EXPECT_EQ(m, 2048);
  // good values beside a zero resolution, an infinite ratio and a huge offset
  ASSERT_EQ(p.ConfigToMemory(&com), 0);
  Put(400, {0x00, 0x00});
  Put(401, {0x7F, 0x80, 0x00, 0x00});
  Put(421, {0x4F, 0x00, 0x00, 0x00});
  Put(402, {0x00, 0x64});  // 100, within bounds: taken
  tkxPincher other;
  ASSERT_EQ(other.ConfigFromMemory(&com), 0);
  EXPECT_EQ(other.GetParam(400), 4000);
  EXPECT_EQ(other.GetParam(401), 14.29);
  EXPECT_EQ(other.GetParam(421), 0);
  EXPECT_EQ(other.GetParam(402), 100);
  double a = 0;
  other.EncToRot(32768 + 1000, &a);
  EXPECT_TRUE(std::isfinite(a));
}

TEST_F(Pincher, FileSectionRoundTripsAndRefusesBadValues) {
  const std::string path = ::testing::TempDir() + "pincher_section.txt";
  ASSERT_EQ(p.SetParam(412, 0.051), 0);
  ASSERT_EQ(p.SetParam(418, 31000), 0);
  ASSERT_EQ(p.SetParam(416, -0.0213), 0);
  {
    std::ofstream out(path);
    ASSERT_EQ(p.ConfigToFile(out), 0);
  }
  std::string text;
  {
    std::ifstream in(path);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_EQ(text.find("\n[pincher]\nTKX_EEPROM_PINCHER_ENCRES=4000\n"), 0u) << text;
  tkxPincher other;
  {
    std::ifstream in(path);
    ASSERT_EQ(other.ConfigFromFile(in), 0);
  }
  for (int id = tkxPincher::kFirstParam; id <= tkxPincher::kLastParam; ++id)
    EXPECT_EQ(other.GetParam(id), p.GetParam(id)) << id;
  // a value out of bounds is refused, the rest taken
  auto rewrite = [&](const std::string &from, const std::string &to) {
    std::string t = text;
    t.replace(t.find(from), from.size(), to);
    std::ofstream out(path);
    out << t;
  };
  rewrite("TKX_EEPROM_PINCHER_REDUCTION=14.29", "TKX_EEPROM_PINCHER_REDUCTION=0");
  tkxPincher third;
  {
    std::ifstream in(path);
    ASSERT_EQ(third.ConfigFromFile(in), 0);
  }
  EXPECT_EQ(third.GetParam(401), 14.29);
  EXPECT_EQ(third.GetParam(412), 0.051);
  // another section's header, or a longer word, is no pincher section
  for (const char *header : {"[stylus]", "[pincher]x", "[pinche]"}) {
    rewrite("[pincher]", header);
    tkxPincher fourth;
    std::ifstream in(path);
    tkx::SetError(0);
    EXPECT_EQ(fourth.ConfigFromFile(in), -1) << header;
    EXPECT_EQ(tkx::LastError(), TKX_ERR_AUTOCONFIG);
    EXPECT_EQ(fourth.GetParam(412), 0.0525);
  }
  std::ifstream closed;
  EXPECT_EQ(p.ConfigFromFile(closed), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_FILE_NOT_FOUND);
  std::remove(path.c_str());
}

}  // namespace
