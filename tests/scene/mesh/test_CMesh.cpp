// Meshes without an OpenGL context: slots and their reuse, normals, neighbour
// lists, duplicate removal, scaling and boxes, the sub-tree walks, surface
// settings, detectors and the file-name dispatch.
#include "scene/collision/CCollisionAABB.h"
#include "scene/collision/CCollisionBrute.h"
#include "scene/collision/CCollisionSpheres.h"
#include "scene/files/CMeshLoader.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kEps = 1e-12;

::testing::AssertionResult Near(const cVector3d &got, const cVector3d &want, double tol = kEps) {
  if (got.equals(want, tol)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z << "), want (" << want.x
                                       << ", " << want.y << ", " << want.z << ")";
}

class Mesh : public ::testing::Test {
 protected:
  // a unit square in the plane z = 0 from two triangles sharing an edge, facing +z
  cMesh *Square(cMesh *m = nullptr) {
    if (m == nullptr) m = mesh;
    const unsigned int a = m->newVertex(0, 0, 0), b = m->newVertex(1, 0, 0), c = m->newVertex(1, 1, 0),
                       d = m->newVertex(0, 1, 0);
    m->newTriangle(a, b, c);
    m->newTriangle(a, c, d);
    return m;
  }

  std::vector<unsigned int> Neighbors(unsigned int triangle) const {
    std::vector<unsigned int> out;
    const cTriangle &t = mesh->m_triangleSlots[triangle];
    if (t.m_adjacent == nullptr) return out;
    for (const cTriangle *n : *t.m_adjacent) out.push_back(n->m_slot);
    return out;
  }

  static bool Query(cMesh *m, const cVector3d &from, const cVector3d &to, cTriangle *&triangle, cVector3d &point,
                    int call = 1) {
    cVector3d a = from, b = to;
    cGenericObject *object = nullptr;
    triangle = nullptr;
    double d = (b - a).lengthsq();
    const bool hit = m->getCollisionDetector()->computeCollision(a, b, object, triangle, point, d, call);
    if (hit) {
      EXPECT_EQ(object, m);
    }
    return hit;
  }

  cWorld world;
  cMesh *mesh = new cMesh(&world);

  void TearDown() override { delete mesh; }
};

// ---- slots ----

TEST_F(Mesh, NewVertexDefaultsAndFreedSlotsReusedFirstInFirstOut) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(mesh->newVertex(i, 0, 0), static_cast<unsigned int>(i));
  const cVertex &v = mesh->m_vertexSlots[2];
  EXPECT_TRUE(Near(v.m_worldPos, cVector3d(2, 0, 0)));
  EXPECT_TRUE(Near(v.m_nrm, cVector3d(0, 0, 1)));
  EXPECT_EQ(v.m_rgba, cColorb(255, 255, 255, 255));
  EXPECT_EQ(v.m_slot, 2u);
  EXPECT_TRUE(v.m_inUse);

  mesh->m_vertexSlots[3].m_nrm.set(1, 0, 0);
  EXPECT_TRUE(mesh->removeVertex(3));
  EXPECT_FALSE(mesh->removeVertex(3));
  EXPECT_TRUE(mesh->removeVertex(1));
  EXPECT_FALSE(mesh->m_vertexSlots[3].m_inUse);
  EXPECT_EQ(mesh->newVertex(7, 8, 9), 3u);
  EXPECT_TRUE(Near(mesh->m_vertexSlots[3].m_pos, cVector3d(7, 8, 9)));
  EXPECT_TRUE(Near(mesh->m_vertexSlots[3].m_nrm, cVector3d(0, 0, 1)));
  EXPECT_TRUE(mesh->m_vertexSlots[3].m_inUse);
  EXPECT_EQ(mesh->newVertex(1, 1, 1), 1u);
  EXPECT_EQ(mesh->newVertex(2, 2, 2), 5u);
  EXPECT_EQ(mesh->getNumVertices(), 6u);
}

