// Segment queries and tree builds: the AABB tree and the sphere tree beside the
// brute-force scan.
#include "scene/collision/CCollisionAABB.h"
#include "scene/collision/CCollisionBrute.h"
#include "scene/collision/CCollisionSpheres.h"
#include "scene/math/CVector3d.h"
#include "scene/mesh/CMesh.h"
#include "support/BenchMeshes.h"
#include "support/CollisionCases.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// tree builds over a closed sphere and a random soup; the mesh is made once per run
enum class Body { kSphere, kSoup };
void MakeBody(cMesh &mesh, Body body, unsigned int count) {
  if (body == Body::kSphere)
    bench::MakeSphere(mesh, count);
  else
    bench::MakeSoup(mesh, count, 3);
}

void BM_AABBBuild(benchmark::State &state, Body body) {
  cMesh mesh(nullptr);
  MakeBody(mesh, body, static_cast<unsigned int>(state.range(0)));
  cCollisionAABB tree(&mesh.m_triangleSlots, false);
  for (auto _ : state) {
    tree.initialize();
    benchmark::ClobberMemory();
  }
  state.counters["triangles"] = static_cast<double>(tree.getLeafCount());
}
BENCHMARK_CAPTURE(BM_AABBBuild, sphere, Body::kSphere)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AABBBuild, soup, Body::kSoup)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// first-hit queries: short segments (0.1 % to 1 % of the mesh's size, the proxy's
// case) crossing a random triangle against its normal, or long ones through the
// whole mesh; a fixed table of segments is walked round
enum class Reach { kShort, kLong };
struct Segments {
  static constexpr int kCount = 1024;
  std::vector<cVector3d> a, b;
  Segments(cMesh &mesh, Reach reach) : a(kCount), b(kCount) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(-1.0, 1.0), w(0.1, 0.4), len(0.002, 0.02);
    for (int i = 0; i < kCount; ++i) {
      if (reach == Reach::kLong) {
        cVector3d d(u(rng), u(rng), u(rng));
        d.normalize();
        a[i] = d * 3.0;
        b[i] = d * -3.0 + cVector3d(u(rng), u(rng), u(rng)) * 0.5;
        continue;
      }
      const cTriangle &t = mesh.m_triangleSlots[rng() % mesh.m_triangleSlots.size()];
      const cVector3d &v0 = t.getVertex(0)->m_pos, &v1 = t.getVertex(1)->m_pos, &v2 = t.getVertex(2)->m_pos;
      const cVector3d p = v0 + (v1 - v0) * w(rng) + (v2 - v0) * w(rng);
      const cVector3d n = cNormalize((v1 - v0).cross(v2 - v0));
      const double l = len(rng);
      a[i] = p + n * (0.5 * l);
      b[i] = p - n * (0.5 * l);
    }
  }
};

void RunQueries(benchmark::State &state, cGenericCollision &detector, const Segments &seg) {
  int i = 0;
  long hits = 0;
  for (auto _ : state) {
    cVector3d a = seg.a[i], b = seg.b[i];
    cGenericObject *object = nullptr;
    cTriangle *triangle = nullptr;
    cVector3d point;
    double d = 0.0;
    hits += detector.computeCollision(a, b, object, triangle, point, d, 1) ? 1 : 0;
    benchmark::DoNotOptimize(point);
    i = (i + 1) & (Segments::kCount - 1);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["hit_rate"] = state.iterations() > 0 ? static_cast<double>(hits) / state.iterations() : 0.0;
}

void BM_AABBQuery(benchmark::State &state, Body body, Reach reach) {
  cMesh mesh(nullptr);
  MakeBody(mesh, body, static_cast<unsigned int>(state.range(0)));
  cCollisionAABB tree(&mesh.m_triangleSlots, false);
  tree.initialize();
  const Segments seg(mesh, reach);
  RunQueries(state, tree, seg);
}
BENCHMARK_CAPTURE(BM_AABBQuery, sphere_short, Body::kSphere, Reach::kShort)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_AABBQuery, sphere_long, Body::kSphere, Reach::kLong)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_AABBQuery, soup_short, Body::kSoup, Reach::kShort)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_AABBQuery, soup_long, Body::kSoup, Reach::kLong)->Arg(10000)->Arg(100000);

