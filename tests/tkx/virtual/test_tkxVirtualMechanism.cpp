// The virtual device's mechanism: its kinematics against the library's model, and its
// physics driven through the firmware with explicitly stepped time.
#include "tkx/tkxTrion.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxWrist.h"
#include "tkx/virtual/tkxVirtualDevice.h"
#include "tkx/virtual/tkxVirtualMechanism.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using tkx::virt::Device;
using tkx::virt::HandPose;
using tkx::virt::MechanismState;
using tkx::virt::TrionCalibration;
using tkx::virt::TrionKinematics;
using Bytes = std::vector<unsigned char>;

constexpr double kPi = 3.14159265358979323846;

int SystemTypeOf(int code) { return code == 3 ? 32 : code; }

// the pinch gripper's mass, which the library adds to the effector of 35 and 37
constexpr double kPincherMass = 0.1;

// the library's model, loaded with the calibration the device ships
void LoadShipped(tkxTrion &lib, int code) {
  const TrionCalibration cal = TrionCalibration::Factory(SystemTypeOf(code));
  lib.SetConfig(SystemTypeOf(code));
  for (int id = 120; id <= 167; ++id) lib.SetParam(id, cal(id));
  // the effector carries the active wrist or the pinch gripper, as the device core adds them
  if (tkx::LookUpType(SystemTypeOf(code)).HasWrist()) {
    lib.SetAdditionalMass(tkxWrist::DefaultParam(tkxWrist::kMassParam));
    lib.Update();
  }
  if (tkx::LookUpType(SystemTypeOf(code)).HasGripper()) {
    lib.SetAdditionalMass(kPincherMass);
    lib.Update();
  }
}

// a device with its mechanism, driven through its firmware as a haptic loop would,
// with the library's model converting forces; time moves only when the test says
class Rig {
 public:
  explicit Rig(int code) : code_(code), dev(code, false, true) {
    LoadShipped(lib, code);
    // damped enough to settle the trion.6's effector, wrist and all
    dev.SetHandSpring(tkx::virt::Mechanism::kHandStiffness, 6.0);
    Send({0xA2, 1});  // force output on
  }

  void Send(const Bytes &cmd) { dev.Write(cmd.data(), static_cast<int>(cmd.size()), 0.0); }

  // the three arm encoders from the next reply
  void Encoders(int e[3]) {
    unsigned char r[64] = {};
    int n = 0;
    dev.Read(r, 64, &n, 0.0);
    const bool wide = dev.EncoderBits() == 24;
    for (int i = 0; i < 3; ++i) {
      if (wide) {
        const uint32_t v = r[4 * i] | r[4 * i + 1] << 8 | r[4 * i + 2] << 16;
        e[i] = static_cast<int32_t>(v ^ 0x800000u) - 0x800000;
      } else {
        e[i] = r[2 * i] | r[2 * i + 1] << 8;
      }
    }
  }