TEST_F(Mesh, TrianglesRemovedOnceAndReusedWithoutStaleNeighbours) {
  Square();
  const cVector3d p[3] = {cVector3d(5, 0, 0), cVector3d(6, 0, 0), cVector3d(5, 1, 0)};
  EXPECT_EQ(mesh->newTriangle(p[0], p[1], p[2]), 2u);
  EXPECT_EQ(mesh->getNumVertices(), 7u);
  const cTriangle &t = mesh->m_triangleSlots[2];
  EXPECT_EQ(t.m_corner0, 4u);
  EXPECT_EQ(t.m_corner2, 6u);
  EXPECT_EQ(t.m_parentNode, mesh);
  EXPECT_EQ(t.getVertex(1), &mesh->m_vertexSlots[5]);
  EXPECT_EQ(t.getVertex(3), nullptr);
  EXPECT_EQ(t.getVertex(-1), nullptr);

  mesh->createTriangleNeighborList(false);
  EXPECT_TRUE(mesh->removeTriangle(1));
  EXPECT_FALSE(mesh->removeTriangle(1));
  EXPECT_FALSE(mesh->m_triangleSlots[1].m_inUse);
  // the removed triangle keeps its corners
  EXPECT_EQ(mesh->m_triangleSlots[1].m_corner1, 2u);

  EXPECT_EQ(mesh->newTriangle(4, 5, 6), 1u);
  const cTriangle &r = mesh->m_triangleSlots[1];
  EXPECT_TRUE(r.m_inUse);
  EXPECT_EQ(r.m_corner0, 4u);
  EXPECT_EQ(r.m_adjacent, nullptr);
  EXPECT_EQ(mesh->newTriangle(0, 1, 2), 3u);
}

TEST_F(Mesh, GrowingTheTriangleArrayKeepsNeighbourListsAndDetectorValid) {
  Square();
  mesh->m_triangleSlots.shrink_to_fit();
  mesh->createAABBCollisionDetector(false, true);
  const unsigned int extra = mesh->newTriangle(cVector3d(3, 0, 0), cVector3d(4, 0, 0), cVector3d(3, 1, 0));
  ASSERT_EQ(mesh->m_triangleSlots.size(), 3u);
  for (unsigned int i = 0; i < 2; ++i) {
    const std::vector<cTriangle *> &list = *mesh->m_triangleSlots[i].m_adjacent;
    ASSERT_EQ(list.size(), 2u);
    for (const cTriangle *n : list) EXPECT_EQ(n, &mesh->m_triangleSlots[n->m_slot]);
  }
  // the tree was rebuilt over the moved array, new triangle included
  cTriangle *hit = nullptr;
  cVector3d point;
  ASSERT_TRUE(Query(mesh, cVector3d(0.8, 0.2, 1), cVector3d(0.8, 0.2, -1), hit, point));
  EXPECT_EQ(hit, &mesh->m_triangleSlots[0]);
  ASSERT_TRUE(Query(mesh, cVector3d(3.2, 0.2, 1), cVector3d(3.2, 0.2, -1), hit, point));
  EXPECT_EQ(hit->m_slot, extra);
}

// a triangle built from the mesh's own vertex positions, while the new vertices
// move the array those positions live in
TEST_F(Mesh, TriangleFromOwnVertexPositionsSurvivesTheirMove) {
  Square();
  mesh->m_vertexSlots.shrink_to_fit();
  const cVector3d a = mesh->getVertex(0)->getPos(), b = mesh->getVertex(1)->getPos(), c = mesh->getVertex(2)->getPos();
  const unsigned int t =
      mesh->newTriangle(mesh->getVertex(0)->getPos(), mesh->getVertex(1)->getPos(), mesh->getVertex(2)->getPos());
  const cTriangle &tri = mesh->m_triangleSlots[t];
  EXPECT_EQ(tri.getVertex(0)->getPos(), a);
  EXPECT_EQ(tri.getVertex(1)->getPos(), b);
  EXPECT_EQ(tri.getVertex(2)->getPos(), c);
}

