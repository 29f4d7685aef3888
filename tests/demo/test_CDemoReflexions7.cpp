// The reflexions demo with a gripper, against a stub device whose thumb and
// finger the test places: the spheres on the thumb and the finger, turned with
// the effector, the rings spun by the finger, and the gripper force.
#include "demo/CDemoFactory.h"
#include "demo/CDemoReflexions7.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/forces/CShapeTorus.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "support/StubDevice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using devicetest::StubDevice;

// from the finger point to its sphere, device metres, with the identity frame
const cVector3d kPad(0.003, -0.022, -0.007);

class DemoReflexions7 : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
    world = std::make_unique<cWorld>();
    root = new cMesh(world.get());
    world->addChild(root);
    tool = std::make_unique<cMeta3dofPointer>(world.get(), 0);
    stub = new StubDevice;
    stub->placedGripper = true;
    tool->setDevice(stub);
    demo.init(world.get(), root, tool.get(), nullptr);
  }

  // spheres A (thumb) and B (finger) at a and b in scene units, frame identity
  void Step(const cVector3d &a, const cVector3d &b) {
    stub->thumb = a / 2.0;
    stub->finger = b / 2.0 - kPad;
    demo.update(0);
  }
  cVector3d FromRings(double x, double y, double z) const { return demo.m_ringRot * cVector3d(x, y, z); }

  std::unique_ptr<cWorld> world;
  cMesh *root = nullptr;
  std::unique_ptr<cMeta3dofPointer> tool;
  StubDevice *stub = nullptr;
  cDemoReflexions7 demo;
};

TEST(DemoReflexions7Factory, TheGripperFormServesSevenDofDevicesOnly) {
  for (int mode : {3, 6, 7}) {
    std::unique_ptr<cDemo> d = createDemo(DEMO_PANEL_REFLEXIONS, mode);
    EXPECT_EQ(dynamic_cast<cDemoReflexions7 *>(d.get()) != nullptr, mode == 7) << mode;
    EXPECT_TRUE(d->drivesDevice());
  }
}

TEST_F(DemoReflexions7, TheSpheresSitOnTheThumbAndTheFingerAndTurnWithTheEffector) {
  demo.reset(0);
  const cMatrix3d r = cMatrix3d::rotation(cVector3d(0, 0, 1), 1.5707963267948966);
  stub->rotation = r;
  // both far out along the rings' axis: no contact, shown where they are
  stub->thumb = FromRings(0, 0, 0.3) / 2.0;
  stub->finger = FromRings(0.01, 0, 0.3) / 2.0;
  demo.update(0);
  EXPECT_TRUE(demo.m_sphere[0]->getPos().equals(FromRings(0, 0, 0.3), 1e-12));
  EXPECT_TRUE(demo.m_sphere[1]->getPos().equals(FromRings(0.01, 0, 0.3) + r * kPad * 2.0, 1e-12));
  EXPECT_TRUE(demo.m_sphere[0]->getRot().equals(r, 1e-12));
  EXPECT_TRUE(demo.m_sphere[1]->getRot().equals(r, 1e-12));
  EXPECT_FALSE(demo.m_sphere[0]->m_drawAxes || demo.m_sphere[1]->m_drawAxes);
  EXPECT_EQ(stub->sentForce(), cVector3d());
}

// the finger sphere 5 mm into the outer ring's face, the thumb on the axis behind
// it: the finger is pushed out of the ring, away from the thumb, its push along the thumb-to-finger line goes to
// the gripper, and the rings turn away from it
TEST_F(DemoReflexions7, TheFingerPushesTheRingsAndTheGripperFeelsItsShare) {
  demo.reset(0);
  const cVector3d a = FromRings(0, 0, -0.1);
  const cVector3d b = FromRings(0.105, 0, 0.027 + 0.02 - 0.005);
  Step(FromRings(0, 0, 0.3), FromRings(0.01, 0, 0.3));
  ASSERT_FALSE(demo.m_starting);
  const cMatrix3d before = demo.m_ringRot;
  Step(a, b);
  const cVector3d push = before * cVector3d(0, 0, 2.5);
  EXPECT_TRUE(stub->sentForce().equals(push, 1e-9));
  const cVector3d u = (b - a) / (b - a).length();
  EXPECT_NEAR(stub->sent[3], push.dot(u), 1e-9);
  EXPECT_GT(stub->sent[3], 0.0);
  EXPECT_FALSE(demo.m_ringRot.equals(before, 1e-9));
  // off the rings the spin goes on, slowing down
  Step(FromRings(0, 0, 0.3), FromRings(0.01, 0, 0.3));
  const double spin = demo.m_ringAngularVelocity.length();
  EXPECT_GT(spin, 0.0);
  Step(FromRings(0, 0, 0.3), FromRings(0.01, 0, 0.3));
  EXPECT_NEAR(demo.m_ringAngularVelocity.length(), spin * 0.999, 1e-12);
}

TEST_F(DemoReflexions7, AfterResetNeitherForceNorGripperForceUntilTheContactIsGone) {
  demo.reset(0);
  const cVector3d b = FromRings(0.105 + 0.027 + 0.02 - 0.005, 0, 0);
  for (int i = 0; i < 10; ++i) {
    Step(FromRings(0, 0, 0.1), b);
    EXPECT_EQ(stub->sentForce(), cVector3d());
    EXPECT_EQ(stub->sent[3], 0.0);
  }
  Step(FromRings(0, 0, 0.3), FromRings(0.01, 0, 0.3));
  Step(FromRings(0, 0, 0.1), b);
  EXPECT_GT(stub->sent[3], 1.0);
}

TEST_F(DemoReflexions7, AFailedReadSendsNothing) {
  demo.reset(0);
  stub->failPosition = true;
  demo.update(0);
  EXPECT_EQ(stub->sends, 0);
}

}  // namespace
