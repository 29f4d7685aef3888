// Segment-against-mesh collision: the triangle test's thresholds and angle rule,
// the AABB tree's build and tie rules, the neighbour path, and the tree checked
// against the brute-force scan over seeded random segments: the same triangle,
// point and squared distance for every segment, ties included.
#include "bench/support/BenchMeshes.h"
#include "scene/collision/CCollisionAABB.h"
#include "scene/collision/CCollisionAABBBox.h"
#include "scene/collision/CCollisionAABBTree.h"
#include "scene/collision/CCollisionBrute.h"
#include "scene/mesh/CMesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
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

// n x n cells in the plane at height z around the origin, fronts facing +z
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

// the seeds of a run: a fixed set, or the one named by TKX_SEED with a wider run
std::vector<unsigned int> Seeds() {
  const char *env = std::getenv("TKX_SEED");
  if (env != nullptr && *env != '\0') return {static_cast<unsigned int>(std::strtoul(env, nullptr, 10))};
  return {1, 2, 3};
}
int SegmentsPerSeed() {
  const char *env = std::getenv("TKX_SEED");
  return (env != nullptr && *env != '\0') ? 40000 : 1500;
}

class CollisionTest : public ::testing::Test {
 protected:
  CollisionTest() : mesh(nullptr) {}

  // one triangle (0,0,0), (1,0,0), (0,1,0) with its front toward +z
  void MakeUnitTriangle() { mesh.newTriangle(cVector3d(0, 0, 0), cVector3d(1, 0, 0), cVector3d(0, 1, 0)); }

  void BuildDetectors(bool useNeighbors = false) {
    tree.reset(new cCollisionAABB(&mesh.m_triangleSlots, useNeighbors));
    tree->initialize();
    brute.reset(new cCollisionBrute(&mesh.m_triangleSlots));
    if (useNeighbors) mesh.createTriangleNeighborList(false);
  }

  // both detectors hit the given slot at a, or both miss
  void ExpectBoth(const cVector3d &a, const cVector3d &b, bool hit) {
    for (cGenericCollision *d :
         {static_cast<cGenericCollision *>(tree.get()), static_cast<cGenericCollision *>(brute.get())}) {
      const Answer r = Query(*d, a, b);
      EXPECT_EQ(r.hit, hit) << "from (" << a.x << ", " << a.y << ", " << a.z << ")";
    }
  }

  // the 8-wide descent is the default where the machine has it
  void TearDown() override { cCollisionAABB::setWideQueries(true); }

  // the tree and the scan give the same answer: hit or miss, and on a hit the same
  // triangle (at equal distances the lowest slot), point and squared distance;
  // call -1 answers as call 1; the 4-wide and the 8-wide descent alike
  void ExpectSameAnswer(const cVector3d &a, const cVector3d &b) {
    const Answer ref = Query(*brute, a, b, 1);
    for (bool wide : {true, false}) {
      const bool used = cCollisionAABB::setWideQueries(wide);
      for (int call : {1, -1}) {
        const Answer got = Query(*tree, a, b, call);
        const std::string where = Describe(a, b, call) + (used ? ", 8-wide" : ", 4-wide");
        ASSERT_EQ(got.hit, ref.hit) << where;
        if (!ref.hit) continue;
        ASSERT_EQ(got.object, &mesh);
        ASSERT_EQ(got.triangle, ref.triangle) << where;
        ASSERT_EQ(got.squareDistance, ref.squareDistance) << where;
        ASSERT_EQ(got.point, ref.point) << where;
        if (!wide) continue;
        ++hits;
        if (call == 1 && countTies) ties += CountAtSameDistance(a, b, ref.squareDistance) > 1 ? 1 : 0;
      }
    }
    cCollisionAABB::setWideQueries(true);
  }

  // how many slots the scan accepts at exactly that squared distance
  int CountAtSameDistance(const cVector3d &a, const cVector3d &b, double d2) {
    int n = 0;
    for (const cTriangle &t : mesh.m_triangleSlots) {
      cVector3d p;
      double d = -1.0;
      if (cIntersectSegmentTriangle(t, a, b - a, (b - a).lengthsq(), p, d) && d == d2) ++n;
    }
    return n;
  }

