// Costs of the device library's per-step services: the clock and the velocity estimator.
#include "tkx/tkxComUSB.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxTrion.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxVelocityEstimator.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace {

using tkx::VELOCITY_LAST_PAIR;
using tkx::VELOCITY_WINDOW_AVERAGE;
using tkx::VELOCITY_WINDOW_SPAN;
using tkx::VelocityEstimator;
using tkx::VelocityEstimatorMethod;

// ---- clock ----

void BM_GetTime(benchmark::State &state) {
  for (auto _ : state) benchmark::DoNotOptimize(tkxGetTime());
}
BENCHMARK(BM_GetTime);

// ---- velocity estimator ----

// the device's estimator (100-sample ring, 20 ms at 5 kHz), fed at 5 kHz with a noisy
// trajectory; the ring is filled before timing so every query scans a full window
struct Feed {
  static constexpr int kPoints = 4096;  // power of two: cheap wrap of the replay index
  static constexpr double kStep = 0.0002;
  std::vector<double> points;  // kPoints rows of 3 values
  VelocityEstimator ve;
  double t = 0.0;
  int next = 0;

  explicit Feed(VelocityEstimatorMethod method) : points(3 * kPoints) {
    std::mt19937 rng(12345);
    std::normal_distribution<double> noise(0.0, 1e-5);
    for (int i = 0; i < kPoints; ++i)
      for (int d = 0; d < 3; ++d) points[3 * i + d] = 0.01 * (d + 1) * i * kStep + noise(rng);
    ve.Init(3, 0.0, 0.02, 5000.0, method);
    for (int i = 0; i < 2 * ve.GetSize(); ++i) Update();
  }
  void Update() {
    t += kStep;
    ve.Update(t, &points[3 * next]);
    next = (next + 1) & (kPoints - 1);
  }
};

void RunUpdateAndGet(benchmark::State &state, VelocityEstimatorMethod method, bool ownMethod) {
  Feed feed(method);
  double out[3];
  for (auto _ : state) {
    feed.Update();
    if (ownMethod)
      benchmark::DoNotOptimize(feed.ve.GetVelocity(feed.t, out));
    else
      benchmark::DoNotOptimize(feed.ve.GetVelocity(feed.t, out, method, 0.02));
    benchmark::ClobberMemory();
  }
}

// the open sequence's configuration, queried as the device layer does
void BM_VelocityUpdateAndGet(benchmark::State &state) { RunUpdateAndGet(state, VELOCITY_WINDOW_SPAN, true); }
BENCHMARK(BM_VelocityUpdateAndGet);

void BM_VelocityLastPair(benchmark::State &state) { RunUpdateAndGet(state, VELOCITY_LAST_PAIR, false); }
BENCHMARK(BM_VelocityLastPair);

void BM_VelocityWindowAverage(benchmark::State &state) { RunUpdateAndGet(state, VELOCITY_WINDOW_AVERAGE, false); }
BENCHMARK(BM_VelocityWindowAverage);

void BM_VelocityWindowSpan(benchmark::State &state) { RunUpdateAndGet(state, VELOCITY_WINDOW_SPAN, false); }
BENCHMARK(BM_VelocityWindowSpan);

// ---- one exchange on the virtual bus ----

// an encoder read with the time guard off: one command packet out, one reply back,
// decoded into the cache, through the transport seam and the virtual firmware
void BM_VirtualExchange(benchmark::State &state) {
  tkx::testing::EnableLibusbBackend(false);
  // the exchange itself, not the device's pace
  tkx::virt::testing::SetRate(0);
  tkx::virt::UnplugAll();
  tkx::virt::Plug(61);
  tkx::virt::Rescan();
  {
    tkxComUSB com;
    if (com.Open(0) != 0) {
      state.SkipWithError("no virtual device");
      return;
    }
    com.DisableTimeGuard();
    int enc[8];
    for (int i = 0; i < 1000; ++i) com.GetAllEnc(enc, nullptr);
    for (auto _ : state) benchmark::DoNotOptimize(com.GetAllEnc(enc, nullptr));
  }
  tkx::virt::UnplugAll();
  tkx::virt::Rescan();
}
BENCHMARK(BM_VirtualExchange);

// a motor command, answered by an encoder reply, as the haptic loop sends one per step
void BM_VirtualMotorCommand(benchmark::State &state) {
  tkx::testing::EnableLibusbBackend(false);
  // the exchange itself, not the device's pace
  tkx::virt::testing::SetRate(0);
  tkx::virt::UnplugAll();
  tkx::virt::Plug(61);
  tkx::virt::Rescan();
  {
    tkxComUSB com;
    if (com.Open(0) != 0) {
      state.SkipWithError("no virtual device");
      return;
    }
    short m = 0;
    for (auto _ : state) benchmark::DoNotOptimize(com.SetTransMot(m++, 0, 0));
  }
  tkx::virt::UnplugAll();
  tkx::virt::Rescan();
}
BENCHMARK(BM_VirtualMotorCommand);

// ---- the three-arm model: each conversion answered by its cache (step 0), and with new inputs every call ----

