// The skin of a deformable mesh: which node or link each vertex follows, how it
// follows it, and segment queries against the skins through the world.
#include "scene/dynamics/CDefWorld.h"
#include "scene/dynamics/CDefWorldCollision.h"
#include "scene/graph/CWorld.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const double kPi = 3.14159265358979323846;

// a link from the origin along x with its two nodes, in a world
struct OneLink {
  cDefWorld world;
  cDefMesh *mesh;
  cDefNode *a, *b;
  cDefLink *link;
  OneLink() {
    mesh = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
    a = mesh->newNode(cVector3d(0, 0, 0));
    b = mesh->newNode(cVector3d(1, 0, 0));
    link = mesh->newLink(a, b);
  }
};

const cDefBinding *BindingOf(const cDefMesh &mesh, const cMesh *owner, unsigned int vertex) {
  for (const cDefBinding &b : mesh.getBindings())
    if (b.m_mesh == owner && b.m_vertex == vertex) return &b;
  return nullptr;
}

TEST(DefMeshBinding, AVertexAlongsideALinkFollowsItAndOneBeyondItsEndsFollowsTheNearestNode) {
  OneLink s;
  const unsigned int beside = s.mesh->newVertex(0.5, 0.1, 0.0);
  const unsigned int beyond = s.mesh->newVertex(1.2, 0.1, 0.0);
  const unsigned int nearA = s.mesh->newVertex(0.02, 0.3, 0.0);
  ASSERT_TRUE(s.mesh->connectVerticesToSkeleton(false));
  ASSERT_EQ(s.mesh->getBindings().size(), 3u);
  EXPECT_EQ(BindingOf(*s.mesh, s.mesh, beside)->m_link, s.link);
  EXPECT_EQ(BindingOf(*s.mesh, s.mesh, beyond)->m_link, nullptr);
  EXPECT_EQ(BindingOf(*s.mesh, s.mesh, beyond)->m_node, s.b);
  // 0.3 from the link's line, a hair nearer than to node a
  EXPECT_EQ(BindingOf(*s.mesh, s.mesh, nearA)->m_node, s.a);
  EXPECT_EQ(BindingOf(*s.mesh, s.mesh, nearA)->m_link, s.link);

  // the link turns a quarter about z round node a: the vertex turns with it
  s.b->m_pos.set(0, 1, 0);
  s.mesh->updateVertexPosition();
  EXPECT_TRUE(s.mesh->getVertex(beside)->getPos().equals(cVector3d(-0.1, 0.5, 0.0), 1e-12));
  // node b moved and did not turn: the vertex bound to it is carried along
  EXPECT_TRUE(s.mesh->getVertex(beyond)->getPos().equals(cVector3d(0.2, 1.1, 0.0), 1e-12));

  // with nodes only, the vertex beside the link takes the nearer node
  s.b->m_pos.set(1, 0, 0);
  ASSERT_TRUE(s.mesh->connectVerticesToSkeleton(true));
  EXPECT_EQ(BindingOf(*s.mesh, s.mesh, beside)->m_link, nullptr);
  EXPECT_EQ(BindingOf(*s.mesh, s.mesh, beside)->m_node, s.a);
}

TEST(DefMeshBinding, AVertexBoundToANodeTurnsAndMovesWithIt) {
  cDefMesh mesh(nullptr);
  cDefNode *n = mesh.newNode(cVector3d(1, 1, 0));
  const unsigned int v = mesh.newVertex(1.2, 1, 0);
  ASSERT_TRUE(mesh.connectVerticesToSkeleton(false));
  n->m_rot = cMatrix3d::rotation(cVector3d(0, 0, 1), kPi / 2);
  n->m_pos.set(2, 0, 0);
  mesh.updateVertexPosition();
  EXPECT_TRUE(mesh.getVertex(v)->getPos().equals(cVector3d(2, 0.2, 0), 1e-12));
}

TEST(DefMeshBinding, TheSkinMeshesBelowAreBoundInVertexOrderAndFollowTheirNodes) {
  cDefMesh mesh(nullptr);
  cDefNode *left = mesh.newNode(cVector3d(-1, 0, 0));
  cDefNode *right = mesh.newNode(cVector3d(1, 0, 0));
  // equally far from both: the first node wins
  mesh.newVertex(0, 2, 0);
  cMesh *skin = new cMesh(nullptr);
  mesh.addChild(skin);
  cMesh *inner = new cMesh(nullptr);
  skin->addChild(inner);
  skin->newVertex(1.1, 0, 0);
  inner->newVertex(-1.1, 0, 0);
  ASSERT_TRUE(mesh.connectVerticesToSkeleton(false));
  const std::vector<cDefBinding> &b = mesh.getBindings();
  ASSERT_EQ(b.size(), mesh.getNumVertices(true));
  for (unsigned int i = 0; i < b.size(); ++i)
    EXPECT_EQ(&b[i].m_mesh->m_vertexSlots[b[i].m_vertex], mesh.getVertex(i, true)) << i;
  EXPECT_EQ(b[0].m_node, left);
  EXPECT_EQ(b[1].m_node, right);
  EXPECT_EQ(b[2].m_node, left);

  right->m_pos.z += 0.5;
  left->m_pos.z -= 0.5;
  mesh.updateVertexPosition();
  EXPECT_TRUE(skin->getVertex(0)->getPos().equals(cVector3d(1.1, 0, 0.5), 1e-12));
  EXPECT_TRUE(inner->getVertex(0)->getPos().equals(cVector3d(-1.1, 0, -0.5), 1e-12));

  // a skin that lost its vertices after the binding is left alone
  inner->clear();
  mesh.updateVertexPosition();
  EXPECT_EQ(inner->getNumVertices(), 0u);
}

