// The proxy point force algorithm against small hand-built meshes: free space,
// one, two and three constraints, friction stick and slip, stiffness averaging
// over contacts and meshes that move under the proxy.
#include "support/AllocationCounter.h"

#include "scene/forces/CGenericPointForceAlgo.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kTol = 1e-9;
const double kRadius = static_cast<double>(0.1f);

::testing::AssertionResult Near(const cVector3d &got, const cVector3d &want, double tol = kTol) {
  if (got.equals(want, tol)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z << "), want (" << want.x
                                       << ", " << want.y << ", " << want.z << ")";
}

// a quad as two triangles fanned from its first corner, so both hold that corner
void Quad(cMesh &m, const cVector3d &c, const cVector3d &a, const cVector3d &b, const cVector3d &d) {
  m.newTriangle(c, a, b);
  m.newTriangle(c, b, d);
}

const cVector3d kCorner(1, 1, 0);
// the floor z = 0 (x, y up to 1), and the walls x = 1 and y = 1 above it, all
// facing the inside of the corner (the detector only sees fronts)
void Floor(cMesh &m) { Quad(m, kCorner, cVector3d(-6, 1, 0), cVector3d(-6, -5, 0), cVector3d(1, -5, 0)); }
void WallX(cMesh &m) { Quad(m, kCorner, cVector3d(1, -5, 0), cVector3d(1, -5, 5), cVector3d(1, 1, 5)); }
void WallY(cMesh &m) { Quad(m, kCorner, cVector3d(1, 1, 5), cVector3d(-5, 1, 5), cVector3d(-5, 1, 0)); }

class ProxyForce : public ::testing::Test {
 protected:
  // a mesh in the world with the given stiffness and no friction
  cMesh *AddMesh(double stiffness) {
    cMesh *m = new cMesh(&world);
    world.addChild(m);
    m->setStiffness(stiffness, false);
    m->setFriction(0.0, 0.0, false);
    return m;
  }

  void Finish(cMesh *m, bool neighbors = true) {
    m->createAABBCollisionDetector(false, neighbors);
    world.computeGlobalPositions(false);
  }

  // the proxy pressed straight down onto the floor from above
  void RestOnFloor(const cVector3d &device) {
    algo.initialize(&world, cVector3d(device.x, device.y, 1.0));
    algo.computeForces(cVector3d(device.x, device.y, 0.5));
    algo.computeForces(device);
  }

  cWorld world;
  cProxyPointForceAlgo algo;
};

// ---- defaults and free space ----

TEST(ProxyForceDefaults, SinglePrecisionRadiusAndFlags) {
  cProxyPointForceAlgo algo;
  EXPECT_EQ(algo.getProxyRadius(), 0.10000000149011612);
  EXPECT_TRUE(algo.m_frictionOn);
  EXPECT_TRUE(algo.m_frictionConeOn);
  EXPECT_FALSE(algo.m_forceStickTest);
  EXPECT_FALSE(algo.m_followObjectMotion);
  EXPECT_EQ(algo.m_scene, nullptr);
  cTriangle *t0 = nullptr, *t1 = nullptr, *t2 = nullptr;
  EXPECT_EQ(algo.getContacts(t0, t1, t2), 0);
}

TEST(ProxyForceDefaults, BaseAndUninitialisedGiveZeroForce) {
  cGenericPointForceAlgo base;
  EXPECT_EQ(base.computeForces(cVector3d(1, 2, 3)), cVector3d());
  cProxyPointForceAlgo algo;
  EXPECT_EQ(algo.computeForces(cVector3d(1, 2, 3)), cVector3d());
  // nothing moves without a world
  EXPECT_EQ(algo.getDeviceGlobalPosition(), cVector3d());
}

TEST_F(ProxyForce, FreeSpaceProxyFollowsDevice) {
  algo.initialize(&world, cVector3d(0, 0, 0));
  for (const cVector3d &d : {cVector3d(0.3, -0.2, 0.1), cVector3d(5, 5, 5), cVector3d(5, 5, 5)}) {
    EXPECT_EQ(algo.computeForces(d), cVector3d());
    EXPECT_EQ(algo.getProxyGlobalPosition(), d);
    EXPECT_EQ(algo.getDeviceGlobalPosition(), d);
    EXPECT_EQ(algo.getContactObject(), nullptr);
  }
}

// ---- one constraint ----

TEST_F(ProxyForce, PressingIntoFaceKeepsProxyOneRadiusAbove) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  Finish(m);
  algo.initialize(&world, cVector3d(0, 0, 1));
  EXPECT_EQ(algo.computeForces(cVector3d(0, 0, 0.5)), cVector3d());
  const cVector3d device(0, 0, -0.2);
  const cVector3d f = algo.computeForces(device);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0, 0, kRadius)));
  EXPECT_TRUE(Near(f, (algo.getProxyGlobalPosition() - device) * 100.0));
  EXPECT_GT(f.z, 0.0);
  EXPECT_EQ(algo.getLastGlobalForce(), f);
  EXPECT_EQ(algo.getContactObject(), m);
  EXPECT_TRUE(Near(algo.getContactPoint(), cVector3d(0, 0, 0)));
  cTriangle *t0 = nullptr, *t1 = nullptr, *t2 = nullptr;
  EXPECT_EQ(algo.getContacts(t0, t1, t2), 1);
  EXPECT_NE(t0, nullptr);
  EXPECT_EQ(t0->getParent(), m);
  EXPECT_EQ(t1, nullptr);
  EXPECT_EQ(t2, nullptr);

  // pressing deeper keeps the proxy; leaving the surface frees it
  algo.computeForces(cVector3d(0, 0, -0.5));
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0, 0, kRadius)));
  EXPECT_EQ(algo.computeForces(cVector3d(0, 0, 0.3)), cVector3d());
  EXPECT_EQ(algo.getProxyGlobalPosition(), cVector3d(0, 0, 0.3));
}

