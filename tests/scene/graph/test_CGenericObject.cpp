// Scene graph, world, camera and lights: what needs no OpenGL context (poses,
// segment queries, ownership, argument refusals).
#include "scene/collision/CGenericCollision.h"
#include "scene/graph/CCamera.h"
#include "scene/graph/CGenericObject.h"
#include "scene/graph/CLight.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEps = 1e-12;

// a node that counts its destructions and display resets
struct Probe : cGenericObject {
  static int deleted;
  int resets = 0;
  ~Probe() override { ++deleted; }
  void onDisplayReset(bool recursive) override {
    ++resets;
    cGenericObject::onDisplayReset(recursive);
  }
};
int Probe::deleted = 0;

// hits the plane x = m_x of its node's frame; remembers the start it was given
struct PlaneDetector : cGenericCollision {
  double m_x;
  cGenericObject *m_owner;
  cVector3d m_lastA;
  PlaneDetector(double x, cGenericObject *owner) : m_x(x), m_owner(owner) {}
  bool computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle, cVector3d &point,
                        double &squareDistance, int) override {
    m_lastA = a;
    const double t = (m_x - a.x) / (b.x - a.x);
    if (!(t >= 0.0 && t <= 1.0)) return false;
    point = a + (b - a) * t;
    squareDistance = (point - a).lengthsq();
    object = m_owner;
    triangle = nullptr;
    return true;
  }
};

Probe *PlaneNode(double x) {
  Probe *node = new Probe;
  node->setCollisionDetector(new PlaneDetector(x, node));
  return node;
}

struct Query {
  bool hit = false;
  cGenericObject *object = nullptr;
  cTriangle *triangle = nullptr;
  cVector3d point, a;
  double distance = 0.0;
};

Query WorldQuery(cWorld &world, cVector3d a, const cVector3d &b, bool visibleOnly = false, int call = 1) {
  Query q;
  q.hit = world.computeCollisionDetection(a, b, q.object, q.triangle, q.point, q.distance, visibleOnly, call);
  q.a = a;
  return q;
}

// ---- hierarchy ----------------------------------------------------------------------

TEST(SceneGraph, ChildrenAreOwnedAndEnumeratedDepthFirst) {
  Probe::deleted = 0;
  {
    Probe root;
    Probe *a = new Probe, *b = new Probe, *c = new Probe, *a1 = new Probe;
    root.addChild(a), root.addChild(b), root.addChild(c), a->addChild(a1);
    EXPECT_TRUE(root.containsChild(a1, true));
    std::list<cGenericObject *> all;
    root.enumerateChildren(all, true);
    EXPECT_EQ(all, (std::list<cGenericObject *>{&root, a, a1, b, c}));

    // removal keeps the others' order and deletes nothing
    EXPECT_TRUE(root.removeChild(b));
    EXPECT_FALSE(root.removeChild(b));
    EXPECT_EQ(root.m_kids, (std::vector<cGenericObject *>{a, c}));
    EXPECT_EQ(Probe::deleted, 0);
    delete b;
    EXPECT_TRUE(root.deleteChild(c));
    EXPECT_FALSE(root.deleteChild(c));
  }
  EXPECT_EQ(Probe::deleted, 5);
}

TEST(SceneGraph, NamesKeepAtMost254Characters) {
  cGenericObject node;
  node.addChild(new cGenericObject);
  const std::string longName(300, 'n');
  node.setName(longName.c_str(), true);
  EXPECT_EQ(std::string(node.m_label), longName.substr(0, 254));
  EXPECT_EQ(std::string(node.m_kids[0]->m_label), longName.substr(0, 254));
}

TEST(SceneGraph, RefusalsAndDetectorProperties) {
  cGenericObject node;
  node.addChild(new cGenericObject);
  cGenericObject *kid = node.m_kids[0];
  EXPECT_TRUE(node.setFrameSize(2.0, 3.0, true));
  EXPECT_FALSE(node.setFrameSize(0.0, 1.0, true));
  EXPECT_EQ(kid->m_axesLength, 2.0);

  kid->setCollisionDetector(new PlaneDetector(0, kid));
  cColorf wild(2.0f, -1.0f, 0.5f, 7.0f);
  node.setCollisionDetectorProperties(3, wild, true);
  EXPECT_EQ(kid->m_detector->m_drawMaterial.m_ambientColor, cColorf(1.0f, 0.0f, 0.5f, 1.0f));
  EXPECT_EQ(kid->m_detector->m_drawDepth, 3);
}

// ---- pose ---------------------------------------------------------------------------