// the same segments against the scan of every triangle
void BM_BruteQuery(benchmark::State &state, Body body, Reach reach) {
  cMesh mesh(nullptr);
  MakeBody(mesh, body, static_cast<unsigned int>(state.range(0)));
  cCollisionBrute brute(&mesh.m_triangleSlots);
  const Segments seg(mesh, reach);
  RunQueries(state, brute, seg);
}
BENCHMARK_CAPTURE(BM_BruteQuery, sphere_short, Body::kSphere, Reach::kShort)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BruteQuery, sphere_long, Body::kSphere, Reach::kLong)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

// the sphere tree on the same meshes and segments as the AABB tree
void BM_SpheresBuild(benchmark::State &state, Body body) {
  cMesh mesh(nullptr);
  MakeBody(mesh, body, static_cast<unsigned int>(state.range(0)));
  cCollisionSpheres tree(&mesh.m_triangleSlots, false);
  for (auto _ : state) {
    tree.initialize();
    benchmark::ClobberMemory();
  }
  state.counters["triangles"] = static_cast<double>(tree.getLeafCount());
}
BENCHMARK_CAPTURE(BM_SpheresBuild, sphere, Body::kSphere)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SpheresBuild, soup, Body::kSoup)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SpheresQuery(benchmark::State &state, Body body, Reach reach) {
  cMesh mesh(nullptr);
  MakeBody(mesh, body, static_cast<unsigned int>(state.range(0)));
  cCollisionSpheres tree(&mesh.m_triangleSlots, false);
  tree.initialize();
  const Segments seg(mesh, reach);
  RunQueries(state, tree, seg);
}
BENCHMARK_CAPTURE(BM_SpheresQuery, sphere_short, Body::kSphere, Reach::kShort)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SpheresQuery, sphere_long, Body::kSphere, Reach::kLong)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SpheresQuery, soup_short, Body::kSoup, Reach::kShort)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SpheresQuery, soup_long, Body::kSoup, Reach::kLong)->Arg(10000)->Arg(100000);

}  // namespace

// ---- side by side with a ray-tracing kernel (bench_CCollisionEmbree.cpp) -------------

namespace {

void BM_PairBuild(benchmark::State &state, int level, bench::CollisionWork work) {
  const bench::CollisionCase &c = bench::GetCollisionCase(level, work);
  cCollisionAABB tree(&c.mesh->m_triangleSlots, false);
  for (auto _ : state) {
    tree.initialize();
    benchmark::ClobberMemory();
  }
  state.counters["triangles"] = static_cast<double>(tree.getLeafCount());
}

void BM_PairQuery(benchmark::State &state, int level, bench::CollisionWork work) {
  const bench::CollisionCase &c = bench::GetCollisionCase(level, work);
  cCollisionAABB tree(&c.mesh->m_triangleSlots, false);
  tree.initialize();
  int i = 0;
  long hits = 0;
  for (auto _ : state) {
    cVector3d a = c.a[i], b = c.b[i];
    cGenericObject *object = nullptr;
    cTriangle *triangle = nullptr;
    cVector3d point;
    double d = 0.0;
    hits += tree.computeCollision(a, b, object, triangle, point, d, 1) ? 1 : 0;
    benchmark::DoNotOptimize(point);
    if (++i == bench::CollisionCase::kSegments) i = 0;
  }
  state.counters["hit_rate"] = state.iterations() > 0 ? static_cast<double>(hits) / state.iterations() : 0.0;
}

// one mesh at a time: each kernel's build, then each kind of segment on both
const bool g_pairRegistered = [] {
  using bench::CollisionWork;
  auto add = [](bool build, const char *kernel, CollisionWork w, int level,
                void (*fn)(benchmark::State &, int, CollisionWork)) {
    auto *b = benchmark::RegisterBenchmark(bench::CollisionBenchName(build, kernel, w, level).c_str(), fn, level, w);
    if (build) b->Unit(benchmark::kMillisecond);
  };
  for (int level : bench::CollisionLevels()) {
    for (CollisionWork body : {CollisionWork::kShort, CollisionWork::kSoup}) {
      add(true, "ours", body, level, BM_PairBuild);
#ifdef TKX_HAVE_EMBREE
      add(true, "embree", body, level, bench::BM_EmbreeBuild);
#endif
      const std::vector<CollisionWork> works =
          body == CollisionWork::kSoup ? std::vector<CollisionWork>{CollisionWork::kSoup}
                                       : std::vector<CollisionWork>{CollisionWork::kShort, CollisionWork::kLong};
      for (CollisionWork w : works) {
        add(false, "ours", w, level, BM_PairQuery);
#ifdef TKX_HAVE_EMBREE
        add(false, "embree", w, level, bench::BM_EmbreeQuery);
#endif
      }
    }
  }
  return true;
}();

}  // namespace
