// The scene graph's per-step pose update.
#include "scene/graph/CGenericObject.h"
#include "scene/math/CVector3d.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

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
