// Mesh preparation: neighbour lists.
#include "scene/mesh/CMesh.h"
#include "support/BenchMeshes.h"

#include <benchmark/benchmark.h>

namespace {

// neighbour lists of a closed sphere and a flat grid (shared vertices) and of a
// soup (none shared)
enum class Shape { kSphere, kGrid, kSoup };
void BM_NeighborList(benchmark::State &state, Shape shape) {
  cMesh mesh(nullptr);
  const unsigned int count = static_cast<unsigned int>(state.range(0));
  if (shape == Shape::kSphere)
    bench::MakeSphere(mesh, count);
  else if (shape == Shape::kGrid)
    bench::MakeGrid(mesh, count);
  else
    bench::MakeSoup(mesh, count, 11);
  for (auto _ : state) {
    mesh.createTriangleNeighborList(false);
    benchmark::ClobberMemory();
  }
  state.counters["triangles"] = static_cast<double>(mesh.getNumTriangles());
}
BENCHMARK_CAPTURE(BM_NeighborList, sphere, Shape::kSphere)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NeighborList, grid, Shape::kGrid)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NeighborList, soup, Shape::kSoup)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
