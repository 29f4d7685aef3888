// The 3DS loader from file to mesh tree: the shipped tooth and burr and a
// generated million-triangle model, in triangles per second. With assimp found at
// configuration, bench_Assimp3DS.cpp loads the same files beside it.
#include "scene/files/CFileLoader3DS.h"
#include "scene/mesh/CMesh.h"

#include "support/Bench3dsFiles.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void Load(benchmark::State &state, const std::string &path) {
  if (path.empty()) {
    state.SkipWithError("no model");
    return;
  }
  unsigned int triangles = 0;
  for (auto _ : state) {
    cMesh mesh(nullptr);
    if (!cLoadFile3DS(&mesh, path)) {
      state.SkipWithError("load failed");
      return;
    }
    triangles = mesh.getNumTriangles(true);
    benchmark::DoNotOptimize(mesh.m_kids.data());
  }
  bench::ReportTriangles(state, double(triangles));
}

void BM_Load3DS_Tooth(benchmark::State &state) { Load(state, bench::ShippedModel("tooth.3ds")); }
void BM_Load3DS_Fraise(benchmark::State &state) { Load(state, bench::ShippedModel("fraise.3ds")); }
void BM_Load3DS_Million(benchmark::State &state) { Load(state, bench::MillionTrianglePath()); }
BENCHMARK(BM_Load3DS_Tooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load3DS_Fraise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load3DS_Million)->Unit(benchmark::kMillisecond);

}  // namespace
