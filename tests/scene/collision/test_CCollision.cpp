// Segment-against-mesh collision: the triangle test's thresholds and angle rule,
// the AABB tree's build and tie rules, the neighbour path, and the tree checked
// against the brute-force scan over seeded random segments.
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
#include <functional>
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
  return (env != nullptr && *env != '\0') ? 40000 : 3000;
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

  // the tree and the scan agree on triangle, point and squared distance, except at
  // an exact tie between distinct slots, which each breaks its own way. A hit on an
  // edge or corner that the tree missed would be counted as culled, and must not be.
  void ExpectSameAnswer(const cVector3d &a, const cVector3d &b) {
    const Answer ref = Query(*brute, a, b, 1);
    for (int call : {1, -1}) {
      const Answer got = Query(*tree, a, b, call);
      ASSERT_FALSE(got.hit && !ref.hit) << Describe(a, b, call);
      if (!ref.hit) continue;
      if (got.hit) {
        ASSERT_EQ(got.object, &mesh);
      }
      if (got.hit && got.triangle == ref.triangle) {
        ASSERT_EQ(got.squareDistance, ref.squareDistance) << Describe(a, b, call);
        ASSERT_EQ(got.point, ref.point) << Describe(a, b, call);
        ++hits;
        continue;
      }
      if (got.hit && got.squareDistance == ref.squareDistance) {
        // the scan keeps the first slot, the tree its high child's hit
        cVector3d p;
        double d2 = -1.0;
        ASSERT_TRUE(cIntersectSegmentTriangle(*got.triangle, a, b - a, 1e300, p, d2)) << Describe(a, b, call);
        ASSERT_EQ(d2, ref.squareDistance) << Describe(a, b, call);
        ASSERT_EQ(p, got.point) << Describe(a, b, call);
        ASSERT_GT(got.triangle->m_slot, ref.triangle->m_slot) << Describe(a, b, call);
        ++ties;
        continue;
      }
      ASSERT_TRUE(OnOrOutsideOwnBox(*ref.triangle, ref.point)) << Describe(a, b, call);
      if (got.hit) {
        ASSERT_LT(ref.squareDistance, got.squareDistance) << Describe(a, b, call);
        ASSERT_NEAR(got.squareDistance, ref.squareDistance, 1e-12) << Describe(a, b, call);
        ASSERT_TRUE(got.point.equals(ref.point, 1e-9)) << Describe(a, b, call);
      }
      ++culledAtEdges;
    }
  }

  // the point lies outside the triangle's bounding box, or within rounding of one of
  // its faces, where a ray can touch the boxes above it only at an edge or corner
  static bool OnOrOutsideOwnBox(const cTriangle &t, const cVector3d &p) {
    for (int k = 0; k < 3; ++k) {
      const double v0 = t.getVertex(0)->m_pos[k], v1 = t.getVertex(1)->m_pos[k], v2 = t.getVertex(2)->m_pos[k];
      const double tol = 1e-12 * (1.0 + std::fabs(p[k]));
      if (p[k] < std::min(v0, std::min(v1, v2)) + tol || p[k] > std::max(v0, std::max(v1, v2)) - tol) return true;
    }
    return false;
  }

  // the boxes' slack keeps every edge hit: the tree never culls what the scan finds
  void ExpectFewEdgeCulls() { EXPECT_EQ(culledAtEdges, 0) << hits << " hits"; }

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
    std::uniform_int_distribution<int> kind(0, 5);
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
  int culledAtEdges = 0;
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
  EXPECT_EQ(tree->getRoot(), nullptr);
  EXPECT_EQ(tree->getLeafCount(), 0u);
  ExpectBoth(cVector3d(0, 0, 1), cVector3d(0, 0, -1), false);
  // only removed triangles: still no tree, while the scan sees the slot
  MakeUnitTriangle();
  ASSERT_TRUE(mesh.removeTriangle(0));
  BuildDetectors();
  EXPECT_EQ(tree->getRoot(), nullptr);
  EXPECT_FALSE(Query(*tree, cVector3d(0.2, 0.2, 1), cVector3d(0.2, 0.2, -1)).hit);
  EXPECT_TRUE(Query(*brute, cVector3d(0.2, 0.2, 1), cVector3d(0.2, 0.2, -1)).hit);
}

