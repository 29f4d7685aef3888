// Eight timers that let a communication object answer repeated reads from the
// data of its previous exchange. Timer 0 guards the encoders, 5 the status byte,
// 6 the button byte (always 2 ms); the others follow the guard period.
#ifndef TKX_TIMEGUARD_H
#define TKX_TIMEGUARD_H

#include <atomic>

class tkxTimeGuard {
 public:
  static constexpr int kTimers = 8;
  static constexpr double kDefaultPeriod = 0.0005;
  static constexpr double kButtonPeriod = 0.002;

  tkxTimeGuard();
  virtual ~tkxTimeGuard() = default;

  // period 0 switches the guard off, a negative period selects the default
  int EnableTimeGuard(double period);
  int DisableTimeGuard();
  bool TimeGuardEnabled() const { return enabled; }

  // 1 when an exchange must be made for timer i (and restarts it), 0 when the cache may answer
  int QueryTimer(int i, double now);
  // restarts timer i at now; returns the time since its previous start
  double ResetTimer(int i, double now);
  // lets timer i fire at its next query from now on: a query that fired arms the
  // cache, which only a successful exchange may fill
  void ExpireTimer(int i, double now);
  double GetTimer(int i, double now) const;
  double GetInterval(int i) const { return interval[i]; }

 private:
  std::atomic<bool> enabled;
  double lastTime[kTimers];
  double interval[kTimers];
};

#endif
