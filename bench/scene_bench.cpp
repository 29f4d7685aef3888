// Costs of the framework's hot value operations, as the haptic loop uses them.
#include "scene/CGenericObject.h"
#include "scene/CMaths.h"
#include "scene/CMatrix3d.h"
#include "scene/CVector3d.h"

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

// the global poses of a 1000-node tree (each node four children deep at most),
// recomputed as the haptic loop does once per step
void BM_GlobalPoseUpdate1000(benchmark::State &state) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> d(-1, 1);
  cGenericObject root;
  std::vector<cGenericObject *> nodes{&root};
  for (int i = 1; i < 1000; ++i) {
    cGenericObject *n = new cGenericObject;
    n->setPos(d(rng), d(rng), d(rng));
    cVector3d axis(d(rng), d(rng), d(rng));
    axis.normalize();
    n->rotate(axis, d(rng));
    nodes[static_cast<size_t>(rng() % nodes.size())]->addChild(n);
    nodes.push_back(n);
  }
  for (auto _ : state) {
    root.computeGlobalPositions(true);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 1000);
  root.deleteAllChildren();
}
BENCHMARK(BM_GlobalPoseUpdate1000);

}  // namespace
