// Velocity estimator: the three finite-difference methods over the sample ring.
#include "tkx/tkxVelocityEstimator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace {

using tkx::VELOCITY_LAST_PAIR;
using tkx::VELOCITY_WINDOW_AVERAGE;
using tkx::VELOCITY_WINDOW_SPAN;
using tkx::VelocityEstimator;
using tkx::VelocityEstimatorMethod;

class VelocityTest : public ::testing::Test {
 protected:
  VelocityEstimator ve;
  double out[3] = {0, 0, 0};

  // one value per sample: x = k^2 at t = k/4 for k = 1..n
  void FeedSquares(int n) {
    for (int k = 1; k <= n; ++k) {
      const double x = static_cast<double>(k) * k;
      ve.Update(k * 0.25, &x);
    }
  }
  double Velocity(double now, VelocityEstimatorMethod m, double window) {
    EXPECT_EQ(ve.GetVelocity(now, out, m, window), 0);
    return out[0];
  }
};

}  // namespace

// ---- configuration ----

TEST_F(VelocityTest, DefaultConstructionHasSixtySamplesAllAtZero) {
  EXPECT_EQ(ve.GetSize(), 60);
  EXPECT_EQ(ve.GetDimension(), 2);
  EXPECT_EQ(ve.GetMethod(), VELOCITY_WINDOW_SPAN);
  EXPECT_DOUBLE_EQ(ve.GetTimeSlice(), 0.015);
  out[0] = out[1] = 9.0;
  EXPECT_EQ(ve.GetVelocity(0.0, out), -1);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
}

TEST_F(VelocityTest, DeviceConfigurationSettlesOnTrueVelocityAfterOneWindow) {
  // initial samples (zeros at t = 1) are off the line and must leave the estimate
  ASSERT_EQ(ve.Init(3, 1.0, 0.02, 5000.0, VELOCITY_WINDOW_SPAN), 0);
  ASSERT_EQ(ve.GetSize(), 100);
  for (int k = 1; k <= 150; ++k) {
    const double t = 1.0 + k * 0.001;
    const double v[3] = {10.0 * t, -2.0 * t, 5.0};
    ve.Update(t, v);
    if (k < 22) continue;  // more than 20 ms of samples from here on
    ASSERT_EQ(ve.GetVelocity(t, out), 0) << k;
    EXPECT_NEAR(out[0], 10.0, 1e-6) << k;
    EXPECT_NEAR(out[1], -2.0, 1e-6) << k;
    EXPECT_NEAR(out[2], 0.0, 1e-6) << k;
  }
}

TEST_F(VelocityTest, FreshRingGivesZeroAndSpanReportsFailure) {
  const double initial[3] = {1.0, 2.0, 3.0};
  ve.Init(3, 2.0, initial, 0.02, 5000.0, VELOCITY_WINDOW_SPAN);
  for (auto m : {VELOCITY_LAST_PAIR, VELOCITY_WINDOW_AVERAGE, VELOCITY_WINDOW_SPAN}) {
    out[0] = out[1] = out[2] = 9.0;
    EXPECT_EQ(ve.GetVelocity(2.0, out, m, 0.02), m == VELOCITY_WINDOW_SPAN ? -1 : 0) << m;
    EXPECT_EQ(out[0], 0.0) << m;
    EXPECT_EQ(out[1], 0.0) << m;
    EXPECT_EQ(out[2], 0.0) << m;
  }
}

TEST_F(VelocityTest, SetTimeSliceResizesAndKeepsOnlyTheNewestSample) {
  ve.Init(2, 0.0, 2.0, 4.0, VELOCITY_LAST_PAIR);
  ASSERT_EQ(ve.GetSize(), 8);
  for (int k = 1; k <= 5; ++k) {
    const double v[2] = {static_cast<double>(k), static_cast<double>(-k)};
    ve.Update(k * 0.25, v);
  }
  ASSERT_EQ(ve.SetTimeSlice(4.0), 0);
  EXPECT_EQ(ve.GetSize(), 16);
  EXPECT_DOUBLE_EQ(ve.GetTimeSlice(), 4.0);
  EXPECT_EQ(ve.GetDimension(), 2);
  EXPECT_EQ(ve.GetMethod(), VELOCITY_LAST_PAIR);
  // every sample is now the old newest one
  EXPECT_EQ(ve.GetVelocity(1.25, out, VELOCITY_WINDOW_SPAN, 4.0), -1);

  const double v[2] = {7.0, 0.0};
  ve.Update(1.5, v);
  ASSERT_EQ(ve.GetVelocity(1.5, out), 0);
  EXPECT_DOUBLE_EQ(out[0], 8.0);
  EXPECT_DOUBLE_EQ(out[1], 20.0);
  ASSERT_EQ(ve.GetVelocity(1.5, out, VELOCITY_WINDOW_SPAN, 4.0), 0);
  EXPECT_DOUBLE_EQ(out[0], 8.0);
}

// ---- methods over a wrapped ring ----

