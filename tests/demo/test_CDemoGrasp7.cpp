// The grasp demo with a gripper, without a window: two proxies on the thumb and
// the finger, the bubble popped only by a squeeze, the larger shapes, and the
// gripper force from the finger's push, against a stub device whose thumb and
// finger the test places. Runs from the repository root (./resources).
#include "demo/CDemoFactory.h"
#include "demo/CDemoGrasp7.h"
#include "scene/forces/CShapeBlock.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "support/StubDevice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using devicetest::StubDevice;

const cVector3d kBubble(0, 0.1, 0.1);
const cVector3d kSand(0, -0.1, -0.1);
const cVector3d kSoft(0, 0.1, -0.1);
// from the finger point to its pad, device metres, with the identity frame
const cVector3d kPad(0.003, -0.026, -0.007);
// both fingers clear of every shape
const cVector3d kFreeThumb(0, 0, 0);
const cVector3d kFreeFinger(0, 0, 0.02);

class DemoGrasp7 : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
    world = std::make_unique<cWorld>();
    root = new cMesh(world.get());
    world->addChild(root);
    tool = new cMeta3dofPointer(world.get(), 0);
    stub = new StubDevice;
    stub->placedGripper = true;
    tool->setDevice(stub);
    demo.init(world.get(), root, tool, nullptr);
  }
  void TearDown() override { delete tool; }

  // one haptic step with the thumb's proxy at t and the finger's at q (scene
  // units): the device reads a third of each, the finger before its pad
  void Step(const cVector3d &t, const cVector3d &q) {
    stub->thumb = t / 3.0;
    stub->finger = q / 3.0 - kPad;
    demo.update(0);
  }
  cVector3d Force() const { return stub->sentForce(); }
  double Grip() const { return stub->sent[3]; }

  std::unique_ptr<cWorld> world;
  cMesh *root = nullptr;
  cMeta3dofPointer *tool = nullptr;
  StubDevice *stub = nullptr;
  cDemoGrasp7 demo;
};

TEST(DemoGrasp7Factory, TheGripperFormServesSevenDofDevicesOnly) {
  for (int mode : {3, 6, 7}) {
    std::unique_ptr<cDemo> grasp = createDemo(DEMO_PANEL_GRASP, mode);
    EXPECT_EQ(dynamic_cast<cDemoGrasp7 *>(grasp.get()) != nullptr, mode == 7) << mode;
    EXPECT_TRUE(grasp->drivesDevice());
  }
}

TEST(DemoGrasp7Force, TheGripperForceIsTheFingerPushAlongTheLineFromTheThumb) {
  const cVector3d t(0, 0, 0), q(0, 0.05, 0);
  // pushed away from the thumb opens; towards it closes; across it nothing
  EXPECT_DOUBLE_EQ(cDemoGrasp7::gripperForce(t, q, cVector3d(0, 2, 0)), 2.0);
  EXPECT_DOUBLE_EQ(cDemoGrasp7::gripperForce(t, q, cVector3d(1, -3, 0)), -3.0);
  EXPECT_DOUBLE_EQ(cDemoGrasp7::gripperForce(t, q, cVector3d(0, 0, 5)), 0.0);
  // fingers together: no line, no gripper force
  EXPECT_EQ(cDemoGrasp7::gripperForce(t, cVector3d(0, 5e-6, 0), cVector3d(0, 2, 0)), 0.0);
}

TEST_F(DemoGrasp7, SetupBuildsTwoProxiesAndTheLargerSofterShapes) {
  ASSERT_EQ(demo.setup(0), 0);
  EXPECT_EQ(demo.m_scene->getNumChildren(), 6u);
  EXPECT_DOUBLE_EQ(demo.m_proxySphere->m_sphereRadius, 0.018);
  EXPECT_DOUBLE_EQ(demo.m_thumbSphere->m_sphereRadius, 0.018);
  EXPECT_DOUBLE_EQ(demo.m_breathBlock->m_surface.getStiffness(), 700);
  EXPECT_DOUBLE_EQ(demo.m_softBlock->m_surface.getStiffness(), 600);
  demo.reset(0);
  EXPECT_DOUBLE_EQ(demo.m_sand->m_sphereRadius, 0.08);
  EXPECT_DOUBLE_EQ(demo.m_softBlock->m_edges.x, 0.11);
  EXPECT_DOUBLE_EQ(demo.m_bubbleMaxForce, 3.0);
}

TEST_F(DemoGrasp7, TheSpheresFollowTheThumbAndTheFingerPadTurnedWithTheEffector) {
  demo.reset(0);
  stub->rotation = cMatrix3d::rotation(cVector3d(0, 0, 1), 1.5707963267948966);
  stub->thumb.set(0.01, 0.02, 0.03);
  stub->finger.set(0.02, 0.0, 0.01);
  demo.update(0);
  EXPECT_TRUE(demo.m_thumbSphere->getPos().equals(cVector3d(0.03, 0.06, 0.09), 1e-12));
  // the pad (0.003, -0.026, -0.007) turned a quarter about z is (0.026, 0.003, -0.007)
  EXPECT_TRUE(demo.m_proxySphere->getPos().equals(cVector3d(0.138, 0.009, 0.009), 1e-12));
}

