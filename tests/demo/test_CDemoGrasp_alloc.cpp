// The grasp demo's haptic step allocates nothing: a walk through the bubble
// (popping it), the blocks and the sand, with every heap allocation of this
// binary counted. Runs from the repository root (./resources).
#include "support/AllocationCounter.h"
#include "support/StubDevice.h"

#include "demo/CDemoGrasp36.h"
#include "demo/CDemoGrasp7.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using devicetest::StubDevice;

TEST(DemoGraspStep, AllocatesNothing) {
  ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
  auto world = std::make_unique<cWorld>();
  cMesh *root = new cMesh(world.get());
  world->addChild(root);
  auto tool = std::make_unique<cMeta3dofPointer>(world.get(), 0);
  StubDevice *stub = new StubDevice;
  stub->gripperless = true;
  tool->setDevice(stub);
  cDemoGrasp36 demo;
  demo.init(world.get(), root, tool.get(), nullptr);
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);

  // a circle of radius 0.14 round the scene's middle passes through the four
  // shapes' centres; the device reads a third of it
  bool popped = false;
  alloctest::Start();
  for (int i = 0; i < 8000; ++i) {
    const double a = i * 0.002;
    stub->position = cVector3d(0, 0.1 * std::sqrt(2.0) * std::cos(a), 0.1 * std::sqrt(2.0) * std::sin(a)) / 3.0;
    demo.update(0);
    popped = popped || !demo.m_bubbleIntact;
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  EXPECT_EQ(stub->forceSends, 8000);
  EXPECT_TRUE(popped);
  demo.exit(0);
}

// the gripper form on the same circle, the thumb and the finger 4 cm apart
// across it, so the squeeze pops the bubble
TEST(DemoGrasp7Step, AllocatesNothing) {
  ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
  auto world = std::make_unique<cWorld>();
  cMesh *root = new cMesh(world.get());
  world->addChild(root);
  auto tool = std::make_unique<cMeta3dofPointer>(world.get(), 0);
  StubDevice *stub = new StubDevice;
  stub->placedGripper = true;
  tool->setDevice(stub);
  cDemoGrasp7 demo;
  demo.init(world.get(), root, tool.get(), nullptr);
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);

  alloctest::Start();
  for (int i = 0; i < 8000; ++i) {
    const double a = i * 0.002;
    const cVector3d centre(0, 0.1 * std::sqrt(2.0) * std::cos(a), 0.1 * std::sqrt(2.0) * std::sin(a));
    stub->thumb = (centre - cVector3d(0.02, 0, 0)) / 3.0;
    stub->finger = (centre + cVector3d(0.02, 0, 0)) / 3.0;
    demo.update(0);
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  EXPECT_EQ(stub->sends, 8000);
  demo.exit(0);
}

}  // namespace