  static std::string Describe(const cVector3d &a, const cVector3d &b, int call) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "a=(%.17g, %.17g, %.17g) b=(%.17g, %.17g, %.17g) call %d", a.x, a.y, a.z, b.x, b.y,
                  b.z, call);
    return buf;
  }

  // a point well inside a random allocated triangle, pulled into its box so the
  // rounding of the combination cannot leave the box
  cVector3d PointOnFace(std::mt19937 &rng, const cTriangle &t) {
    std::uniform_real_distribution<double> w(0.1, 0.8);
    double s = w(rng), r = w(rng);
    if (s + r > 0.9) s = 0.9 - r;
    const cVector3d &v0 = t.getVertex(0)->m_pos, &v1 = t.getVertex(1)->m_pos, &v2 = t.getVertex(2)->m_pos;
    cVector3d p = v0 + (v1 - v0) * s + (v2 - v0) * r;
    for (int k = 0; k < 3; ++k) {
      p[k] = std::max(p[k], std::min(v0[k], std::min(v1[k], v2[k])));
      p[k] = std::min(p[k], std::max(v0[k], std::max(v1[k], v2[k])));
    }
    return p;
  }

  // random segments of every kind around a mesh of about unit size
  void CompareOnRandomSegments(unsigned int seed, int count) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_int_distribution<int> kind(0, 7);
    auto randomDir = [&]() {
      cVector3d d(u(rng), u(rng), u(rng));
      while (d.lengthsq() < 1e-4) d.set(u(rng), u(rng), u(rng));
      return cNormalize(d);
    };
    for (int i = 0; i < count; ++i) {
      cVector3d a, b;
      const cTriangle &t = mesh.m_triangleSlots[rng() % mesh.m_triangleSlots.size()];
      switch (kind(rng)) {
        case 0:  // long, through the whole mesh
          a = randomDir() * 3.0;
          b = a * -1.0 + cVector3d(u(rng), u(rng), u(rng)) * 0.5;
          break;
        case 1:  // short, near the surface (the proxy's case)
          b = PointOnFace(rng, t) + cVector3d(u(rng), u(rng), u(rng)) * 0.01;
          a = b + randomDir() * 0.02;
          break;
        case 2:  // starting on a face
          a = PointOnFace(rng, t);
          b = a + randomDir() * (0.01 + 0.5 * std::fabs(u(rng)));
          break;
        case 3: {  // grazing the face near the angle threshold
          const cVector3d &v0 = t.getVertex(0)->m_pos;
          cVector3d n = (t.getVertex(1)->m_pos - v0).cross(t.getVertex(2)->m_pos - v0);
          if (n.lengthsq() == 0.0) n.set(0, 0, 1);
          n = cNormalize(n);
          cVector3d side = n.cross(randomDir());
          if (side.lengthsq() < 1e-6) side = n.cross(cVector3d(1, 0, 0));
          side = cNormalize(side);
          const double theta = 1.3 + 0.1 * u(rng);
          const cVector3d dir = n * std::cos(theta) + side * std::sin(theta);
          const cVector3d p = PointOnFace(rng, t);
          a = p - dir * 0.05;
          b = p + dir * 0.05;
          break;
        }
        case 4: {  // parallel to the face, in its plane or just above it
          const cVector3d &v0 = t.getVertex(0)->m_pos;
          cVector3d e = t.getVertex(1)->m_pos - v0;
          const cVector3d p = PointOnFace(rng, t);
          a = p - e;
          b = p + e;
          if (rng() & 1) {
            const cVector3d n = e.cross(t.getVertex(2)->m_pos - v0);
            if (n.lengthsq() > 0.0) {
              a += cNormalize(n) * 1e-3;
              b += cNormalize(n) * 1e-3;
            }
          }
          break;
        }
        case 5: {  // through a corner or an edge's midpoint, where triangles tie, in any
                   // direction or along an axis (on the boxes' faces, with zero components)
          const cVector3d &v0 = t.getVertex(0)->m_pos, &v1 = t.getVertex(1)->m_pos;
          const cVector3d p = (rng() & 1) ? v0 : (v0 + v1) / 2.0;
          cVector3d axis(0, 0, 0);
          axis[static_cast<int>(rng() % 3)] = (rng() & 1) ? 1.0 : -1.0;
          const cVector3d d = ((rng() & 1) ? randomDir() : axis) * (0.001 + 0.05 * std::fabs(u(rng)));
          a = p + d;
          b = p - d;
          break;
        }
        case 6:  // from far away, towards the mesh
          a = randomDir() * 50.0;
          b = cVector3d(u(rng), u(rng), u(rng)) * 0.5;
          break;
        default:  // anywhere
          a.set(2 * u(rng), 2 * u(rng), 2 * u(rng));
          b.set(2 * u(rng), 2 * u(rng), 2 * u(rng));
          break;
      }
      ExpectSameAnswer(a, b);
      if (HasFatalFailure()) return;
    }
  }

  cMesh mesh;
  std::unique_ptr<cCollisionAABB> tree;
  std::unique_ptr<cCollisionBrute> brute;
  int hits = 0;
  int ties = 0;
  // counting ties scans the mesh per hit: only on small meshes
  bool countTies = false;
};

// ---- the triangle test ---------------------------------------------------------------

TEST_F(CollisionTest, FrontFaceAtRightAnglesHitsAndTheReversedSegmentMisses) {
  MakeUnitTriangle();
  BuildDetectors();
  for (cGenericCollision *d :
       {static_cast<cGenericCollision *>(tree.get()), static_cast<cGenericCollision *>(brute.get())}) {
    const Answer front = Query(*d, cVector3d(0.2, 0.3, 1), cVector3d(0.2, 0.3, -1));
    ASSERT_TRUE(front.hit);
    EXPECT_EQ(front.triangle, &mesh.m_triangleSlots[0]);
    EXPECT_EQ(front.object, &mesh);
    EXPECT_EQ(front.point, cVector3d(0.2, 0.3, 0));
    EXPECT_DOUBLE_EQ(front.squareDistance, 1.0);
    EXPECT_FALSE(Query(*d, cVector3d(0.2, 0.3, -1), cVector3d(0.2, 0.3, 1)).hit);
    // the plane beyond the segment's end is out of reach
    EXPECT_FALSE(Query(*d, cVector3d(0.2, 0.3, 2), cVector3d(0.2, 0.3, 1)).hit);
  }
}

TEST_F(CollisionTest, ThresholdsAreTheSinglePrecisionConstants) {
  MakeUnitTriangle();
  BuildDetectors();
  // parallel: |n . direction| below 1e-14 as a float (9.9999998e-15) never hits
  ExpectBoth(cVector3d(0.1, 0.3, 9.9999999e-16), cVector3d(1.1, 0.3, 9.9999999e-16 - 9.9999999e-15), true);
  ExpectBoth(cVector3d(0.1, 0.3, 9.9999997e-16), cVector3d(1.1, 0.3, 9.9999997e-16 - 9.9999997e-15), false);
  ExpectBoth(cVector3d(0.1, 0.3, 0.0), cVector3d(0.9, 0.05, 0.0), false);
  // a plane up to 1e-13 (as a float) behind the start still counts
  ExpectBoth(cVector3d(0.2, 0.2, -9.9999997e-14), cVector3d(0.2, 0.2, -1), true);
  ExpectBoth(cVector3d(0.2, 0.2, -9.9999999e-14), cVector3d(0.2, 0.2, -1), false);
  // a hit just outside an edge, within the same slack, counts
  ExpectBoth(cVector3d(-9.9999997e-14, 0.5, 1), cVector3d(-9.9999997e-14, 0.5, -1), true);
  ExpectBoth(cVector3d(-9.9999999e-14, 0.5, 1), cVector3d(-9.9999999e-14, 0.5, -1), false);
  ExpectBoth(cVector3d(0.5, -9.9999997e-14, 1), cVector3d(0.5, -9.9999997e-14, -1), true);
  ExpectBoth(cVector3d(0.5, -9.9999999e-14, 1), cVector3d(0.5, -9.9999999e-14, -1), false);
  // the hypotenuse allows s + r up to 1.0000000000001
  ExpectBoth(cVector3d(0.5 + 0.9e-13, 0.5, 1), cVector3d(0.5 + 0.9e-13, 0.5, -1), true);
  ExpectBoth(cVector3d(0.5 + 1.2e-13, 0.5, 1), cVector3d(0.5 + 1.2e-13, 0.5, -1), false);
}

