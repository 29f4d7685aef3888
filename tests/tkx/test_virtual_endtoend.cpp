// The whole library against virtual devices with a simulated mechanism: what an
// application sees through the C entries when a hand holds a trion.6 (61) or a
// polux.3 (33). Runs with TKX_VIRTUAL_DEVICES=61,33 and TKX_VIRTUAL_RATE=0; the
// library's clock is stepped by the test, and the devices' time follows it.
#include "tkx/tkxTime.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using tkx::virt::HandPose;

constexpr double kStep = 0.00025;  // one haptic step at 4 kHz

double fakeClock = 0.0;
double FakeClock() { return fakeClock; }

class EndToEnd : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    tkx::testing::SetRawClock(&FakeClock);
    ASSERT_EQ(tkxGetDeviceCount(), 2);
    id_ = static_cast<signed char>(GetParam() == 61 ? 0 : 1);
    ASSERT_EQ(tkxOpenID(id_), id_);
    ASSERT_EQ(tkxGetSystemType(id_), GetParam());
    const auto devices = tkx::virt::Devices();
    ASSERT_EQ(devices.size(), 2u);
    dev_ = devices[static_cast<size_t>(id_)];
    ASSERT_TRUE(dev_->HasMechanism());
    // damped enough to settle the trion.6's effector, wrist and all
    dev_->SetHandSpring(200.0, 6.0);
    Hand(0.0, 0.0, 0.0);
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

  void Hand(double x, double y, double z) {
    HandPose h;
    h.target[0] = x, h.target[1] = y, h.target[2] = z;
    dev_->SetHand(h);
  }

  // one haptic step: the time moves on, the position is read, the force commanded
  void Step(double fx = 0.0, double fy = 0.0, double fz = 0.0) {
    fakeClock += kStep;
    double p[3];
    ASSERT_EQ(tkxGetPosition(&p[0], &p[1], &p[2], id_), 0);
    ASSERT_GE(tkxSetForce(fx, fy, fz, id_), 0);
  }
  void Run(double seconds, double fz = 0.0) {
    const int n = static_cast<int>(std::lround(seconds / kStep));
    for (int i = 0; i < n && !HasFatalFailure(); ++i) Step(0.0, 0.0, fz);
  }
  void Position(double p[3]) { ASSERT_EQ(tkxGetPosition(&p[0], &p[1], &p[2], id_), 0); }

  signed char id_ = 0;
  std::shared_ptr<tkx::virt::Device> dev_;
};

// ---- position ----

TEST_P(EndToEnd, HandPointIsReportedOnceSettled) {
  const double points[][3] = {{0.02, -0.015, 0.01}, {-0.03, 0.025, -0.02}, {0.0, 0.0, 0.0}};
  for (const auto &t : points) {
    Hand(t[0], t[1], t[2]);
    Run(1.5);
    double p[3];
    Position(p);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], t[k], 0.0005) << "axis " << k;
  }
}

// ---- force ----

TEST_P(EndToEnd, ForceAgainstTheHandMovesTheEffector) {
  double before[3], after[3];
  Position(before);
  Run(1.0, 2.0);
  Position(after);
  // 2 N against 200 N/m: 10 mm up
  EXPECT_NEAR(after[2] - before[2], 0.010, 0.0005);
  EXPECT_NEAR(after[0], before[0], 0.0005);
  EXPECT_NEAR(after[1], before[1], 0.0005);
}

// ---- gravity ----

TEST_P(EndToEnd, CompensatedEffectorFloatsAndFallsWithoutIt) {
  dev_->SetHandSpring(0.0, 0.0);
  double start[3], end[3];
  Position(start);
  Run(1.0);
  Position(end);
  EXPECT_LT(std::hypot(end[0] - start[0], end[1] - start[1], end[2] - start[2]), 0.002);

  ASSERT_EQ(tkxSetGravityCompensation(0, id_), 0);
  Run(0.5);
  Position(end);
  EXPECT_LT(end[2] - start[2], -0.02);
}

// ---- velocity ----

TEST_P(EndToEnd, VelocityOfAMovingHand) {
  // from rest, gently up to 0.1 m/s along y over 0.3 s, then steady
  const double speed = 0.1, ramp = 0.3;
  double y = -0.04, v = 0.0;
  Hand(0.0, y, 0.0);
  Run(1.0);
  for (double t = 0.0; t < 0.7; t += kStep) {
    v = std::fmin(speed, speed * t / ramp);
    y += v * kStep;
    Hand(0.0, y, 0.0);
    Step();
  }
  double vel[3];
  ASSERT_GE(tkxGetLinearVelocity(&vel[0], &vel[1], &vel[2], id_), 0);
  EXPECT_NEAR(vel[1], speed, 0.05 * speed);
  EXPECT_NEAR(vel[0], 0.0, 0.005);
  EXPECT_NEAR(vel[2], 0.0, 0.005);
}