TEST(Pose, GlobalPoseComposesThroughRotatedTranslatedParent) {
  cWorld world;
  cGenericObject *parent = new cGenericObject, *child = new cGenericObject, *grand = new cGenericObject;
  world.addChild(parent), parent->addChild(child), child->addChild(grand);
  parent->rotate(cVector3d(0, 0, 1), kPi / 2);
  parent->translate(0, 0, 5);
  child->translate(1, 0, 0);
  child->rotate(cVector3d(1, 0, 0), kPi / 2);
  grand->translate(0, 1, 0);

  world.computeGlobalPositions(false);
  EXPECT_TRUE(child->m_worldPos.equals(cVector3d(0, 1, 5), kEps));
  // grand's (0, 1, 0) is the child's z, which the parent's turn leaves as world z
  EXPECT_TRUE(grand->m_worldPos.equals(cVector3d(0, 1, 6), kEps));

  // the single-node update agrees with the full traversal
  const cVector3d pos = grand->m_worldPos;
  const cMatrix3d rot = grand->m_worldRot;
  grand->m_worldPos.zero(), grand->m_worldRot.identity();
  grand->computeGlobalCurrentObjectOnly();
  EXPECT_TRUE(grand->m_worldPos.equals(pos, kEps));
  EXPECT_TRUE(grand->m_worldRot.equals(rot, kEps));
}

TEST(Pose, AxisRotationUsesParentFrameMatrixRotationOwnAxes) {
  cGenericObject byAxis, byMatrix;
  const cMatrix3d rz = cMatrix3d::rotation(cVector3d(0, 0, 1), kPi / 2);
  const cMatrix3d rx = cMatrix3d::rotation(cVector3d(1, 0, 0), kPi / 2);
  byAxis.m_rot = rz, byMatrix.m_rot = rz;
  // an unnormalised axis is normalised
  byAxis.rotate(cVector3d(3, 0, 0), kPi / 2);
  byMatrix.rotate(rx);
  EXPECT_TRUE(byAxis.m_rot.equals(rx * rz, kEps));
  EXPECT_TRUE(byMatrix.m_rot.equals(rz * rx, kEps));
  // turning about the own x axis (world y) leaves it in place; the parent's x does not
  EXPECT_TRUE(byMatrix.m_rot.col(0).equals(cVector3d(0, 1, 0), kEps));
  EXPECT_TRUE(byAxis.m_rot.col(0).equals(cVector3d(0, 0, 1), kEps));

  // a null axis only saves the previous rotation
  byAxis.rotate(cVector3d(0, 0, 0), 1.0);
  EXPECT_TRUE(byAxis.m_rot.equals(byAxis.m_prevRot, 0.0));
}

// ---- segment query -------------------------------------------------------------------

TEST(SegmentQuery, EmptyWorldMissesAtRootOf1e49) {
  cWorld world;
  const Query q = WorldQuery(world, cVector3d(0, 0, 0), cVector3d(1, 0, 0));
  EXPECT_FALSE(q.hit);
  EXPECT_EQ(q.distance, 3.162277660168379e24);
}

TEST(SegmentQuery, ClosestHitComesBackInWorldFrame) {
  cWorld world;
  cGenericObject *parent = new cGenericObject;
  Probe *far = PlaneNode(3.0), *near = PlaneNode(1.0);
  world.addChild(far), world.addChild(parent), parent->addChild(near);
  // the parent's plane x = 1 is the world plane y = 1 (at z = 5); far is y = 3 there
  parent->m_pos.set(0, 0, 5);
  parent->m_rot = cMatrix3d::rotation(cVector3d(0, 0, 1), kPi / 2);
  far->m_pos.set(0, 0, 5);
  far->m_rot = parent->m_rot;
  const Query q = WorldQuery(world, cVector3d(0, 0, 5), cVector3d(0, 10, 5));
  ASSERT_TRUE(q.hit);
  EXPECT_EQ(q.object, near);
  EXPECT_TRUE(q.point.equals(cVector3d(0, 1, 5), kEps));
  EXPECT_NEAR(q.distance, 1.0, kEps);

  near->m_visible = false;
  EXPECT_EQ(WorldQuery(world, cVector3d(0, 0, 5), cVector3d(0, 10, 5)).object, near);
  EXPECT_EQ(WorldQuery(world, cVector3d(0, 0, 5), cVector3d(0, 10, 5), true).object, far);
  near->m_touchable = false;
  EXPECT_EQ(WorldQuery(world, cVector3d(0, 0, 5), cVector3d(0, 10, 5)).object, far);
}

TEST(SegmentQuery, FirstCallCarriesStartWithMovedChild) {
  cWorld world;
  Probe *plane = PlaneNode(-5.0);
  world.addChild(plane);
  auto *det = static_cast<PlaneDetector *>(plane->getCollisionDetector());
  plane->rotate(cVector3d(0, 0, 1), kPi / 2);
  plane->m_prevPoseValid = true;

  // a later call of the step sees the start as it lies in the turned frame
  Query q = WorldQuery(world, cVector3d(1, 0, 0), cVector3d(-9, 0, 0), false, 2);
  EXPECT_TRUE(det->m_lastA.equals(cVector3d(0, -1, 0), kEps));
  EXPECT_FALSE(q.hit);

  // the first call carries it with the turn: the same local point as before it
  q = WorldQuery(world, cVector3d(1, 0, 0), cVector3d(0, -9, 0), false, 1);
  EXPECT_TRUE(det->m_lastA.equals(cVector3d(1, 0, 0), kEps));
  ASSERT_TRUE(q.hit);
  EXPECT_TRUE(q.a.equals(cVector3d(0, 1, 0), kEps));
}