TEST_F(CollisionTest, OnlySegmentsAgainstTheNormalOrGrazingTheFaceHit) {
  MakeUnitTriangle();
  BuildDetectors();
  // theta is the angle between the segment and the face normal (+z)
  auto segment = [](double theta, cVector3d &a, cVector3d &b) {
    const cVector3d dir(std::sin(theta), 0, std::cos(theta));
    const cVector3d p(0.3, 0.3, 0);
    a = p - dir * 0.1;
    b = p + dir * 0.1;
  };
  cVector3d a, b;
  for (double theta : {3.14159, 2.5, 1.6, 1.31}) {
    segment(theta, a, b);
    ExpectBoth(a, b, true);
  }
  for (double theta : {1.29, 1.0, 0.0}) {
    segment(theta, a, b);
    ExpectBoth(a, b, false);
  }
}

TEST_F(CollisionTest, EmptyMeshHasNoTreeAndNeverHits) {
  BuildDetectors();
  EXPECT_FALSE(tree->hasTree());
  EXPECT_EQ(tree->getLeafCount(), 0u);
  EXPECT_TRUE(tree->m_nodes.empty());
  ExpectBoth(cVector3d(0, 0, 1), cVector3d(0, 0, -1), false);
  // only removed triangles: still no tree, while the scan sees the slot
  MakeUnitTriangle();
  ASSERT_TRUE(mesh.removeTriangle(0));
  BuildDetectors();
  EXPECT_FALSE(tree->hasTree());
  EXPECT_FALSE(Query(*tree, cVector3d(0.2, 0.2, 1), cVector3d(0.2, 0.2, -1)).hit);
  EXPECT_TRUE(Query(*brute, cVector3d(0.2, 0.2, 1), cVector3d(0.2, 0.2, -1)).hit);
}

// ---- tree structure and tie rules ----------------------------------------------------

// every node's children in one list: (reference, box corners)
struct Child {
  uint32_t ref;
  cVector3d lo, hi;
};
std::vector<Child> ChildrenOf(const cCollisionAABBNode &node) {
  std::vector<Child> out;
  for (int c = 0; c < cCollisionAABBNode::kWidth; ++c) {
    if (node.m_child[c] == cCollisionAABBNode::kEmpty) continue;
    out.push_back(Child{node.m_child[c], cVector3d(node.m_box[0][c], node.m_box[1][c], node.m_box[2][c]),
                        cVector3d(node.m_box[3][c], node.m_box[4][c], node.m_box[5][c])});
  }
  return out;
}

TEST_F(CollisionTest, OneTriangleMakesTheLeafTheRoot) {
  MakeUnitTriangle();
  BuildDetectors();
  ASSERT_EQ(tree->getLeafCount(), 1u);
  ASSERT_EQ(tree->m_nodes.size(), 1u);
  ASSERT_EQ(tree->m_triangles.size(), 1u);
  const std::vector<Child> kids = ChildrenOf(tree->m_nodes[0]);
  ASSERT_EQ(kids.size(), 1u);
  ASSERT_TRUE(cCollisionAABBNode::isLeaf(kids[0].ref));
  EXPECT_EQ(cCollisionAABBNode::leafFirst(kids[0].ref), 0u);
  EXPECT_EQ(cCollisionAABBNode::leafCount(kids[0].ref), 1u);
  EXPECT_EQ(tree->m_triangles[0].m_tri, &mesh.m_triangleSlots[0]);
  EXPECT_EQ(tree->m_rootBox.m_hi, cVector3d(1, 1, 0));
  EXPECT_EQ(tree->m_rootBox.m_mid, cVector3d(0.5, 0.5, 0));
  EXPECT_EQ(tree->m_rootBox.m_halfSize, cVector3d(0.5, 0.5, 0));
  // the single-precision box holds the triangle, a little padded
  for (int k = 0; k < 3; ++k) {
    EXPECT_LT(kids[0].lo[k], tree->m_rootBox.m_lo[k]);
    EXPECT_GT(kids[0].hi[k], tree->m_rootBox.m_hi[k]);
    EXPECT_LT(kids[0].hi[k] - kids[0].lo[k], tree->m_rootBox.m_hi[k] - tree->m_rootBox.m_lo[k] + 1e-5);
  }
  EXPECT_EQ(Query(*tree, cVector3d(0.1, 0.1, 1), cVector3d(0.1, 0.1, -1)).triangle, &mesh.m_triangleSlots[0]);
  // a rebuild releases the old tree and keeps answering
  tree->initialize();
  EXPECT_TRUE(Query(*tree, cVector3d(0.1, 0.1, 1), cVector3d(0.1, 0.1, -1)).hit);
}