TEST(DefMeshBinding, WithoutNodesNothingIsBound) {
  cDefMesh mesh(nullptr);
  mesh.newVertex(0, 0, 0);
  EXPECT_FALSE(mesh.connectVerticesToSkeleton(false));
  EXPECT_TRUE(mesh.getBindings().empty());
  mesh.updateVertexPosition();
  EXPECT_EQ(mesh.getVertex(0)->getPos(), cVector3d());
}

TEST(DefWorldSkins, TheWorldStepsAndReskinsItsMeshesAndDrawsOnlyTheSkeletonWhenAsked) {
  OneLink s;
  s.a->m_fixed = true;
  s.b->m_kDampingPos = 0.0;
  const unsigned int v = s.mesh->newVertex(1.0, 0.0, 0.05);
  ASSERT_TRUE(s.mesh->connectVerticesToSkeleton(false));
  EXPECT_FALSE(s.mesh->m_showSkeleton);
  s.mesh->initialise();
  EXPECT_TRUE(s.mesh->m_showSkeleton);
  s.world.updateDynamics(0.1);
  s.world.updateSkins();
  // the free end sags under gravity and the skin goes with it
  EXPECT_LT(s.b->m_pos.z, 0.0);
  EXPECT_NEAR(s.mesh->getVertex(v)->getPos().z - s.b->m_pos.z, 0.05, 0.01);
  EXPECT_EQ(s.world.addDefMesh(nullptr), nullptr);
  EXPECT_EQ(s.world.getNumDefMeshes(), 1u);
}

// a square skin of two triangles across x = at, facing the segment's start
cDefMesh *Wall(cDefWorld &world, double at) {
  cDefMesh *m = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
  m->newNode(cVector3d(at, 0, 0));
  m->newTriangle(cVector3d(at, -1, -1), cVector3d(at, 1, 1), cVector3d(at, 1, -1));
  m->newTriangle(cVector3d(at, -1, -1), cVector3d(at, -1, 1), cVector3d(at, 1, 1));
  m->createBruteForceCollisionDetector(true, false);
  return m;
}

TEST(DefWorldCollision, ASegmentHitsTheNearestSkinWhicheverMeshComesLast) {
  auto world = std::make_unique<cWorld>();
  cDefWorld *defWorld = new cDefWorld;
  world->addChild(defWorld);
  defWorld->setPos(1, 0, 0);
  ASSERT_NE(dynamic_cast<cDefWorldCollision *>(defWorld->getCollisionDetector()), nullptr);
  cDefMesh *nearWall = Wall(*defWorld, 0.2);
  Wall(*defWorld, 0.6);

  cVector3d a(0, 0.3, 0.1), point;
  cGenericObject *object = nullptr;
  cTriangle *triangle = nullptr;
  double distance = 1e9;
  ASSERT_TRUE(world->computeCollisionDetection(a, cVector3d(3, 0.3, 0.1), object, triangle, point, distance, false, 0));
  EXPECT_TRUE(point.equals(cVector3d(1.2, 0.3, 0.1), 1e-9));
  // the world answers with the distance itself
  EXPECT_NEAR(distance, 1.2, 1e-9);
  EXPECT_EQ(object, nearWall);

  // a segment that stops short of both hits nothing
  cVector3d a2(0, 0.1, 0.1);
  distance = 1e9;
  EXPECT_FALSE(
      world->computeCollisionDetection(a2, cVector3d(1.1, 0.1, 0.1), object, triangle, point, distance, false, 0));
}

TEST(DefWorldCollision, AnEmptyWorldHitsNothing) {
  cDefWorld world;
  cVector3d a(0, 0, 0), b(1, 0, 0), p;
  cGenericObject *o = nullptr;
  cTriangle *t = nullptr;
  double d = 1e9;
  EXPECT_FALSE(world.getCollisionDetector()->computeCollision(a, b, o, t, p, d, 0));
}

}  // namespace
