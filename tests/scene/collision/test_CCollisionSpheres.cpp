// The sphere tree: its triangle spheres, its structure, and its answers checked
// against the brute-force scan and the AABB tree over seeded random segments.
#include "bench/support/BenchMeshes.h"
#include "scene/collision/CCollisionAABB.h"
#include "scene/collision/CCollisionAABBTree.h"
#include "scene/collision/CCollisionBrute.h"
#include "scene/collision/CCollisionSpheres.h"
#include "scene/mesh/CMesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Answer {
  bool hit = false;
  cGenericObject *object = nullptr;
  cTriangle *triangle = nullptr;
  cVector3d point;
  double squareDistance = -1.0;
};

Answer Query(cGenericCollision &detector, cVector3d a, cVector3d b, int callNumber = 1) {
  Answer r;
  r.hit = detector.computeCollision(a, b, r.object, r.triangle, r.point, r.squareDistance, callNumber);
  return r;
}

std::string Describe(const cVector3d &a, const cVector3d &b) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "a=(%.17g, %.17g, %.17g) b=(%.17g, %.17g, %.17g)", a.x, a.y, a.z, b.x, b.y, b.z);
  return buf;
}

std::vector<unsigned int> Seeds() {
  const char *env = std::getenv("TKX_SEED");
  if (env != nullptr && *env != '\0') return {static_cast<unsigned int>(std::strtoul(env, nullptr, 10))};
  return {1, 2, 3};
}

// n x n cells in the plane at height z, fronts facing +z
void MakeGrid(cMesh &mesh, int n, double cell, double z = 0.0) {
  const double o = -0.5 * n * cell;
  const unsigned int base = static_cast<unsigned int>(mesh.m_vertexSlots.size());
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) mesh.newVertex(o + i * cell, o + j * cell, z);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const unsigned int v = base + j * (n + 1) + i;
      mesh.newTriangle(v, v + 1, v + n + 2);
      mesh.newTriangle(v, v + n + 2, v + n + 1);
    }
  }
}

// the answer of the sphere tree equals the reference's: the same triangle, point
// and squared distance, or at an exact tie another triangle at the same distance
void ExpectSame(const Answer &got, const Answer &ref, const cVector3d &a, const cVector3d &b, int &hits) {
  ASSERT_EQ(got.hit, ref.hit) << Describe(a, b);
  if (!ref.hit) return;
  ++hits;
  ASSERT_EQ(got.object, ref.object) << Describe(a, b);
  ASSERT_EQ(got.squareDistance, ref.squareDistance) << Describe(a, b);
  ASSERT_EQ(got.point, ref.point) << Describe(a, b);
  if (got.triangle == ref.triangle) return;
  cVector3d p;
  double d2 = -1.0;
  ASSERT_TRUE(cIntersectSegmentTriangle(*got.triangle, a, b - a, 1e300, p, d2)) << Describe(a, b);
  ASSERT_EQ(d2, ref.squareDistance) << Describe(a, b);
}

