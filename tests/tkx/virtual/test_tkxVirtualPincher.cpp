// The virtual device's pinch gripper: the finger the hand holds, its motor and its
// encoder, alone and through the firmware.
#include "tkx/virtual/tkxVirtualPincher.h"

#include "tkx/tkxPincher.h"
#include "tkx/virtual/tkxVirtualDevice.h"
#include "tkx/virtual/tkxVirtualHand.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using tkx::virt::Device;
using tkx::virt::HandPose;
using tkx::virt::MechanismState;
using tkx::virt::Pincher;
using Bytes = std::vector<unsigned char>;

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadius = 0.0525;  // m, the finger's length
constexpr double kStep = 1e-4;
// the motor: 819.2 DAC counts per volt, 3.2 V per A, 0.0438 N m per A, through 14.29
constexpr double kCountsPerNm = 819.2 * 3.2 / 0.0438 / 14.29;
// one motor turn of 4000 counts turns the finger by 2 pi / 14.29
constexpr double kFingerPerMotorTurn = 2.0 * kPi / 14.29;

double TorqueOf(int command) { return (command - 2048) / kCountsPerNm; }

void Hold(Pincher &p, double seconds, double opening) {
  const int n = static_cast<int>(std::lround(seconds / kStep));
  for (int i = 0; i < n; ++i) p.Step(kStep, opening);
}

TEST(VirtualPincher, FingerSettlesOnTheHandsOpeningWithinAFewMilliseconds) {
  Pincher p;
  const double target = 0.3;
  double settled = -1.0, peak = 0.0;
  for (int i = 1; i <= 500; ++i) {
    p.Step(kStep, target * kRadius);
    peak = std::fmax(peak, p.Angle());
    if (std::fabs(p.Angle() - target) > 0.01 * target)
      settled = -1.0;
    else if (settled < 0.0)
      settled = i * kStep;
  }
  ASSERT_GT(settled, 0.0);
  EXPECT_LT(settled, 0.010);
  EXPECT_LT(peak, 1.05 * target);
  EXPECT_NEAR(p.Target(), target, 1e-12);
  // and closes again as fast
  Hold(p, 0.01, 0.0);
  EXPECT_LT(p.Angle(), 0.01 * target);
}

TEST(VirtualPincher, EncoderCountsMotorTurnsThroughTheReduction) {
  Pincher p;
  EXPECT_EQ(p.Encoder(), 32768);
  // one motor turn of the finger, then half of one
  Hold(p, 0.05, kFingerPerMotorTurn * kRadius);
  EXPECT_NEAR(p.Encoder(), 32768 + 4000, 1);
  Hold(p, 0.05, 0.5 * kFingerPerMotorTurn * kRadius);
  EXPECT_NEAR(p.Encoder(), 32768 + 2000, 1);
  EXPECT_EQ(p.Encoder(), 32768 + static_cast<int>(std::lround(p.Angle() / kFingerPerMotorTurn * 4000.0)));
}

TEST(VirtualPincher, LeftHandedEncoderCountsDownAsItOpens) {
  Pincher left(true);
  ASSERT_TRUE(left.IsLeftHanded());
  Hold(left, 0.05, kFingerPerMotorTurn * kRadius);
  EXPECT_NEAR(left.Encoder(), 32768 - 4000, 1);
  EXPECT_GT(left.Angle(), 0.0);
}

TEST(VirtualPincher, MotorTorqueOpensASoftGripByTorqueOverStiffness) {
  Pincher p;
  p.SetHandSpring(0.05, 0.001);
  p.SetDrive(true);
  Hold(p, 0.3, 0.1 * kRadius);
  EXPECT_NEAR(p.Angle(), 0.1, 1e-6);
  for (int command : {2090, 2100, 2030}) {
    p.SetMotor(static_cast<int16_t>(command));
    EXPECT_DOUBLE_EQ(p.Torque(), TorqueOf(command));
    Hold(p, 0.5, 0.1 * kRadius);
    EXPECT_NEAR(p.Angle(), 0.1 + TorqueOf(command) / 0.05, 1e-4) << command;
  }
  // a torque that closes it further than the thumb leaves it at the thumb
  p.SetMotor(1900);
  Hold(p, 0.5, 0.1 * kRadius);
  EXPECT_EQ(p.Angle(), 0.0);
}

TEST(VirtualPincher, MotorPushesOnlyWhileForceIsOnAndOnceCommanded) {
  Pincher p;
  p.SetHandSpring(0.05, 0.001);
  p.SetDrive(true);
  Hold(p, 0.3, 0.2 * kRadius);
  EXPECT_EQ(p.Torque(), 0.0);  // never commanded
  EXPECT_NEAR(p.Angle(), 0.2, 1e-6);
  p.SetDrive(false);
  p.SetMotor(3000);
  Hold(p, 0.3, 0.2 * kRadius);
  EXPECT_EQ(p.Torque(), 0.0);
  EXPECT_NEAR(p.Angle(), 0.2, 1e-6);
  p.SetDrive(true);
  Hold(p, 0.3, 0.2 * kRadius);
  EXPECT_GT(p.Angle(), 0.3);
}