TEST_F(CollisionTest, TreeCoversEveryAllocatedTriangleOnceWithConsistentBoxes) {
  bench::MakeSphere(mesh, 3000);
  for (unsigned int i = 0; i < mesh.m_triangleSlots.size(); i += 9) mesh.removeTriangle(i);
  // a degenerate triangle can never be hit: the tree leaves it out
  const unsigned int degenerate = mesh.newTriangle(cVector3d(0, 0, 0), cVector3d(1, 0, 0), cVector3d(2, 0, 0));
  BuildDetectors();
  unsigned int allocated = 0;
  for (const cTriangle &t : mesh.m_triangleSlots) allocated += t.m_inUse ? 1 : 0;
  ASSERT_EQ(tree->getLeafCount(), allocated);
  ASSERT_EQ(tree->m_triangles.size(), allocated - 1);

  // each node comes before its subtree; every box holds the corners of every
  // triangle below it; every leaf's triangles are consecutive
  std::vector<int> seen(mesh.m_triangleSlots.size(), 0);
  int deepest = 0;
  std::function<void(uint32_t, int, const cVector3d &, const cVector3d &)> walk =
      [&](uint32_t ref, int level, const cVector3d &lo, const cVector3d &hi) {
        if (cCollisionAABBNode::isLeaf(ref)) {
          const uint32_t first = cCollisionAABBNode::leafFirst(ref), n = cCollisionAABBNode::leafCount(ref);
          ASSERT_LE(first + n, tree->m_triangles.size());
          for (uint32_t i = first; i < first + n; ++i) {
            const cCollisionAABBTriangle &r = tree->m_triangles[i];
            ASSERT_EQ(r.m_tri, &mesh.m_triangleSlots[r.m_slot]);
            seen[r.m_slot]++;
            EXPECT_TRUE(r.m_tri->m_inUse);
            for (int c = 0; c < 3; ++c) {
              const cVector3d &p = r.m_tri->getVertex(c)->m_pos;
              for (int k = 0; k < 3; ++k) {
                EXPECT_LT(lo[k], p[k]);
                EXPECT_GT(hi[k], p[k]);
              }
            }
            EXPECT_EQ(r.m_v0, r.m_tri->getVertex(0)->m_pos);
          }
          return;
        }
        ASSERT_LT(ref, tree->m_nodes.size());
        const cCollisionAABBNode &node = tree->m_nodes[ref];
        EXPECT_EQ(node.m_level, level);
        deepest = std::max(deepest, level + 1);
        const std::vector<Child> kids = ChildrenOf(node);
        EXPECT_GE(kids.size(), ref == 0 ? 1u : 2u);
        for (const Child &k : kids) {
          if (!cCollisionAABBNode::isLeaf(k.ref)) {
            EXPECT_GT(k.ref, ref);
          }
          for (int i = 0; i < 3; ++i) {
            EXPECT_GE(k.lo[i], lo[i]);
            EXPECT_LE(k.hi[i], hi[i]);
          }
          walk(k.ref, level + 1, k.lo, k.hi);
        }
      };
  const cVector3d far(1e30, 1e30, 1e30);
  walk(0, 0, far * -1.0, far);
  EXPECT_EQ(deepest, tree->getDepth());
  for (size_t s = 0; s < seen.size(); ++s)
    EXPECT_EQ(seen[s], (mesh.m_triangleSlots[s].m_inUse && s != degenerate) ? 1 : 0) << "slot " << s;
}

// the same tree from every build, whatever the number of threads building it
void ExpectSameTree(const cCollisionAABB &a, const cCollisionAABB &b) {
  ASSERT_EQ(a.m_nodes.size(), b.m_nodes.size());
  ASSERT_EQ(a.m_triangles.size(), b.m_triangles.size());
  ASSERT_EQ(a.getDepth(), b.getDepth());
  for (size_t i = 0; i < a.m_nodes.size(); ++i) {
    ASSERT_EQ(std::memcmp(a.m_nodes[i].m_box, b.m_nodes[i].m_box, sizeof a.m_nodes[i].m_box), 0) << "node " << i;
    ASSERT_EQ(std::memcmp(a.m_nodes[i].m_child, b.m_nodes[i].m_child, sizeof a.m_nodes[i].m_child), 0) << "node " << i;
    ASSERT_EQ(a.m_nodes[i].m_level, b.m_nodes[i].m_level);
  }
  for (size_t i = 0; i < a.m_triangles.size(); ++i) ASSERT_EQ(a.m_triangles[i].m_slot, b.m_triangles[i].m_slot);
}

TEST_F(CollisionTest, ABuildIsTheSameEveryTime) {
  bench::MakeSoup(mesh, 5000, 4);
  BuildDetectors();
  cCollisionAABB again(&mesh.m_triangleSlots, false);
  again.initialize();
  ExpectSameTree(again, *tree);
}

TEST_F(CollisionTest, ALargeTreeIsTheSameWithAnyNumberOfBuildThreads) {
  // large enough for the build to share out the root's subtrees
  bench::MakeSphere(mesh, 12000);
  cCollisionAABB::setBuildThreads(1);
  BuildDetectors();
  for (unsigned int threads : {2u, 3u, 4u}) {
    cCollisionAABB::setBuildThreads(threads);
    cCollisionAABB other(&mesh.m_triangleSlots, false);
    other.initialize();
    ExpectSameTree(other, *tree);
  }
  cCollisionAABB::setBuildThreads(0);
  for (unsigned int seed : Seeds()) CompareOnRandomSegments(seed, SegmentsPerSeed() / 30);
}

TEST_F(CollisionTest, DuplicatesTieByArrayOrderInTheScanAndTheTree) {
  const unsigned int v0 = mesh.newVertex(0, 0, 0), v1 = mesh.newVertex(1, 0, 0), v2 = mesh.newVertex(0, 1, 0);
  mesh.newTriangle(v0, v1, v2);
  mesh.newTriangle(v0, v1, v2);
  BuildDetectors();
  const cVector3d a(0.2, 0.2, 1), b(0.2, 0.2, -1);
  EXPECT_EQ(Query(*brute, a, b).triangle, &mesh.m_triangleSlots[0]);
  EXPECT_EQ(Query(*tree, a, b).triangle, &mesh.m_triangleSlots[0]);

  // many copies spread over many leaves among other triangles, the first copy
  // removed: the lowest live slot wins wherever the build puts it
  mesh.removeTriangle(0);
  MakeGrid(mesh, 20, 0.1, 0.5);
  for (int i = 0; i < 60; ++i) {
    mesh.newTriangle(v0, v1, v2);
    MakeGrid(mesh, 2, 0.05, -0.2 - 0.01 * i);
  }
  BuildDetectors();
  const cVector3d c(0.2, 0.2, 0.3), d(0.2, 0.2, -0.1);
  EXPECT_EQ(Query(*tree, c, d).triangle, &mesh.m_triangleSlots[1]);
  EXPECT_EQ(Query(*tree, c, d, -1).triangle, &mesh.m_triangleSlots[1]);
  EXPECT_EQ(Query(*brute, c, d).triangle, &mesh.m_triangleSlots[1]);
}