// ---- tree structure and tie rules ----------------------------------------------------

TEST_F(CollisionTest, OneTriangleMakesTheLeafTheRoot) {
  MakeUnitTriangle();
  BuildDetectors();
  ASSERT_EQ(tree->getLeafCount(), 1u);
  ASSERT_EQ(tree->getRoot(), &tree->m_leafArray[0]);
  EXPECT_EQ(tree->getRoot()->m_kind, AABB_NODE_LEAF);
  EXPECT_EQ(tree->getRoot()->m_parentNode, nullptr);
  EXPECT_EQ(tree->getRoot()->m_box.m_hi, cVector3d(1, 1, 0));
  EXPECT_EQ(tree->getRoot()->m_box.m_mid, cVector3d(0.5, 0.5, 0));
  EXPECT_EQ(tree->getRoot()->m_box.m_halfSize, cVector3d(0.5, 0.5, 0));
  EXPECT_EQ(Query(*tree, cVector3d(0.1, 0.1, 1), cVector3d(0.1, 0.1, -1)).triangle, &mesh.m_triangleSlots[0]);
  // a rebuild releases the old tree and keeps answering
  tree->initialize();
  EXPECT_TRUE(Query(*tree, cVector3d(0.1, 0.1, 1), cVector3d(0.1, 0.1, -1)).hit);
}

TEST_F(CollisionTest, TreeCoversEveryAllocatedTriangleOnceWithConsistentBoxes) {
  bench::MakeSphere(mesh, 3000);
  for (unsigned int i = 0; i < mesh.m_triangleSlots.size(); i += 9) mesh.removeTriangle(i);
  BuildDetectors();
  unsigned int allocated = 0;
  for (const cTriangle &t : mesh.m_triangleSlots) allocated += t.m_inUse ? 1 : 0;
  ASSERT_EQ(tree->getLeafCount(), allocated);

  // the internal nodes sit in one array in construction order: depth first, low before high
  const cCollisionAABBInternal *nodes = static_cast<const cCollisionAABBInternal *>(tree->getRoot());
  unsigned int nextInternal = 0;
  std::vector<int> seen(mesh.m_triangleSlots.size(), 0);
  std::function<unsigned int(cCollisionAABBNode *, cCollisionAABBNode *, int)> walk =
      [&](cCollisionAABBNode *node, cCollisionAABBNode *parent, int level) -> unsigned int {
    EXPECT_EQ(node->m_parentNode, parent);
    EXPECT_EQ(node->m_level, level);
    if (node->m_kind == AABB_NODE_LEAF) {
      cCollisionAABBLeaf *leaf = static_cast<cCollisionAABBLeaf *>(node);
      seen[leaf->m_tri->m_slot]++;
      EXPECT_TRUE(leaf->m_tri->m_inUse);
      cCollisionAABBLeaf fitted = *leaf;
      fitted.fitBBox();
      EXPECT_EQ(fitted.m_box.m_lo, leaf->m_box.m_lo);
      EXPECT_EQ(fitted.m_box.m_hi, leaf->m_box.m_hi);
      return 1;
    }
    cCollisionAABBInternal *in = static_cast<cCollisionAABBInternal *>(node);
    EXPECT_EQ(in, &nodes[nextInternal]);
    ++nextInternal;
    EXPECT_TRUE(in->m_rayBoxTest);
    const unsigned int low = walk(in->m_lowChild, in, level + 1);
    const unsigned int high = walk(in->m_highChild, in, level + 1);
    cCollisionAABBInternal fitted = *in;
    fitted.fitBBox();
    EXPECT_EQ(fitted.m_box.m_lo, in->m_box.m_lo);
    EXPECT_EQ(fitted.m_box.m_hi, in->m_box.m_hi);
    EXPECT_EQ(in->m_box.m_mid, (in->m_box.m_lo + in->m_box.m_hi) / 2.0);
    // either a real split on the longest axis, or the count / 2 fallback
    const cVector3d &e = in->m_box.m_halfSize;
    const int axis = (e.x >= e.y && e.x >= e.z) ? 0 : (e.y >= e.z ? 1 : 2);
    if (low != (low + high) / 2) {
      const double split = in->m_box.m_mid[axis];
      std::function<void(cCollisionAABBNode *, bool)> side = [&](cCollisionAABBNode *n, bool below) {
        if (n->m_kind == AABB_NODE_LEAF) {
          const double c = n->m_box.m_mid[axis];
          EXPECT_EQ(c < split, below);
          return;
        }
        side(static_cast<cCollisionAABBInternal *>(n)->m_lowChild, below);
        side(static_cast<cCollisionAABBInternal *>(n)->m_highChild, below);
      };
      side(in->m_lowChild, true);
      side(in->m_highChild, false);
    }
    return low + high;
  };
  EXPECT_EQ(walk(tree->getRoot(), nullptr, 0), allocated);
  EXPECT_EQ(nextInternal, allocated - 1);
  for (size_t s = 0; s < seen.size(); ++s) EXPECT_EQ(seen[s], mesh.m_triangleSlots[s].m_inUse ? 1 : 0);
  EXPECT_TRUE(tree->getRoot()->contains_triangle(1));
  EXPECT_FALSE(tree->getRoot()->contains_triangle(0));
}