// random segments of several kinds around a mesh of about unit size: long ones
// through it, short ones near a face (the proxy's case), and arbitrary ones
void CompareOnRandomSegments(cMesh &mesh, unsigned int seed, int count, bool useNeighbors = false) {
  cCollisionSpheres spheres(&mesh.m_triangleSlots, useNeighbors);
  spheres.initialize();
  cCollisionAABB aabb(&mesh.m_triangleSlots, false);
  aabb.initialize();
  // the scan over the live triangles only, as both trees should answer
  std::vector<cTriangle> live;
  for (const cTriangle &t : mesh.m_triangleSlots)
    if (t.m_inUse) live.push_back(t);
  cCollisionBrute brute(&live);

  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0), w(0.05, 0.45);
  int hits = 0;
  for (int i = 0; i < count; ++i) {
    cVector3d a, b;
    const cTriangle &t = live[rng() % live.size()];
    switch (rng() % 3) {
      case 0:
        a.set(3 * u(rng), 3 * u(rng), 3 * u(rng));
        b = a * -1.0 + cVector3d(u(rng), u(rng), u(rng)) * 0.5;
        break;
      case 1: {
        const cVector3d &v0 = t.getVertex(0)->m_pos;
        const cVector3d p = v0 + (t.getVertex(1)->m_pos - v0) * w(rng) + (t.getVertex(2)->m_pos - v0) * w(rng);
        const cVector3d d(u(rng), u(rng), u(rng));
        a = p + d * 0.02;
        b = p - d * 0.02;
        break;
      }
      default:
        a.set(2 * u(rng), 2 * u(rng), 2 * u(rng));
        b.set(2 * u(rng), 2 * u(rng), 2 * u(rng));
        break;
    }
    const Answer ref = Query(brute, a, b);
    // live[k] is a copy: compare through its slot in the mesh
    Answer refInMesh = ref;
    if (ref.hit) {
      refInMesh.triangle = &mesh.m_triangleSlots[ref.triangle->m_slot];
      refInMesh.object = &mesh;
    }
    ExpectSame(Query(spheres, a, b, 1), refInMesh, a, b, hits);
    ExpectSame(Query(spheres, a, b, -1), refInMesh, a, b, hits);
    const Answer byBoxes = Query(aabb, a, b);
    ExpectSame(Query(spheres, a, b), byBoxes, a, b, hits);
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_GT(hits, count / 4);
}

// every allocated triangle has one leaf; every sphere lies inside its parent's
void CheckStructure(const cCollisionSpheres &tree, const cMesh &mesh) {
  std::set<const cTriangle *> seen;
  std::vector<const cCollisionSpheresSphere *> stack{tree.getRoot()};
  while (!stack.empty()) {
    const cCollisionSpheresSphere *s = stack.back();
    stack.pop_back();
    if (s->m_parent != nullptr) {
      const double reach = (s->m_center - s->m_parent->m_center).length() + s->m_radius;
      EXPECT_LE(reach, s->m_parent->m_radius * (1 + 1e-12));
      EXPECT_EQ(s->m_depth, s->m_parent->m_depth + 1);
    }
    if (s->isLeaf()) {
      const auto *shape =
          static_cast<const cCollisionSpheresTri *>(static_cast<const cCollisionSpheresLeaf *>(s)->m_shape);
      ASSERT_NE(shape, nullptr);
      EXPECT_EQ(shape->getSphere(), s);
      EXPECT_TRUE(seen.insert(shape->getTriangle()).second);
      for (int c = 0; c < 3; ++c) EXPECT_LE((shape->getCorner(c) - s->m_center).length(), s->m_radius * (1 + 1e-12));
    } else {
      const auto *node = static_cast<const cCollisionSpheresNode *>(s);
      ASSERT_NE(node->m_first, nullptr);
      ASSERT_NE(node->m_second, nullptr);
      EXPECT_EQ(node->m_first->m_parent, s);
      EXPECT_EQ(node->m_second->m_parent, s);
      stack.push_back(node->m_first);
      stack.push_back(node->m_second);
    }
  }
  size_t allocated = 0;
  for (const cTriangle &t : mesh.m_triangleSlots) {
    if (!t.m_inUse) continue;
    ++allocated;
    EXPECT_EQ(seen.count(&t), 1u) << "slot " << t.m_slot;
  }
  EXPECT_EQ(seen.size(), allocated);
}

// ---- triangle spheres ------------------------------------------------------------------

TEST(TriangleSphere, RightTriangleIsCentredOnTheHypotenuse) {
  cVector3d c;
  double r;
  cTriangleSphere(cVector3d(0, 0, 0), cVector3d(4, 0, 0), cVector3d(0, 3, 0), c, r);
  EXPECT_TRUE(c.equals(cVector3d(2, 1.5, 0), 1e-12));
  EXPECT_DOUBLE_EQ(r, 2.5);
}

