// The files the OBJ benchmarks load: the shipped turntable and a generated model
// of a million triangles (positions, texture coordinates and normals on every
// corner, two materials), written once per process by our writer and removed at exit.
#ifndef BENCH_BENCHOBJFILES_H
#define BENCH_BENCHOBJFILES_H

#include "tools/models/WriterObj.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace bench {

// a 500 x 1000 quad height field split into two groups: 1,000,000 triangles
inline models::ObjScene MillionTriangleObj() {
  constexpr uint32_t kX = 500, kY = 1000;
  models::ObjScene s;
  models::ObjMaterial rock, moss;
  rock.name = "rock";
  rock.diffuse = {0.6f, 0.55f, 0.5f};
  moss.name = "moss";
  moss.diffuse = {0.3f, 0.5f, 0.2f};
  moss.opacity = 0.9f;
  s.materials = {rock, moss};
  uint32_t seed = 20240601u;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return float(seed >> 8) / float(1u << 24);
  };
  for (uint32_t j = 0; j <= kY; ++j)
    for (uint32_t i = 0; i <= kX; ++i) {
      s.positions.push_back({float(i), float(j), next() * 2.0f});
      s.texCoords.push_back({float(i) / kX, float(j) / kY});
      const float nx = next() - 0.5f, ny = next() - 0.5f;
      const float len = std::sqrt(nx * nx + ny * ny + 1.0f);
      s.normals.push_back({nx / len, ny / len, 1.0f / len});
    }
  s.groups.resize(2);
  s.groups[0].name = "lower";
  s.groups[0].material = 0;
  s.groups[1].name = "upper";
  s.groups[1].material = 1;
  for (uint32_t j = 0; j < kY; ++j) {
    models::ObjGroup &g = s.groups[j < kY / 2 ? 0 : 1];
    for (uint32_t i = 0; i < kX; ++i) {
      const uint32_t a = j * (kX + 1) + i, b = a + 1, c = a + kX + 2, d = a + kX + 1;
      g.AddFace({{a, a, a}, {b, b, b}, {c, c, c}});
      g.AddFace({{a, a, a}, {c, c, c}, {d, d, d}});
    }
  }
  return s;
}

inline const std::string &MillionTriangleObjPath() {
  struct File {
    std::string path;
    File() {
      path = "/tmp/scene_bench_" + std::to_string(getpid()) + "_million.obj";
      std::string error;
      if (!models::WriteObjFiles(MillionTriangleObj(), path, &error)) {
        std::fprintf(stderr, "cannot write the million-triangle model: %s\n", error.c_str());
        path.clear();
      }
    }
    ~File() {
      if (path.empty()) return;
      std::remove(path.c_str());
      std::remove((path.substr(0, path.size() - 4) + ".mtl").c_str());
    }
  };
  static File file;
  return file.path;
}

}  // namespace bench

#endif
