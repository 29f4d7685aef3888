// The same files as bench_CFileLoader3DS.cpp through assimp's 3DS reader, for
// comparison; built only when assimp was found. No post-processing is asked for:
// its reader still computes normals by smoothing group, as ours does.
#include "support/Bench3dsFiles.h"

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

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
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(path, 0);
    if (scene == nullptr) {
      state.SkipWithError("load failed");
      return;
    }
    triangles = 0;
    for (unsigned int i = 0; i < scene->mNumMeshes; ++i) triangles += scene->mMeshes[i]->mNumFaces;
    benchmark::DoNotOptimize(scene->mMeshes);
  }
  bench::ReportTriangles(state, double(triangles));
}

void BM_Assimp3DS_Tooth(benchmark::State &state) { Load(state, bench::ShippedModel("tooth.3ds")); }
void BM_Assimp3DS_Fraise(benchmark::State &state) { Load(state, bench::ShippedModel("fraise.3ds")); }
void BM_Assimp3DS_Million(benchmark::State &state) { Load(state, bench::MillionTrianglePath()); }
BENCHMARK(BM_Assimp3DS_Tooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assimp3DS_Fraise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assimp3DS_Million)->Unit(benchmark::kMillisecond);

}  // namespace