// one finger pressing the bubble hard is pushed back but does not pop it; the
// squeeze of both past 3 N each does, and it forms again once both are out
TEST_F(DemoGrasp7, TheBubblePopsOnlyWhenSqueezedBetweenBothFingers) {
  demo.reset(0);
  Step(kFreeThumb, kFreeFinger);
  ASSERT_FALSE(demo.m_starting);
  const double reach = 0.05 + 0.018;
  // the finger alone, 4 mm deep from above: 4 N up, bubble whole
  Step(kFreeThumb, kBubble + cVector3d(0, 0, reach - 0.004));
  EXPECT_NEAR(Force().z, 4.0, 1e-6);
  EXPECT_TRUE(demo.m_bubbleIntact);
  // squeezed from above and below, 2 mm each: below the limit
  Step(kBubble - cVector3d(0, 0, reach - 0.002), kBubble + cVector3d(0, 0, reach - 0.002));
  EXPECT_TRUE(demo.m_bubbleIntact);
  EXPECT_NEAR(Force().length(), 0.0, 1e-9);  // the two pushes cancel
  EXPECT_NEAR(Grip(), 2.0, 1e-6);            // the finger is pushed away from the thumb
  // 3.5 mm each: pops, this step still pushes, then nothing
  Step(kBubble - cVector3d(0, 0, reach - 0.0035), kBubble + cVector3d(0, 0, reach - 0.0035));
  EXPECT_FALSE(demo.m_bubbleIntact);
  EXPECT_NEAR(Grip(), 3.5, 1e-6);
  EXPECT_FALSE(demo.m_bubble->getShow());
  Step(kBubble - cVector3d(0, 0, 0.01), kBubble + cVector3d(0, 0, 0.01));
  EXPECT_EQ(Force(), cVector3d());
  EXPECT_EQ(Grip(), 0.0);
  // one finger out is not enough to form it again
  Step(kBubble - cVector3d(0, 0, 0.01), kFreeFinger);
  EXPECT_FALSE(demo.m_bubbleIntact);
  Step(kFreeThumb, kFreeFinger);
  EXPECT_TRUE(demo.m_bubbleIntact);
}

TEST_F(DemoGrasp7, EachFingerHasItsOwnSandSpring) {
  demo.reset(0);
  Step(kFreeThumb, kFreeFinger);
  // both enter the sand, then only the finger moves half a millimetre
  const cVector3d t = kSand + cVector3d(0.02, 0, 0), q = kSand + cVector3d(-0.02, 0, 0);
  Step(t, q);
  EXPECT_NEAR(Force().length(), 0.0, 1e-9);
  Step(t, q + cVector3d(0, 0.0005, 0));
  EXPECT_TRUE(Force().equals(cVector3d(0, -0.5, 0), 1e-9));
  // the thumb's spring is its own: moving it too doubles the pull
  Step(t + cVector3d(0, 0.0005, 0), q + cVector3d(0, 0.0005, 0));
  EXPECT_TRUE(Force().equals(cVector3d(0, -1.0, 0), 1e-9));
  // stretched past a millimetre the finger's anchor jumps: only the thumb pulls
  Step(t + cVector3d(0, 0.0005, 0), q + cVector3d(0, 0.0015, 0));
  EXPECT_TRUE(Force().equals(cVector3d(0, -0.5, 0), 1e-9));
}

TEST_F(DemoGrasp7, TheSoftBlockShrinksUnderTheLoadOfBothFingers) {
  demo.reset(0);
  Step(kFreeThumb, kFreeFinger);
  Step(kSoft + cVector3d(0, 0, 0.04), kFreeFinger);
  const double one = demo.m_softBlock->m_edges.x;
  Step(kSoft + cVector3d(0, 0, 0.04), kSoft + cVector3d(0, 0, 0.04));
  const double two = demo.m_softBlock->m_edges.x;
  EXPECT_LT(one, 0.11);
  EXPECT_LT(two, one);
}

// entering with a finger inside a shape: no force and no gripper force until
// both are out, however many steps that takes
TEST_F(DemoGrasp7, TheForceStaysZeroAfterResetUntilBothFingersAreClear) {
  demo.reset(0);
  for (int i = 0; i < 20; ++i) {
    Step(kFreeThumb, kSoft + cVector3d(0, 0, 0.04));
    EXPECT_EQ(Force(), cVector3d());
    EXPECT_EQ(Grip(), 0.0);
  }
  Step(kFreeThumb, kFreeFinger);
  EXPECT_FALSE(demo.m_starting);
  Step(kFreeThumb, kSoft + cVector3d(0, 0, 0.04));
  EXPECT_GT(Force().length(), 1.0);
}

TEST_F(DemoGrasp7, AFailedReadSendsNoForce) {
  demo.reset(0);
  Step(kFreeThumb, kFreeFinger);
  Step(kFreeThumb, kBubble + cVector3d(0, 0, 0.066));
  ASSERT_GT(Force().length(), 1.0);
  stub->failPosition = true;
  demo.update(0);
  EXPECT_EQ(Force(), cVector3d());
  EXPECT_EQ(Grip(), 0.0);
}

}  // namespace