TEST_F(CollisionTest, DuplicatesTieByArrayOrderInTheScanAndByHighChildInTheTree) {
  // equal box centers cannot be split: each side gets count / 2 of the leaves
  const unsigned int v0 = mesh.newVertex(0, 0, 0), v1 = mesh.newVertex(1, 0, 0), v2 = mesh.newVertex(0, 1, 0);
  mesh.newTriangle(v0, v1, v2);
  mesh.newTriangle(v0, v1, v2);
  BuildDetectors();
  const cCollisionAABBInternal *root = static_cast<const cCollisionAABBInternal *>(tree->getRoot());
  ASSERT_EQ(root->m_kind, AABB_NODE_INTERNAL);
  EXPECT_EQ(root->m_lowChild->m_kind, AABB_NODE_LEAF);
  EXPECT_EQ(root->m_highChild->m_kind, AABB_NODE_LEAF);
  const cVector3d a(0.2, 0.2, 1), b(0.2, 0.2, -1);
  EXPECT_EQ(Query(*brute, a, b).triangle, &mesh.m_triangleSlots[0]);
  EXPECT_EQ(Query(*tree, a, b).triangle, &mesh.m_triangleSlots[0]);

  // a third copy: the partition order leaves slot 2 in the high subtree's high leaf
  mesh.newTriangle(v0, v1, v2);
  BuildDetectors();
  EXPECT_EQ(Query(*brute, a, b).triangle, &mesh.m_triangleSlots[0]);
  EXPECT_EQ(Query(*tree, a, b).triangle, &mesh.m_triangleSlots[2]);
}

// ---- the tree against the scan -------------------------------------------------------

TEST_F(CollisionTest, TreeMatchesTheScanOnAClosedSphere) {
  bench::MakeSphere(mesh, 3000);
  BuildDetectors();
  for (unsigned int seed : Seeds()) CompareOnRandomSegments(seed, SegmentsPerSeed());
  EXPECT_GT(hits, SegmentsPerSeed() / 2);
  ExpectFewEdgeCulls();
}

TEST_F(CollisionTest, TreeMatchesTheScanOnAFlatGrid) {
  MakeGrid(mesh, 40, 0.05);
  BuildDetectors();
  for (unsigned int seed : Seeds()) CompareOnRandomSegments(seed, SegmentsPerSeed());
  EXPECT_GT(hits, SegmentsPerSeed() / 4);
  ExpectFewEdgeCulls();
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
  ExpectFewEdgeCulls();
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
  bench::MakeSphere(mesh, 3000);
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