TEST(TriangleSphere, AcuteTriangleGetsItsCircumsphereAndObtuseItsLongestEdge) {
  cVector3d c;
  double r;
  const double h = std::sqrt(3.0) / 2.0;
  cTriangleSphere(cVector3d(0, 0, 1), cVector3d(1, 0, 1), cVector3d(0.5, h, 1), c, r);
  EXPECT_TRUE(c.equals(cVector3d(0.5, h / 3.0, 1), 1e-7));
  EXPECT_NEAR(r, 1.0 / std::sqrt(3.0), 1e-7);
  // obtuse: the circumcentre lies outside; half the long edge is smaller
  cTriangleSphere(cVector3d(0, 0, 0), cVector3d(10, 0, 0), cVector3d(5, 1, 0), c, r);
  EXPECT_TRUE(c.equals(cVector3d(5, 0, 0), 1e-12));
  EXPECT_DOUBLE_EQ(r, 5.0);
  // collinear corners: the two farthest apart span the sphere
  cTriangleSphere(cVector3d(0, 0, 0), cVector3d(1, 0, 0), cVector3d(3, 0, 0), c, r);
  EXPECT_TRUE(c.equals(cVector3d(1.5, 0, 0), 1e-12));
  EXPECT_DOUBLE_EQ(r, 1.5);
}

TEST(TriangleSphere, EncloseEveryCornerAtEveryScale) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (double scale : {1e-4, 1.0, 1e3}) {
    for (int i = 0; i < 2000; ++i) {
      const cVector3d p[3] = {cVector3d(u(rng), u(rng), u(rng)) * scale, cVector3d(u(rng), u(rng), u(rng)) * scale,
                              cVector3d(u(rng), u(rng), u(rng)) * scale};
      cVector3d c;
      double r;
      cTriangleSphere(p[0], p[1], p[2], c, r);
      double longest = 0;
      for (int k = 0; k < 3; ++k) {
        EXPECT_LE((p[k] - c).length(), r * (1 + 1e-12));
        longest = std::max(longest, (p[k] - p[(k + 1) % 3]).length());
      }
      // never larger than the circumsphere of a right triangle on the longest edge
      EXPECT_LE(r, longest * (1.0 / std::sqrt(3.0) + 1e-6) + 1e-12 * scale);
    }
  }
}

// ---- structure -------------------------------------------------------------------------

TEST(SphereTree, EmptyMeshHasNoTreeAndNeverHits) {
  cMesh mesh(nullptr);
  cCollisionSpheres tree(&mesh.m_triangleSlots, true);
  tree.initialize();
  EXPECT_EQ(tree.getRoot(), nullptr);
  EXPECT_FALSE(Query(tree, cVector3d(0, 0, 1), cVector3d(0, 0, -1), 1).hit);
  EXPECT_FALSE(Query(tree, cVector3d(0, 0, 1), cVector3d(0, 0, -1), 2).hit);
}

TEST(SphereTree, OneTriangleMakesTheLeafTheRoot) {
  cMesh mesh(nullptr);
  mesh.newTriangle(cVector3d(0, 0, 0), cVector3d(1, 0, 0), cVector3d(0, 1, 0));
  cCollisionSpheres tree(&mesh.m_triangleSlots, false);
  tree.initialize();
  ASSERT_NE(tree.getRoot(), nullptr);
  EXPECT_TRUE(tree.getRoot()->isLeaf());
  const Answer r = Query(tree, cVector3d(0.2, 0.3, 1), cVector3d(0.2, 0.3, -1));
  ASSERT_TRUE(r.hit);
  EXPECT_EQ(r.triangle, &mesh.m_triangleSlots[0]);
  EXPECT_EQ(r.object, &mesh);
  EXPECT_EQ(r.point, cVector3d(0.2, 0.3, 0));
  EXPECT_DOUBLE_EQ(r.squareDistance, 1.0);
  // from behind the face
  EXPECT_FALSE(Query(tree, cVector3d(0.2, 0.3, -1), cVector3d(0.2, 0.3, 1)).hit);
  EXPECT_EQ(tree.getLastHitTriangle(), nullptr);
}

