// The whole library against virtual polux devices: what an application sees
// through the C entries when a hand turns the stylus and works the pinch gripper
// of a polux.7 (35, 37) or the stylus of a polux.6 (34, 36). Runs with
// TKX_VIRTUAL_DEVICES=35,37,34,36 and TKX_VIRTUAL_RATE=0; the library's clock is
// stepped by the test, and the devices' time follows it.
#include "tkx/tkxTime.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

using tkx::virt::HandPose;

constexpr double kStep = 0.00025;   // one haptic step at 4 kHz
constexpr double kRadius = 0.0525;  // m, pivot to fingertip

double fakeClock = 0.0;
double FakeClock() { return fakeClock; }

int SlotOf(int code) {
  switch (code) {
    case 35:
      return 0;
    case 37:
      return 1;
    case 34:
      return 2;
    default:
      return 3;
  }
}

bool HasGripper(int code) { return code == 35 || code == 37; }
bool LeftHanded(int code) { return code == 36 || code == 37; }

// the finger tip and thumb in the effector frame at a finger angle a, worked out
// from the gripper's shape: the thumb 20 mm off the pivot side, the 52.5 mm finger
// on a pivot 52.5 mm out at 35 degrees, at 152.6 degrees from it when closed;
// the left hand's the mirror image in y
void Grip(double a, bool left, double finger[3], double thumb[3]) {
  const double pi = 3.14159265358979323846;
  const double psi = 35.0 * pi / 180.0, closed = 152.6 * pi / 180.0;
  const double turn = psi + closed - a;
  finger[0] = kRadius * std::cos(turn) + kRadius * std::cos(psi);
  finger[1] = kRadius * std::sin(turn) + kRadius * std::sin(psi);
  finger[2] = 0.0;
  thumb[0] = 0.0, thumb[1] = -0.02, thumb[2] = 0.0;
  if (left) finger[1] = -finger[1], thumb[1] = -thumb[1];
}

double Distance(const double a[3], const double b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

class Polux : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    tkx::testing::SetRawClock(&FakeClock);
    ASSERT_EQ(tkxGetDeviceCount(), 4);
    id_ = static_cast<signed char>(SlotOf(GetParam()));
    ASSERT_EQ(tkxOpenID(id_), id_);
    ASSERT_EQ(tkxGetSystemType(id_), GetParam());
    const auto devices = tkx::virt::Devices();
    ASSERT_EQ(devices.size(), 4u);
    dev_ = devices[static_cast<size_t>(id_)];
    ASSERT_TRUE(dev_->HasMechanism());
    dev_->SetHandSpring(200.0, 6.0);
    Hand(HandPose());
    ASSERT_EQ(tkxEnableExpertMode(), 0);
    ASSERT_EQ(tkxEnableForce(1, id_), 0);
    ASSERT_EQ(tkxSetGravityCompensation(1, id_), 0);
    // past the compensation's fade and the first swing
    Run(1.0);
  }
  void TearDown() override {
    tkxClose(id_);
    tkx::testing::SetRawClock(nullptr);
  }

  void Hand(const HandPose &h) {
    hand_ = h;
    dev_->SetHand(h);
  }
  void HandGripper(double angle) {
    HandPose h = hand_;
    h.gripper = angle * kRadius;
    Hand(h);
  }
  void HandAngles(double r0, double r1, double r2) {
    HandPose h = hand_;
    h.angles[0] = r0, h.angles[1] = r1, h.angles[2] = r2;
    Hand(h);
  }

  // one haptic step: the time moves on, the position is read, the force and the
  // gripper force commanded
  void Step(double fg) {
    fakeClock += kStep;
    double p[3];
    ASSERT_EQ(tkxGetPosition(&p[0], &p[1], &p[2], id_), 0);
    if (HasGripper(GetParam())) {
      ASSERT_GE(tkxSetForceAndGripperForce(0.0, 0.0, 0.0, fg, id_), 0);
    } else {
      ASSERT_GE(tkxSetForce(0.0, 0.0, 0.0, id_), 0);
    }
  }
  void Run(double seconds, double fg = 0.0) {
    const int n = static_cast<int>(std::lround(seconds / kStep));
    for (int i = 0; i < n && !HasFatalFailure(); ++i) Step(fg);
  }
  double GripperAngle() {
    double a = 0.0;
    EXPECT_EQ(tkxGetGripperAngleRad(&a, id_), 0);
    return a;
  }

  signed char id_ = 0;
  std::shared_ptr<tkx::virt::Device> dev_;
  HandPose hand_;
};

// ---- the stylus, on every polux ----