// every triangle below a node's child lies strictly inside the child's box, and
// inside those of all the child's ancestors
void ExpectBoxesHoldTheirTriangles(const cCollisionAABB &tree) {
  int checked = 0;
  std::function<void(uint32_t, const cVector3d &, const cVector3d &)> walk = [&](uint32_t ref, const cVector3d &lo,
                                                                                 const cVector3d &hi) {
    if (cCollisionAABBNode::isLeaf(ref)) {
      const uint32_t first = cCollisionAABBNode::leafFirst(ref), end = first + cCollisionAABBNode::leafCount(ref);
      for (uint32_t i = first; i < end; ++i) {
        for (int c = 0; c < 3; ++c) {
          const cVector3d &p = tree.m_triangles[i].m_tri->getVertex(c)->m_pos;
          for (int k = 0; k < 3; ++k) {
            ASSERT_LT(lo[k], p[k]) << "axis " << k;
            ASSERT_GT(hi[k], p[k]) << "axis " << k;
          }
        }
        ++checked;
      }
      return;
    }
    for (const Child &k : ChildrenOf(tree.m_nodes[ref])) {
      cVector3d within = k.lo, upTo = k.hi;
      for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(std::isfinite(k.lo[i]) && std::isfinite(k.hi[i]));
        ASSERT_LE(k.lo[i], k.hi[i]);
        within[i] = std::max(within[i], lo[i]);
        upTo[i] = std::min(upTo[i], hi[i]);
      }
      walk(k.ref, within, upTo);
      if (::testing::Test::HasFatalFailure()) return;
    }
  };
  const cVector3d far(std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                      std::numeric_limits<double>::max());
  walk(0, far * -1.0, far);
  EXPECT_EQ(static_cast<size_t>(checked), tree.m_triangles.size());
}

// single-precision boxes, rounded outward and padded, on flat meshes (an axis
// without extent but the padding), meshes far from the origin (where single
// precision holds little of a triangle), long thin triangles, huge and tiny
// meshes: every box holds its triangles, and the tree answers as the scan
TEST_F(CollisionTest, BoxesHoldTheirTrianglesAndMatchTheScanAtAnyPlaceAndShape) {
  struct Shape {
    const char *name;
    std::function<void(cMesh &)> make;
  };
  const Shape shapes[] = {
      {"flat grid", [](cMesh &m) { MakeGrid(m, 30, 0.05); }},
      {"flat grid far out",
       [](cMesh &m) {
         MakeGrid(m, 30, 0.05);
         for (cVertex &v : m.m_vertexSlots) v.m_pos += cVector3d(1e5, -3e4, 2e5);
       }},
      {"flat grid on its side",
       [](cMesh &m) {
         MakeGrid(m, 30, 0.05);
         for (cVertex &v : m.m_vertexSlots) v.m_pos.set(7.0, v.m_pos.x, v.m_pos.y);
       }},
      {"needles far out",
       [](cMesh &m) {
         // long thin triangles along x, side by side: boxes with one long and two tiny sides
         for (int i = 0; i < 400; ++i) {
           const cVector3d o(-3e3, 1e-2 * i, 5e2 + 1e-4 * (i % 7));
           m.newTriangle(o, o + cVector3d(6e3, 0, 0), o + cVector3d(3e3, 0.5, 1e-2));
         }
       }},
      {"huge sphere", [](cMesh &m) { bench::MakeSphere(m, 1500, 1e25); }},
      {"tiny sphere off the origin",
       [](cMesh &m) {
         bench::MakeSphere(m, 1500, 1e-12);
         for (cVertex &v : m.m_vertexSlots) v.m_pos += cVector3d(3e-11, 0, -1e-11);
       }},
      {"soup", [](cMesh &m) { bench::MakeSoup(m, 3000, 5); }},
  };
  std::mt19937 rng(Seeds()[0] + 300);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (const Shape &shape : shapes) {
    SCOPED_TRACE(shape.name);
    mesh.clear();
    shape.make(mesh);
    BuildDetectors();
    ASSERT_FALSE(tree->m_nodes.empty());
    ExpectBoxesHoldTheirTriangles(*tree);
    if (HasFatalFailure()) return;
    // segments through the faces at their own scale, and along the faces' planes
    hits = 0;
    int through = 0;
    for (int i = 0; i < 800; ++i) {
      const cTriangle &t = mesh.m_triangleSlots[rng() % mesh.m_triangleSlots.size()];
      const cVector3d &v0 = t.getVertex(0)->m_pos, &v1 = t.getVertex(1)->m_pos, &v2 = t.getVertex(2)->m_pos;
      const cVector3d n = (v1 - v0).cross(v2 - v0);
      if (n.lengthsq() == 0.0) continue;
      const double size = std::max((v1 - v0).length(), (v2 - v0).length());
      const cVector3d p = PointOnFace(rng, t);
      const cVector3d tilt = cVector3d(u(rng), u(rng), u(rng)) * (0.5 * size);
      if (i % 4 == 3) {
        ExpectSameAnswer(p - (v1 - v0) + tilt * 1e-3, p + (v1 - v0));
      } else {
        ExpectSameAnswer(p + cNormalize(n) * size + tilt, p - cNormalize(n) * size - tilt);
        ++through;
      }
      if (HasFatalFailure()) return;
    }
    EXPECT_GT(hits, through);
  }
}

// ---- the tree against the scan -------------------------------------------------------

TEST_F(CollisionTest, TreeMatchesTheScanOnAClosedSphere) {
  bench::MakeSphere(mesh, 1500);
  BuildDetectors();
  for (unsigned int seed : Seeds()) CompareOnRandomSegments(seed, SegmentsPerSeed());
  EXPECT_GT(hits, SegmentsPerSeed() / 2);
}

TEST_F(CollisionTest, TreeMatchesTheScanOnAFlatGrid) {
  MakeGrid(mesh, 28, 0.07);
  BuildDetectors();
  for (unsigned int seed : Seeds()) CompareOnRandomSegments(seed, SegmentsPerSeed());
  EXPECT_GT(hits, SegmentsPerSeed() / 4);
}

