// Costs of the framework's hot value operations, as the haptic loop uses them.
#include "BenchMeshes.h"
#include "scene/CCollisionAABB.h"
#include "scene/CCollisionBrute.h"
#include "scene/CGenericObject.h"
#include "scene/CPotentialFieldForceAlgo.h"
#include "scene/CProxyPointForceAlgo.h"
#include "scene/CShapeBlock.h"
#include "scene/CShapeSphere.h"
#include "scene/CShapeTorus.h"
#include "scene/CWorld.h"
#include "scene/CMaths.h"
#include "scene/CMesh.h"
#include "scene/CMatrix3d.h"
#include "scene/CVector3d.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <initializer_list>
#include <random>
#include <vector>

namespace {

// a fixed table of inputs, walked round so the compiler cannot fold the work away
struct Inputs {
  static constexpr int kCount = 1024;
  std::vector<cMatrix3d> m;
  std::vector<cVector3d> v;
  Inputs() : m(kCount), v(kCount) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> d(-1, 1);
    for (int i = 0; i < kCount; ++i) {
      cVector3d axis(d(rng), d(rng), d(rng));
      axis.normalize();
      m[i] = cRotMatrix(axis, 3 * d(rng));
      v[i].set(d(rng), d(rng), d(rng));
    }
  }
};

const Inputs &TheInputs() {
  static const Inputs inputs;
  return inputs;
}

void BM_MatrixTimesVector(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.m[i] * in.v[i]);
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_MatrixTimesVector);

void BM_TransposeTimesVector(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.m[i].transMul(in.v[i]));
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_TransposeTimesVector);

void BM_Cross(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.v[i].cross(in.v[(i + 1) & (Inputs::kCount - 1)]));
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_Cross);

void BM_Normalize(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    cVector3d v = in.v[i];
    v.normalize();
    benchmark::DoNotOptimize(v);
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_Normalize);

void BM_MatrixTimesMatrix(benchmark::State &state) {
  const Inputs &in = TheInputs();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.m[i] * in.m[(i + 1) & (Inputs::kCount - 1)]);
    i = (i + 1) & (Inputs::kCount - 1);
  }
}
BENCHMARK(BM_MatrixTimesMatrix);

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

// ---- collision detection ----

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
BENCHMARK_CAPTURE(BM_AABBBuild, soup, Body::kSoup)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

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

// ---- haptic rendering ----

// one proxy step against a unit sphere of about n triangles with neighbour lists:
// the device circles just outside it (free space), or a little inside it so the
// proxy slides over the surface, with or without friction
enum class ProxyCase { Free, Sliding, Friction };

void BM_ProxyStep(benchmark::State &state, ProxyCase kind) {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  bench::MakeSphere(*mesh, static_cast<unsigned int>(state.range(0)));
  mesh->setStiffness(1000.0, false);
  if (kind == ProxyCase::Friction)
    mesh->setFriction(0.5, 0.3, false);
  else
    mesh->setFriction(0.0, 0.0, false);
  mesh->createAABBCollisionDetector(false, true);
  world.computeGlobalPositions(false);
  const double r = kind == ProxyCase::Free ? 1.5 : 0.97;
  cProxyPointForceAlgo algo;
  algo.initialize(&world, cVector3d(0, 0, 3));
  // slow steps, as the device moves in one haptic period
  double angle = 0.0;
  auto step = [&] {
    angle += 1e-4;
    return cVector3d(r * std::cos(angle), r * std::sin(angle), 0.1);
  };
  algo.computeForces(cVector3d(0, 0, 1.5));
  for (int i = 0; i < 1000; ++i) algo.computeForces(step());
  cVector3d force;
  for (auto _ : state) {
    force = algo.computeForces(step());
    benchmark::DoNotOptimize(force);
  }
  // zero in free space; the surface's push otherwise
  state.counters["force"] = force.length();
}
BENCHMARK_CAPTURE(BM_ProxyStep, free, ProxyCase::Free)->Arg(10000)->Arg(100000)->Unit(benchmark::kNanosecond);
BENCHMARK_CAPTURE(BM_ProxyStep, sliding, ProxyCase::Sliding)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_ProxyStep, friction, ProxyCase::Friction)->Arg(10000)->Arg(100000);

// one proxy step inside a closed room of about n triangles facing inward: the
// device pressed through the floor (one contact), through the floor and a wall
// (a concave edge, two contacts) or through three walls (a corner, three),
// moving a little on every step
enum class RoomCase { Face, Edge, Corner };

void BM_ProxyRoom(benchmark::State &state, RoomCase kind) {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  const int n = static_cast<int>(std::lround(std::sqrt(state.range(0) / 12.0)));
  bench::MakeBox(*mesh, n, 1.0, true);
  mesh->setStiffness(1000.0, false);
  mesh->setFriction(0.0, 0.0, false);
  mesh->createAABBCollisionDetector(false, true);
  world.computeGlobalPositions(false);
  cVector3d target(0.31, 0.27, -1.05);
  if (kind == RoomCase::Edge) target.set(0.31, -1.05, -1.05);
  if (kind == RoomCase::Corner) target.set(-1.05, -1.05, -1.05);
  cProxyPointForceAlgo algo;
  algo.m_proxySphereRadius = 0.001;
  algo.initialize(&world, cVector3d(0, 0, 0));
  // walk from the centre into place, outside the timed region
  for (int i = 1; i <= 1000; ++i) algo.computeForces(target * (i / 1000.0));
  double angle = 0.0;
  auto step = [&] {
    angle += 0.01;
    return target + cVector3d(std::cos(angle), std::sin(angle), std::cos(1.3 * angle)) * 0.01;
  };
  cVector3d force;
  for (auto _ : state) {
    force = algo.computeForces(step());
    benchmark::DoNotOptimize(force);
  }
  state.counters["contacts"] = algo.m_contactCount;
  state.counters["triangles"] = mesh->getNumTriangles();
}
BENCHMARK_CAPTURE(BM_ProxyRoom, face, RoomCase::Face)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_ProxyRoom, edge, RoomCase::Edge)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_ProxyRoom, corner, RoomCase::Corner)->Arg(10000)->Arg(100000);

// one potential-field step inside four overlapping shapes
void BM_PotentialFieldStep(benchmark::State &state) {
  cWorld world;
  cShapeSphere *sphere = new cShapeSphere(0.5);
  cShapeBlock *block = new cShapeBlock(0.6, 0.6, 0.6);
  cShapeTorus *torus = new cShapeTorus(0.1, 0.4);
  cShapeSphere *small = new cShapeSphere(0.2);
  for (cGenericObject *o : std::initializer_list<cGenericObject *>{sphere, block, torus, small}) world.addChild(o);
  world.computeGlobalPositions(false);
  cPotentialFieldForceAlgo algo;
  algo.initialize(&world, cVector3d(0, 0, 0));
  double t = 0.0;
  for (auto _ : state) {
    t += 1e-3;
    benchmark::DoNotOptimize(algo.computeForces(cVector3d(0.1 * std::cos(t), 0.35, 0.1 * std::sin(t))));
  }
}
BENCHMARK(BM_PotentialFieldStep);

}  // namespace
