// Library clock, sleep splitting and the console keyboard entries.
#include "tkx/tkxTime.h"
#include "tkx/tkxc.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// the clock's statics persist across cases when the file runs as one binary, so the
// fake raw source starts from the real monotonic reading and only ever moves a little
std::atomic<double> fakeRaw{0.0};
double FakeRaw() { return fakeRaw.load(); }

double RealRaw() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::vector<timespec> slept;
int sleepResult = 0;
int RecordSleep(const timespec *d) {
  slept.push_back(*d);
  return sleepResult;
}

class TimeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    tkx::testing::SetRawClock(nullptr);
    tkx::testing::SetSleepFunction(nullptr);
  }
  void FakeSleep(int result = 0) {
    slept.clear();
    sleepResult = result;
    tkx::testing::SetSleepFunction(&RecordSleep);
  }
};

}  // namespace

// ---- clock ----

// declared first: in a single-binary run this is still the process's first reading
TEST_F(TimeTest, FirstReadingIsNearZeroAndTimeNeverDecreases) {
  const double first = tkxGetTime();
  EXPECT_GE(first, 0.0);
  EXPECT_LT(first, 5.0);
  double prev = first;
  for (int i = 0; i < 100000; ++i) {
    const double t = tkxGetTime();
    ASSERT_GE(t, prev);
    prev = t;
  }
  EXPECT_GE(tkx::GetTimeMonotonic(), prev);
}

TEST_F(TimeTest, BackwardJumpOfRawSourceContinuesFromLastValue) {
  const double base = RealRaw();
  fakeRaw = base;
  tkx::testing::SetRawClock(&FakeRaw);
  const double t0 = tkx::GetTimeMonotonic();
  fakeRaw = base + 0.5;
  const double t1 = tkx::GetTimeMonotonic();
  EXPECT_NEAR(t1 - t0, 0.5, 1e-9);

  // the raw source goes back (a partial jump, not a restart at zero)
  fakeRaw = base - 0.25;
  EXPECT_DOUBLE_EQ(tkx::GetTimeMonotonic(), t1);
  fakeRaw = base - 0.125;
  EXPECT_NEAR(tkx::GetTimeMonotonic() - t1, 0.125, 1e-9);

  // a restart at zero continues the same way
  const double before = tkx::GetTimeMonotonic();
  fakeRaw = 0.0;
  EXPECT_DOUBLE_EQ(tkxGetTime(), before);
  fakeRaw = 0.001;
  EXPECT_NEAR(tkxGetTime() - before, 0.001, 1e-9);

  // back on the system clock the time only moves forward
  tkx::testing::SetRawClock(nullptr);
  EXPECT_GE(tkxGetTime(), before);
}

TEST_F(TimeTest, SystemCounterIsTimeInWholeMicroseconds) {
  const double base = RealRaw();
  tkx::testing::SetRawClock(&FakeRaw);
  for (double step : {0.0, 0.0000004, 0.0123456789, 1.9999999}) {
    // a frozen raw source makes both readings fall on the same instant
    fakeRaw = base + step;
    const double t = tkxGetTime();
    EXPECT_EQ(tkxGetSystemCounter(), static_cast<uint64_t>(1000000.0 * t)) << step;
  }
}

TEST_F(TimeTest, NeverDecreasesPerThreadUnderContention) {
  std::atomic<bool> ok[2] = {{true}, {true}};
  auto reader = [](std::atomic<bool> *flag) {
    double prev = tkx::GetTimeMonotonic();
    for (int i = 0; i < 50000; ++i) {
      const double t = (i & 1) ? tkxGetTime() : tkx::GetTimeMonotonic();
      if (t < prev) flag->store(false);
      prev = t;
    }
  };
  std::thread a(reader, &ok[0]);
  std::thread b(reader, &ok[1]);
  a.join();
  b.join();
  EXPECT_TRUE(ok[0]);
  EXPECT_TRUE(ok[1]);
}

// ---- sleep ----

TEST_F(TimeTest, LongSleepIsSplitIntoWholeSecondsAndRemainder) {
  FakeSleep();
  tkxSleep(2.5);
  ASSERT_EQ(slept.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(slept[i].tv_sec, 1);
    EXPECT_EQ(slept[i].tv_nsec, 0);
  }
  EXPECT_EQ(slept[2].tv_sec, 0);
  EXPECT_EQ(slept[2].tv_nsec, 500000000);

  // whole seconds leave no zero-length sleep behind
  slept.clear();
  tkxSleep(3.0);
  EXPECT_EQ(slept.size(), 3u);
}

TEST_F(TimeTest, ShortSleepIsOneCall) {
  FakeSleep();
  tkxSleep(1.0);
  ASSERT_EQ(slept.size(), 1u);
  EXPECT_EQ(slept[0].tv_sec, 1);
  EXPECT_EQ(slept[0].tv_nsec, 0);

  slept.clear();
  tkxSleep(0.25);
  ASSERT_EQ(slept.size(), 1u);
  EXPECT_EQ(slept[0].tv_sec, 0);
  EXPECT_EQ(slept[0].tv_nsec, 250000000);
}

TEST_F(TimeTest, NonPositiveOrNanSleepReturnsAtOnce) {
  FakeSleep();
  tkxSleep(0.0);
  tkxSleep(-1.0);
  tkxSleep(-2.5);
  tkxSleep(std::nan(""));
  EXPECT_TRUE(slept.empty());
  EXPECT_EQ(tkx::Sleep(0.0), 0);
}

TEST_F(TimeTest, InterruptedSleepReportsTheLastResult) {
  FakeSleep(-1);
  EXPECT_EQ(tkx::Sleep(1.5), -1);
  EXPECT_EQ(slept.size(), 2u);  // not resumed, not abandoned either
}

// ---- console keyboard ----

TEST_F(TimeTest, KbHitLeavesTheKeyReadableAndRestoresBlocking) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(dup2(fds[0], STDIN_FILENO), STDIN_FILENO);
  close(fds[0]);
  ASSERT_EQ(write(fds[1], "ab", 2), 2);

  EXPECT_TRUE(tkxKbHit());
  EXPECT_TRUE(tkxKbHit());
  EXPECT_EQ(tkxKbGet(), 'a');
  EXPECT_TRUE(tkxKbHit());
  EXPECT_EQ(tkxKbGet(), 'b');
  EXPECT_FALSE(tkxKbHit());
  EXPECT_EQ(fcntl(STDIN_FILENO, F_GETFL) & O_NONBLOCK, 0);

  // a key typed after an empty poll is still seen
  ASSERT_EQ(write(fds[1], "c", 1), 1);
  EXPECT_TRUE(tkxKbHit());
  EXPECT_EQ(tkxKbGet(), 'c');
  close(fds[1]);
}