TEST_F(ProxyForce, SlidingWithoutFrictionFollowsProjectedGoal) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  Finish(m);
  RestOnFloor(cVector3d(0, 0, -0.2));
  for (double x : {0.1, 0.3, -0.4}) {
    algo.computeForces(cVector3d(x, 0.2, -0.2));
    EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(x, 0.2, kRadius)));
    EXPECT_TRUE(Near(algo.getLastGlobalForce(), cVector3d(0, 0, 100.0 * (kRadius + 0.2))));
  }
}

// ---- friction ----

TEST_F(ProxyForce, StaticThenDynamicFriction) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  m->setFriction(0.5, 0.3, false);
  Finish(m);
  // device 0.1 below the face: the depth is about 0.2
  RestOnFloor(cVector3d(0, 0, -0.1));
  EXPECT_FALSE(algo.m_sliding);
  const double depth = kRadius + 0.1;

  // inside the static cone (tan < 0.5): the proxy stays put
  algo.computeForces(cVector3d(0.08, 0, -0.1));
  EXPECT_FALSE(algo.m_sliding);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0, 0, kRadius)));

  // past atan(0.5): slipping, dragged to 0.3 x depth behind the projected goal
  algo.computeForces(cVector3d(0.12, 0, -0.1));
  EXPECT_TRUE(algo.m_sliding);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0.12 - 0.3 * depth, 0, kRadius)));
  const double px = algo.getProxyGlobalPosition().x;

  // still above 0.6 x atan(0.3) (tan 0.2 > 0.1767): keeps slipping, proxy inside the cone stays
  algo.computeForces(cVector3d(px + 0.2 * depth, 0, -0.1));
  EXPECT_TRUE(algo.m_sliding);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(px, 0, kRadius)));

  // below 0.6 x atan(0.3): sticks again
  algo.computeForces(cVector3d(px + 0.15 * depth, 0, -0.1));
  EXPECT_FALSE(algo.m_sliding);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(px, 0, kRadius)));

  // sticking again uses the static cone: tan 0.45 does not move it
  algo.computeForces(cVector3d(px + 0.45 * depth, 0, -0.1));
  EXPECT_FALSE(algo.m_sliding);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(px, 0, kRadius)));
}