// eight samples, one per 0.25 s, a 1 s window; ten updates wrap the ring
TEST_F(VelocityTest, MethodsOverWrappedRing) {
  ve.Init(1, 0.0, 1.0, 8.0, VELOCITY_LAST_PAIR);
  ASSERT_EQ(ve.GetSize(), 8);
  FeedSquares(10);

  // last pair: (100 - 81) / 0.25; its own method is used by the short form
  EXPECT_DOUBLE_EQ(Velocity(2.5, VELOCITY_LAST_PAIR, 1.0), 76.0);
  ASSERT_EQ(ve.GetVelocity(2.5, out), 0);
  EXPECT_DOUBLE_EQ(out[0], 76.0);
  // samples after now are skipped; this pair straddles the ring's end
  EXPECT_DOUBLE_EQ(Velocity(2.1, VELOCITY_LAST_PAIR, 1.0), 60.0);

  // span: newest against the first sample older than the window
  EXPECT_DOUBLE_EQ(Velocity(2.5, VELOCITY_WINDOW_SPAN, 1.0), (100.0 - 25.0) / 1.25);
  EXPECT_DOUBLE_EQ(Velocity(2.5, VELOCITY_WINDOW_SPAN, 0.5), (100.0 - 49.0) / 0.75);
  // a window longer than the time slice is cut to it
  EXPECT_DOUBLE_EQ(Velocity(2.5, VELOCITY_WINDOW_SPAN, 100.0), 60.0);

  // average of the pair slopes 76, 68, 60 (and 52, 44 with the full window)
  EXPECT_DOUBLE_EQ(Velocity(2.5, VELOCITY_WINDOW_AVERAGE, 0.5), 68.0);
  EXPECT_DOUBLE_EQ(Velocity(2.5, VELOCITY_WINDOW_AVERAGE, 1.0), 60.0);
}

TEST_F(VelocityTest, SpanUsesTwoNewestWhenWholeRingIsInsideWindow) {
  ve.Init(1, 0.0, 1.0, 4.0, VELOCITY_WINDOW_SPAN);
  ASSERT_EQ(ve.GetSize(), 4);
  FeedSquares(6);  // ring holds t = 0.75 .. 1.5, all newer than 1.5 - 1
  EXPECT_DOUBLE_EQ(Velocity(1.5, VELOCITY_WINDOW_SPAN, 1.0), (36.0 - 25.0) / 0.25);
}

TEST_F(VelocityTest, AverageSkipsPairsWithoutTimeDifference) {
  const double initial = 2.0;
  ve.Init(1, 1.0, &initial, 1.0, 10.0, VELOCITY_WINDOW_AVERAGE);
  const double x = 3.0;
  ve.Update(1.5, &x);
  // only the new sample against an initial one counts; the equal-time initial pairs do not
  EXPECT_DOUBLE_EQ(Velocity(1.5, VELOCITY_WINDOW_AVERAGE, 1.0), 2.0);
}

TEST_F(VelocityTest, UnknownMethodFailsAndLeavesOutputAlone) {
  ve.Init(1, 0.0, 1.0, 8.0, VELOCITY_WINDOW_SPAN);
  FeedSquares(3);
  out[0] = out[1] = 7.0;
  EXPECT_EQ(ve.GetVelocity(1.0, out, static_cast<VelocityEstimatorMethod>(7), 1.0), -1);
  EXPECT_EQ(out[0], 7.0);
  EXPECT_EQ(out[1], 7.0);
}

// ---- updates ----

TEST_F(VelocityTest, UpdateWithSameTimeReplacesNewestSample) {
  ve.Init(1, 0.0, 1.0, 8.0, VELOCITY_LAST_PAIR);
  const double a = 1.0, b = 5.0;
  ve.Update(1.0, &a);
  ve.Update(1.0, &b);
  // paired with the initial sample at t = 0, not with the replaced one
  EXPECT_DOUBLE_EQ(Velocity(1.0, VELOCITY_LAST_PAIR, 1.0), 5.0);
}

TEST_F(VelocityTest, IntegerFormsConvertToDouble) {
  const int initial[2] = {1, 2};
  ve.Init(2, 0.0, initial, 1.0, 8.0, VELOCITY_LAST_PAIR);
  const int v[2] = {3, -4};
  ve.Update(0.5, v);
  ASSERT_EQ(ve.GetVelocity(0.5, out), 0);
  EXPECT_DOUBLE_EQ(out[0], 4.0);
  EXPECT_DOUBLE_EQ(out[1], -12.0);
}

// ---- concurrency (meant for the thread sanitizer) ----

TEST_F(VelocityTest, ReaderAndResizerRaceWithUpdater) {
  ve.Init(3, 0.0, 0.02, 5000.0, VELOCITY_WINDOW_SPAN);
  std::atomic<double> latest{0.0};
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};

  std::thread writer([&] {
    for (int i = 1; i <= 20000; ++i) {
      const double t = i * 1e-4;
      const double v[3] = {10.0 * t, -2.0 * t, 0.0};
      ve.Update(t, v);
      latest = t;
    }
    done = true;
  });
  std::thread reader([&] {
    // every sample lies on one line through the initial ones, so any estimate is
    // the true velocity or, without a time difference, zero
    double o[3];
    for (int n = 0; !done; ++n) {
      if (n % 200 == 199) ve.SetTimeSlice(n % 400 == 399 ? 0.02 : 0.01);
      const auto m = static_cast<VelocityEstimatorMethod>(n % 3);
      ve.GetVelocity(latest, o, m, 0.02);
      const bool zero = o[0] == 0.0 && o[1] == 0.0;
      const bool right = std::fabs(o[0] - 10.0) < 1e-6 && std::fabs(o[1] + 2.0) < 1e-6;
      if (!zero && !right) ++wrong;
    }
  });
  writer.join();
  reader.join();
  EXPECT_EQ(wrong, 0);
}
