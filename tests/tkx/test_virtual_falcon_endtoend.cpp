// The whole library against a virtual Falcon behind its converter: what an
// application sees through the C entries. Runs with TKX_VIRTUAL_DEVICES=60 and
// TKX_VIRTUAL_RATE=0; the library's clock is stepped by the test, and the
// Falcon's time follows it.
#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

namespace {

using tkx::virt::HandPose;

constexpr double kStep = 0.00025;  // one haptic step at 4 kHz

double fakeClock = 0.0;
double FakeClock() { return fakeClock; }
void NoPause(double) {}

class FalconEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    tkx::testing::SetRawClock(&FakeClock);
    tkx::testing::SetControlPause(&NoPause);
    ASSERT_EQ(tkxGetDeviceCount(), 1);
    const auto falcons = tkx::virt::Falcons();
    ASSERT_EQ(falcons.size(), 1u);
    dev_ = falcons[0];
    // out to the homing position and back to the centre in the first second
    std::istringstream script("0 0 0 0\n0.4 0.045 0 0\n0.8 0 0 0\n");
    tkx::virt::HandScript hand;
    int bad = 0;
    ASSERT_TRUE(tkx::virt::HandScript::Parse(script, &hand, &bad));
    dev_->SetHandScript(hand);
    dev_->SetHandSpring(200.0, 4.0);
    ASSERT_EQ(tkxOpenID(0), 0);
    ASSERT_EQ(tkxGetSystemType(0), TKX_SYSTEM_FALCON);
    ASSERT_EQ(tkxEnableExpertMode(), 0);
    ASSERT_EQ(tkxEnableForce(1, 0), 0);
    ASSERT_EQ(tkxSetGravityCompensation(1, 0), 0);
  }
  void TearDown() override {
    tkxClose(0);
    tkx::testing::SetControlPause(nullptr);
    tkx::testing::SetRawClock(nullptr);
  }
  void Hand(double x, double y, double z) {
    HandPose h;
    h.target[0] = x, h.target[1] = y, h.target[2] = z;
    dev_->SetHand(h);
  }
  void Step(double fz = 0.0) {
    fakeClock += kStep;
    double p[3];
    ASSERT_EQ(tkxGetPosition(&p[0], &p[1], &p[2], 0), 0);
    ASSERT_GE(tkxSetForce(0.0, 0.0, fz, 0), 0);
  }
  void Run(double seconds, double fz = 0.0) {
    const int n = static_cast<int>(std::lround(seconds / kStep));
    for (int i = 0; i < n && !HasFatalFailure(); ++i) Step(fz);
  }
  void Position(double p[3]) { ASSERT_EQ(tkxGetPosition(&p[0], &p[1], &p[2], 0), 0); }
  void Homed() {
    Run(1.5);
    ASSERT_TRUE(dev_->Homed());
  }

  std::shared_ptr<tkx::virt::Falcon> dev_;
};

TEST_F(FalconEndToEnd, PositionStaysStillUntilHomedThenFollowsTheHand) {
  double first[3], p[3];
  Position(first);
  // the hand moves out, but nothing is known before the homing position
  Run(0.2);
  EXPECT_FALSE(dev_->Homed());
  Position(p);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(p[k], first[k]);
  Homed();
  const double points[][3] = {{0.02, -0.015, 0.01}, {-0.02, 0.025, -0.02}, {0.0, 0.0, 0.0}};
  for (const auto &t : points) {
    Hand(t[0], t[1], t[2]);
    Run(1.5);
    Position(p);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], t[k], 0.0005) << "axis " << k;
  }
}

TEST_F(FalconEndToEnd, ForceAgainstTheHandMovesTheEffector) {
  Homed();
  Hand(0.0, 0.0, 0.0);
  Run(1.0);
  double before[3], after[3];
  Position(before);
  Run(1.5, 2.0);
  Position(after);
  // 2 N against 200 N/m: 10 mm up, within 5 %
  EXPECT_NEAR(after[2] - before[2], 0.010, 0.0005);
  EXPECT_NEAR(after[0], before[0], 0.0005);
  EXPECT_NEAR(after[1], before[1], 0.0005);
}

TEST_F(FalconEndToEnd, ButtonOfTheHandIsButtonZero) {
  Homed();
  HandPose h;
  h.button = true;
  dev_->SetHand(h);
  Run(0.01);
  EXPECT_EQ(tkxGetButton(0, 0), 1);
  h.button = false;
  dev_->SetHand(h);
  Run(0.01);
  EXPECT_EQ(tkxGetButton(0, 0), 0);
}

// the maker's devices are counted first, the Falcon after them
TEST(FalconRegistry, TrionThenFalcon) {
  tkx::testing::SetControlPause(&NoPause);
  tkx::virt::Plug(61);
  tkx::virt::Rescan();
  ASSERT_EQ(tkxGetDeviceCount(), 2);
  ASSERT_EQ(tkxOpenID(0), 0);
  ASSERT_EQ(tkxOpenID(1), 1);
  EXPECT_EQ(tkxGetSystemType(0), 61);
  EXPECT_EQ(tkxGetSystemType(1), TKX_SYSTEM_FALCON);
  tkxClose(1);
  tkxClose(0);
  tkx::testing::SetControlPause(nullptr);
}

}  // namespace