TEST_P(Polux, HandsStylusAnglesAreReadBackAsTheOrientation) {
  std::mt19937 rng(static_cast<unsigned>(GetParam()));
  std::uniform_real_distribution<double> turn(-1.2, 1.2);
  for (int n = 0; n < 6; ++n) {
    const double a[3] = {turn(rng), turn(rng), turn(rng)};
    HandAngles(a[0], a[1], a[2]);
    Run(0.01);
    double r[3];
    ASSERT_GE(tkxGetOrientationRad(&r[0], &r[1], &r[2], id_), 0);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[k], a[k], 0.01) << "angle " << k;
  }
}

TEST_P(Polux, CompensatedEffectorFloatsWithWhatItCarries) {
  // the library counts the gripper the device carries, so nothing is left to sag
  double mass = 0.0;
  ASSERT_EQ(tkxGetEffectorMass(&mass, id_), 0);
  dev_->SetHandSpring(0.0, 0.0);
  double start[3], end[3];
  ASSERT_EQ(tkxGetPosition(&start[0], &start[1], &start[2], id_), 0);
  Run(1.0);
  ASSERT_EQ(tkxGetPosition(&end[0], &end[1], &end[2], id_), 0);
  EXPECT_LT(Distance(start, end), 0.002) << "effector mass " << mass;
}

INSTANTIATE_TEST_SUITE_P(Types, Polux, ::testing::Values(35, 37, 34, 36));

// ---- the pinch gripper of the polux.7 ----

class Gripper : public Polux {};

TEST_P(Gripper, HandsOpeningIsReadBackAsTheGripperAngle) {
  // the left gripper's encoder counts the other way and the library reads its
  // count as it comes, so its angle is the opening negated
  const double sign = LeftHanded(GetParam()) ? -1.0 : 1.0;
  for (double a : {0.1, 0.35, 0.5, 0.0}) {
    HandGripper(a);
    Run(0.05);
    EXPECT_NEAR(GripperAngle(), sign * a, 0.01) << a;
  }
}

TEST_P(Gripper, FingerAndThumbAreTheGripAtTheHandsOpening) {
  HandAngles(0.3, -0.4, 0.5);
  for (double a : {0.0, 0.2, 0.45}) {
    HandGripper(a);
    Run(0.05);
    double p[3], R[3][3], f[3], t[3];
    ASSERT_GE(tkxGetPositionAndOrientationFrame(&p[0], &p[1], &p[2], R, id_), 0);
    ASSERT_GE(tkxGetGripperFingerPos(&f[0], &f[1], &f[2], id_), 0);
    ASSERT_GE(tkxGetGripperThumbPos(&t[0], &t[1], &t[2], id_), 0);
    // back in the effector frame, the points are the grip's shape at that opening,
    // mirrored on the left hand
    double fl[3], tl[3], want[2][3];
    for (int i = 0; i < 3; ++i) {
      fl[i] = R[0][i] * (f[0] - p[0]) + R[1][i] * (f[1] - p[1]) + R[2][i] * (f[2] - p[2]);
      tl[i] = R[0][i] * (t[0] - p[0]) + R[1][i] * (t[1] - p[1]) + R[2][i] * (t[2] - p[2]);
    }
    Grip(a, LeftHanded(GetParam()), want[0], want[1]);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(fl[i], want[0][i], 5e-4) << "finger " << i << " at " << a;
      EXPECT_NEAR(tl[i], want[1][i], 1e-9) << "thumb " << i << " at " << a;
    }
    EXPECT_NEAR(Distance(f, t), Distance(want[0], want[1]), 5e-4) << a;
  }
}

TEST_P(Gripper, GripperForceOpensASoftHandsGrip) {
  dev_->SetGripperHandSpring(0.5, 0.003);
  HandGripper(0.2);
  Run(0.3);
  const double sign = LeftHanded(GetParam()) ? -1.0 : 1.0;
  const double held = sign * GripperAngle();
  EXPECT_NEAR(held, 0.2, 0.01);
  double f0[3], t0[3], f1[3], t1[3];
  ASSERT_GE(tkxGetGripperFingerPos(&f0[0], &f0[1], &f0[2], id_), 0);
  ASSERT_GE(tkxGetGripperThumbPos(&t0[0], &t0[1], &t0[2], id_), 0);
  // 1 N at the fingertip, 0.0525 N m against 0.5 N m/rad
  Run(0.3, 1.0);
  const double pushed = sign * GripperAngle();
  EXPECT_NEAR(pushed - held, kRadius / 0.5, 0.005);
  ASSERT_GE(tkxGetGripperFingerPos(&f1[0], &f1[1], &f1[2], id_), 0);
  ASSERT_GE(tkxGetGripperThumbPos(&t1[0], &t1[1], &t1[2], id_), 0);
  EXPECT_GT(Distance(f1, t1), Distance(f0, t0) + 0.003);
  // and lets go again
  Run(0.3, 0.0);
  EXPECT_NEAR(sign * GripperAngle(), 0.2, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Polux7, Gripper, ::testing::Values(35, 37));

}  // namespace
