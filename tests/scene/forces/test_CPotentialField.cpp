// Penalty fields of the analytic shapes and the algorithm that sums them over a
// world: force values, undefined points, poses, boxes and scaling.
#include "scene/forces/CGenericPotentialField.h"
#include "scene/forces/CPotentialFieldForceAlgo.h"
#include "scene/forces/CShapeBlock.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/forces/CShapeTorus.h"
#include "scene/graph/CWorld.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// block depths go through single precision
constexpr double kTol = 1e-5;

::testing::AssertionResult Near(const cVector3d &got, double x, double y, double z, double tol = 1e-9) {
  if (got.equals(cVector3d(x, y, z), tol)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z << "), want (" << x << ", "
                                       << y << ", " << z << ") +-" << tol;
}

// ---- sphere ----

TEST(ShapeSphere, PushesOutRadiallyByDepthTimesStiffness) {
  cShapeSphere s(0.1);
  EXPECT_DOUBLE_EQ(s.m_surface.getStiffness(), 100.0);
  EXPECT_TRUE(Near(s.computeLocalForce(cVector3d(0.05, 0, 0)), 5, 0, 0));
  s.m_surface.setStiffness(300);
  EXPECT_TRUE(Near(s.computeLocalForce(cVector3d(0, 0, 0.05)), 0, 0, 15));
}

TEST(ShapeSphere, ZeroOutsideOnTheSurfaceAndAtTheCentre) {
  cShapeSphere s(0.1);
  EXPECT_TRUE(Near(s.computeLocalForce(cVector3d(0.2, 0, 0)), 0, 0, 0));
  EXPECT_TRUE(Near(s.computeLocalForce(cVector3d(0.1, 0, 0)), 0, 0, 0));
  EXPECT_TRUE(Near(s.computeLocalForce(cVector3d(0, 0, 0)), 0, 0, 0));
  EXPECT_TRUE(Near(s.computeLocalForce(cVector3d(1e-10, 0, 0)), 0, 0, 0));
}

// ---- block ----

TEST(ShapeBlock, NearestFaceGivesTheForce) {
  cShapeBlock b(0.2, 0.2, 0.2);
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0.09, 0, 0)), 1, 0, 0, kTol));
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(-0.09, 0.01, 0)), -1, 0, 0, kTol));
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0.01, 0.095, 0)), 0, 0.5, 0, kTol));
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0, 0.02, -0.07)), 0, 0, -3, kTol));
}

TEST(ShapeBlock, EarlierFaceWinsTies) {
  cShapeBlock b(0.2, 0.2, 0.2);
  // all six depths equal at the centre
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0, 0, 0)), -10, 0, 0, kTol));
  // +x and +y equally near: +x comes first
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0.05, 0.05, 0)), 5, 0, 0, kTol));
}

TEST(ShapeBlock, ZeroOutsideAndOnTheFaces) {
  cShapeBlock b(0.2, 0.4, 0.6);
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0.1, 0, 0)), 0, 0, 0));
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0, 0.2, 0)), 0, 0, 0));
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0, 0, -0.31)), 0, 0, 0));
  // near the top face of a tall box
  EXPECT_TRUE(Near(b.computeLocalForce(cVector3d(0, 0, 0.25)), 0, 0, 5, kTol));
}

// ---- torus ----

TEST(ShapeTorus, PushesAwayFromTheCentreCircle) {
  cShapeTorus t(0.02, 0.1);
  EXPECT_TRUE(Near(t.computeLocalForce(cVector3d(0.1, 0, 0.01)), 0, 0, 1));
  // the same point around the ring
  EXPECT_TRUE(Near(t.computeLocalForce(cVector3d(0, -0.1, 0.01)), 0, 0, 1));
  // inward toward the axis
  const cVector3d f = t.computeLocalForce(cVector3d(0.09 / std::sqrt(2.0), 0.09 / std::sqrt(2.0), 0));
  EXPECT_TRUE(Near(f, -1 / std::sqrt(2.0), -1 / std::sqrt(2.0), 0, 1e-9));
}

TEST(ShapeTorus, ZeroWhereUndefinedOrOutside) {
  cShapeTorus t(0.02, 0.1);
  // on the axis
  EXPECT_TRUE(Near(t.computeLocalForce(cVector3d(0, 0, 0.05)), 0, 0, 0));
  EXPECT_TRUE(Near(t.computeLocalForce(cVector3d(0, 0, 0)), 0, 0, 0));
  // on the centre circle
  EXPECT_TRUE(Near(t.computeLocalForce(cVector3d(0.1, 0, 0.0005)), 0, 0, 0));
  EXPECT_TRUE(Near(t.computeLocalForce(cVector3d(0.1, 0, 0.03)), 0, 0, 0));
  EXPECT_TRUE(Near(t.computeLocalForce(cVector3d(0.05, 0, 0)), 0, 0, 0));
}

// ---- boxes and scaling ----

TEST(Shapes, BoundaryBoxesEncloseTheShapes) {
  cShapeSphere s(0.1);
  EXPECT_TRUE(Near(s.getBoundaryMin(), -0.1, -0.1, -0.1));
  EXPECT_TRUE(Near(s.getBoundaryMax(), 0.1, 0.1, 0.1));
  cShapeBlock b(0.2, -0.4, 0.6);
  EXPECT_TRUE(Near(b.getBoundaryMin(), -0.1, -0.2, -0.3));
  EXPECT_TRUE(Near(b.getBoundaryMax(), 0.1, 0.2, 0.3));
  cShapeTorus t(0.02, 0.1);
  EXPECT_TRUE(Near(t.getBoundaryMin(), -0.12, -0.12, -0.02));
  EXPECT_TRUE(Near(t.getBoundaryMax(), 0.12, 0.12, 0.02));
}