TEST_F(CollisionTest, TreeMatchesTheScanWithDuplicatedAndDegenerateTriangles) {
  bench::MakeSphere(mesh, 800);
  const unsigned int n = static_cast<unsigned int>(mesh.m_triangleSlots.size());
  std::mt19937 rng(11);
  for (unsigned int i = 0; i < n; i += 3) {
    const cTriangle t = mesh.m_triangleSlots[i];
    // copies: adding vertices may move the vertex array
    const cVector3d p0 = t.getVertex(0)->m_pos, p1 = t.getVertex(1)->m_pos, p2 = t.getVertex(2)->m_pos;
    switch (rng() % 4) {
      case 0:  // the same corners
        mesh.newTriangle(t.m_corner0, t.m_corner1, t.m_corner2);
        break;
      case 1:  // the same corners, rotated
        mesh.newTriangle(t.m_corner1, t.m_corner2, t.m_corner0);
        break;
      case 2:  // new vertex slots at the same positions
        mesh.newTriangle(p0, p1, p2);
        break;
      default:  // degenerate: a repeated corner, or collinear corners
        mesh.newTriangle(t.m_corner0, t.m_corner0, t.m_corner1);
        mesh.newTriangle(p0, (p0 + p1) / 2.0, p1);
        break;
    }
  }
  BuildDetectors();
  for (unsigned int seed : Seeds()) CompareOnRandomSegments(seed, SegmentsPerSeed());
  EXPECT_GT(hits, SegmentsPerSeed() / 2);
}

TEST_F(CollisionTest, TreeMatchesTheScanOnARandomSoup) {
  bench::MakeSoup(mesh, 1500, 7);
  BuildDetectors();
  for (unsigned int seed : Seeds()) CompareOnRandomSegments(seed, SegmentsPerSeed());
  EXPECT_GT(hits, SegmentsPerSeed() / 4);
}

TEST_F(CollisionTest, TreeMatchesTheScanAtSharedCornersAndEdges) {
  // a fine grid: segments through its corners tie between up to six triangles
  MakeGrid(mesh, 24, 0.05);
  countTies = true;
  BuildDetectors();
  for (unsigned int seed : Seeds()) CompareOnRandomSegments(seed, SegmentsPerSeed() / 2);
  EXPECT_GT(ties, 0);
}

TEST_F(CollisionTest, TreeMatchesTheScanOnTheProxysShortSegments) {
  // a small closed sphere and segments from just outside to just inside, and long
  // ones through it, as the haptic proxy and picking query it
  bench::MakeSphere(mesh, 2000, 0.05);
  BuildDetectors();
  std::mt19937 rng(Seeds()[0] + 100);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int n = 0;
  for (int i = 0; i < SegmentsPerSeed(); ++i) {
    cVector3d d(u(rng), u(rng), u(rng));
    if (d.lengthsq() < 1e-4) continue;
    d.normalize();
    if (i % 2 == 0) {
      ExpectSameAnswer(d * 0.0505, d * (0.97 * 0.05));
    } else {
      ExpectSameAnswer(d * 0.15, d * -0.15 + cVector3d(u(rng), u(rng), u(rng)) * 0.02);
    }
    if (HasFatalFailure()) return;
    ++n;
  }
  EXPECT_EQ(hits, 2 * n) << "every segment crosses the surface";
}

TEST_F(CollisionTest, SegmentsWithoutLengthOrWithoutFiniteCoordinatesNeverHit) {
  bench::MakeSphere(mesh, 500);
  BuildDetectors(true);
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const cVector3d ends[][2] = {{cVector3d(0.2, 0.1, 1.0), cVector3d(0.2, 0.1, 1.0)},
                               {cVector3d(0, 0, 3), cVector3d(0, 0, -inf)},
                               {cVector3d(0, 0, inf), cVector3d(0, 0, 0)},
                               {cVector3d(nan, 0, 3), cVector3d(0, 0, 0)},
                               {cVector3d(0, 0, 3), cVector3d(0, nan, 0)}};
  for (const auto &e : ends) {
    EXPECT_FALSE(Query(*brute, e[0], e[1]).hit);
    EXPECT_FALSE(Query(*tree, e[0], e[1]).hit);
    EXPECT_EQ(tree->getLastHitTriangle(), nullptr);
  }
}

TEST_F(CollisionTest, AxisAlignedSegmentsFarFromTheOriginMatchTheScan) {
  // a still axis gets a tiny direction component, whose inverse times a far origin
  // lies beyond single precision: the boxes must still hold what they hold
  bench::MakeSphere(mesh, 1500, 1.0);
  const cVector3d centre(4e8, -4e8, 3e8);
  for (cVertex &v : mesh.m_vertexSlots) v.m_pos = v.m_pos * 1e6 + centre;
  BuildDetectors();
  ASSERT_FALSE(tree->m_nodes.empty());
  std::mt19937 rng(Seeds()[0] + 300);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int i = 0; i < 600; ++i) {
    const int k = i % 3;
    cVector3d along(0, 0, 0);
    along[k] = (i / 3) % 2 == 0 ? 3e6 : -3e6;
    cVector3d across(u(rng), u(rng), u(rng));
    across[k] = 0.0;
    const cVector3d a = centre + across * 0.9e6 + along;
    cVector3d d = along * -1.5;
    // now and then not quite still: a component far below the others
    if (i % 5 == 0) d[(k + 1) % 3] = 1e-25 * u(rng);
    ExpectSameAnswer(a, a + d);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(hits, 300);
}

TEST_F(CollisionTest, CoordinatesBeyondSinglePrecisionStillMatchTheScan) {
  // a mesh far out (its boxes cannot be held in single precision) and segments from
  // farther still: the tree answers by scanning, with the scan's answers
  bench::MakeSphere(mesh, 300, 1.0);
  for (cVertex &v : mesh.m_vertexSlots) v.m_pos = v.m_pos * 1e35 + cVector3d(3e35, 0, 0);
  BuildDetectors();
  EXPECT_TRUE(tree->m_nodes.empty());
  std::mt19937 rng(Seeds()[0]);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int i = 0; i < 200; ++i) {
    cVector3d d(u(rng), u(rng), u(rng));
    if (d.lengthsq() < 1e-4) continue;
    d.normalize();
    ExpectSameAnswer(d * 2e35 + cVector3d(3e35, 0, 0), cVector3d(3e35, 0, 0));
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(hits, 100);

  // a mesh of unit size and segments from 1e7 away (through the boxes) and from
  // 1e31 away (scanned; rounding leaves no hit there at all): the same
  mesh.clear();
  bench::MakeSphere(mesh, 300, 1.0);
  BuildDetectors();
  EXPECT_FALSE(tree->m_nodes.empty());
  for (double far : {1e7, 1e31}) {
    hits = 0;
    for (int i = 0; i < 200; ++i) {
      cVector3d d(u(rng), u(rng), u(rng));
      if (d.lengthsq() < 1e-4) continue;
      d.normalize();
      ExpectSameAnswer(d * far, d * -0.5);
      if (HasFatalFailure()) return;
    }
    if (far < 1e30) {
      EXPECT_GT(hits, 100);
    }
  }
}

