// The deformable world's dynamics: the fixed step, the laws of one node and one
// link, conservation of momentum and angular momentum by a free link, and a
// pinned sheet that settles without gaining energy.
#include "scene/dynamics/CDefWorld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

const double kStep = static_cast<double>(0.0025f);

// ---- measures over every node of a mesh ----

cVector3d Momentum(const cDefMesh &m) {
  cVector3d p;
  for (size_t i = 0; i < m.getNumNodes(); ++i) p += m.getNode(i)->m_linVel * m.getNode(i)->m_mass;
  return p;
}

// about the origin: orbital plus spin (the nodes are spheres)
cVector3d AngularMomentum(const cDefMesh &m) {
  cVector3d l;
  for (size_t i = 0; i < m.getNumNodes(); ++i) {
    const cDefNode &n = *m.getNode(i);
    l += n.m_pos.cross(n.m_linVel * n.m_mass) + n.m_angVel * n.m_inertia;
  }
  return l;
}

double MaxSpeed(const cDefMesh &m) {
  double s = 0.0;
  for (size_t i = 0; i < m.getNumNodes(); ++i) s = std::max(s, m.getNode(i)->m_linVel.length());
  return s;
}

double Angle(const cVector3d &a, const cVector3d &b) {
  return std::acos(std::clamp(a.dot(b) / (a.length() * b.length()), -1.0, 1.0));
}

// kinetic energy plus the springs' and gravity's potential energy
double Energy(const cDefMesh &m) {
  double e = 0.0;
  for (size_t i = 0; i < m.getNumNodes(); ++i) {
    const cDefNode &n = *m.getNode(i);
    e += 0.5 * n.m_mass * n.m_linVel.lengthsq() + 0.5 * n.m_inertia * n.m_angVel.lengthsq();
    if (n.m_useGravity) e -= n.m_mass * n.m_gravity.dot(n.m_pos);
  }
  for (size_t i = 0; i < m.getNumLinks(); ++i) {
    const cDefLink &l = *m.getLink(i);
    const cDefNode &a = *l.m_node0, &b = *l.m_node1;
    const cVector3d d = b.m_pos - a.m_pos;
    const double stretch = d.length() - l.m_length0;
    const double t0 = Angle(a.m_rot * l.m_wLink00, d), t1 = Angle(b.m_rot * l.m_wLink11, -d);
    const cVector3d c0 = cNormalize((a.m_rot * l.m_torsionRef0).cross(d));
    const cVector3d c1 = cNormalize((b.m_rot * l.m_torsionRef1).cross(d));
    e += 0.5 * l.m_kSpringElongation * stretch * stretch + 0.5 * l.m_kSpringFlexion * (t0 * t0 + t1 * t1) +
         l.m_kSpringTorsion * (1.0 - c0.dot(c1));
  }
  return e;
}

// ---- the sheet of the dynamics demo: 10 x 10 nodes 0.1 apart, corners pinned ----

struct Sheet {
  cDefWorld world;
  cDefMesh *mesh = nullptr;
  cDefNode *nodes[10][10] = {};

