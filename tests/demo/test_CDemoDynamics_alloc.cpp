// The dynamics demo's haptic step allocates nothing: a press into the sheet and
// back out, with every heap allocation of this binary counted. Runs from the
// repository root (./resources).
#include "support/AllocationCounter.h"
#include "support/StubDevice.h"

#include "demo/CDemoDynamics.h"
#include "scene/dynamics/CDefWorld.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using devicetest::StubDevice;

TEST(DemoDynamicsStep, AllocatesNothing) {
  ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
  auto world = std::make_unique<cWorld>();
  cMesh *root = new cMesh(world.get());
  world->addChild(root);
  auto tool = std::make_unique<cMeta3dofPointer>(world.get(), 0);
  StubDevice *stub = new StubDevice;
  tool->setDevice(stub);
  cDemoDynamics demo;
  demo.init(world.get(), root, tool.get(), nullptr);
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);

  // down from above the sheet into it and back up, twice
  double strongest = 0.0;
  alloctest::Start();
  for (int i = 0; i < 8000; ++i) {
    const double z = 0.25 - 0.3 * std::fabs(std::sin(i * 0.0008));
    stub->position = cVector3d(0.05, 0.07, z) / 6.5;
    demo.update(0);
    strongest = std::max(strongest, stub->sentForce().length());
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  EXPECT_EQ(stub->sends, 8000);
  EXPECT_GT(strongest, 1.0);
  demo.exit(0);
}

}  // namespace