// segments through points just inside and just outside a triangle's edge, by less
// than the test's slack up to far more, on spheres near the origin, far from it
// (where single precision holds little of a triangle) and tiny (where its bounds
// come near underflow): the tree's quick rejections never drop a hit the scan finds
TEST_F(CollisionTest, TreeMatchesTheScanAcrossEdgesAtAnyScaleAndOffset) {
  std::mt19937 rng(Seeds()[0] + 200);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double offsets[] = {-1e-3, -1e-7, -1e-12, -1e-13, -1e-15, 0.0, 1e-15, 1e-13, 1e-12, 1e-7, 1e-3};
  struct Place {
    double scale;
    cVector3d centre;
  };
  for (const Place &place :
       {Place{1.0, cVector3d(0, 0, 0)}, Place{1e-2, cVector3d(3e5, -2e5, 1e5)}, Place{1e-12, cVector3d(0, 0, 0)},
        Place{1e-9, cVector3d(1e-6, 0, 0)}, Place{1e3, cVector3d(0, 0, 0)}}) {
    mesh.clear();
    bench::MakeSphere(mesh, 1500, 1.0);
    for (cVertex &v : mesh.m_vertexSlots) v.m_pos = v.m_pos * place.scale + place.centre;
    BuildDetectors();
    ASSERT_FALSE(tree->m_nodes.empty());
    hits = 0;
    for (int i = 0; i < 600; ++i) {
      const cTriangle &t = mesh.m_triangleSlots[rng() % mesh.m_triangleSlots.size()];
      if (!t.m_inUse) continue;
      const int k = static_cast<int>(rng() % 3);
      const cVector3d &p0 = t.getVertex(k)->m_pos, &p1 = t.getVertex((k + 1) % 3)->m_pos,
                      &p2 = t.getVertex((k + 2) % 3)->m_pos;
      const cVector3d edge = p1 - p0;
      cVector3d n = edge.cross(p2 - p0);
      if (n.lengthsq() == 0.0) continue;
      n = cNormalize(n);
      // in the face's plane, across the edge, away from the third corner
      cVector3d out = cNormalize(edge.cross(n));
      if (out.dot(p2 - p0) > 0.0) out = out * -1.0;
      const double w = 0.5 + 0.45 * u(rng);
      const cVector3d p = p0 + edge * w + out * (offsets[rng() % 11] * edge.length());
      const cVector3d tilt = cVector3d(u(rng), u(rng), u(rng)) * (0.3 * edge.length());
      const cVector3d d = n * edge.length() + tilt;
      ExpectSameAnswer(p + d, p - d);
      if (HasFatalFailure()) return;
    }
    EXPECT_GT(hits, 300) << "scale " << place.scale;
  }
}

// one sphere of about 1200 triangles at radius 1, then the same sphere and the same
// segments scaled uniformly: the thresholds are relative to the triangle, so every
// scale hits the same triangles at the same (scaled) points, in the tree and the scan
TEST(CollisionScaleTest, UniformScalingKeepsEveryHit) {
  // short segments crossing the surface from just outside to just inside, the
  // proxy's case, in unit-sphere coordinates
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::vector<std::pair<cVector3d, cVector3d>> segments;
  while (segments.size() < 500) {
    cVector3d u(d(rng), d(rng), d(rng));
    if (u.lengthsq() < 1e-6) continue;
    u.normalize();
    segments.emplace_back(u * 1.01, u * 0.97);
  }
  std::vector<int> reference;
  for (double scale : {1.0, 1e-4, 1e-3, 1e-2, 0.1, 10.0, 100.0, 1e3}) {
    cMesh mesh(nullptr);
    bench::MakeSphere(mesh, 1200, scale);
    cCollisionAABB tree(&mesh.m_triangleSlots, false);
    tree.initialize();
    cCollisionBrute brute(&mesh.m_triangleSlots);
    std::vector<int> slots;
    for (const auto &s : segments) {
      const cVector3d a = s.first * scale, b = s.second * scale;
      const Answer byTree = Query(tree, a, b), byScan = Query(brute, a, b);
      ASSERT_EQ(byTree.hit, byScan.hit) << "scale " << scale;
      if (!byScan.hit) {
        slots.push_back(-1);
        continue;
      }
      ASSERT_EQ(byTree.triangle, byScan.triangle) << "scale " << scale;
      EXPECT_NEAR((byScan.point / scale - s.first).length(), (s.first - s.first * (1.0 / s.first.length())).length(),
                  0.02);
      slots.push_back(static_cast<int>(byScan.triangle->m_slot));
    }
    if (reference.empty()) {
      reference = slots;
      EXPECT_EQ(std::count(slots.begin(), slots.end(), -1), 0) << "every segment crosses the surface";
    } else {
      EXPECT_EQ(slots, reference) << "scale " << scale;
    }
  }
}

TEST_F(CollisionTest, RemovedTrianglesAreSeenByTheScanButNotByTheTree) {
  bench::MakeSphere(mesh, 1500);
  for (unsigned int i = 0; i < mesh.m_triangleSlots.size(); i += 5) mesh.removeTriangle(i);
  BuildDetectors();
  // the scan over the live triangles only, as the tree should answer
  std::vector<cTriangle> live;
  for (const cTriangle &t : mesh.m_triangleSlots)
    if (t.m_inUse) live.push_back(t);
  cCollisionBrute liveScan(&live);

  int removedHits = 0;
  std::mt19937 rng(Seeds()[0]);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int i = 0; i < SegmentsPerSeed(); ++i) {
    const cVector3d a(3 * u(rng), 3 * u(rng), 3 * u(rng));
    const cVector3d b = a * -0.2 + cVector3d(u(rng), u(rng), u(rng)) * 0.3;
    const Answer all = Query(*brute, a, b);
    const Answer onlyLive = Query(liveScan, a, b);
    for (int call : {1, -1}) {
      const Answer got = Query(*tree, a, b, call);
      ASSERT_EQ(got.hit, onlyLive.hit) << Describe(a, b, call);
      if (!got.hit) continue;
      ASSERT_EQ(got.triangle->m_slot, onlyLive.triangle->m_slot) << Describe(a, b, call);
      ASSERT_EQ(got.point, onlyLive.point);
      ASSERT_EQ(got.squareDistance, onlyLive.squareDistance);
    }
    ASSERT_TRUE(all.hit || !onlyLive.hit);
    if (!all.hit) continue;
    // the two detectors differ exactly when the scan reports a removed slot
    if (!all.triangle->m_inUse) {
      ++removedHits;
    } else {
      ASSERT_EQ(all.triangle->m_slot, onlyLive.triangle->m_slot) << Describe(a, b, 1);
    }
  }
  EXPECT_GT(removedHits, SegmentsPerSeed() / 20);
}