TEST_F(Mesh, ClearEmptiesEverythingAndTheDetectorForgetsTheTriangles) {
  Square();
  mesh->createAABBCollisionDetector(false, true);
  mesh->removeTriangle(0);
  mesh->removeVertex(0);
  mesh->clear();
  EXPECT_EQ(mesh->getNumVertices(), 0u);
  EXPECT_EQ(mesh->getNumTriangles(), 0u);
  EXPECT_TRUE(mesh->m_freeTriangleSlots.empty());
  EXPECT_TRUE(mesh->m_freeVertexSlots.empty());
  cTriangle *hit = nullptr;
  cVector3d point;
  EXPECT_FALSE(Query(mesh, cVector3d(0.8, 0.2, 1), cVector3d(0.8, 0.2, -1), hit, point));
  EXPECT_EQ(mesh->newVertex(0, 0, 0), 0u);
}

// ---- sub-tree walks ----

TEST_F(Mesh, IndicesRunOverChildrenInOrderThroughPlainNodes) {
  Square();  // 4 vertices, 2 triangles
  cMesh *a = mesh->createMesh();
  EXPECT_EQ(a->m_homeWorld, &world);
  a->newTriangle(cVector3d(0, 0, 1), cVector3d(1, 0, 1), cVector3d(0, 1, 1));  // 3, 1
  cGenericObject *plain = new cGenericObject;
  cMesh *b = mesh->createMesh();
  Square(b);  // 4, 2
  plain->addChild(b);
  cMesh *empty = mesh->createMesh();
  mesh->addChild(empty);
  mesh->addChild(a);
  mesh->addChild(plain);

  EXPECT_EQ(mesh->getNumVertices(true), 11u);
  EXPECT_EQ(mesh->getNumTriangles(true), 5u);
  EXPECT_EQ(mesh->getVertex(3, true), &mesh->m_vertexSlots[3]);
  EXPECT_EQ(mesh->getVertex(4, true), &a->m_vertexSlots[0]);
  EXPECT_EQ(mesh->getVertex(7, true), &b->m_vertexSlots[0]);
  EXPECT_EQ(mesh->getVertex(10, true), &b->m_vertexSlots[3]);
  EXPECT_EQ(mesh->getVertex(11, true), nullptr);
  EXPECT_EQ(mesh->getTriangle(2, true), &a->m_triangleSlots[0]);
  EXPECT_EQ(mesh->getTriangle(4, true), &b->m_triangleSlots[1]);
  EXPECT_EQ(mesh->getTriangle(5, true), nullptr);

  EXPECT_EQ(empty->pVerticesNonEmpty(), nullptr);
  mesh->clear();
  EXPECT_EQ(mesh->pVerticesNonEmpty(), a->pVertices());
}

TEST_F(Mesh, CentreOfMassWeighsChildrenByVertexCountInThisFrame) {
  mesh->newVertex(0, 0, 0);
  mesh->newVertex(2, 0, 0);
  EXPECT_TRUE(Near(mesh->getCenterOfMass(false), cVector3d(1, 0, 0)));
  cMesh *kid = mesh->createMesh();
  for (int i = 0; i < 4; ++i) kid->newVertex(0, 0, 3);
  kid->setPos(10, 0, 0);
  mesh->addChild(kid);
  // (0 + 2 + 4 * (10, 0, 3)) / 6
  EXPECT_TRUE(Near(mesh->getCenterOfMass(true), cVector3d(42.0 / 6, 0, 2)));
  EXPECT_TRUE(Near(mesh->getCenterOfMass(false), cVector3d(1, 0, 0)));
  cMesh none(&world);
  EXPECT_TRUE(Near(none.getCenterOfMass(true), cVector3d()));
}

// ---- normals ----