INSTANTIATE_TEST_SUITE_P(Devices, EndToEnd, ::testing::Values(61, 33));

// ---- the trion.6's active wrist ----

class Wrist : public EndToEnd {
 protected:
  void HandAngles(double r0, double r1, double r2) {
    HandPose h;
    h.angles[0] = r0, h.angles[1] = r1, h.angles[2] = r2;
    dev_->SetHand(h);
  }
  // haptic steps that read the orientation and command a torque on the wrist
  void RunTorque(double seconds, double ta, double tb, double tg) {
    const int n = static_cast<int>(std::lround(seconds / kStep));
    for (int i = 0; i < n && !HasFatalFailure(); ++i) {
      fakeClock += kStep;
      double r[3];
      ASSERT_GE(tkxGetOrientationRad(&r[0], &r[1], &r[2], id_), 0);
      ASSERT_GE(tkxSetForceAndTorque(0.0, 0.0, 0.0, ta, tb, tg, id_), 0);
    }
  }
  void Orientation(double r[3]) { ASSERT_GE(tkxGetOrientationRad(&r[0], &r[1], &r[2], id_), 0); }
};

TEST_P(Wrist, IsCalibratedAtOpenAndCarriedByTheArm) {
  int s[TKX_STATUS_COUNT];
  ASSERT_EQ(tkxGetStatus(s, id_), 0);
  EXPECT_EQ(s[TKX_STATUS_WRIST_UNCALIBRATED], 0);
  EXPECT_EQ(dev_->WristCalibrations(), 1);
  // the gripper plate and the wrist on it, as the device's memory gives them
  double mass = 0.0;
  ASSERT_EQ(tkxGetEffectorMass(&mass, id_), 0);
  EXPECT_NEAR(mass, 0.129 + 0.45, 1e-6);
}

TEST_P(Wrist, HandRotationIsReadBackOnceSettled) {
  for (int axis = 0; axis < 3; ++axis) {
    double a[3] = {0, 0, 0};
    a[axis] = 0.3;
    HandAngles(a[0], a[1], a[2]);
    RunTorque(1.5, 0, 0, 0);
    double r[3];
    Orientation(r);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[k], a[k], 0.01) << "hand axis " << axis << ", angle " << k;
  }
}

TEST_P(Wrist, TorqueTurnsTheWristAgainstTheHand) {
  // 0.05 N m against 0.5 N m/rad: 0.1 rad
  for (int axis = 0; axis < 3; ++axis) {
    double t[3] = {0, 0, 0};
    t[axis] = 0.05;
    RunTorque(1.5, t[0], t[1], t[2]);
    double r[3];
    Orientation(r);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[k], k == axis ? 0.1 : 0.0, 0.01) << "torque axis " << axis;
    double back[3];
    ASSERT_EQ(tkxGetTorque(&back[0], &back[1], &back[2], id_), 0);
    EXPECT_EQ(back[axis], 0.05);
  }
}

// the hand's grip is settable: twice as stiff, half the turn
TEST_P(Wrist, AStifferHandGivesLessToTheSameTorque) {
  dev_->SetWristHandSpring(1.0, 0.01);
  RunTorque(1.5, 0.05, 0, 0);
  double r[3];
  Orientation(r);
  EXPECT_NEAR(r[0], 0.05, 0.005);
}

TEST_P(Wrist, FrameIsARotation) {
  HandAngles(0.2, -0.3, 0.4);
  RunTorque(1.0, 0, 0, 0);
  double p[3], R[3][3];
  ASSERT_GE(tkxGetPositionAndOrientationFrame(&p[0], &p[1], &p[2], R, id_), 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double d = 0;
      for (int k = 0; k < 3; ++k) d += R[k][i] * R[k][j];
      EXPECT_NEAR(d, i == j ? 1.0 : 0.0, 1e-9);
    }
  const double det = R[0][0] * (R[1][1] * R[2][2] - R[1][2] * R[2][1]) -
                     R[0][1] * (R[1][0] * R[2][2] - R[1][2] * R[2][0]) +
                     R[0][2] * (R[1][0] * R[2][1] - R[1][1] * R[2][0]);
  EXPECT_NEAR(det, 1.0, 1e-9);
  // and the turned frame, not the identity
  EXPECT_LT(R[2][2], 0.99);
}

INSTANTIATE_TEST_SUITE_P(Trion6, Wrist, ::testing::Values(61));

}  // namespace