struct TrionCase {
  int e[3];
  double p[3];
  double f[3];
};

// reachable configurations of a three-degree device from a fixed seed, with a force each
std::vector<TrionCase> TrionCases(tkxTrion &t) {
  t.SetConfig(33);
  std::mt19937 gen(5);
  std::uniform_int_distribution<int> enc(8000, 24000);
  std::uniform_real_distribution<double> force(-2.0, 2.0);
  std::vector<TrionCase> cases;
  while (cases.size() < 1024) {
    TrionCase c;
    for (int i = 0; i < 3; ++i) c.e[i] = enc(gen), c.f[i] = force(gen);
    int back[3];
    if (t.EncToPos(c.e[0], c.e[1], c.e[2], &c.p[0], &c.p[1], &c.p[2]) == 0 &&
        t.PosToEnc(c.p[0], c.p[1], c.p[2], &back[0], &back[1], &back[2]) == 0)
      cases.push_back(c);
  }
  return cases;
}

void BM_EncToPos(benchmark::State &state, size_t step) {
  tkxTrion t;
  const std::vector<TrionCase> cases = TrionCases(t);
  double x, y, z;
  for (const TrionCase &c : cases) t.EncToPos(c.e[0], c.e[1], c.e[2], &x, &y, &z);
  size_t i = 0;
  for (auto _ : state) {
    const TrionCase &c = cases[i];
    benchmark::DoNotOptimize(t.EncToPos(c.e[0], c.e[1], c.e[2], &x, &y, &z));
    i = (i + step) & 1023;
  }
}
BENCHMARK_CAPTURE(BM_EncToPos, cached, size_t{0});
BENCHMARK_CAPTURE(BM_EncToPos, uncached, size_t{1});

void BM_PosToEnc(benchmark::State &state, size_t step) {
  tkxTrion t;
  const std::vector<TrionCase> cases = TrionCases(t);
  int a, b, c3;
  for (const TrionCase &c : cases) t.PosToEnc(c.p[0], c.p[1], c.p[2], &a, &b, &c3);
  size_t i = 0;
  for (auto _ : state) {
    const TrionCase &c = cases[i];
    benchmark::DoNotOptimize(t.PosToEnc(c.p[0], c.p[1], c.p[2], &a, &b, &c3));
    i = (i + step) & 1023;
  }
}
BENCHMARK_CAPTURE(BM_PosToEnc, cached, size_t{0});
BENCHMARK_CAPTURE(BM_PosToEnc, uncached, size_t{1});

// with gravity compensation in force, as in the haptic loop
void BM_FrcToMot(benchmark::State &state, size_t step) {
  tkxTrion t;
  const std::vector<TrionCase> cases = TrionCases(t);
  short m0, m1, m2;
  for (const TrionCase &c : cases) t.FrcToMot(c.f[0], c.f[1], c.f[2], c.e[0], c.e[1], c.e[2], &m0, &m1, &m2);
  size_t i = 0;
  for (auto _ : state) {
    const TrionCase &c = cases[i];
    benchmark::DoNotOptimize(t.FrcToMot(c.f[0], c.f[1], c.f[2], c.e[0], c.e[1], c.e[2], &m0, &m1, &m2));
    i = (i + step) & 1023;
  }
}
BENCHMARK_CAPTURE(BM_FrcToMot, cached, size_t{0});
BENCHMARK_CAPTURE(BM_FrcToMot, uncached, size_t{1});

// ---- one haptic step through the C entries ----

// what a haptic loop does per iteration: read the position, command a new force,
// with the time guard on, against a trion.6 on the virtual bus that answers at
// once. The force changes every step, so its conversion is never a cache hit.
void BM_HapticStepCApi(benchmark::State &state) {
  tkx::testing::EnableLibusbBackend(false);
  const int rate = tkx::virt::testing::Rate();
  setenv("TKX_VIRTUAL_RATE", "0", 1);
  tkx::virt::testing::ReadEnvironment();
  tkx::virt::testing::SetRate(0);
  tkx::virt::UnplugAll();
  tkx::virt::Rescan();
  tkx::virt::Plug(61);
  tkx::virt::Rescan();
  tkxGetDeviceCount();
  if (tkxOpenID(0) != 0) {
    state.SkipWithError("no virtual device");
    return;
  }
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> force(-1.0, 1.0);
  std::vector<double> forces(3 * 1024);
  for (double &f : forces) f = force(gen);
  double x, y, z;
  size_t i = 0;
  auto step = [&] {
    tkxGetPosition(&x, &y, &z, 0);
    tkxSetForce(forces[3 * i], forces[3 * i + 1], forces[3 * i + 2], 0);
    i = (i + 1) & 1023;
  };
  for (int k = 0; k < 2000; ++k) step();
  for (auto _ : state) {
    step();
    benchmark::DoNotOptimize(x);
  }
  tkxClose(0);
  tkx::virt::UnplugAll();
  tkx::virt::Rescan();
  tkxGetDeviceCount();
  tkx::virt::testing::SetRate(rate);
}
BENCHMARK(BM_HapticStepCApi);

}  // namespace