TEST_F(CollisionTest, AHitNamesItsTrianglesParentAsAtTheBuild) {
  // two meshes on the same vertices: the tree names the mesh itself, read once at
  // the build, unless a triangle belongs to another
  MakeGrid(mesh, 4, 0.25);
  BuildDetectors();
  const cVector3d above(0.05, 0.05, 0.5), below(0.05, 0.05, -0.5);
  const Answer own = Query(*tree, above, below);
  ASSERT_TRUE(own.hit);
  EXPECT_EQ(own.object, &mesh);

  cMesh other(nullptr);
  other.m_vertexSlots = mesh.m_vertexSlots;
  own.triangle->m_parentNode = &other;
  tree->initialize();
  const Answer moved = Query(*tree, above, below);
  ASSERT_TRUE(moved.hit);
  EXPECT_EQ(moved.triangle, own.triangle);
  EXPECT_EQ(moved.object, &other);
  const Answer stayed = Query(*tree, cVector3d(-0.3, -0.3, 0.5), cVector3d(-0.3, -0.3, -0.5));
  ASSERT_TRUE(stayed.hit);
  EXPECT_NE(stayed.triangle, own.triangle);
  EXPECT_EQ(stayed.object, &mesh);
  own.triangle->m_parentNode = &mesh;
}

// ---- the neighbour path --------------------------------------------------------------

// two parallel plates facing +z, one at z = 0 and one at z = -1: no triangle of one
// shares a vertex with the other
class NeighbourTest : public CollisionTest {
 protected:
  void SetUp() override {
    MakeGrid(mesh, 4, 0.5);
    upperCount = static_cast<unsigned int>(mesh.m_triangleSlots.size());
    MakeGrid(mesh, 4, 0.5, -1.0);
    BuildDetectors(true);
  }
  bool Upper(const cTriangle *t) const { return t != nullptr && t->m_slot < upperCount; }

  unsigned int upperCount = 0;
};

TEST_F(NeighbourTest, LaterCallsAnswerOnlyFromTheLastTrianglesNeighbours) {
  const Answer first = Query(*tree, cVector3d(0.2, 0.1, 1), cVector3d(0.2, 0.1, -2), 1);
  ASSERT_TRUE(first.hit);
  ASSERT_TRUE(Upper(first.triangle));
  EXPECT_EQ(tree->getLastHitTriangle(), first.triangle);

  // a neighbour answers the second call, and becomes the cached triangle
  const Answer near = Query(*tree, cVector3d(0.7, 0.1, 1), cVector3d(0.7, 0.1, -2), 2);
  ASSERT_TRUE(near.hit);
  EXPECT_TRUE(Upper(near.triangle));
  EXPECT_EQ(near.object, &mesh);
  EXPECT_NE(near.triangle, first.triangle);
  EXPECT_EQ(near.point, cVector3d(0.7, 0.1, 0));
  EXPECT_DOUBLE_EQ(near.squareDistance, 1.0);
  EXPECT_EQ(tree->getLastHitTriangle(), near.triangle);

  // the lower plate lies on this segment, but none of the cached triangle's neighbours does
  const cVector3d a(0.2, 0.1, -0.5), b(0.2, 0.1, -2);
  ASSERT_TRUE(Query(*brute, a, b).hit);
  EXPECT_FALSE(Query(*tree, a, b, 2).hit);
  EXPECT_EQ(tree->getLastHitTriangle(), nullptr);
  // with nothing cached the third call walks the tree again
  const Answer third = Query(*tree, a, b, 3);
  ASSERT_TRUE(third.hit);
  EXPECT_FALSE(Upper(third.triangle));
}

TEST_F(NeighbourTest, CallMinusOneLeavesTheCachedTriangleAlone) {
  const Answer first = Query(*tree, cVector3d(0.2, 0.1, 1), cVector3d(0.2, 0.1, -2), 1);
  ASSERT_TRUE(first.hit);
  // a hit elsewhere and a miss, both with call -1, keep the cache
  const Answer lower = Query(*tree, cVector3d(-0.6, -0.8, -0.5), cVector3d(-0.6, -0.8, -2), -1);
  ASSERT_TRUE(lower.hit);
  EXPECT_FALSE(Upper(lower.triangle));
  EXPECT_EQ(tree->getLastHitTriangle(), first.triangle);
  EXPECT_FALSE(Query(*tree, cVector3d(5, 5, 1), cVector3d(5, 5, -2), -1).hit);
  EXPECT_EQ(tree->getLastHitTriangle(), first.triangle);
  // a miss of call 1 clears it
  EXPECT_FALSE(Query(*tree, cVector3d(5, 5, 1), cVector3d(5, 5, -2), 1).hit);
  EXPECT_EQ(tree->getLastHitTriangle(), nullptr);
}

TEST_F(NeighbourTest, AnEmptyNeighbourEntryIsReportedAndSkipped) {
  const Answer first = Query(*tree, cVector3d(0.2, 0.1, 1), cVector3d(0.2, 0.1, -2), 1);
  ASSERT_TRUE(first.hit);
  first.triangle->m_adjacent->insert(first.triangle->m_adjacent->begin(), nullptr);
  ::testing::internal::CaptureStdout();
  const Answer second = Query(*tree, cVector3d(0.25, 0.1, 1), cVector3d(0.25, 0.1, -2), 2);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Oops... invalid neighbor\n");
  ASSERT_TRUE(second.hit);
  EXPECT_EQ(second.triangle, first.triangle);
}

}  // namespace