TEST(VirtualPincher, CommandsBeyondTheDacAreLimited) {
  Pincher p;
  p.SetDrive(true);
  p.SetMotor(30000);
  EXPECT_DOUBLE_EQ(p.Torque(), TorqueOf(4095));
  p.SetMotor(-100);
  EXPECT_DOUBLE_EQ(p.Torque(), TorqueOf(0));
  p.SetMotor(2048);
  EXPECT_EQ(p.Torque(), 0.0);
}

TEST(VirtualPincher, EndStopsHoldTheFinger) {
  Pincher p;
  // a hand that opens wider than the finger goes
  Hold(p, 0.05, 1.0);
  EXPECT_EQ(p.Angle(), Pincher::kAngleMax);
  EXPECT_EQ(p.Rate(), 0.0);
  EXPECT_LE(p.Encoder(), 32768 + static_cast<int>(std::lround(0.6 / kFingerPerMotorTurn * 4000.0)));
  // the full motor against a soft hand stays there too
  p.SetHandSpring(0.01, 0.001);
  p.SetDrive(true);
  p.SetMotor(4095);
  Hold(p, 0.2, 0.5 * kRadius);
  EXPECT_EQ(p.Angle(), Pincher::kAngleMax);
  // a squeeze past the thumb, and a hand that makes no sense, close it
  p.SetMotor(2048);
  p.SetHandSpring(2.0, 0.006);
  Hold(p, 0.05, -1.0);
  EXPECT_EQ(p.Angle(), 0.0);
  EXPECT_EQ(p.Encoder(), 32768);
  Hold(p, 0.05, 0.2 * kRadius);
  Hold(p, 0.05, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(p.Angle(), 0.0);
}

TEST(VirtualPincher, AnyGripTheTestSetsStaysStable) {
  Pincher p;
  const double grips[][2] = {{1e5, 0.0}, {1e5, 50.0}, {0.0, 0.0}, {1e-3, 1e3}};
  for (const auto &g : grips) {
    p.SetHandSpring(g[0], g[1]);
    EXPECT_EQ(p.Stiffness(), g[0]);
    Hold(p, 0.05, 0.25 * kRadius);
    EXPECT_TRUE(std::isfinite(p.Angle()) && std::isfinite(p.Rate())) << g[0] << " " << g[1];
    EXPECT_GE(p.Angle(), 0.0);
    EXPECT_LE(p.Angle(), Pincher::kAngleMax);
  }
  p.SetHandSpring(1e5, 50.0);
  Hold(p, 0.05, 0.25 * kRadius);
  EXPECT_NEAR(p.Angle(), 0.25, 1e-3);
  // values no hand has leave the grip as it was
  p.SetHandSpring(-1.0, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(p.Stiffness(), 1e5);
  EXPECT_EQ(p.Damping(), 50.0);
}

// ---- through the firmware ----

void Send(Device &d, const Bytes &cmd) { d.Write(cmd.data(), static_cast<int>(cmd.size()), 0.0); }

// the masked motor command with motors 0 to 3 (the arms at zero force)
Bytes Motors(int gripper) {
  Bytes cmd = {0x21, 0x0F};
  const int m[4] = {2048, 2048, 2048, gripper};
  for (int v : m) {
    cmd.push_back(static_cast<unsigned char>(v >> 8));
    cmd.push_back(static_cast<unsigned char>(v));
  }
  return cmd;
}

HandPose Opening(double metres) {
  HandPose h;
  h.gripper = metres;
  return h;
}

MechanismState Now(const Device &d) {
  MechanismState s;
  EXPECT_TRUE(d.GetMechanism(&s));
  return s;
}

TEST(VirtualPincher, MotorThreeTurnsTheFingerOfBothHands) {
  for (int code : {35, 37}) {
    Device d(code, false, true);
    d.SetGripperHandSpring(0.1, 0.002);
    d.SetHand(Opening(0.15 * kRadius));
    d.Advance(0.3);
    MechanismState s = Now(d);
    ASSERT_TRUE(s.hasGripper);
    EXPECT_NEAR(s.gripperAngle, 0.15, 1e-4);
    EXPECT_NEAR(s.gripperHand, 0.15, 1e-12);
    Send(d, {0xA2, 1});
    Send(d, Motors(2048 + 100));
    d.Advance(0.5);
    s = Now(d);
    EXPECT_DOUBLE_EQ(s.gripperTorque, TorqueOf(2148));
    EXPECT_NEAR(s.gripperAngle, 0.15 + TorqueOf(2148) / 0.1, 1e-4) << code;
    const int counts = static_cast<int>(std::lround(s.gripperAngle / kFingerPerMotorTurn * 4000.0));
    EXPECT_EQ(d.Encoder(6), code == 37 ? 32768 - counts : 32768 + counts);
    // the single-motor command reaches it too; off, the hand has it back
    Send(d, {0x20, 3, 2048 >> 8, 2048 & 0xFF});
    d.Advance(0.5);
    EXPECT_NEAR(Now(d).gripperAngle, 0.15, 1e-4) << code;
    Send(d, Motors(2600));
    Send(d, {0xA2, 0});
    d.Advance(0.5);
    EXPECT_EQ(Now(d).gripperTorque, 0.0);
    EXPECT_NEAR(Now(d).gripperAngle, 0.15, 1e-4) << code;
  }
}

TEST(VirtualPincher, PresetShiftsTheCounterNotTheFinger) {
  Device d(35, false, true);
  d.SetHand(Opening(0.1 * kRadius));
  d.Advance(0.05);
  const int before = d.Encoder(6);
  // preset channel 6 to 40000 (16-bit fields, channel c at 2 + 2c)
  Bytes preset(2 + 2 * 8, 0);
  preset[0] = 0x0C;
  preset[1] = 1 << 6;
  preset[2 + 2 * 6] = 40000 >> 8;
  preset[3 + 2 * 6] = 40000 & 0xFF;
  Send(d, preset);
  EXPECT_EQ(d.Encoder(6), 40000);
  EXPECT_NEAR(Now(d).gripperAngle, 0.1, 1e-4);
  d.SetHand(Opening(0.3 * kRadius));
  d.Advance(0.05);
  const int moved = static_cast<int>(std::lround(0.2 / kFingerPerMotorTurn * 4000.0));
  EXPECT_NEAR(d.Encoder(6), 40000 + moved, 1);
  EXPECT_NEAR(d.Encoder(6) - 40000, Now(d).gripperAngle / kFingerPerMotorTurn * 4000.0 - (before - 32768), 1);
}

// the library's pincher model reads the finger and drives the motor of the device
TEST(VirtualPincher, LibraryModelReadsTheFingerAndItsForceIsTheFingersTorque) {
  tkxPincher lib;
  ASSERT_EQ(lib.SetConfig(35), 0);
  Device d(35, false, true);
  d.SetGripperHandSpring(0.5, 0.003);
  Send(d, {0xA2, 1});
  for (double opening : {0.05, 0.2, 0.45}) {
    d.SetHand(Opening(opening * kRadius));
    short m = 0;
    ASSERT_EQ(lib.FrcToMot(0.0, &m), 0);
    Send(d, Motors(m));
    d.Advance(0.3);
    double a = 0.0;
    ASSERT_EQ(lib.EncToRot(d.Encoder(6), &a), 0);
    EXPECT_NEAR(a, opening, 1e-4);
    // 1 N at the fingertip: the torque the motor gives is that force on the finger's
    // length, to a DAC count
    ASSERT_EQ(lib.FrcToMot(1.0, &m), 0);
    Send(d, Motors(m));
    d.Advance(0.3);
    EXPECT_NEAR(Now(d).gripperTorque, 1.0 * kRadius, 1.0 / kCountsPerNm) << opening;
    ASSERT_EQ(lib.EncToRot(d.Encoder(6), &a), 0);
    EXPECT_NEAR(a, opening + kRadius / 0.5, 2.0 / kCountsPerNm / 0.5) << opening;
  }
}

TEST(VirtualPincher, LeftGripperIsTheMirrorImageOfTheRight) {
  tkxPincher right, left;
  ASSERT_EQ(right.SetConfig(35), 0);
  ASSERT_EQ(left.SetConfig(37), 0);
  left.SetLeftHanded(true);
  ASSERT_EQ(left.Update(), 0);
  Device r(35, false, true), l(37, false, true);
  double I[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (double opening : {0.0, 0.15, 0.4}) {
    r.SetHand(Opening(opening * kRadius));
    l.SetHand(Opening(opening * kRadius));
    r.Advance(0.05);
    l.Advance(0.05);
    // the same finger, turned the other way about its encoder
    EXPECT_EQ(l.Encoder(6) - 32768, 32768 - r.Encoder(6));
    EXPECT_NEAR(Now(l).gripperAngle, Now(r).gripperAngle, 1e-12);
    double f[3], g[3];
    ASSERT_EQ(right.EncToFinger(r.Encoder(6), I, &f[0], &f[1], &f[2]), 0);
    ASSERT_EQ(left.EncToFinger(l.Encoder(6), I, &g[0], &g[1], &g[2]), 0);
    EXPECT_NEAR(g[0], f[0], 1e-12) << opening;
    EXPECT_NEAR(g[1], -f[1], 1e-12) << opening;
    EXPECT_NEAR(g[2], f[2], 1e-12) << opening;
  }
}

TEST(VirtualPincher, TypesWithoutOneLeaveMotorThreeAndChannelSixAlone) {
  for (int code : {34, 36, 33}) {
    Device d(code, false, true);
    d.SetHand(Opening(0.3 * kRadius));
    Send(d, {0xA2, 1});
    Send(d, {0x20, 3, 0x0F, 0xFF});
    d.Advance(0.1);
    const MechanismState s = Now(d);
    EXPECT_FALSE(s.hasGripper) << code;
    EXPECT_EQ(s.gripperTorque, 0.0);
    EXPECT_EQ(d.Encoder(6), 32768) << code;
  }
}

}  // namespace