TEST_F(Mesh, NormalsAreTheUnnormalisedMeanOfTheFaceNormals) {
  // two faces meeting at a right angle along the x axis, facing +z and +y
  const unsigned int o = mesh->newVertex(0, 0, 0), x = mesh->newVertex(1, 0, 0), y = mesh->newVertex(0, 1, 0),
                     z = mesh->newVertex(0, 0, 1), lone = mesh->newVertex(9, 9, 9);
  mesh->newTriangle(o, x, y);  // +z
  mesh->newTriangle(o, z, x);  // +y
  // collinear corners contribute nothing
  mesh->newTriangle(o, x, mesh->newVertex(2, 0, 0));
  mesh->computeAllNormals(false);
  const double h = 0.5;
  EXPECT_TRUE(Near(mesh->m_vertexSlots[o].m_nrm, cVector3d(0, h, h)));
  EXPECT_EQ(mesh->m_vertexSlots[o].m_faceCount, 2);
  EXPECT_TRUE(Near(mesh->m_vertexSlots[y].m_nrm, cVector3d(0, 0, 1)));
  EXPECT_TRUE(Near(mesh->m_vertexSlots[z].m_nrm, cVector3d(0, 1, 0)));
  EXPECT_EQ(mesh->m_vertexSlots[5].m_faceCount, 0);
  EXPECT_TRUE(Near(mesh->m_vertexSlots[5].m_nrm, cVector3d()));
  EXPECT_TRUE(Near(mesh->m_vertexSlots[lone].m_nrm, cVector3d()));

  mesh->reverseAllNormals(false);
  EXPECT_TRUE(Near(mesh->m_vertexSlots[o].m_nrm, cVector3d(0, -h, -h)));
}

// ---- neighbour lists ----

TEST_F(Mesh, NeighboursShareAVertexPositionNotNecessarilyAnIndex) {
  Square();  // 0: (a, b, c), 1: (a, c, d)
  // shares only the position of corner b, through its own vertex
  mesh->newTriangle(cVector3d(2, 0, 0), cVector3d(1, 0, 0), cVector3d(2, -1, 0));
  // within 1e-9 of d on every axis
  mesh->newTriangle(cVector3d(0, 1 + 5e-10, 5e-10), cVector3d(-1, 1, 0), cVector3d(-1, 2, 0));
  // 1e-8 away from c: not the same position
  mesh->newTriangle(cVector3d(1 + 1e-8, 1, 0), cVector3d(3, 3, 0), cVector3d(2, 3, 0));
  mesh->createTriangleNeighborList(false);

  auto sorted = [this](unsigned int t) {
    std::vector<unsigned int> n = Neighbors(t);
    EXPECT_EQ(n.front(), t) << "a list starts with its own triangle";
    std::sort(n.begin() + 1, n.end());
    return n;
  };
  EXPECT_EQ(sorted(0), (std::vector<unsigned int>{0, 1, 2}));
  EXPECT_EQ(sorted(1), (std::vector<unsigned int>{1, 0, 3}));
  EXPECT_EQ(sorted(2), (std::vector<unsigned int>{2, 0}));
  EXPECT_EQ(sorted(3), (std::vector<unsigned int>{3, 1}));
  EXPECT_EQ(sorted(4), (std::vector<unsigned int>{4}));
}

TEST_F(Mesh, DuplicatedAndDegenerateTrianglesListEachOtherOnce) {
  const unsigned int a = mesh->newVertex(0, 0, 0), b = mesh->newVertex(1, 0, 0), c = mesh->newVertex(0, 1, 0);
  mesh->newTriangle(a, b, c);
  mesh->newTriangle(b, c, a);  // same face, rotated
  mesh->newTriangle(a, a, b);  // degenerate
  mesh->removeTriangle(1);     // removed slots still take part
  mesh->createTriangleNeighborList(false);
  for (unsigned int t = 0; t < 3; ++t) {
    std::vector<unsigned int> n = Neighbors(t);
    ASSERT_EQ(n.size(), 3u) << "triangle " << t;
    EXPECT_EQ(n[0], t);
    std::sort(n.begin(), n.end());
    EXPECT_EQ(n, (std::vector<unsigned int>{0, 1, 2}));
  }
  // a rebuild replaces the lists rather than growing them
  mesh->createTriangleNeighborList(false);
  EXPECT_EQ(Neighbors(0).size(), 3u);
}

