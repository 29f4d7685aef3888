// The meshes and segments of the side-by-side collision benchmark: closed
// icospheres of radius 0.05 and random triangle soups at about 20k, 80k and 1.3M
// triangles, with fixed tables of segments. Both the tree's benchmark and the
// ray-tracing kernel's read the same cases, so their figures compare.
#ifndef BENCH_COLLISIONCASES_H
#define BENCH_COLLISIONCASES_H

#include "scene/math/CVector3d.h"
#include "scene/mesh/CMesh.h"
#include "support/BenchMeshes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// an icosahedron of the given radius split `levels` times: 20 * 4^levels
// triangles over shared vertices, counter-clockwise seen from outside
inline void MakeIcosphere(cMesh &mesh, int levels, double radius) {
  const double t = (1.0 + std::sqrt(5.0)) / 2.0;
  std::vector<cVector3d> v = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                              {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
  for (cVector3d &p : v) p.normalize();
  std::vector<unsigned int> f = {0, 11, 5,  0, 5,  1, 0, 1, 7, 0, 7,  10, 0, 10, 11, 1, 5, 9, 5, 11,
                                 4, 11, 10, 2, 10, 7, 6, 7, 1, 8, 3,  9,  4, 3,  4,  2, 3, 2, 6, 3,
                                 6, 8,  3,  8, 9,  4, 9, 5, 2, 4, 11, 6,  2, 10, 8,  6, 7, 9, 8, 1};
  for (int l = 0; l < levels; ++l) {
    std::map<std::pair<unsigned int, unsigned int>, unsigned int> mid;
    auto middle = [&](unsigned int i, unsigned int j) {
      const auto key = std::make_pair(std::min(i, j), std::max(i, j));
      auto it = mid.find(key);
      if (it != mid.end()) return it->second;
      cVector3d p = v[i] + v[j];
      p.normalize();
      v.push_back(p);
      const unsigned int k = static_cast<unsigned int>(v.size() - 1);
      mid.emplace(key, k);
      return k;
    };
    std::vector<unsigned int> g;
    g.reserve(f.size() * 4);
    for (size_t k = 0; k < f.size(); k += 3) {
      const unsigned int a = f[k], b = f[k + 1], c = f[k + 2];
      const unsigned int ab = middle(a, b), bc = middle(b, c), ca = middle(c, a);
      for (unsigned int x : {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca}) g.push_back(x);
    }
    f.swap(g);
  }
  for (const cVector3d &p : v) mesh.newVertex(p * radius);
  for (size_t k = 0; k < f.size(); k += 3) mesh.newTriangle(f[k], f[k + 1], f[k + 2]);
}

// short: 2000 segments crossing the surface from radius 0.0505 to 0.97 x 0.05 (the
// proxy's case); long: through the whole sphere; soup: segments between random
// points of the soup's cube
enum class CollisionWork { kShort, kLong, kSoup };

inline const char *CollisionWorkName(CollisionWork w) {
  return w == CollisionWork::kShort ? "short" : w == CollisionWork::kLong ? "long" : "soup";
}

struct CollisionCase {
  std::unique_ptr<cMesh> mesh;
  std::vector<cVector3d> a, b;
  static constexpr int kSegments = 2000;
};

// the icosphere subdivision levels measured: 20,480, 81,920 and 1,310,720 triangles;
// the largest only when TKX_BENCH_LARGE is set, as it takes seconds to set up
inline std::vector<int> CollisionLevels() {
  const char *large = std::getenv("TKX_BENCH_LARGE");
  if (large != nullptr && *large != '\0' && *large != '0') return {5, 6, 8};
  return {5, 6};
}

inline unsigned int CollisionTriangles(int level) { return 20u << (2 * level); }

// the case for that level and work, made once; the previous one is dropped, as the
// benchmarks of one case run together and the largest meshes are big
inline const CollisionCase &GetCollisionCase(int level, CollisionWork work) {
  static std::pair<int, int> key(-1, -1);
  static CollisionCase held;
  const std::pair<int, int> want(level, work == CollisionWork::kSoup ? 1 : 0);
  if (key != want || held.mesh == nullptr) {
    held.mesh.reset();
    held.mesh = std::make_unique<cMesh>(nullptr);
    if (want.second == 1)
      MakeSoup(*held.mesh, CollisionTriangles(level), 3, 0.05);
    else
      MakeIcosphere(*held.mesh, level, 0.05);
    key = want;
  }
  std::mt19937 rng(29 + static_cast<unsigned int>(work));
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  held.a.assign(CollisionCase::kSegments, cVector3d());
  held.b.assign(CollisionCase::kSegments, cVector3d());
  for (int i = 0; i < CollisionCase::kSegments; ++i) {
    cVector3d d(u(rng), u(rng), u(rng));
    while (d.lengthsq() < 1e-3) d.set(u(rng), u(rng), u(rng));
    d.normalize();
    switch (work) {
      case CollisionWork::kShort:
        held.a[i] = d * 0.0505;
        held.b[i] = d * (0.97 * 0.05);
        break;
      case CollisionWork::kLong:
        held.a[i] = d * 0.15;
        held.b[i] = d * -0.15 + cVector3d(u(rng), u(rng), u(rng)) * 0.02;
        break;
      case CollisionWork::kSoup:
        held.a[i].set(0.06 * u(rng), 0.06 * u(rng), 0.06 * u(rng));
        held.b[i].set(0.06 * u(rng), 0.06 * u(rng), 0.06 * u(rng));
        break;
    }
  }
  return held;
}

// the benchmark name of one measurement: Collision/<what>/<kernel>/<work>/<triangles>;
// a build is named after its body (sphere or soup)
inline std::string CollisionBenchName(bool build, const char *kernel, CollisionWork work, int level) {
  const char *name = !build ? CollisionWorkName(work) : work == CollisionWork::kSoup ? "soup" : "sphere";
  return std::string("Collision/") + (build ? "build" : "query") + "/" + kernel + "/" + name + "/" +
         std::to_string(CollisionTriangles(level));
}

#ifdef TKX_HAVE_EMBREE
// the same work through the ray-tracing kernel, one thread (bench_CCollisionEmbree.cpp)
void BM_EmbreeBuild(benchmark::State &state, int level, CollisionWork work);
void BM_EmbreeQuery(benchmark::State &state, int level, CollisionWork work);
#endif

}  // namespace bench

#endif