  // one haptic step: read the encoders, command the force the library converts, let dt pass
  void Step(double fx, double fy, double fz, double dt) {
    Send({0x2A});
    int e[3];
    Encoders(e);
    short m[3] = {2048, 2048, 2048};
    ASSERT_EQ(lib.FrcToMot(fx, fy, fz, e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
    Bytes cmd = {0x1E};
    for (short v : m) {
      cmd.push_back(static_cast<unsigned char>(static_cast<uint16_t>(v) >> 8));
      cmd.push_back(static_cast<unsigned char>(v));
    }
    Send(cmd);
    Encoders(e);  // the motor command's reply
    dev.Advance(dt);
  }

  void Run(double seconds, double fz = 0.0, double dt = 0.00025) {
    const int n = static_cast<int>(std::lround(seconds / dt));
    for (int i = 0; i < n; ++i) Step(0.0, 0.0, fz, dt);
  }

  MechanismState Now() const {
    MechanismState s;
    EXPECT_TRUE(dev.GetMechanism(&s));
    return s;
  }

  void Hand(double x, double y, double z) {
    HandPose h;
    h.target[0] = x, h.target[1] = y, h.target[2] = z;
    dev.SetHand(h);
  }

  int code_;
  Device dev;
  tkxTrion lib;
};

double Distance(const double a[3], const double b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// ---- kinematics against the library's model ----

class Kinematics : public ::testing::TestWithParam<int> {};

TEST_P(Kinematics, ForwardAgreesWithTheClosedForm) {
  const int code = GetParam();
  tkxTrion lib;
  LoadShipped(lib, code);
  const TrionCalibration cal = TrionCalibration::Factory(SystemTypeOf(code));
  const TrionKinematics kin(cal);
  const double k = cal(122) * 2.0 * kPi / (cal(124) * cal(125));
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> angle(-0.6, 1.4);
  int compared = 0;
  for (int n = 0; n < 2000; ++n) {
    const double th[3] = {angle(gen), angle(gen), angle(gen)};
    int e[3];
    for (int i = 0; i < 3; ++i) e[i] = static_cast<int>(std::floor(kin.Counts(th[i])));
    double lib3[3];
    if (lib.EncToPos(e[0], e[1], e[2], &lib3[0], &lib3[1], &lib3[2]) != 0) continue;
    // the angles the library reads in those encoders
    const double at[3] = {e[0] * k + cal(131), e[1] * k + cal(131), e[2] * k + cal(131)};
    double own[3];
    ASSERT_TRUE(kin.Forward(at, own)) << n;
    EXPECT_LT(Distance(own, lib3), 1e-9) << n;
    ++compared;
  }
  EXPECT_GT(compared, 1500);
}

TEST_P(Kinematics, InverseAgreesWithTheClosedForm) {
  const int code = GetParam();
  tkxTrion lib;
  LoadShipped(lib, code);
  const TrionCalibration cal = TrionCalibration::Factory(SystemTypeOf(code));
  const TrionKinematics kin(cal);
  const double half = cal(133) / 2.0;
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> coord(-half, half);
  int compared = 0;
  for (int n = 0; n < 2000; ++n) {
    const double p[3] = {coord(gen), coord(gen), coord(gen)};
    int e[3];
    if (lib.PosToEnc(p[0], p[1], p[2], &e[0], &e[1], &e[2]) != 0) continue;
    double th[3];
    ASSERT_TRUE(kin.Inverse(p, th)) << n;
    for (int i = 0; i < 3; ++i) {
      // the library truncates; the same count unless the angle lies on a count's edge
      const double c = kin.Counts(th[i]);
      if (std::fabs(c - std::round(c)) < 1e-6) continue;
      EXPECT_EQ(static_cast<int>(c), e[i]) << n << " arm " << i;
    }
    // and each model's answer is the other's question
    double back[3];
    ASSERT_TRUE(kin.Forward(th, back));
    EXPECT_LT(Distance(back, p), 1e-12);
    ++compared;
  }
  EXPECT_GT(compared, 200);
}

INSTANTIATE_TEST_SUITE_P(Types, Kinematics, ::testing::Values(33, 61, 63, 101, 3));

TEST(KinematicsLimits, PointsOutOfReachAreRefused) {
  TrionCalibration cal = TrionCalibration::Factory(33);
  const TrionKinematics kin(cal);
  double th[3];
  const double far[3] = {0.0, 0.5, 0.0};
  EXPECT_FALSE(kin.Inverse(far, th));
  // lower arms too short to join elbows that far apart leave no point at all
  cal.p[137 - 120] = 0.05;
  const TrionKinematics shortArms(cal);
  const double level[3] = {0.0, 0.0, 0.0};
  double p[3];
  EXPECT_FALSE(shortArms.Forward(level, p));
}

// ---- the mechanism through its firmware ----

TEST(Mechanism, OnlyThreeArmTypesAskedForOneHaveIt) {
  EXPECT_TRUE(Device(61, false, true).HasMechanism());
  EXPECT_TRUE(Device(3, true, true).HasMechanism());
  EXPECT_FALSE(Device(61, false).HasMechanism());
  EXPECT_FALSE(Device(82, false, true).HasMechanism());
  MechanismState s;
  EXPECT_FALSE(Device(81, false, true).GetMechanism(&s));
}

TEST(Mechanism, EncodersAreTheArmAnglesInShippedCounts) {
  for (int code : {61, 33, 101}) {
    Rig rig(code);
    rig.Hand(0.01, -0.02, 0.015);
    rig.Run(1.0);
    const MechanismState s = rig.Now();
    const TrionKinematics kin(TrionCalibration::Factory(SystemTypeOf(code)));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rig.dev.Encoder(i), static_cast<int>(std::floor(kin.Counts(s.arms[i]))));
    // the library reads the effector from them to within a count's travel
    double p[3];
    ASSERT_EQ(rig.lib.EncToPos(rig.dev.Encoder(0), rig.dev.Encoder(1), rig.dev.Encoder(2), &p[0], &p[1], &p[2]), 0);
    EXPECT_LT(Distance(p, s.effector), 1e-4) << code;
  }
}

TEST(Mechanism, HandSpringPullsTheEffectorToItsTarget) {
  for (int code : {61, 33}) {
    Rig rig(code);
    rig.Hand(0.02, 0.03, -0.01);
    rig.Run(1.5);
    const MechanismState s = rig.Now();
    EXPECT_LT(Distance(s.effector, s.hand.target), 2e-4) << code;
    EXPECT_LT(std::fabs(s.velocity[0]) + std::fabs(s.velocity[1]) + std::fabs(s.velocity[2]), 1e-3) << code;
  }
}

TEST(Mechanism, MotorCommandsBecomeTheRequestedForce) {
  const double forces[][3] = {{1, 0, 0}, {0, -2, 0}, {0, 0, 3}, {-1.5, 1, 0.5}};
  for (int code : {61, 101}) {
    Rig rig(code);
    rig.lib.SetGravityCompensation(false, 0.0);
    rig.Hand(-0.01, 0.02, 0.01);
    rig.Run(0.5);
    for (const auto &f : forces) {
      const int e[3] = {rig.dev.Encoder(0), rig.dev.Encoder(1), rig.dev.Encoder(2)};
      short m[3];
      ASSERT_EQ(rig.lib.FrcToMot(f[0], f[1], f[2], e[0], e[1], e[2], &m[0], &m[1], &m[2]), 0);
      rig.Send({0x1E, static_cast<unsigned char>(m[0] >> 8), static_cast<unsigned char>(m[0]),
                static_cast<unsigned char>(m[1] >> 8), static_cast<unsigned char>(m[1]),
                static_cast<unsigned char>(m[2] >> 8), static_cast<unsigned char>(m[2])});
      const MechanismState s = rig.Now();
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.motorForce[k], f[k], 0.03) << code << " axis " << k;
    }
    // with force output off the motors push nothing
    rig.Send({0xA2, 0});
    rig.dev.Advance(0.001);
    const MechanismState off = rig.Now();
    for (int k = 0; k < 3; ++k) EXPECT_EQ(off.motorForce[k], 0.0);
  }
}

TEST(Mechanism, ForceAgainstTheHandMovesTheEffectorByForceOverStiffness) {
  for (int code : {61, 33}) {
    Rig rig(code);
    rig.Run(1.0);
    const MechanismState before = rig.Now();
    rig.Run(1.0, 2.0);
    const MechanismState after = rig.Now();
    EXPECT_NEAR(after.effector[2] - before.effector[2], 0.010, 0.0005) << code;
    EXPECT_NEAR(after.effector[0], before.effector[0], 0.0005) << code;
    EXPECT_NEAR(after.effector[1], before.effector[1], 0.0005) << code;
  }
}

TEST(Mechanism, CompensatedGravityFloatsAndUncompensatedFalls) {
  for (int code : {61, 33, 35, 37}) {
    Rig rig(code);
    rig.Run(0.5);
    rig.dev.SetHandSpring(0.0, 0.0);
    const MechanismState start = rig.Now();
    rig.Run(1.0);
    EXPECT_LT(Distance(rig.Now().effector, start.effector), 0.002) << code;

    rig.lib.SetGravityCompensation(false, 0.0);
    rig.Run(0.3);
    EXPECT_LT(rig.Now().effector[2] - start.effector[2], -0.02) << code;
  }
}

TEST(Mechanism, EffectorCarriesThePinchGrippersMass) {
  Rig rig(35);
  rig.Run(0.5);
  rig.dev.SetHandSpring(0.0, 0.0);
  // compensated for the effector without the gripper, the gripper's weight pulls it down
  rig.lib.SetAdditionalMass(0.0);
  rig.lib.Update();
  const MechanismState start = rig.Now();
  rig.Run(0.5);
  EXPECT_LT(rig.Now().effector[2] - start.effector[2], -0.01);
}

TEST(Mechanism, WristEncodersAreTheLegLengthsOfTheHandsAngles) {
  Rig rig(61);
  tkxWrist lib;
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> angle(-0.6, 0.6);
  for (int n = 0; n < 20; ++n) {
    HandPose h;
    for (double &a : h.angles) a = angle(rng);
    rig.dev.SetHand(h);
    rig.Run(1.0);
    // without wrist commands the hand alone turns the wrist, to its angles
    double r[3];
    ASSERT_EQ(lib.EncToRot(rig.dev.Encoder(3), rig.dev.Encoder(4), rig.dev.Encoder(5), &r[0], &r[1], &r[2]), 0);
    // half a count of leg length is a few 1e-4 rad
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[k], h.angles[k], 1e-3) << n << " " << k;
  }
}