TEST(Shapes, ScalingChangesTheField) {
  cShapeSphere s(0.1);
  s.scaleObject(cVector3d(2, 5, 5));
  EXPECT_DOUBLE_EQ(s.m_sphereRadius, 0.2);
  EXPECT_TRUE(Near(s.computeLocalForce(cVector3d(0.15, 0, 0)), 5, 0, 0));
  EXPECT_TRUE(Near(s.getBoundaryMax(), 0.2, 0.2, 0.2));

  cShapeBlock b(0.2, 0.2, 0.2);
  b.scaleObject(cVector3d(1, 2, 3));
  EXPECT_TRUE(Near(b.m_edges, 0.2, 0.4, 0.6));

  cShapeTorus t(0.02, 0.1);
  t.scaleObject(cVector3d(2, 1, 1));
  EXPECT_DOUBLE_EQ(t.m_tubeRadius, 0.04);
  EXPECT_DOUBLE_EQ(t.m_ringRadius, 0.2);
}

// ---- node frames ----

TEST(PotentialFieldNode, RotatedShapeReturnsForceInParentFrame) {
  cShapeTorus t(0.02, 0.1);
  t.setPos(1, 2, 3);
  // the ring now lies in the parent's x-z plane; local z is parent -y
  t.setRot(cRotMatrix(cVector3d(1, 0, 0), kPi / 2));
  const cVector3d f = t.computeForces(cVector3d(1.1, 2 - 0.01, 3));
  EXPECT_TRUE(Near(f, 0, -1, 0, 1e-9));
  EXPECT_TRUE(Near(t.m_lastFieldForce, 0, -1, 0, 1e-9));

  cShapeBlock b(0.2, 0.2, 0.2);
  b.setRot(cRotMatrix(cVector3d(0, 0, 1), kPi / 2));
  // parent +y is local +x
  EXPECT_TRUE(Near(b.computeForces(cVector3d(0, 0.09, 0)), 0, 1, 0, kTol));
}

TEST(PotentialFieldNode, ChildrenAddInTheNodeFrame) {
  cShapeSphere *outer = new cShapeSphere(0.1);
  outer->setPos(1, 0, 0);
  outer->setRot(cRotMatrix(cVector3d(0, 0, 1), kPi / 2));
  cShapeSphere *inner = new cShapeSphere(0.1);
  // local +x of the outer node is parent +y
  inner->setPos(0.05, 0, 0);
  outer->addChild(inner);
  cGenericObject root;
  root.addChild(outer);
  // at the outer centre: the outer sphere gives nothing, the inner pushes along -local x
  const cVector3d f = root.computeForces(cVector3d(1, 0, 0));
  EXPECT_TRUE(Near(f, 0, -5, 0, 1e-9));
  EXPECT_TRUE(Near(inner->m_lastFieldForce, -5, 0, 0, 1e-9));
  EXPECT_TRUE(Near(outer->m_lastFieldForce, 0, -5, 0, 1e-9));
}

// ---- algorithm ----

TEST(PotentialFieldAlgo, ZeroWithoutWorldOrChildren) {
  cPotentialFieldForceAlgo algo;
  EXPECT_TRUE(Near(algo.computeForces(cVector3d(0, 0, 0)), 0, 0, 0));
  cWorld world;
  algo.initialize(&world, cVector3d(1, 1, 1));
  EXPECT_EQ(algo.m_scene, &world);
  EXPECT_TRUE(Near(algo.computeForces(cVector3d(0, 0, 0)), 0, 0, 0));
}

TEST(PotentialFieldAlgo, SumsEveryChildOfTheWorld) {
  cWorld world;
  cShapeSphere *a = new cShapeSphere(0.1);
  cShapeBlock *b = new cShapeBlock(0.2, 0.2, 0.2);
  b->setPos(0.1, 0, 0);
  // a shape below a plain node still counts, through that node's pose
  cGenericObject *holder = new cGenericObject();
  holder->setPos(0, 0.05, 0);
  cShapeTorus *t = new cShapeTorus(0.02, 0.1);
  t->setPos(-0.05, -0.05, -0.01);
  holder->addChild(t);
  world.addChild(a);
  world.addChild(b);
  world.addChild(holder);
  cPotentialFieldForceAlgo algo;
  algo.initialize(&world, cVector3d());

  // sphere (5, 0, 0); block: depth 0.05 through -x gives (-5, 0, 0); torus (0, 0, 1)
  const cVector3d f = algo.computeForces(cVector3d(0.05, 0, 0));
  EXPECT_TRUE(Near(a->m_lastFieldForce, 5, 0, 0, 1e-9));
  EXPECT_TRUE(Near(b->m_lastFieldForce, -5, 0, 0, kTol));
  EXPECT_TRUE(Near(t->m_lastFieldForce, 0, 0, 1, 1e-9));
  EXPECT_TRUE(Near(f, 0, 0, 1, kTol));

  // far away nothing touches
  EXPECT_TRUE(Near(algo.computeForces(cVector3d(5, 5, 5)), 0, 0, 0));
}

}  // namespace