TEST_F(Mesh, NeighbourListsMatchAPairwiseSearchOnAClosedSurface) {
  // an octahedron split into a fan of triangles, each face with its own vertices
  const cVector3d p[6] = {cVector3d(1, 0, 0),  cVector3d(-1, 0, 0), cVector3d(0, 1, 0),
                          cVector3d(0, -1, 0), cVector3d(0, 0, 1),  cVector3d(0, 0, -1)};
  const int faces[8][3] = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4}, {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
  for (const auto &f : faces) mesh->newTriangle(p[f[0]], p[f[1]], p[f[2]]);
  mesh->createTriangleNeighborList(false);
  for (unsigned int i = 0; i < 8; ++i) {
    std::vector<unsigned int> want{i};
    for (unsigned int j = 0; j < 8; ++j) {
      bool share = false;
      for (int u = 0; u < 3; ++u)
        for (int v = 0; v < 3; ++v) share = share || faces[i][u] == faces[j][v];
      if (share && j != i) want.push_back(j);
    }
    std::vector<unsigned int> got = Neighbors(i);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], i);
    std::sort(got.begin() + 1, got.end());
    EXPECT_EQ(got, want) << "triangle " << i;
  }
}

// ---- duplicate removal ----

TEST_F(Mesh, RedundantTrianglesDroppedSurvivorsSortedAndRemovedOnesStayRemoved) {
  for (int i = 0; i < 5; ++i) mesh->newVertex(i, i * i, 0);
  mesh->newTriangle(3, 4, 2);
  mesh->newTriangle(0, 1, 2);
  mesh->newTriangle(2, 0, 1);
  mesh->newTriangle(0, 0, 1);
  mesh->newTriangle(1, 3, 4);
  mesh->removeTriangle(4);
  mesh->createTriangleNeighborList(false);
  mesh->createAABBCollisionDetector(false, false);
  mesh->removeRedundantTriangles(false);

  ASSERT_EQ(mesh->m_triangleSlots.size(), 2u);
  const cTriangle &first = mesh->m_triangleSlots[0], &second = mesh->m_triangleSlots[1];
  // ordered by sorted corners, each keeping its first occurrence's orientation
  EXPECT_EQ(first.m_corner0, 0u);
  EXPECT_EQ(first.m_corner1, 1u);
  EXPECT_EQ(first.m_corner2, 2u);
  EXPECT_EQ(second.m_corner0, 3u);
  EXPECT_EQ(second.m_corner1, 4u);
  EXPECT_EQ(second.m_corner2, 2u);
  for (unsigned int i = 0; i < 2; ++i) {
    EXPECT_EQ(mesh->m_triangleSlots[i].m_slot, i);
    EXPECT_TRUE(mesh->m_triangleSlots[i].m_inUse);
    EXPECT_EQ(mesh->m_triangleSlots[i].m_adjacent, nullptr);
    EXPECT_EQ(mesh->m_triangleSlots[i].m_parentNode, mesh);
  }
  EXPECT_TRUE(mesh->m_freeTriangleSlots.empty());
  // the tree now stands on the new array
  cTriangle *hit = nullptr;
  cVector3d point;
  ASSERT_TRUE(Query(mesh, cVector3d(1, 1.5, 1), cVector3d(1, 1.5, -1), hit, point));
  EXPECT_EQ(hit, &mesh->m_triangleSlots[0]);
}

// ---- boxes, scaling, moves ----

