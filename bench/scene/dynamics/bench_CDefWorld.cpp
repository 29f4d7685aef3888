// The dynamics demo's sheet: one step of its 100 nodes and 324 links (the
// haptic thread's share, out of 250 us per iteration at 4 kHz), and one
// refresh of its skin (the display tick's).
#include "scene/dynamics/CDefWorld.h"
#include "scene/graph/CWorld.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// the demo's sheet: 10 x 10 nodes 0.1 apart, corners pinned, four links a cell
struct Sheet {
  cWorld world;
  cDefWorld *defWorld;
  cDefMesh *mesh;
  cDefNode *nodes[10][10];

  explicit Sheet(bool skin) {
    defWorld = new cDefWorld;
    world.addChild(defWorld);
    mesh = defWorld->addDefMesh(std::make_unique<cDefMesh>(&world));
    if (skin) mesh->loadFromFile(std::string(TKX_SOURCE_DIR) + "/resources/models/box.3ds");
    for (int j = 0; j < 10; ++j)
      for (int i = 0; i < 10; ++i) {
        cDefNode *n = mesh->newNode(cVector3d(-0.45 + 0.1 * j, 0.1 * i - 0.43, 0.0));
        n->setMass(0.06);
        n->m_kDampingPos = 0.4;
        n->m_gravity.set(0, 0, -1);
        nodes[j][i] = n;
      }
    for (int c : {0, 9})
      for (int r : {0, 9}) nodes[c][r]->m_fixed = true;
    for (int i = 0; i < 9; ++i)
      for (int j = 0; j < 9; ++j) {
        mesh->newLink(nodes[j][i], nodes[j + 1][i]);
        mesh->newLink(nodes[j][i + 1], nodes[j + 1][i + 1]);
        mesh->newLink(nodes[j][i], nodes[j][i + 1]);
        mesh->newLink(nodes[j + 1][i], nodes[j + 1][i + 1]);
      }
    mesh->connectVerticesToSkeleton(false);
    // a dent in the middle, held while it settles (outside the timed region)
    for (int j = 4; j <= 5; ++j)
      for (int i = 4; i <= 5; ++i) nodes[j][i]->m_externalForce.set(0, 0, -0.3);
    defWorld->updateDynamics(1.0);
  }
};

void BM_DefSheetStep(benchmark::State &state) {
  Sheet s(false);
  for (auto _ : state) {
    s.defWorld->updateDynamics(0.0025);
    benchmark::DoNotOptimize(s.nodes[5][5]->m_pos);
  }
  state.counters["links"] = double(s.mesh->getNumLinks());
}
BENCHMARK(BM_DefSheetStep)->Unit(benchmark::kMicrosecond);

// the skin's vertices follow their nodes and links; with normals as well, the
// whole display-tick refresh of the demo
void BM_DefSkinUpdate(benchmark::State &state) {
  Sheet s(true);
  const bool normals = state.range(0) != 0;
  for (auto _ : state) {
    s.defWorld->updateSkins();
    if (normals) s.mesh->computeAllNormals(true);
    benchmark::DoNotOptimize(s.mesh->getVertex(0, true));
  }
  state.counters["vertices"] = double(s.mesh->getNumVertices(true));
}
BENCHMARK(BM_DefSkinUpdate)->ArgName("normals")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
