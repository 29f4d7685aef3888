// The reflexions demo's haptic step allocates nothing: the bar swept through both
// rings, spinning them, with every heap allocation of this binary counted.
#include "support/AllocationCounter.h"
#include "support/StubDevice.h"

#include "demo/CDemoReflexions36.h"
#include "demo/CDemoReflexions7.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

using devicetest::StubDevice;

TEST(ReflexionsStep, AllocatesNothing) {
  ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
  cWorld world;
  cMesh *root = new cMesh(&world);
  world.addChild(root);
  cMeta3dofPointer tool(&world, 0);
  StubDevice *device = new StubDevice;
  tool.setDevice(device);
  cDemoReflexions36 demo;
  demo.init(&world, root, &tool, nullptr);
  demo.reset(0);

  const cMatrix3d start = demo.m_ringRot;
  int pushed = 0;
  alloctest::Start();
  for (int i = 0; i < 10000; ++i) {
    // across the rings and back, turning the bar
    const double t = i * 0.001;
    device->position.set(0.03 * std::sin(t), 0.06 * std::sin(2.3 * t), 0.06 * std::cos(1.7 * t));
    device->rotation = cMatrix3d::rotation(cVector3d(0, 0, 1), t);
    demo.update(0);
    if (device->sentForce().length() > 0.0) ++pushed;
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  EXPECT_EQ(device->sends, 10000);
  EXPECT_GT(pushed, 100);
  EXPECT_FALSE(demo.m_ringRot.equals(start, 1e-3));
}

// the gripper form, thumb and finger swept through both rings
TEST(Reflexions7Step, AllocatesNothing) {
  ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
  cWorld world;
  cMesh *root = new cMesh(&world);
  world.addChild(root);
  cMeta3dofPointer tool(&world, 0);
  StubDevice *device = new StubDevice;
  device->placedGripper = true;
  tool.setDevice(device);
  cDemoReflexions7 demo;
  demo.init(&world, root, &tool, nullptr);
  demo.reset(0);

  int pushed = 0;
  alloctest::Start();
  for (int i = 0; i < 10000; ++i) {
    const double t = i * 0.001;
    const cVector3d p(0.03 * std::sin(t), 0.06 * std::sin(2.3 * t), 0.06 * std::cos(1.7 * t));
    device->thumb = p;
    device->finger = p + cVector3d(0.0, 0.03, 0.0);
    device->rotation = cMatrix3d::rotation(cVector3d(0, 0, 1), t);
    demo.update(0);
    if (device->sentForce().length() > 0.0) ++pushed;
  }
  EXPECT_EQ(alloctest::Stop(), 0);
  EXPECT_EQ(device->sends, 10000);
  EXPECT_GT(pushed, 100);
}

}  // namespace
