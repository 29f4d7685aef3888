// One haptic step of the proxy algorithm and of the potential-field algorithm.
#include "scene/forces/CPotentialFieldForceAlgo.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/forces/CShapeBlock.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/forces/CShapeTorus.h"
#include "scene/graph/CWorld.h"
#include "scene/math/CVector3d.h"
#include "scene/mesh/CMesh.h"
#include "support/BenchMeshes.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <initializer_list>
#include <vector>

namespace {

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
