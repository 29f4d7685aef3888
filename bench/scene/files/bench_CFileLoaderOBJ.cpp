// The OBJ loader from file to mesh tree: the shipped turntable and a generated
// million-triangle model, in triangles per second. With assimp found at
// configuration, bench_AssimpOBJ.cpp loads the same files beside it.
#include "scene/files/CFileLoaderOBJ.h"
#include "scene/mesh/CMesh.h"

#include "support/Bench3dsFiles.h"
#include "support/BenchObjFiles.h"

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
    if (!cLoadFileOBJ(&mesh, path)) {
      state.SkipWithError("load failed");
      return;
    }
    triangles = mesh.getNumTriangles(true);
    benchmark::DoNotOptimize(mesh.m_kids.data());
  }
  bench::ReportTriangles(state, double(triangles));
}

void BM_LoadOBJ_Turntable(benchmark::State &state) { Load(state, bench::ShippedModel("turntable.obj")); }
void BM_LoadOBJ_Million(benchmark::State &state) { Load(state, bench::MillionTriangleObjPath()); }
BENCHMARK(BM_LoadOBJ_Turntable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadOBJ_Million)->Unit(benchmark::kMillisecond);

}  // namespace
