// The same files as bench_CFileLoaderOBJ.cpp through assimp's OBJ reader, for
// comparison; built only when assimp was found. Triangulation is asked for, as
// our loader triangulates; nothing else.
#include "support/Bench3dsFiles.h"
#include "support/BenchObjFiles.h"

#include <assimp/postprocess.h>
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
    const aiScene *scene = importer.ReadFile(path, aiProcess_Triangulate);
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

void BM_AssimpOBJ_Turntable(benchmark::State &state) { Load(state, bench::ShippedModel("turntable.obj")); }
void BM_AssimpOBJ_Million(benchmark::State &state) { Load(state, bench::MillionTriangleObjPath()); }
BENCHMARK(BM_AssimpOBJ_Turntable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssimpOBJ_Million)->Unit(benchmark::kMillisecond);

}  // namespace
