// The virtual device's stylus: the hand's three angles as the counts the library
// reads back, checked against a slow search over every count of the encoder.
#include "tkx/virtual/tkxVirtualStylus.h"

#include "tkx/tkxStylus.h"
#include "tkx/tkxTypes.h"
#include "tkx/virtual/tkxVirtualDevice.h"
#include "tkx/virtual/tkxVirtualHand.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

namespace {

using tkx::virt::Device;
using tkx::virt::HandPose;
using tkx::virt::HandScript;
using tkx::virt::MechanismState;
using tkx::virt::Stylus;
using Bytes = std::vector<unsigned char>;

constexpr double kPi = 3.14159265358979323846;
constexpr double kPerCount = 2.0 * kPi / 1200.0;

// the angle the library reads from a count: -k (e - 32768)
double Reading(int e) { return -kPerCount * (e - 32768); }

// the count of a 16-bit encoder whose reading lies nearest the angle, by trying them all
int NearestCount(double angle) {
  int best = 0;
  double bestError = std::fabs(Reading(0) - angle);
  for (int e = 1; e <= 65535; ++e) {
    const double error = std::fabs(Reading(e) - angle);
    if (error < bestError) {
      best = e;
      bestError = error;
    }
  }
  return best;
}

bool LeftHanded(int code) { return code == 36 || code == 37; }

void Send(Device &d, const Bytes &cmd) { d.Write(cmd.data(), static_cast<int>(cmd.size()), 0.0); }

HandPose Angles(double r0, double r1, double r2) {
  HandPose h;
  h.angles[0] = r0, h.angles[1] = r1, h.angles[2] = r2;
  return h;
}

TEST(VirtualStylus, EncodersAreTheNearestCountsOfTheHandsAngles) {
  std::mt19937 rng(34);
  std::uniform_real_distribution<double> turn(-kPi, kPi);
  std::uniform_real_distribution<double> far(-250.0, 250.0);
  for (int code = 34; code <= 37; ++code) {
    Device d(code, false, true);
    for (int n = 0; n < 12; ++n) {
      // now and then an angle beyond what the counter holds
      const HandPose h = n % 4 == 3 ? Angles(far(rng), turn(rng), far(rng)) : Angles(turn(rng), turn(rng), turn(rng));
      d.SetHand(h);
      for (int i = 0; i < 3; ++i) {
        // the left hand's middle angle is read negated
        const double read = LeftHanded(code) && i == 1 ? -h.angles[i] : h.angles[i];
        const int want = NearestCount(read);
        EXPECT_EQ(d.Encoder(3 + i), want) << code << " angle " << i << " = " << h.angles[i];
        if (std::fabs(read) < 170.0) {
          EXPECT_LE(std::fabs(Reading(want) - read), kPerCount / 2 + 1e-12);
        }
      }
      // and the same once time has passed
      d.Advance(0.002);
      EXPECT_EQ(d.Encoder(4), NearestCount(LeftHanded(code) ? -h.angles[1] : h.angles[1])) << code;
    }
  }
}

// the library's stylus model, left-handed where the type is, reads the hand's angles back
TEST(VirtualStylus, LibraryModelReadsTheHandsAnglesBack) {
  std::mt19937 rng(36);
  std::uniform_real_distribution<double> turn(-2.5, 2.5);
  for (int code = 34; code <= 37; ++code) {
    tkxStylus lib(tkx::LookUpType(code).stylusOffset);
    ASSERT_EQ(lib.SetConfig(code), 0);
    lib.SetLeftHanded(LeftHanded(code));
    ASSERT_EQ(lib.Update(), 0);
    Device d(code, false, true);
    for (int n = 0; n < 20; ++n) {
      const HandPose h = Angles(turn(rng), turn(rng), turn(rng));
      d.SetHand(h);
      double r[3];
      ASSERT_EQ(lib.EncToRot(d.Encoder(3), d.Encoder(4), d.Encoder(5), &r[0], &r[1], &r[2]), 0);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(r[i], h.angles[i], kPerCount / 2 + 1e-12) << code << " angle " << i;
    }
  }
}

TEST(VirtualStylus, LeftHandMirrorsTheMiddleAngleOnly) {
  Device right(34, false, true), left(36, false, true);
  const HandPose h = Angles(0.4, -0.7, 1.1);
  right.SetHand(h);
  left.SetHand(h);
  EXPECT_EQ(left.Encoder(3), right.Encoder(3));
  EXPECT_EQ(left.Encoder(5), right.Encoder(5));
  EXPECT_EQ(left.Encoder(4) - 32768, 32768 - right.Encoder(4));
  EXPECT_NE(left.Encoder(4), right.Encoder(4));
}

TEST(VirtualStylus, AnglesBeyondTheCounterStopAtItsEnds) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Stylus s(false);
  const double hand[3] = {200.0, -200.0, 1e300};
  s.Follow(hand);
  // a wrap would land somewhere in the middle of the range
  EXPECT_EQ(s.Encoder(0), 0);
  EXPECT_EQ(s.Encoder(1), 65535);
  EXPECT_EQ(s.Encoder(2), 0);
  const double odd[3] = {nan, inf, -inf};
  s.Follow(odd);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s.Encoder(i), 32768) << i;
  // the left hand's mirror turns the middle end round
  Stylus left(true);
  left.Follow(hand);
  EXPECT_EQ(left.Encoder(1), 0);
  EXPECT_EQ(left.Encoder(0), 0);
  EXPECT_EQ(s.Encoder(3), 0);
  EXPECT_EQ(s.Encoder(-1), 0);
}

