// Library clock, sleep and console keyboard entries.
#include "tkx/tkxTime.h"

#include "tkx/tkxMutex.h"
#include "tkx/tkxc.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <new>

namespace {

double SystemRaw() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int SystemSleep(const timespec *d) { return nanosleep(d, nullptr); }

std::atomic<tkx::testing::RawClock> rawSource{&SystemRaw};
std::atomic<tkx::testing::SleepFn> sleepFn{&SystemSleep};

double RawReading() { return rawSource.load(std::memory_order_relaxed)(); }

struct Clock {
  double offset;
  double last;
  double lrd = 0.0;
  tkx::Mutex timeLock;
  Clock() : offset(-RawReading()), last(offset) {}
};

// the clock lives for the whole process; it is never destroyed so that slots
// closed during static destruction can still read it
Clock &TheClock() {
  alignas(Clock) static unsigned char storage[sizeof(Clock)];
  static Clock *clock = new (storage) Clock();
  return *clock;
}

int SleepOnce(double d) {
  if (!(d > 0.0)) return 0;
  const uint64_t ns = static_cast<uint64_t>(d * 1e9);
  timespec ts;
  ts.tv_sec = static_cast<time_t>(ns / 1000000000ull);
  ts.tv_nsec = static_cast<long>(ns % 1000000000ull);
  return sleepFn.load(std::memory_order_relaxed)(&ts);
}

}  // namespace

double tkx::GetTimeMonotonic() {
  Clock &c = TheClock();
  tkx::Lock lock(c.timeLock);
  const double raw = RawReading();
  // after a backward jump of the raw source time goes on from the last value returned;
  // offset = last alone would leap forward by the raw reading unless it restarted at zero
  if (c.lrd > raw) c.offset = c.last - raw;
  c.lrd = raw;
  c.last = raw + c.offset;
  return c.last;
}

namespace tkx {

int Sleep(double seconds) {
  int result = 0;
  if (seconds > 1.0) {
    // counted in double: a huge or infinite request must not overflow an integer count
    const double whole = std::trunc(seconds);
    for (double i = 0.0; i < whole; i += 1.0) result = SleepOnce(1.0);
    seconds -= whole;
  }
  if (seconds > 0.0) result = SleepOnce(seconds);
  return result;
}

namespace testing {

void SetRawClock(RawClock source) { rawSource.store(source ? source : &SystemRaw); }

void SetSleepFunction(SleepFn fn) { sleepFn.store(fn ? fn : &SystemSleep); }

}  // namespace testing
}  // namespace tkx

extern "C" double tkxGetTime(void) { return tkx::GetTimeMonotonic(); }

extern "C" uint64_t tkxGetSystemCounter(void) { return static_cast<uint64_t>(1000000.0 * tkx::GetTimeMonotonic()); }

extern "C" void tkxSleep(double seconds) { tkx::Sleep(seconds); }

namespace {

struct Console {
  bool taken = false;
  termios saved{};
  termios prepared{};
  int savedFlags = 0;
};
Console console;

}  // namespace

extern "C" bool tkxKbHit(void) {
  if (!console.taken) {
    console.savedFlags = fcntl(STDIN_FILENO, F_GETFL, 0);
    if (tcgetattr(STDIN_FILENO, &console.saved) == 0) {
      console.prepared = console.saved;
      console.prepared.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
      console.prepared.c_cc[VMIN] = 1;
      console.prepared.c_cc[VTIME] = 0;
    }
    console.taken = true;
  }
  const bool tty = isatty(STDIN_FILENO) != 0;
  fcntl(STDIN_FILENO, F_SETFL, console.savedFlags | O_NONBLOCK);
  if (tty) tcsetattr(STDIN_FILENO, TCSANOW, &console.prepared);
  const int c = std::getchar();
  if (tty) tcsetattr(STDIN_FILENO, TCSANOW, &console.saved);
  fcntl(STDIN_FILENO, F_SETFL, console.savedFlags);
  if (c == EOF) {
    // a non-blocking read with nothing waiting leaves stdin's error flag set
    std::clearerr(stdin);
    return false;
  }
  std::ungetc(c, stdin);
  return true;
}

extern "C" int tkxKbGet(void) { return std::getchar(); }
