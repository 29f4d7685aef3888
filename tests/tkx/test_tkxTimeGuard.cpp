// Time guard: which reads may be answered from the cache of the previous exchange.
#include "tkx/tkxTime.h"
#include "tkx/tkxTimeGuard.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

class TimeGuardTest : public ::testing::Test {
 protected:
  tkxTimeGuard guard;

  // starts timer i at 0 and reports whether it would fire at each of the given times
  std::vector<int> Queries(int i, std::initializer_list<double> times) {
    guard.ResetTimer(i, 0.0);
    std::vector<int> r;
    for (double t : times) r.push_back(guard.QueryTimer(i, t));
    return r;
  }
};

}  // namespace

// ---- enabled guard ----

TEST_F(TimeGuardTest, EncoderTimerCachesForHalfAMillisecond) {
  ASSERT_EQ(guard.EnableTimeGuard(0.0005), 0);
  // fires, then caches until more than 0.5 ms have passed since it last fired
  EXPECT_EQ(Queries(0, {0.0004, 0.0005, 0.00051, 0.0009, 0.00102}), (std::vector<int>{0, 0, 1, 0, 1}));
  EXPECT_EQ(Queries(5, {0.0003, 0.0006}), (std::vector<int>{0, 1}));
}

TEST_F(TimeGuardTest, ButtonTimerAlwaysWaitsTwoMilliseconds) {
  ASSERT_EQ(guard.EnableTimeGuard(0.0005), 0);
  EXPECT_EQ(Queries(6, {0.001, 0.0019, 0.0021, 0.0035, 0.0042}), (std::vector<int>{0, 0, 1, 0, 1}));
  // a different guard period leaves it alone
  guard.EnableTimeGuard(0.01);
  EXPECT_DOUBLE_EQ(guard.GetInterval(6), 0.002);
  EXPECT_EQ(Queries(6, {0.0025}), (std::vector<int>{1}));
  EXPECT_EQ(Queries(7, {0.0025, 0.0101}), (std::vector<int>{0, 1}));
}

TEST_F(TimeGuardTest, EnablingMakesEveryTimerFireOnItsFirstQuery) {
  guard.EnableTimeGuard(0.0005);
  const double now = tkx::GetTimeMonotonic();
  for (int i = 0; i < tkxTimeGuard::kTimers; ++i) {
    EXPECT_EQ(guard.QueryTimer(i, now), 1) << i;
    EXPECT_EQ(guard.QueryTimer(i, now), 0) << i;
  }
  // enabling again restarts them all
  guard.EnableTimeGuard(0.0005);
  EXPECT_EQ(guard.QueryTimer(0, tkx::GetTimeMonotonic()), 1);
}

TEST_F(TimeGuardTest, NegativePeriodSelectsTheDefault) {
  ASSERT_EQ(guard.EnableTimeGuard(-3), 0);
  EXPECT_TRUE(guard.TimeGuardEnabled());
  for (int i = 0; i < tkxTimeGuard::kTimers; ++i) EXPECT_DOUBLE_EQ(guard.GetInterval(i), i == 6 ? 0.002 : 0.0005) << i;
  EXPECT_EQ(Queries(0, {0.0004, 0.00051}), (std::vector<int>{0, 1}));
}

// ---- disabled guard ----

TEST_F(TimeGuardTest, ConstructedGuardIsOffAndAlwaysAsksForAnExchange) {
  EXPECT_FALSE(guard.TimeGuardEnabled());
  EXPECT_DOUBLE_EQ(guard.GetInterval(0), 0.0005);
  EXPECT_DOUBLE_EQ(guard.GetInterval(6), 0.002);
  EXPECT_EQ(Queries(0, {0.0, 0.0, 0.0001}), (std::vector<int>{1, 1, 1}));
}

TEST_F(TimeGuardTest, ZeroPeriodAndDisableSwitchTheGuardOff) {
  guard.EnableTimeGuard(0.0005);
  ASSERT_EQ(guard.EnableTimeGuard(0), 0);
  EXPECT_FALSE(guard.TimeGuardEnabled());
  EXPECT_EQ(Queries(0, {0.0001, 0.0001}), (std::vector<int>{1, 1}));

  guard.EnableTimeGuard(0.0005);
  ASSERT_EQ(guard.DisableTimeGuard(), 0);
  EXPECT_EQ(Queries(6, {0.0001, 0.0002}), (std::vector<int>{1, 1}));
  // an off guard does not restart its timers when queried
  EXPECT_DOUBLE_EQ(guard.GetTimer(6, 1.0), 1.0);
}

// ---- timer bookkeeping ----

TEST_F(TimeGuardTest, ResetReturnsTimeSincePreviousStart) {
  guard.ResetTimer(3, 10.0);
  EXPECT_DOUBLE_EQ(guard.ResetTimer(3, 10.25), 0.25);
  EXPECT_DOUBLE_EQ(guard.GetTimer(3, 11.0), 0.75);
  EXPECT_DOUBLE_EQ(guard.GetTimer(3, 11.0), 0.75);
  // timers are independent
  guard.ResetTimer(4, 20.0);
  EXPECT_DOUBLE_EQ(guard.GetTimer(3, 11.0), 0.75);

  // a reset after an exchange postpones the next query
  guard.EnableTimeGuard(0.0005);
  guard.ResetTimer(0, 1.0);
  EXPECT_EQ(guard.QueryTimer(0, 1.0004), 0);
  guard.ResetTimer(0, 1.0004);
  EXPECT_EQ(guard.QueryTimer(0, 1.0008), 0);
  EXPECT_EQ(guard.QueryTimer(0, 1.0010), 1);
}