TEST(Mechanism, BrakedArmsSinkSlowlyWithoutForce) {
  Rig rig(61);
  rig.Send({0xA2, 0});
  rig.dev.SetHandSpring(0.0, 0.0);
  const MechanismState start = rig.Now();
  rig.dev.Advance(0.2);
  const double braked = rig.Now().effector[2] - start.effector[2];
  rig.Send({0x15});  // brakes off
  rig.dev.Advance(0.2);
  const double free = rig.Now().effector[2] - start.effector[2] - braked;
  EXPECT_LT(braked, 0.0);
  EXPECT_LT(free, 5 * braked);
}

// ---- time ----

TEST(Mechanism, StepsAreFixedWhateverTheExchangeInterval) {
  // the same commands held over the same host time give the same motion, bit for bit
  auto run = [](double interval) {
    Device d(61, false, true);
    const Bytes force = {0xA2, 1}, motors = {0x1E, 0x08, 0x40, 0x07, 0xC0, 0x08, 0x20};
    d.Write(force.data(), 2, 10.0);
    d.Write(motors.data(), 7, 10.0);
    const Bytes read = {0x2A};
    const int n = static_cast<int>(std::lround(0.4 / interval));
    for (int i = 1; i <= n; ++i) d.Write(read.data(), 1, 10.0 + i * interval);
    MechanismState s;
    d.GetMechanism(&s);
    return s;
  };
  const MechanismState fast = run(0.00025), slow = run(0.05);
  EXPECT_NEAR(fast.time, 0.4, 1e-4);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(fast.effector[k], slow.effector[k]);
}