  Sheet() {
    mesh = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
    for (int j = 0; j < 10; ++j)
      for (int i = 0; i < 10; ++i) {
        cDefNode *n = mesh->newNode(cVector3d(-0.45 + 0.1 * j, 0.1 * i - 0.43, 0.0));
        n->setRadius(0.05);
        n->setMass(0.06);
        n->m_kDampingPos = 0.4;
        n->m_kDampingRot = 0.1;
        n->m_gravity.set(0, 0, -1);
        n->m_useGravity = true;
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
  }
};

// ---- the step ----

TEST(DefWorldStep, RunsOneStepForAnyIntervalUpToOneStepAndNoneForZeroOrNonsense) {
  cDefWorld world;
  cDefMesh *mesh = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
  cDefNode *node = mesh->newNode(cVector3d());
  EXPECT_EQ(world.m_timeStep, kStep);

  EXPECT_TRUE(world.updateDynamics(0.0));
  EXPECT_TRUE(world.updateDynamics(-1.0));
  EXPECT_EQ(world.m_simulationTime, 0.0);
  EXPECT_EQ(node->m_pos, cVector3d());
  EXPECT_FALSE(world.updateDynamics(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(world.updateDynamics(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(world.m_simulationTime, 0.0);

  world.updateDynamics(0.001);
  EXPECT_EQ(world.m_simulationTime, kStep);
  // the demo steps by 0.0025 per haptic iteration: one step, although the
  // step is a hair shorter
  world.updateDynamics(0.0025);
  EXPECT_EQ(world.m_simulationTime, 2 * kStep);
  world.updateDynamics(0.02);
  EXPECT_NEAR(world.m_simulationTime, 10 * kStep, 1e-15);
  EXPECT_LT(node->m_pos.z, 0.0);
}

TEST(DefWorldStep, AFreeNodeFallsUnderGravityDampedByItsMass) {
  cDefWorld world;
  cDefMesh *mesh = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
  cDefNode *node = mesh->newNode(cVector3d(0, 0, 1));
  EXPECT_EQ(node->m_mass, 0.1);
  EXPECT_EQ(node->m_kDampingPos, 5.0);
  EXPECT_NEAR(node->m_inertia, 0.4 * 0.1 * 0.05 * 0.05, 1e-18);
  // semi-implicit Euler on dv/dt = g - 5 v
  double v = 0.0, z = 1.0;
  for (int i = 0; i < 400; ++i) {
    world.updateDynamics(kStep);
    v += (-9.81 - 5.0 * v) * kStep;
    z += v * kStep;
  }
  EXPECT_NEAR(node->m_linVel.z, v, 1e-12);
  EXPECT_NEAR(node->m_pos.z, z, 1e-12);
  EXPECT_EQ(node->m_pos.x, 0.0);
  // near its terminal speed g / 5 after one second
  EXPECT_NEAR(node->m_linVel.z, -9.81 / 5.0, 0.02);
  EXPECT_TRUE(node->m_rot == cMatrix3d());
}

TEST(DefWorldStep, AFixedNodeNeverMovesWhateverPushesIt) {
  cDefWorld world;
  cDefMesh *mesh = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
  cDefNode *node = mesh->newNode(cVector3d(0.1, 0.2, 0.3));
  node->m_fixed = true;
  node->m_externalForce.set(5, 0, 0);
  world.updateDynamics(1.0);
  EXPECT_EQ(node->m_pos, cVector3d(0.1, 0.2, 0.3));
}

// ---- one link ----

TEST(DefLinkForces, ALinkStretchedToTwiceItsLengthPullsItsEndsTogetherWithStiffnessTimesRestLength) {
  cDefNode a(cVector3d(0, 0, 0)), b(cVector3d(0.1, 0, 0));
  cDefLink link(&a, &b);
  EXPECT_DOUBLE_EQ(link.m_length0, 0.1);
  b.m_pos.set(0.2, 0, 0);
  for (cDefNode *n : {&a, &b}) {
    n->m_useGravity = false;
    n->clearForces();
  }
  link.computeForces();
  EXPECT_TRUE(a.m_force.equals(cVector3d(100.0 * 0.1, 0, 0), 1e-12));
  EXPECT_TRUE(b.m_force.equals(cVector3d(-100.0 * 0.1, 0, 0), 1e-12));
  // straight and untwisted: no torque
  EXPECT_EQ(a.m_torque, cVector3d());
  EXPECT_EQ(b.m_torque, cVector3d());
}

TEST(DefLinkForces, ABentAndTwistedLinkExertsNoNetForceAndNoNetMoment) {
  cDefNode a(cVector3d(0.1, -0.2, 0.05)), b(cVector3d(0.2, -0.15, 0.1));
  cDefLink link(&a, &b);
  // bend both ends, twist one, stretch the link
  a.m_rot =
      cMatrix3d::rotation(cNormalize(cVector3d(0, 0.3, 1)), 0.4) * cMatrix3d::rotation(cNormalize(link.m_wLink), 0.3);
  b.m_rot = cMatrix3d::rotation(cNormalize(cVector3d(1, 0, 0.2)), -0.25);
  b.m_pos += cVector3d(0.01, -0.02, 0.03);
  for (cDefNode *n : {&a, &b}) {
    n->m_useGravity = false;
    n->clearForces();
  }
  link.computeForces();
  // the bending at each end is felt
  EXPECT_GT(a.m_torque.length(), 0.1);
  EXPECT_GT(b.m_torque.length(), 0.1);
  const cVector3d force = a.m_force + b.m_force;
  const cVector3d moment = a.m_pos.cross(a.m_force) + b.m_pos.cross(b.m_force) + a.m_torque + b.m_torque;
  EXPECT_LT(force.length(), 1e-12);
  EXPECT_LT(moment.length(), 1e-12);
}

TEST(DefLinkForces, ALinkBetweenCoincidentNodesStaysFinite) {
  cDefWorld world;
  cDefMesh *mesh = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
  cDefNode *a = mesh->newNode(cVector3d(0.3, 0.3, 0.3));
  cDefNode *b = mesh->newNode(cVector3d(0.3, 0.3, 0.3));
  ASSERT_NE(mesh->newLink(a, b), nullptr);
  EXPECT_EQ(mesh->newLink(a, nullptr), nullptr);
  EXPECT_EQ(mesh->addLink(nullptr), nullptr);
  EXPECT_EQ(mesh->addLink(std::make_unique<cDefLink>(a, nullptr)), nullptr);
  b->m_pos.x += 0.05;
  b->m_angVel.set(0, 3, 0);
  for (int i = 0; i < 100; ++i) world.updateDynamics(kStep);
  for (cDefNode *n : {a, b})
    for (int k = 0; k < 3; ++k) {
      EXPECT_TRUE(std::isfinite(n->m_pos[k]));
      EXPECT_TRUE(std::isfinite(n->m_angVel[k]));
    }
}

TEST(DefLinkDynamics, AFreeBentLinkKeepsItsMomentumAndAngularMomentumEveryStep) {
  cDefWorld world;
  cDefMesh *mesh = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
  cDefNode *a = mesh->newNode(cVector3d(0, 0, 0));
  cDefNode *b = mesh->newNode(cVector3d(0.1, 0.02, 0));
  mesh->newLink(a, b);
  for (cDefNode *n : {a, b}) {
    n->m_useGravity = false;
    n->m_kDampingPos = 0.0;
    n->m_kDampingRot = 0.0;
  }
  // bent at both ends, twisted, stretched, moving and spinning
  a->m_rot = cMatrix3d::rotation(cVector3d(0, 0, 1), 0.5);
  b->m_rot = cMatrix3d::rotation(cNormalize(cVector3d(1, 1, 0)), 0.4);
  b->m_pos.x += 0.01;
  a->m_linVel.set(0.1, 0, -0.05);
  b->m_angVel.set(0, 2, 1);
  cVector3d p = Momentum(*mesh), l = AngularMomentum(*mesh);
  double worst = 0.0, fastest = 0.0;
  for (int i = 0; i < 4000; ++i) {
    world.updateDynamics(kStep);
    const cVector3d p1 = Momentum(*mesh), l1 = AngularMomentum(*mesh);
    worst = std::max({worst, (p1 - p).length(), (l1 - l).length()});
    fastest = std::max({fastest, a->m_angVel.length(), b->m_angVel.length()});
    p = p1;
    l = l1;
  }
  EXPECT_LT(worst, 1e-9);
  // the springs bring it back and forth but do not spin it up
  EXPECT_LT(fastest, 200.0);
}

TEST(DefLinkDynamics, ALinkBentAtAPinnedNodeSwingsBackAndComesToRest) {
  cDefWorld world;
  cDefMesh *mesh = world.addDefMesh(std::make_unique<cDefMesh>(nullptr));
  cDefNode *a = mesh->newNode(cVector3d(0, 0, 0));
  cDefNode *b = mesh->newNode(cVector3d(0.1, 0, 0));
  mesh->newLink(a, b);
  a->m_fixed = true;
  for (cDefNode *n : {a, b}) {
    n->m_useGravity = false;
    n->m_kDampingPos = 0.4;
    n->m_kDampingRot = 0.1;
    n->setMass(0.06);
  }
  b->m_pos.set(0.08, 0.06, 0);
  for (int i = 0; i < 8000; ++i) world.updateDynamics(kStep);
  EXPECT_LT(b->m_linVel.length(), 0.01);
  EXPECT_LT(a->m_angVel.length(), 0.1);
  // back in line with node0's rest direction, turned with node0
  const cVector3d d = b->m_pos - a->m_pos;
  EXPECT_NEAR(d.length(), 0.1, 1e-3);
  EXPECT_LT(Angle(a->m_rot * mesh->getLink(0)->m_wLink00, d), 0.01);
}

// ---- the sheet ----

TEST(DefSheet, ReleasedFromABentShapeItSettlesWithoutGainingEnergyAndItsCornersStay) {
  Sheet s;
  cVector3d corners[4] = {s.nodes[0][0]->m_pos, s.nodes[0][9]->m_pos, s.nodes[9][0]->m_pos, s.nodes[9][9]->m_pos};
  // a dome in the middle and a twist across it
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) {
      cDefNode *n = s.nodes[j][i];
      if (n->m_fixed) continue;
      const double u = j / 9.0, v = i / 9.0;
      n->m_pos.z += 0.15 * std::sin(3.14159265 * u) * std::sin(3.14159265 * v) + 0.03 * (u - 0.5) * (v - 0.5);
    }
  const double start = Energy(*s.mesh);
  double energy = start, rise = 0.0, lateSpeed = 0.0, cornerDrift = 0.0;
  // the semi-implicit step lets the energy ripple within a step; over each
  // half second its highest value must fall
  double windowHigh = start, previousHigh = std::numeric_limits<double>::infinity();
  int risingWindows = 0;
  for (int k = 1; k <= 4800; ++k) {
    s.world.updateDynamics(0.0025);
    const double e = Energy(*s.mesh);
    rise = std::max(rise, e - energy);
    energy = e;
    windowHigh = std::max(windowHigh, e);
    if (k % 200 == 0) {
      if (windowHigh > previousHigh) ++risingWindows;
      previousHigh = windowHigh;
      windowHigh = -std::numeric_limits<double>::infinity();
    }
    if (s.world.m_simulationTime >= 8.0) lateSpeed = std::max(lateSpeed, MaxSpeed(*s.mesh));
    cornerDrift =
        std::max({cornerDrift, s.nodes[0][0]->m_pos.distance(corners[0]), s.nodes[0][9]->m_pos.distance(corners[1]),
                  s.nodes[9][0]->m_pos.distance(corners[2]), s.nodes[9][9]->m_pos.distance(corners[3])});
  }
  EXPECT_EQ(risingWindows, 0);
  EXPECT_LT(rise, 1e-4 * start);
  EXPECT_LT(energy, start);
  EXPECT_LT(lateSpeed, 0.05);
  EXPECT_EQ(cornerDrift, 0.0);
  // it hangs between its corners
  EXPECT_LT(s.nodes[4][4]->m_pos.z, -0.01);
  EXPECT_GT(s.nodes[4][4]->m_pos.z, -0.5);
}

TEST(DefSheet, ItHasTheLinksOfFourEdgesPerCell) {
  Sheet s;
  EXPECT_EQ(s.mesh->getNumNodes(), 100u);
  EXPECT_EQ(s.mesh->getNumLinks(), 324u);
}

}  // namespace
