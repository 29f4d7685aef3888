#include "tkx/virtual/tkxVirtualPace.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using tkx::virt::NextPaceSlot;

constexpr double kPeriod = 1.0 / 4000.0;

// A host that exchanges as fast as the device answers, on a machine whose sleeps wake
// late by a random overshoot; returns packets answered per second of simulated time.
double RateWithOvershoot(double meanOvershoot, double spread, double seconds, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(meanOvershoot - spread, meanOvershoot + spread);
  const double work = 10e-6;  // the host's own time per exchange
  double now = 0.0, next = 0.0;
  int packets = 0;
  while (now < seconds) {
    const double at = NextPaceSlot(next, now, kPeriod);
    if (at > now) now = at + jitter(rng);
    now += work;
    ++packets;
  }
  return packets / now;
}

TEST(VirtualPace, LateWakingSleepsKeepTheAverageRate) {
  // a quiet machine, and one whose timer overshoots by up to two periods (seen on
  // virtual machines: a 250 us sleep taking 500 to 800 us)
  EXPECT_NEAR(RateWithOvershoot(50e-6, 40e-6, 2.0, 1), 4000.0, 4.0);
  EXPECT_NEAR(RateWithOvershoot(150e-6, 100e-6, 2.0, 2), 4000.0, 4.0);
  EXPECT_NEAR(RateWithOvershoot(400e-6, 150e-6, 2.0, 3), 4000.0, 4.0);
}

TEST(VirtualPace, NeverFasterThanTheRateAndAStallIsNotMadeUpInABurst) {
  double next = 0.0;
  // a host asking back to back is answered a period apart
  double last = NextPaceSlot(next, 0.0, kPeriod);
  for (int k = 0; k < 100; ++k) {
    const double at = NextPaceSlot(next, 0.0, kPeriod);
    EXPECT_NEAR(at - last, kPeriod, 1e-12);
    last = at;
  }
  // a short lag is made up: the next slots are already past and served at once
  next = 1.0;
  const double lagged = 1.0 + 3.0 * kPeriod;
  EXPECT_DOUBLE_EQ(NextPaceSlot(next, lagged, kPeriod), 1.0);
  EXPECT_DOUBLE_EQ(NextPaceSlot(next, lagged, kPeriod), 1.0 + kPeriod);
  // a 50 ms stall restarts the grid at the present instead of answering 200 at once
  next = 2.0;
  const double stalled = 2.05;
  EXPECT_DOUBLE_EQ(NextPaceSlot(next, stalled, kPeriod), stalled);
  EXPECT_DOUBLE_EQ(NextPaceSlot(next, stalled, kPeriod), stalled + kPeriod);
}

}  // namespace
