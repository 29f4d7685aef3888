// The haptic step allocates nothing: the pointer's full cycle (pose, forces,
// force command) against a 100k-triangle mesh and a potential-field shape,
// with every heap allocation of this binary counted.
#include "support/AllocationCounter.h"
#include "support/StubDevice.h"

#include "bench/support/BenchMeshes.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/forces/CShapeBlock.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CGeneric3dofPointer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using devicetest::StubDevice;

// a point on a circle through the mesh surface, its radius swinging between 0.9
// and 1.1 of the sphere's
cVector3d OnCircle(double angle) {
  const double r = 0.1 * (1.0 + 0.1 * std::sin(7.0 * angle));
  return cVector3d(r * std::cos(angle), r * std::sin(angle), 0.02 * std::sin(3.0 * angle));
}

TEST(HapticStep, AllocatesNothingWithALargeMesh) {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  bench::MakeSphere(*mesh, 100000, 0.1);
  mesh->setStiffness(500.0, false);
  mesh->setFriction(0.5, 0.3, false);
  mesh->createAABBCollisionDetector(false, true);
  cShapeBlock *block = new cShapeBlock(0.05, 0.05, 0.05);
  block->setPos(0.1, 0, 0);
  world.addChild(block);
  world.computeGlobalPositions(false);
  ASSERT_GE(mesh->getNumTriangles(), 90000u);

  cGeneric3dofPointer tool(&world);
  StubDevice *device = new StubDevice();
  // thumb and finger together
  device->gap = 0.0;
  tool.setDevice(device);
  tool.useNormalizedPositions(false);
  tool.m_holdUntilSmall = false;
  ASSERT_EQ(tool.initialize(), 0);

  long contacts = 0;
  alloctest::Start();
  for (int i = 0; i < 10000; ++i) {
    device->position = OnCircle(i * 0.002);
    tool.updatePose();
    tool.computeForces();
    tool.applyForces();
    if (tool.getProxy()->m_contactCount > 0) ++contacts;
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  EXPECT_EQ(device->sends, 10000);
  // the walk did touch the surface, and spent time off it too
  EXPECT_GT(contacts, 1000);
  EXPECT_LT(contacts, 9000);
}

}  // namespace
