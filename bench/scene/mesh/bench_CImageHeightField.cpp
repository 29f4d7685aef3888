// One proxy step against each shipped relief at its shipped size: the device
// strokes the relief at a fixed depth below its lowest point, so the proxy slides
// over the picture's bumps and every step queries the relief's AABB tree. Then
// the tree's first-hit query alone, and the cost of building a relief.
#include "scene/collision/CGenericCollision.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CWorld.h"
#include "scene/math/CVector3d.h"
#include "scene/mesh/CImageHeightField.h"
#include "scene/mesh/CMesh.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

struct Relief {
  const char *name;
  double height, size, stiffness, friction;
};

// as the nano and textures demos build them
const Relief kReliefs[] = {
    {"nano", 0.1, 0.4, 600, 0},         {"plastic", 0.01, 0.15, 900, 0}, {"stone", 0.03, 0.15, 1600, 0},
    {"silicone", 0.04, 0.15, 230, 0.6}, {"motif", 0.005, 0.15, 800, 0},
};

void BM_ReliefProxyStep(benchmark::State &state, const Relief &relief) {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  const std::string path = std::string(TKX_SOURCE_DIR "/resources/images/") + relief.name + ".bmp";
  if (!cImageHeightField::create(mesh, path.c_str(), relief.height, relief.size)) {
    state.SkipWithError("the picture did not load");
    return;
  }
  mesh->setStiffness(relief.stiffness, false);
  mesh->setFriction(relief.friction, relief.friction, false);
  world.computeGlobalPositions(false);
  // the demos' tool radius
  cProxyPointForceAlgo algo;
  algo.m_proxySphereRadius = 4e-6;
  // back and forth across the middle third, a little below the black level, at
  // about a tenth of a pixel per step (a slow stroke at kilohertz rates)
  const double span = relief.size / 3.0, depth = -0.001, z = 0.013 * relief.size;
  const double stride = relief.size / 2560.0;
  double y = -span, dir = 1.0;
  auto step = [&] {
    y += dir * stride;
    if (std::fabs(y) > span) dir = -dir;
    return cVector3d(depth, y, z);
  };
  algo.initialize(&world, cVector3d(0.1, -span, z));
  algo.computeForces(cVector3d(depth, -span, z));
  cVector3d force;
  // steps that found the tool off the relief: the proxy slipped through it, and
  // is put back on top so the stroke goes on
  double lost = 0;
  for (auto _ : state) {
    const cVector3d goal = step();
    force = algo.computeForces(goal);
    if (force.x == 0.0 && force.y == 0.0 && force.z == 0.0) {
      ++lost;
      algo.initialize(&world, cVector3d(0.1, goal.y, goal.z));
      algo.computeForces(goal);
    }
    benchmark::DoNotOptimize(force);
  }
  state.counters["triangles"] = mesh->getNumTriangles();
  state.counters["force"] = force.length();
  state.counters["lost"] = lost;
}

// the relief's AABB tree alone: first-hit queries along short segments (a few
// millimetres, the proxy's case) through the surface at random places
void BM_ReliefFirstHit(benchmark::State &state, const Relief &relief) {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  const std::string path = std::string(TKX_SOURCE_DIR "/resources/images/") + relief.name + ".bmp";
  if (!cImageHeightField::create(mesh, path.c_str(), relief.height, relief.size)) {
    state.SkipWithError("the picture did not load");
    return;
  }
  constexpr int kCount = 1024;
  std::vector<cVector3d> from(kCount), to(kCount);
  std::mt19937 rng(23);
  std::uniform_int_distribution<unsigned int> vertex(0, mesh->getNumVertices() - 1);
  for (int i = 0; i < kCount; ++i) {
    const cVector3d p = mesh->getVertex(vertex(rng))->m_pos + cVector3d(0, 1e-4, 1e-4);
    from[i] = p + cVector3d(0.003, 0, 0);
    to[i] = p - cVector3d(0.003, 0, 0);
  }
  cGenericCollision *tree = mesh->getCollisionDetector();
  int i = 0;
  long hits = 0;
  for (auto _ : state) {
    cVector3d a = from[i];
    cGenericObject *object = nullptr;
    cTriangle *triangle = nullptr;
    cVector3d point;
    double d = 0.0;
    hits += tree->computeCollision(a, to[i], object, triangle, point, d, 1) ? 1 : 0;
    benchmark::DoNotOptimize(point);
    i = (i + 1) & (kCount - 1);
  }
  state.counters["triangles"] = mesh->getNumTriangles();
  state.counters["hit_rate"] = state.iterations() > 0 ? static_cast<double>(hits) / state.iterations() : 0.0;
}

// building the relief, as the demos' setup does (picture loading included)
void BM_ReliefBuild(benchmark::State &state, const Relief &relief) {
  const std::string path = std::string(TKX_SOURCE_DIR "/resources/images/") + relief.name + ".bmp";
  unsigned int triangles = 0;
  for (auto _ : state) {
    cWorld world;
    cMesh *mesh = new cMesh(&world);
    world.addChild(mesh);
    if (!cImageHeightField::create(mesh, path.c_str(), relief.height, relief.size)) {
      state.SkipWithError("the picture did not load");
      return;
    }
    triangles = mesh->getNumTriangles();
  }
  state.counters["triangles"] = triangles;
}

}  // namespace

BENCHMARK_CAPTURE(BM_ReliefProxyStep, nano, kReliefs[0]);
BENCHMARK_CAPTURE(BM_ReliefProxyStep, plastic, kReliefs[1]);
BENCHMARK_CAPTURE(BM_ReliefProxyStep, stone, kReliefs[2]);
BENCHMARK_CAPTURE(BM_ReliefProxyStep, silicone, kReliefs[3]);
BENCHMARK_CAPTURE(BM_ReliefProxyStep, motif, kReliefs[4]);
BENCHMARK_CAPTURE(BM_ReliefFirstHit, nano, kReliefs[0]);
BENCHMARK_CAPTURE(BM_ReliefFirstHit, stone, kReliefs[2]);
BENCHMARK_CAPTURE(BM_ReliefBuild, nano, kReliefs[0])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReliefBuild, stone, kReliefs[2])->Unit(benchmark::kMillisecond);
