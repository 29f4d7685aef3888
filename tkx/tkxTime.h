// The library clock, sleep, and the test seams under them.
#ifndef TKX_TIME_H
#define TKX_TIME_H

#include <cstdint>
#include <ctime>

namespace tkx {

// library time in seconds: about 0 at the first reading in the process, never decreasing
double GetTimeMonotonic();

// sleeps as tkxSleep does; returns the result of the last underlying sleep (0, or -1
// when a signal interrupted it)
int Sleep(double seconds);

namespace testing {

// replaces the raw monotonic source (seconds); nullptr restores the system clock.
// The clock's offset, last value and last raw reading are process-wide and persist.
using RawClock = double (*)();
void SetRawClock(RawClock source);

// replaces nanosleep under tkxSleep; nullptr restores it
using SleepFn = int (*)(const timespec *duration);
void SetSleepFunction(SleepFn fn);

}  // namespace testing
}  // namespace tkx

#endif