TEST_F(Mesh, BoundaryBoxSpansAllocatedTrianglesOnly) {
  mesh->updateBoundaryBox();
  EXPECT_TRUE(Near(mesh->getBoundaryMin(), cVector3d()));
  EXPECT_TRUE(Near(mesh->getBoundaryMax(), cVector3d()));
  mesh->newVertex(-50, -50, -50);  // used by no triangle
  mesh->updateBoundaryBox();
  EXPECT_TRUE(Near(mesh->getBoundaryMax(), cVector3d()));

  Square();
  mesh->newTriangle(cVector3d(5, 5, 5), cVector3d(6, 5, 5), cVector3d(5, 6, 7));
  mesh->updateBoundaryBox();
  EXPECT_TRUE(Near(mesh->getBoundaryMin(), cVector3d(0, 0, 0)));
  EXPECT_TRUE(Near(mesh->getBoundaryMax(), cVector3d(6, 6, 7)));
  mesh->removeTriangle(2);
  mesh->updateBoundaryBox();
  EXPECT_TRUE(Near(mesh->getBoundaryMax(), cVector3d(1, 1, 0)));
  // every triangle removed: an empty box, not the inverted start values
  mesh->removeTriangle(0);
  mesh->removeTriangle(1);
  mesh->updateBoundaryBox();
  EXPECT_TRUE(Near(mesh->getBoundaryMin(), cVector3d()));
  EXPECT_TRUE(Near(mesh->getBoundaryMax(), cVector3d()));
}

TEST_F(Mesh, ScalingMovesVerticesAndKeepsNormalsPerpendicularToTheFaces) {
  // the plane z = x, facing (1, 0, -1)
  const unsigned int a = mesh->newVertex(0, 0, 0), b = mesh->newVertex(0, 1, 0), c = mesh->newVertex(1, 0, 1);
  mesh->newTriangle(a, b, c);
  mesh->computeAllNormals(false);
  mesh->computeBoundaryBox(false);
  mesh->scale(cVector3d(2, 3, 1), false);
  EXPECT_TRUE(Near(mesh->m_vertexSlots[c].m_pos, cVector3d(2, 0, 1)));
  EXPECT_TRUE(Near(mesh->getBoundaryMax(), cVector3d(2, 3, 1)));
  const cVector3d n = mesh->m_vertexSlots[a].m_nrm;
  EXPECT_NEAR(n.length(), 1.0, kEps);
  const cVector3d e = mesh->m_vertexSlots[c].m_pos - mesh->m_vertexSlots[a].m_pos;
  EXPECT_NEAR(n.dot(e), 0.0, kEps);
  EXPECT_LT(n.z, 0.0);

  // a mirror keeps the box ordered
  mesh->scale(cVector3d(-1, 1, 1), false);
  EXPECT_TRUE(Near(mesh->getBoundaryMin(), cVector3d(-2, 0, 0)));
  EXPECT_TRUE(Near(mesh->getBoundaryMax(), cVector3d(0, 3, 1)));
  mesh->computeBoundaryBox(false);
  EXPECT_TRUE(Near(mesh->getBoundaryMin(), cVector3d(-2, 0, 0)));
}

TEST_F(Mesh, OffsetAndExtrudeMoveTheSurfaceAndRebuildTheDetectorOnRequest) {
  Square();
  mesh->computeAllNormals(false);
  mesh->computeBoundaryBox(false);
  cMesh *kid = mesh->createMesh();
  Square(kid);
  kid->createAABBCollisionDetector(false, false);
  mesh->addChild(kid);
  mesh->createAABBCollisionDetector(false, false);

  mesh->offsetVertices(cVector3d(0, 0, 2), true, true);
  EXPECT_TRUE(Near(mesh->getBoundaryMin(), cVector3d(0, 0, 2)));
  EXPECT_TRUE(Near(kid->m_vertexSlots[1].m_pos, cVector3d(1, 0, 2)));
  cTriangle *hit = nullptr;
  cVector3d point;
  ASSERT_TRUE(Query(mesh, cVector3d(0.7, 0.2, 5), cVector3d(0.7, 0.2, -5), hit, point));
  EXPECT_TRUE(Near(point, cVector3d(0.7, 0.2, 2), 1e-9));
  ASSERT_TRUE(Query(kid, cVector3d(0.7, 0.2, 5), cVector3d(0.7, 0.2, -5), hit, point));
  EXPECT_TRUE(Near(point, cVector3d(0.7, 0.2, 2), 1e-9));

  mesh->extrude(0.5, false, true);
  EXPECT_TRUE(Near(mesh->getBoundaryMax(), cVector3d(1, 1, 2.5)));
  ASSERT_TRUE(Query(mesh, cVector3d(0.7, 0.2, 5), cVector3d(0.7, 0.2, -5), hit, point));
  EXPECT_TRUE(Near(point, cVector3d(0.7, 0.2, 2.5), 1e-9));
}

