// Costs of the value operations the haptic loop makes on every step.
#include "scene/math/CMaths.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// a fixed table of inputs, walked round so the compiler cannot fold the work away
struct Inputs {
  static constexpr int kCount = 1024;
  std::vector<cMatrix3d> m;
  std::vector<cVector3d> v;
  Inputs() : m(kCount), v(kCount) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> d(-1, 1);
    for (int i = 0; i < kCount; ++i) {
      cVector3d axis(d(rng), d(rng), d(rng));
      axis.normalize();
      m[i] = cRotMatrix(axis, 3 * d(rng));
      v[i].set(d(rng), d(rng), d(rng));
    }
  }
};

const Inputs &TheInputs() {
  static const Inputs inputs;
  return inputs;
}

void BM_MatrixTimesVector(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.m[i] * in.v[i]);
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_MatrixTimesVector);

void BM_TransposeTimesVector(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.m[i].transMul(in.v[i]));
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_TransposeTimesVector);

void BM_Cross(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.v[i].cross(in.v[(i + 1) & (Inputs::kCount - 1)]));
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_Cross);

void BM_Normalize(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    cVector3d v = in.v[i];
    v.normalize();
    benchmark::DoNotOptimize(v);
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_Normalize);

void BM_MatrixTimesMatrix(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.m[i] * in.m[(i + 1) & (Inputs::kCount - 1)]);
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_MatrixTimesMatrix);

}  // namespace