TEST(VirtualStylus, RepliesCarryItAndAPresetShiftsItsCounters) {
  Device d(35, false, true);
  d.SetHand(Angles(0.3, -0.2, 0.1));
  Send(d, {0x2A});
  unsigned char r[64] = {};
  int n = 0;
  ASSERT_EQ(d.Read(r, 64, &n, 0.0), tkx::virt::Transfer::Ok);
  for (int i = 0; i < 3; ++i) {
    const int e = r[2 * (3 + i)] | r[2 * (3 + i) + 1] << 8;
    EXPECT_EQ(e, d.Encoder(3 + i));
  }
  const int before = d.Encoder(4);
  // preset channel 4 (16-bit fields, channel c at 2 + 2c)
  Bytes preset(2 + 2 * 8, 0);
  preset[0] = 0x0C;
  preset[1] = 1 << 4;
  preset[2 + 2 * 4] = 0x03;
  preset[3 + 2 * 4] = 0xE8;  // 1000
  Send(d, preset);
  EXPECT_EQ(d.Encoder(4), 1000);
  d.SetHand(Angles(0.3, -0.5, 0.1));
  d.Advance(0.001);
  EXPECT_EQ(d.Encoder(4), 1000 + NearestCount(-0.5) - before);
  EXPECT_TRUE(d.HasMechanism());
  // a test that sets a stylus channel itself takes the device over
  d.SetEncoder(5, 4242);
  EXPECT_FALSE(d.HasMechanism());
  d.SetHand(Angles(1, 1, 1));
  EXPECT_EQ(d.Encoder(5), 4242);
}

TEST(VirtualStylus, HandScriptTurnsItOverTime) {
  std::istringstream text(
      "0 0 0 0 0 0 0 0 0\n"
      "1 0 0 0 0 0 0.5 -0.25 1.0\n");
  HandScript script;
  int bad = 0;
  ASSERT_TRUE(HandScript::Parse(text, &script, &bad));
  Device d(36, false, true);
  d.SetHandScript(script);
  EXPECT_EQ(d.Encoder(3), 32768);
  d.Advance(0.5);
  MechanismState s;
  ASSERT_TRUE(d.GetMechanism(&s));
  ASSERT_TRUE(s.hasStylus);
  EXPECT_NEAR(s.stylusAngles[0], 0.25, 1e-3);
  EXPECT_NEAR(s.stylusAngles[1], -0.125, 1e-3);
  EXPECT_NEAR(s.stylusAngles[2], 0.5, 1e-3);
  EXPECT_EQ(d.Encoder(4), NearestCount(-s.stylusAngles[1]));
  d.Advance(1.0);
  EXPECT_EQ(d.Encoder(5), NearestCount(1.0));
}

TEST(VirtualStylus, OnlyStylusTypesHaveOne) {
  MechanismState s;
  Device trion(33, false, true), wrist(61, false, true);
  ASSERT_TRUE(trion.GetMechanism(&s));
  EXPECT_FALSE(s.hasStylus);
  trion.SetHand(Angles(0.5, 0.5, 0.5));
  EXPECT_EQ(trion.Encoder(3), 32768);
  ASSERT_TRUE(wrist.GetMechanism(&s));
  EXPECT_FALSE(s.hasStylus);
}

}  // namespace