TEST_F(Mesh, WorldPositionsFollowTheNodeOnlyOnAFullUpdate) {
  Square();
  mesh->setPos(1, 2, 3);
  mesh->rotate(cVector3d(0, 0, 1), 3.14159265358979323846 / 2);
  mesh->computeGlobalPositions(true);
  EXPECT_TRUE(Near(mesh->m_vertexSlots[1].m_worldPos, cVector3d(1, 0, 0)));
  mesh->computeGlobalPositions(false);
  EXPECT_TRUE(Near(mesh->m_vertexSlots[1].m_worldPos, cVector3d(1, 3, 3), 1e-12));
}

// ---- surface settings ----

TEST_F(Mesh, DefaultsAndSurfaceSettingsReachDescendantMeshes) {
  EXPECT_FALSE(mesh->m_drawAxes);
  EXPECT_EQ(mesh->m_polygonMode, GL_FILL);
  EXPECT_EQ(mesh->m_listId, -1);
  EXPECT_DOUBLE_EQ(mesh->m_surface.getStiffness(), 100.0);
  EXPECT_NE(dynamic_cast<cCollisionBrute *>(mesh->getCollisionDetector()), nullptr);

  cGenericObject *plain = new cGenericObject;
  cMesh *kid = mesh->createMesh();
  Square(kid);
  plain->addChild(kid);
  mesh->addChild(plain);
  Square();

  mesh->setStiffness(-3, true);
  EXPECT_EQ(kid->m_surface.getStiffness(), 0.0);
  mesh->setWireMode(true, true);
  EXPECT_EQ(kid->m_polygonMode, GL_LINE);
  mesh->setWireMode(false, false);
  EXPECT_EQ(mesh->m_polygonMode, GL_FILL);
  EXPECT_EQ(kid->m_polygonMode, GL_LINE);

  cMaterial m;
  m.m_diffuseColor = cColorf(0.1f, 0.2f, 0.3f);
  m.setShininess(12);
  m.setStiffness(250);
  mesh->setMaterial(m, true);
  EXPECT_EQ(kid->m_surface.m_diffuseColor, m.m_diffuseColor);
  EXPECT_EQ(kid->m_surface.getShininess(), 12u);
  EXPECT_DOUBLE_EQ(kid->m_surface.getStiffness(), 250.0);

  mesh->showNormals(true, true, false);
  EXPECT_TRUE(mesh->m_drawNormals);
  EXPECT_FALSE(mesh->m_normalsByCorner);
  EXPECT_TRUE(kid->m_drawNormals);
  EXPECT_TRUE(kid->m_normalsByCorner);
  mesh->setVertexColor(cColorb(10, 20, 30, 40), false);
  EXPECT_EQ(mesh->m_vertexSlots[3].m_rgba, cColorb(10, 20, 30, 40));
  EXPECT_EQ(kid->m_vertexSlots[3].m_rgba, cColorb(255, 255, 255, 255));
}