TEST_F(ProxyForce, DynamicLargerThanStaticAlwaysSlips) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  m->setFriction(0.2, 0.4, false);
  Finish(m);
  RestOnFloor(cVector3d(0, 0, -0.1));
  const double depth = kRadius + 0.1;
  // inside the dynamic cone: slipping state, but the proxy stays
  algo.computeForces(cVector3d(0.05, 0, -0.1));
  EXPECT_TRUE(algo.m_sliding);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0, 0, kRadius)));
  algo.computeForces(cVector3d(0.3, 0, -0.1));
  EXPECT_TRUE(algo.m_sliding);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0.3 - 0.4 * depth, 0, kRadius)));
}

TEST_F(ProxyForce, FrictionSwitchedOffSlidesFreely) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  m->setFriction(0.5, 0.3, false);
  Finish(m);
  algo.m_frictionConeOn = false;
  RestOnFloor(cVector3d(0, 0, -0.1));
  algo.computeForces(cVector3d(0.08, 0, -0.1));
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0.08, 0, kRadius)));
}

TEST_F(ProxyForce, ForceStickTestHoldsProxy) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  m->setFriction(0.5, 0.3, false);
  Finish(m);
  algo.m_forceStickTest = true;
  RestOnFloor(cVector3d(0, 0, -0.1));
  const cVector3d before = algo.getProxyGlobalPosition();
  algo.computeForces(cVector3d(0.05, 0, -0.1));
  EXPECT_EQ(algo.getProxyGlobalPosition(), before);
  EXPECT_GT(algo.getNormalForce().z, 0.0);
  EXPECT_NEAR(algo.getTangentialForce().x, -100.0 * 0.05, 1e-7);
}

// ---- two and three constraints ----

TEST_F(ProxyForce, ConcaveEdgeSlidesAlongCommonLine) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  WallX(*m);
  WallY(*m);
  Finish(m);
  algo.initialize(&world, cVector3d(0, -3, 0.5));
  algo.computeForces(cVector3d(1.3, -2.6, -0.3));
  cTriangle *t0 = nullptr, *t1 = nullptr, *t2 = nullptr;
  EXPECT_EQ(algo.getContacts(t0, t1, t2), 2);
  EXPECT_NE(t1, nullptr);
  EXPECT_EQ(t2, nullptr);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(1 - kRadius, -2.6, kRadius)));
  // stiffness of one mesh: the force is the plain spring
  EXPECT_TRUE(
      Near(algo.getLastGlobalForce(), (algo.getProxyGlobalPosition() - cVector3d(1.3, -2.6, -0.3)) * 100.0, 1e-7));
}

TEST_F(ProxyForce, CornerStopsAtThirdFace) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  WallX(*m);
  WallY(*m);
  Finish(m);
  algo.initialize(&world, cVector3d(0, 0, 0.5));
  algo.computeForces(cVector3d(1.3, 1.5, -0.3));
  cTriangle *t0 = nullptr, *t1 = nullptr, *t2 = nullptr;
  EXPECT_EQ(algo.getContacts(t0, t1, t2), 3);
  EXPECT_NE(t2, nullptr);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(1 - kRadius, 1 - kRadius, kRadius)));
}

TEST_F(ProxyForce, ThreeContactsAverageStiffness) {
  cMesh *floor = AddMesh(100.0);
  Floor(*floor);
  cMesh *wallX = AddMesh(200.0);
  WallX(*wallX);
  cMesh *wallY = AddMesh(300.0);
  WallY(*wallY);
  for (cMesh *m : {floor, wallX, wallY}) Finish(m, false);
  algo.initialize(&world, cVector3d(0, 0, 0.5));
  const cVector3d device(1.3, 1.5, -0.3);
  const cVector3d f = algo.computeForces(device);
  cTriangle *t0 = nullptr, *t1 = nullptr, *t2 = nullptr;
  ASSERT_EQ(algo.getContacts(t0, t1, t2), 3);
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(1 - kRadius, 1 - kRadius, kRadius)));
  EXPECT_TRUE(Near(f, (algo.getProxyGlobalPosition() - device) * 200.0, 1e-7));
  EXPECT_EQ(t0->getParent(), floor);
  EXPECT_EQ(t1->getParent(), wallY);
  EXPECT_EQ(t2->getParent(), wallX);
}

