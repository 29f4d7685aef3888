// The per-exchange trace costs the haptic step no allocation: with the trace on,
// a trion.6 and a Falcon each take position reads and force commands while every
// allocation is counted, and every one of those exchanges reaches the file once
// the device is closed. Runs with TKX_VIRTUAL_DEVICES=61,60, TKX_VIRTUAL_RATE=0
// and TKX_VIRTUAL_TRACE set.
#include "support/AllocationCounter.h"

#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"
#include "tkx/virtual/tkxVirtualTrace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void NoPause(double) {}

// data lines of the trace from one device
int Lines(int device) {
  std::ifstream in(std::getenv("TKX_VIRTUAL_TRACE"));
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t space = line.find(' ');
    if (space != std::string::npos && std::atoi(line.c_str() + space + 1) == device) ++n;
  }
  return n;
}

// the first steps may fill caches; then 2000 steps are counted
void Steps(int id) {
  double p[3];
  for (int i = 0; i < 100; ++i) {
    tkxGetPosition(&p[0], &p[1], &p[2], id);
    tkxSetForce(0.0, 0.0, 0.5, id);
  }
  alloctest::Start();
  for (int i = 0; i < 2000; ++i) {
    ASSERT_GE(tkxGetPosition(&p[0], &p[1], &p[2], id), 0);
    ASSERT_GE(tkxSetForce(0.0, 0.0, 0.5, id), 0);
  }
  EXPECT_EQ(alloctest::Stop(), 0);
}

TEST(TracedStep, AllocatesNothingAndEveryExchangeReachesTheFile) {
  ASSERT_NE(std::getenv("TKX_VIRTUAL_TRACE"), nullptr);
  tkx::testing::SetControlPause(&NoPause);
  ASSERT_EQ(tkxGetDeviceCount(), 2);
  ASSERT_TRUE(tkx::virt::detail::TraceEnabled());
  const uint64_t lost = tkx::virt::testing::TraceLost();

  ASSERT_EQ(tkxOpenID(0), 0);
  ASSERT_EQ(tkxEnableExpertMode(), 0);
  ASSERT_EQ(tkxEnableForce(1, 0), 0);
  ASSERT_NO_FATAL_FAILURE(Steps(0));
  tkxClose(0);
  const int trion = tkx::virt::Devices()[0]->Number();
  EXPECT_GE(Lines(trion), 2000);

  // opening slot 1 answers its number
  ASSERT_EQ(tkxOpenID(1), 1);
  tkx::virt::Falcons()[0]->Home();
  ASSERT_EQ(tkxEnableForce(1, 1), 0);
  ASSERT_NO_FATAL_FAILURE(Steps(1));
  tkxClose(1);
  // a Falcon's number is negated
  EXPECT_GE(Lines(-tkx::virt::Falcons()[0]->Number()), 2000);
  EXPECT_EQ(tkx::virt::testing::TraceLost(), lost);
  tkx::testing::SetControlPause(nullptr);
}

}  // namespace