TEST_F(Mesh, TransparencyLevelBlendsTheWholeSubTreeAndSetsAlphas) {
  Square();
  cMesh *kid = mesh->createMesh();
  Square(kid);
  mesh->addChild(kid);

  // blending reaches the children even without the flag; alphas do not
  mesh->setTransparencyLevel(0.5f, false, false);
  EXPECT_TRUE(mesh->m_blend);
  EXPECT_TRUE(kid->m_blend);
  EXPECT_FLOAT_EQ(mesh->m_surface.m_diffuseColor.a, 0.5f);
  EXPECT_EQ(mesh->m_vertexSlots[0].m_rgba.a, 127);
  EXPECT_EQ(kid->m_vertexSlots[0].m_rgba.a, 255);
  EXPECT_FLOAT_EQ(kid->m_surface.m_diffuseColor.a, 1.0f);

  mesh->setTransparencyLevel(0.3f, false, true);
  EXPECT_EQ(kid->m_vertexSlots[2].m_rgba.a, 76);
  // out of range levels clamp instead of wrapping the byte
  mesh->setTransparencyLevel(-2.0f, false, true);
  EXPECT_EQ(kid->m_vertexSlots[2].m_rgba.a, 0);
  mesh->setTransparencyLevel(3.0f, false, true);
  EXPECT_FALSE(kid->m_blend);
  EXPECT_EQ(kid->m_vertexSlots[2].m_rgba.a, 255);
  EXPECT_FLOAT_EQ(kid->m_surface.m_diffuseColor.a, 1.0f);
}

// ---- detectors ----

TEST_F(Mesh, DetectorsReplaceEachOtherAndRecurseIntoChildren) {
  Square();
  cMesh *kid = mesh->createMesh();
  cMesh *grandchild = mesh->createMesh();
  Square(grandchild);
  kid->addChild(grandchild);
  mesh->addChild(kid);

  mesh->createAABBCollisionDetector(true, true);
  EXPECT_NE(dynamic_cast<cCollisionAABB *>(mesh->getCollisionDetector()), nullptr);
  EXPECT_NE(dynamic_cast<cCollisionAABB *>(kid->getCollisionDetector()), nullptr);
  EXPECT_NE(grandchild->m_triangleSlots[0].m_adjacent, nullptr);
  cTriangle *hit = nullptr;
  cVector3d point;
  EXPECT_FALSE(Query(kid, cVector3d(0.5, 0.2, 1), cVector3d(0.5, 0.2, -1), hit, point));
  EXPECT_TRUE(Query(grandchild, cVector3d(0.5, 0.2, 1), cVector3d(0.5, 0.2, -1), hit, point));

  mesh->createBruteForceCollisionDetector(false, false);
  EXPECT_NE(dynamic_cast<cCollisionBrute *>(mesh->getCollisionDetector()), nullptr);
  EXPECT_NE(dynamic_cast<cCollisionAABB *>(kid->getCollisionDetector()), nullptr);

  mesh->createSphereTreeCollisionDetector(true, false);
  EXPECT_NE(dynamic_cast<cCollisionSpheres *>(grandchild->getCollisionDetector()), nullptr);
  EXPECT_TRUE(Query(mesh, cVector3d(0.5, 0.2, 1), cVector3d(0.5, 0.2, -1), hit, point));
  EXPECT_EQ(hit, &mesh->m_triangleSlots[0]);
}

// ---- file names ----

TEST(MeshLoader, ExtensionAfterTheLastDotOfTheFileName) {
  EXPECT_EQ(cMeshFileExtension("models/tooth.OBJ"), "obj");
  EXPECT_EQ(cMeshFileExtension("a.b\\model.3Ds"), "3ds");
  EXPECT_EQ(cMeshFileExtension("dir.v2\\model"), "");
  EXPECT_EQ(cMeshFileExtension("dir.v2/model"), "");
  EXPECT_EQ(cMeshFileExtension("model"), "");
  EXPECT_EQ(cMeshFileExtension("model."), "");
}

TEST(MeshLoader, NoReaderYetSoEveryFileFailsAndTheMeshStaysUntouched) {
  cWorld world;
  cMesh mesh(&world);
  mesh.newVertex(1, 2, 3);
  for (const char *name : {"resources/models/tooth.OBJ", "x.3ds", "part.stl", "noextension", ""})
    EXPECT_FALSE(mesh.loadFromFile(name)) << name;
  EXPECT_FALSE(cLoadMeshFromFile(nullptr, "a.obj"));
  EXPECT_EQ(mesh.getNumVertices(), 1u);
  EXPECT_EQ(mesh.getNumTriangles(), 0u);
}

}  // namespace