TEST(SphereTree, SplitsAcrossTheWidestSpreadAndEnclosesEverySphere) {
  cMesh mesh(nullptr);
  // a strip long in y: the root splits across y
  for (int i = 0; i < 40; ++i) mesh.newTriangle(cVector3d(0, i, 0), cVector3d(0.5, i, 0), cVector3d(0, i + 0.5, 0));
  cCollisionSpheres tree(&mesh.m_triangleSlots, false);
  tree.initialize();
  EXPECT_EQ(tree.getSplitAxis(0), 1);
  EXPECT_EQ(tree.getLeafCount(), 40u);
  CheckStructure(tree, mesh);
  // the lower half of the strip is the root's first child
  const auto *root = static_cast<const cCollisionSpheresNode *>(tree.getRoot());
  EXPECT_LT(root->m_first->m_center.y, 20.0);
  EXPECT_GT(root->m_second->m_center.y, 20.0);
}

TEST(SphereTree, RemovedTrianglesHaveNoLeafAndAreNeverHit) {
  cMesh mesh(nullptr);
  bench::MakeSphere(mesh, 3000);
  for (unsigned int i = 0; i < mesh.m_triangleSlots.size(); i += 5) mesh.removeTriangle(i);
  cCollisionSpheres tree(&mesh.m_triangleSlots, false);
  tree.initialize();
  CheckStructure(tree, mesh);
  CompareOnRandomSegments(mesh, Seeds()[0], 2000);
}

// ---- answers ---------------------------------------------------------------------------

TEST(SphereTree, MatchesTheScanAndTheBoxTreeOnAClosedSphere) {
  for (unsigned int seed : Seeds()) {
    cMesh mesh(nullptr);
    bench::MakeSphere(mesh, 5000);
    CompareOnRandomSegments(mesh, seed, 3000);
  }
}

TEST(SphereTree, MatchesTheScanAndTheBoxTreeOnATriangleSoup) {
  for (unsigned int seed : Seeds()) {
    cMesh mesh(nullptr);
    bench::MakeSoup(mesh, 3000, seed);
    CompareOnRandomSegments(mesh, seed, 1500);
  }
}

TEST(SphereTree, MatchesTheScanOnAFlatGridWithSharedEdges) {
  cMesh mesh(nullptr);
  MakeGrid(mesh, 30, 1.0 / 15);
  CompareOnRandomSegments(mesh, 4, 3000);
}

TEST(SphereTree, MatchesTheScanWithNeighbourListsOnFirstCalls) {
  cMesh mesh(nullptr);
  bench::MakeSphere(mesh, 2000);
  mesh.createTriangleNeighborList(false);
  CompareOnRandomSegments(mesh, 5, 2000, true);
}

// two meshes built and queried at once from two threads answer as if alone
TEST(SphereTree, TwoTreesBuildAndAnswerIndependentlyOnTwoThreads) {
  cMesh sphere(nullptr), soup(nullptr);
  bench::MakeSphere(sphere, 20000);
  bench::MakeSoup(soup, 20000, 7);
  struct Run {
    cMesh *mesh;
    std::vector<Answer> answers;
  };
  auto work = [](Run &run) {
    cCollisionSpheres tree(&run.mesh->m_triangleSlots, false);
    for (int round = 0; round < 3; ++round) tree.initialize();
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 400; ++i) {
      const cVector3d a(3 * u(rng), 3 * u(rng), 3 * u(rng));
      run.answers.push_back(Query(tree, a, a * -1.0));
    }
  };
  Run a{&sphere, {}}, b{&soup, {}};
  std::thread ta(work, std::ref(a)), tb(work, std::ref(b));
  ta.join();
  tb.join();
  for (Run *run : {&a, &b}) {
    cCollisionBrute brute(&run->mesh->m_triangleSlots);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int hits = 0;
    for (int i = 0; i < 400; ++i) {
      const cVector3d p(3 * u(rng), 3 * u(rng), 3 * u(rng));
      ExpectSame(run->answers[i], Query(brute, p, p * -1.0), p, p * -1.0, hits);
      if (HasFatalFailure()) return;
    }
    EXPECT_GT(hits, 50);
  }
}

// ---- the neighbour path ------------------------------------------------------------------

