// Costs of the device library's per-step services: the clock and the velocity estimator.
#include "tkx/tkxTime.h"
#include "tkx/tkxVelocityEstimator.h"
#include "tkx/tkxc.h"
#include "tkx/tkxComUSB.h"
#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

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
void BM_VelocityUpdateAndGet(benchmark::State &state) {
  RunUpdateAndGet(state, VELOCITY_WINDOW_SPAN, true);
}
BENCHMARK(BM_VelocityUpdateAndGet);

void BM_VelocityLastPair(benchmark::State &state) {
  RunUpdateAndGet(state, VELOCITY_LAST_PAIR, false);
}
BENCHMARK(BM_VelocityLastPair);

void BM_VelocityWindowAverage(benchmark::State &state) {
  RunUpdateAndGet(state, VELOCITY_WINDOW_AVERAGE, false);
}
BENCHMARK(BM_VelocityWindowAverage);

void BM_VelocityWindowSpan(benchmark::State &state) {
  RunUpdateAndGet(state, VELOCITY_WINDOW_SPAN, false);
}
BENCHMARK(BM_VelocityWindowSpan);

// ---- one exchange on the virtual bus ----

// an encoder read with the time guard off: one command packet out, one reply back,
// decoded into the cache, through the transport seam and the virtual firmware
void BM_VirtualExchange(benchmark::State &state) {
  tkx::testing::EnableLibusbBackend(false);
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

}  // namespace
