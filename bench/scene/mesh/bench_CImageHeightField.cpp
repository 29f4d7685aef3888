// One proxy step against each shipped relief at its shipped size: the device
// strokes the relief at a fixed depth below its lowest point, so the proxy slides
// over the picture's bumps and every step queries the relief's AABB tree.
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CWorld.h"
#include "scene/math/CVector3d.h"
#include "scene/mesh/CImageHeightField.h"
#include "scene/mesh/CMesh.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

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
BENCHMARK_CAPTURE(BM_ReliefBuild, nano, kReliefs[0])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReliefBuild, stone, kReliefs[2])->Unit(benchmark::kMillisecond);
