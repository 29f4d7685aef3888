#include "tkx/tkxTimeGuard.h"

#include "tkx/tkxTime.h"

// a start this far before "now" makes every timer's first query fire
static constexpr double kFireMargin = 0.000001;

// the button timer keeps its own period whatever the guard period is
static double PeriodOf(int i, double period) { return i == 6 ? tkxTimeGuard::kButtonPeriod : period; }

// each start lies one full period back, the button timer's 2 ms included, so that
// no timer answers its first query from a cache that was never filled
tkxTimeGuard::tkxTimeGuard() : enabled(false) {
  const double now = tkx::GetTimeMonotonic();
  for (int i = 0; i < kTimers; ++i) {
    interval[i] = PeriodOf(i, kDefaultPeriod);
    lastTime[i] = now - interval[i] - kFireMargin;
  }
}

int tkxTimeGuard::EnableTimeGuard(double period) {
  if (period == 0.0) {
    enabled = false;
    return 0;
  }
  if (period < 0.0) period = kDefaultPeriod;
  for (int i = 0; i < kTimers; ++i) {
    const double now = tkx::GetTimeMonotonic();
    interval[i] = PeriodOf(i, period);
    lastTime[i] = now - interval[i] - kFireMargin;
  }
  enabled = true;
  return 0;
}

int tkxTimeGuard::DisableTimeGuard() {
  enabled = false;
  return 0;
}

int tkxTimeGuard::QueryTimer(int i, double now) {
  if (!enabled) return 1;
  if (now - lastTime[i] > interval[i]) {
    lastTime[i] = now;
    return 1;
  }
  return 0;
}

double tkxTimeGuard::ResetTimer(int i, double now) {
  const double old = lastTime[i];
  lastTime[i] = now;
  return now - old;
}

void tkxTimeGuard::ExpireTimer(int i, double now) { lastTime[i] = now - interval[i] - kFireMargin; }

double tkxTimeGuard::GetTimer(int i, double now) const { return now - lastTime[i]; }