TEST(Mechanism, StableWhenTheLoopRunsSlowly) {
  for (double dt : {0.00025, 0.01, 0.05}) {
    Rig rig(61);
    rig.Hand(0.03, -0.03, 0.02);
    rig.Run(2.0, 0.0, dt);
    const MechanismState s = rig.Now();
    EXPECT_TRUE(std::isfinite(s.effector[0]) && std::isfinite(s.effector[1]) && std::isfinite(s.effector[2]));
    EXPECT_LT(Distance(s.effector, s.hand.target), 0.001) << dt;
  }
}

TEST(Mechanism, TimeFollowsTheHostUntilSteppedByHand) {
  Device d(61, false, true);
  const Bytes read = {0x2A};
  d.Write(read.data(), 1, 100.0);  // the start
  d.Write(read.data(), 1, 100.5);
  MechanismState s;
  d.GetMechanism(&s);
  EXPECT_NEAR(s.time, 0.5, 1e-9);
  // a long silence counts only up to the catch-up limit, and then time goes on
  d.Write(read.data(), 1, 200.5);
  d.Write(read.data(), 1, 200.75);
  d.GetMechanism(&s);
  EXPECT_NEAR(s.time, 1.75, 1e-6);
  // stepped by hand, the host's clock no longer counts
  d.Advance(0.25);
  d.Write(read.data(), 1, 900.0);
  d.GetMechanism(&s);
  EXPECT_NEAR(s.time, 2.0, 1e-6);
  // until it is handed back: the next transfer restarts the count from its time
  d.FollowHostTime();
  d.Write(read.data(), 1, 1000.0);
  d.Write(read.data(), 1, 1000.1);
  d.GetMechanism(&s);
  EXPECT_NEAR(s.time, 2.1, 1e-6);
  // not a number, or a clock going back, moves nothing; nor does an absurd jump hang
  d.Write(read.data(), 1, std::nan(""));
  d.Write(read.data(), 1, 5.0);
  d.GetMechanism(&s);
  EXPECT_NEAR(s.time, 2.1, 1e-6);
  d.Write(read.data(), 1, 1e300);
  d.Advance(1e300);
  d.GetMechanism(&s);
  EXPECT_TRUE(std::isfinite(s.effector[0]));
}