// ---- moving meshes ----

TEST_F(ProxyForce, MeshRisingPastProxyWithoutFollowingPushesThrough) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  Finish(m);
  RestOnFloor(cVector3d(0, 0, -0.2));
  // the floor rises above the proxy centre between two steps
  m->setPos(0, 0, 0.3);
  world.computeGlobalPositions(false);
  const cVector3d f = algo.computeForces(cVector3d(0, 0, -0.2));
  EXPECT_EQ(f, cVector3d());
  EXPECT_EQ(algo.getProxyGlobalPosition(), cVector3d(0, 0, -0.2));
}

TEST_F(ProxyForce, MeshRisingPastProxyCarriesItWhenFollowing) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  Finish(m);
  algo.m_followObjectMotion = true;
  RestOnFloor(cVector3d(0, 0, -0.2));
  cVector3d lastPos;
  algo.getContactObjectLastGlobalPos(lastPos);
  EXPECT_EQ(lastPos, cVector3d());
  m->setPos(0, 0, 0.3);
  world.computeGlobalPositions(false);
  const cVector3d f = algo.computeForces(cVector3d(0, 0, -0.2));
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0, 0, 0.3 + kRadius)));
  EXPECT_TRUE(Near(f, cVector3d(0, 0, 100.0 * (0.5 + kRadius)), 1e-7));
  algo.getContactObjectLastGlobalPos(lastPos);
  EXPECT_EQ(lastPos, cVector3d(0, 0, 0.3));
}

TEST_F(ProxyForce, FollowingCarriesProxyThroughRotation) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  Finish(m);
  algo.m_followObjectMotion = true;
  RestOnFloor(cVector3d(0.5, 0, -0.2));
  const cMatrix3d r = cMatrix3d::rotation(cVector3d(0, 0, 1), M_PI / 2);
  m->setRot(r);
  m->setPos(0.2, 0, 0);
  world.computeGlobalPositions(false);
  algo.correctProxyForObjectMotion();
  EXPECT_TRUE(Near(algo.getProxyGlobalPosition(), cVector3d(0.2, 0.5, kRadius)));
  algo.computeForces(cVector3d(0.2, 0.5, -0.2));
  cMatrix3d lastRot;
  algo.getContactObjectLastGlobalRot(lastRot);
  EXPECT_TRUE(lastRot.equals(r, 1e-15));
}

// ---- steps allocate nothing ----

TEST_F(ProxyForce, StepsAllocateNothing) {
  cMesh *m = AddMesh(100.0);
  Floor(*m);
  WallX(*m);
  WallY(*m);
  m->setFriction(0.5, 0.3, false);
  Finish(m);
  algo.m_followObjectMotion = true;
  algo.initialize(&world, cVector3d(0, 0, 0.5));
  int steps[4] = {0, 0, 0, 0};
  double worst = 0.0;
  alloctest::Start();
  // a loop through free space, the face, both edges and the corner
  for (int i = 0; i < 10000; ++i) {
    const double a = i * 0.01;
    algo.computeForces(cVector3d(0.4 + 0.9 * std::cos(a), 0.4 + 0.9 * std::sin(a), 0.2 * std::sin(3.0 * a) - 0.05));
    ++steps[algo.m_contactCount];
    // how far the centre got behind any face
    const cVector3d p = algo.getProxyGlobalPosition();
    worst = std::fmax(worst, std::fmax(-p.z, std::fmax(p.x - 1.0, p.y - 1.0)));
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  EXPECT_GT(steps[0], 0);
  EXPECT_GT(steps[1], 0);
  EXPECT_GT(steps[2], 0);
  EXPECT_GT(steps[3], 0);
  EXPECT_LE(worst, 1e-9);
}

}  // namespace
