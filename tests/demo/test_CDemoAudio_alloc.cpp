// The audio demo's haptic step allocates nothing: the record pressed, rubbed and
// left spinning, with every heap allocation of this binary counted. Runs from the
// repository root (./resources).
#include "support/AllocationCounter.h"
#include "support/StubDevice.h"

#include "demo/CDemoAudio.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using devicetest::StubDevice;

TEST(DemoAudioStep, AllocatesNothing) {
  ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
  auto world = std::make_unique<cWorld>();
  cMesh *root = new cMesh(world.get());
  world->addChild(root);
  auto tool = std::make_unique<cMeta3dofPointer>(world.get(), 0);
  StubDevice *stub = new StubDevice;
  tool->setDevice(stub);
  cDemoAudio demo;
  demo.init(world.get(), root, tool.get(), nullptr);
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);

  // the device reading that puts the tool at (x, y, z) of the record's scene
  auto at = [&](double x, double y, double z) {
    return cVector3d((x + 0.1) / 2.0, y / 2.0, z / 2.0) * stub->reach / 0.15;
  };
  alloctest::Start();
  for (int i = 0; i < 6000; ++i) {
    // down onto the record, along it, and up again
    const double s = i / 6000.0;
    const double z = s < 0.2 ? 0.04 - 0.15 * s : (s < 0.7 ? 0.01 : 0.01 + 0.1 * (s - 0.7));
    const double x = s < 0.2 ? -0.03 : (s < 0.7 ? -0.03 + 0.16 * (s - 0.2) : 0.05);
    stub->position = at(x, 0.08, z);
    tool->updatePose();
    demo.update(0);
    tool->applyForces();
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  EXPECT_NE(demo.m_angularVelocity, 0.0);
  demo.exit(0);
}

}  // namespace
