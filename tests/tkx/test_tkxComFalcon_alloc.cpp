// The haptic step on a Falcon allocates nothing: position read and force sent,
// one frame exchange each way with the virtual Falcon behind its converter.
// Runs with TKX_VIRTUAL_DEVICES=60 and TKX_VIRTUAL_RATE=0.
#include "support/AllocationCounter.h"

#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

namespace {

void NoPause(double) {}

TEST(FalconStep, AllocatesNothing) {
  tkx::testing::SetControlPause(&NoPause);
  ASSERT_EQ(tkxGetDeviceCount(), 1);
  ASSERT_EQ(tkxOpenID(0), 0);
  tkx::virt::Falcons()[0]->Home();
  ASSERT_EQ(tkxEnableExpertMode(), 0);
  ASSERT_EQ(tkxEnableForce(1, 0), 0);
  double p[3];
  // the first steps may fill caches; from then on nothing is allocated
  for (int i = 0; i < 100; ++i) {
    tkxGetPosition(&p[0], &p[1], &p[2], 0);
    tkxSetForce(0.0, 0.0, 0.5, 0);
  }
  alloctest::Start();
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(tkxGetPosition(&p[0], &p[1], &p[2], 0), 0);
    ASSERT_GE(tkxSetForce(0.0, 0.0, 0.5, 0), 0);
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  tkxClose(0);
  tkx::testing::SetControlPause(nullptr);
}

}  // namespace