// two parallel plates facing +z, at z = 0 and z = -1: no triangle of one shares a
// vertex with the other
class SphereNeighbourTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeGrid(mesh, 4, 0.5);
    upperCount = static_cast<unsigned int>(mesh.m_triangleSlots.size());
    MakeGrid(mesh, 4, 0.5, -1.0);
    tree.initialize();
    mesh.createTriangleNeighborList(false);
  }
  bool Upper(const cTriangle *t) const { return t != nullptr && t->m_slot < upperCount; }

  cMesh mesh{nullptr};
  cCollisionSpheres tree{&mesh.m_triangleSlots, true};
  cCollisionBrute brute{&mesh.m_triangleSlots};
  unsigned int upperCount = 0;
};

TEST_F(SphereNeighbourTest, LaterCallsAnswerOnlyFromTheLastTrianglesNeighbours) {
  const Answer first = Query(tree, cVector3d(0.2, 0.1, 1), cVector3d(0.2, 0.1, -2), 1);
  ASSERT_TRUE(first.hit);
  ASSERT_TRUE(Upper(first.triangle));
  EXPECT_EQ(tree.getLastHitTriangle(), first.triangle);

  const Answer near = Query(tree, cVector3d(0.7, 0.1, 1), cVector3d(0.7, 0.1, -2), 2);
  ASSERT_TRUE(near.hit);
  EXPECT_TRUE(Upper(near.triangle));
  EXPECT_NE(near.triangle, first.triangle);
  EXPECT_EQ(near.point, cVector3d(0.7, 0.1, 0));
  EXPECT_EQ(tree.getLastHitTriangle(), near.triangle);

  // the lower plate lies on this segment, but no neighbour of the cached triangle does
  const cVector3d a(0.2, 0.1, -0.5), b(0.2, 0.1, -2);
  ASSERT_TRUE(Query(brute, a, b).hit);
  EXPECT_FALSE(Query(tree, a, b, 2).hit);
  EXPECT_EQ(tree.getLastHitTriangle(), nullptr);
  const Answer third = Query(tree, a, b, 3);
  ASSERT_TRUE(third.hit);
  EXPECT_FALSE(Upper(third.triangle));
}

TEST_F(SphereNeighbourTest, CallMinusOneLeavesTheCachedTriangleAlone) {
  const Answer first = Query(tree, cVector3d(0.2, 0.1, 1), cVector3d(0.2, 0.1, -2), 1);
  ASSERT_TRUE(first.hit);
  const Answer lower = Query(tree, cVector3d(-0.6, -0.8, -0.5), cVector3d(-0.6, -0.8, -2), -1);
  ASSERT_TRUE(lower.hit);
  EXPECT_FALSE(Upper(lower.triangle));
  EXPECT_EQ(tree.getLastHitTriangle(), first.triangle);
  EXPECT_FALSE(Query(tree, cVector3d(5, 5, 1), cVector3d(5, 5, -2), -1).hit);
  EXPECT_EQ(tree.getLastHitTriangle(), first.triangle);
  EXPECT_FALSE(Query(tree, cVector3d(5, 5, 1), cVector3d(5, 5, -2), 1).hit);
  EXPECT_EQ(tree.getLastHitTriangle(), nullptr);
}

TEST(SphereTree, TheMeshInstallsItForItselfAndItsChildren) {
  cMesh mesh(nullptr);
  mesh.newTriangle(cVector3d(0, 0, 0), cVector3d(1, 0, 0), cVector3d(0, 1, 0));
  auto *kid = mesh.createMesh();
  MakeGrid(*kid, 2, 1.0, -1.0);
  mesh.addChild(kid);
  mesh.createSphereTreeCollisionDetector(true, true);
  EXPECT_NE(dynamic_cast<cCollisionSpheres *>(mesh.getCollisionDetector()), nullptr);
  EXPECT_NE(dynamic_cast<cCollisionSpheres *>(kid->getCollisionDetector()), nullptr);
  EXPECT_NE(kid->m_triangleSlots[0].m_adjacent, nullptr);
}

}  // namespace
