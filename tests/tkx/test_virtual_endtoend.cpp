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
    dev_->SetHandSpring(200.0, 2.0);
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

}  // namespace