// ---- counters, buttons and the gripper ----

TEST(Mechanism, PresetMovesTheCounterNotTheArm) {
  Rig rig(61);
  rig.Run(0.1);
  const MechanismState before = rig.Now();
  const int e1 = rig.dev.Encoder(1);
  rig.Send({0x0C, 0x01, 0x12, 0x34});
  EXPECT_EQ(rig.dev.Encoder(0), 0x1234);
  EXPECT_EQ(rig.dev.Encoder(1), e1);
  EXPECT_TRUE(rig.dev.HasMechanism());
  const MechanismState after = rig.Now();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(after.arms[i], before.arms[i]);
  // the counter keeps its new origin as the arm moves on
  rig.Hand(0.0, 0.0, 0.02);
  rig.Run(0.5);
  const TrionKinematics kin(TrionCalibration::Factory(61));
  const double moved = std::floor(kin.Counts(rig.Now().arms[0])) - std::floor(kin.Counts(after.arms[0]));
  EXPECT_EQ(rig.dev.Encoder(0), 0x1234 + static_cast<int>(moved));
}

TEST(Mechanism, SettingAnArmEncoderSwitchesTheMechanismOff) {
  Device d(61, false, true);
  d.SetEncoder(4, 77);  // the wrist's channel is not the mechanism's
  EXPECT_TRUE(d.HasMechanism());
  d.SetEncoder(1, 4321);
  EXPECT_FALSE(d.HasMechanism());
  const Bytes motors = {0xA2, 1};
  d.Write(motors.data(), 2, 1.0);
  d.Advance(1.0);
  const Bytes read = {0x2A};
  d.Write(read.data(), 1, 2.0);
  EXPECT_EQ(d.Encoder(1), 4321);
  // and on a gripper type, the gripper's channel too
  Device g(35, false, true);
  g.SetEncoder(6, 32768);
  EXPECT_FALSE(g.HasMechanism());
}

TEST(Mechanism, ButtonAndGripperFollowTheHand) {
  Device d(35, false, true);
  EXPECT_EQ(d.Encoder(6), 32768);
  HandPose h;
  h.button = true;
  h.gripper = 0.0525 * kPi / 8;  // an eighth of a turn of the finger
  d.SetHand(h);
  EXPECT_EQ(d.Buttons() & 1, 1);
  // the finger follows the hand within a few ms
  d.Advance(0.02);
  EXPECT_NEAR(d.Encoder(6), 32768 + 4000 * 14.29 / 16, 1);
  // a test's own buttons stand until the hand's button changes
  d.SetButtons(0x04);
  d.Advance(0.01);
  EXPECT_EQ(d.Buttons(), 0x04);
  h.button = false;
  d.SetHand(h);
  h.button = true;
  d.SetHand(h);
  EXPECT_EQ(d.Buttons(), 0x05);
  // a device without a gripper channel leaves channel 6 alone
  Device plain(61, false, true);
  plain.SetHand(h);
  EXPECT_EQ(plain.Encoder(6), 32768);
}

}  // namespace