// ---- world ----------------------------------------------------------------------------

TEST(World, NinthLightRefusedAndFreedNumberReused) {
  cWorld world;
  cLight *lights[8];
  for (int i = 0; i < 8; ++i) {
    lights[i] = new cLight(&world);
    world.addChild(lights[i]);
    EXPECT_EQ(lights[i]->m_glLight, GL_LIGHT0 + i);
  }
  cLight ninth(&world);
  EXPECT_EQ(ninth.m_glLight, KORA_LIGHT_UNASSIGNED);
  EXPECT_FALSE(world.addLightSource(&ninth));

  EXPECT_TRUE(world.removeLightSource(lights[2]));
  EXPECT_FALSE(world.removeLightSource(lights[2]));
  EXPECT_TRUE(world.addLightSource(&ninth));
  EXPECT_EQ(ninth.m_glLight, GL_LIGHT2);
  EXPECT_EQ(world.getLightSource(7), &ninth);
  EXPECT_EQ(world.getLightSource(8), nullptr);

  // a deleted light leaves the list, so no render reaches it
  world.deleteChild(lights[5]);
  EXPECT_EQ(world.getNumLightSources(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_NE(world.getLightSource(i), lights[5]);
}

TEST(World, LightOutlivingItsWorld) {
  cLight *light;
  {
    cWorld world;
    light = new cLight(&world);
  }
  EXPECT_EQ(light->m_homeWorld, nullptr);
  delete light;
}

TEST(World, TexturesAreOwned) {
  cWorld world;
  cTexture2D *first = world.newTexture(), *second = world.newTexture(), *third = world.newTexture();
  EXPECT_TRUE(world.deleteTexture(second));
  EXPECT_FALSE(world.deleteTexture(second));
  ASSERT_EQ(world.getNumTextures(), 2u);
  EXPECT_EQ(world.m_textureList[0].get(), first);
  EXPECT_EQ(world.m_textureList[1].get(), third);

  // a texture added twice would be deleted twice
  cTexture2D *loose = new cTexture2D;
  EXPECT_FALSE(world.deleteTexture(loose));
  world.addTexture(loose);
  world.addTexture(loose);
  EXPECT_EQ(world.getNumTextures(), 3u);
  EXPECT_TRUE(world.removeTexture(first));
  delete first;
}

// ---- camera and light -----------------------------------------------------------------

TEST(Camera, SetRefusesDegenerateFrames) {
  cCamera camera(nullptr);
  EXPECT_TRUE(camera.m_rot.equals(cMatrix3d(), kEps));
  ASSERT_TRUE(camera.set(cVector3d(0, 5, 0), cVector3d(0, 0, 0), cVector3d(0, 0, 2)));
  // looking along -y: x back toward the camera, z up, y = z x x
  EXPECT_TRUE(camera.m_rot.col(0).equals(cVector3d(0, 1, 0), kEps));
  EXPECT_TRUE(camera.m_rot.col(1).equals(cVector3d(-1, 0, 0), kEps));

  const cMatrix3d rot = camera.m_rot;
  EXPECT_FALSE(camera.set(cVector3d(1, 1, 1), cVector3d(1, 1, 1), cVector3d(0, 0, 1)));
  EXPECT_FALSE(camera.set(cVector3d(3, 0, 0), cVector3d(0, 0, 0), cVector3d(0, 0, 0)));
  EXPECT_FALSE(camera.set(cVector3d(3, 0, 0), cVector3d(0, 0, 0), cVector3d(-2, 0, 0)));
  EXPECT_EQ(camera.m_pos, cVector3d(0, 5, 0));
  EXPECT_TRUE(camera.m_rot.equals(rot, 0.0));
}

TEST(Camera, ClippingRefusals) {
  cCamera camera(nullptr);
  camera.setClippingPlanes(10, 1);
  camera.setClippingPlanes(0, 1);
  EXPECT_EQ(camera.m_nearClip, 0.1);
  EXPECT_EQ(camera.m_farClip, 1000.0);
}

TEST(Camera, DisplayResetReachesEverythingOnce) {
  cWorld world;
  cCamera *camera = new cCamera(&world);
  Probe *inWorld = new Probe, *inOverlay = new Probe, *onCamera = new Probe;
  world.addChild(camera), world.addChild(inWorld);
  camera->m_frontOverlay.addChild(inOverlay);
  camera->addChild(onCamera);
  // the camera lies inside its own world: reached again through it
  camera->onDisplayReset(true);
  EXPECT_EQ(inWorld->resets, 1);
  EXPECT_EQ(inOverlay->resets, 1);
  EXPECT_EQ(onCamera->resets, 1);
}

}  // namespace
