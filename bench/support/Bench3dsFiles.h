// The files the 3DS benchmarks load: the two shipped models and a generated
// model of a million triangles, written once per process by our writer from a
// fixed seed and removed at exit.
#ifndef BENCH_BENCH3DSFILES_H
#define BENCH_BENCH3DSFILES_H

#include "tools/models/Writer3ds.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

// the triangles of one load, and how many a second the loads made
inline void ReportTriangles(benchmark::State &state, double triangles) {
  state.counters["triangles"] = triangles;
  state.counters["triangles/s"] =
      benchmark::Counter(triangles * double(state.iterations()), benchmark::Counter::kIsRate);
}

// sixteen objects of 125 x 250 quads over a random height field, two materials,
// one smoothing group: 1,000,000 triangles
inline models::Scene MillionTriangles() {
  constexpr int kObjects = 16, kQuadsX = 125, kQuadsY = 250;
  models::Scene s;
  models::Material rock, moss;
  rock.name = "rock";
  rock.diffuse = {0.6f, 0.55f, 0.5f};
  moss.name = "moss";
  moss.diffuse = {0.3f, 0.5f, 0.2f};
  s.materials = {rock, moss};
  uint32_t seed = 20240601u;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return float(seed >> 8) / float(1u << 24);
  };
  for (int o = 0; o < kObjects; ++o) {
    models::Object obj;
    obj.name = "tile" + std::to_string(o);
    for (int j = 0; j <= kQuadsY; ++j)
      for (int i = 0; i <= kQuadsX; ++i) obj.vertices.push_back({float(o * kQuadsX + i), float(j), next() * 2.0f});
    for (int j = 0; j < kQuadsY; ++j)
      for (int i = 0; i < kQuadsX; ++i) {
        const uint16_t a = uint16_t(j * (kQuadsX + 1) + i), b = uint16_t(a + 1), c = uint16_t(a + kQuadsX + 2),
                       d = uint16_t(a + kQuadsX + 1);
        obj.faces.push_back({a, b, c});
        obj.faces.push_back({a, c, d});
        const int material = j < kQuadsY / 2 ? 0 : 1;
        obj.faceMaterial.insert(obj.faceMaterial.end(), {material, material});
      }
    obj.smoothing.assign(obj.faces.size(), 1);
    s.objects.push_back(obj);
  }
  return s;
}

inline const std::string &MillionTrianglePath() {
  struct File {
    std::string path;
    File() {
      path = "/tmp/scene_bench_" + std::to_string(getpid()) + "_million.3ds";
      std::string error;
      if (!models::Write3dsFile(MillionTriangles(), path, &error)) {
        std::fprintf(stderr, "cannot write the million-triangle model: %s\n", error.c_str());
        path.clear();
      }
    }
    ~File() {
      if (!path.empty()) std::remove(path.c_str());
    }
  };
  static File file;
  return file.path;
}

// a shipped model by name, from the source tree
inline std::string ShippedModel(const char *name) { return std::string(TKX_SOURCE_DIR) + "/resources/models/" + name; }

}  // namespace bench

#endif
