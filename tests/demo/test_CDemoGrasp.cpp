// The grasp demo without a window: the bubble that pops, the start-up guard,
// the breathing block, the soft block and the sand, against a stub device
// without a gripper. Runs from the repository root (./resources).
#include "demo/CDemoFactory.h"
#include "demo/CDemoGrasp36.h"
#include "scene/forces/CShapeBlock.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "support/StubDevice.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using devicetest::StubDevice;

// the shapes' centres, local to the demo's scene
const cVector3d kBubble(0, 0.1, 0.1);
const cVector3d kSand(0, -0.1, -0.1);
const cVector3d kBreath(0, -0.1, 0.1);
const cVector3d kSoft(0, 0.1, -0.1);
// clear of every shape
const cVector3d kFree(0, 0, 0);

class DemoGrasp : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
    world = std::make_unique<cWorld>();
    root = new cMesh(world.get());
    world->addChild(root);
    tool = new cMeta3dofPointer(world.get(), 0);
    stub = new StubDevice;
    stub->gripperless = true;
    tool->setDevice(stub);
    demo.init(world.get(), root, tool, nullptr);
  }
  void TearDown() override { delete tool; }

  // one haptic step with the proxy at p in the scene: the device reads a third of it
  cVector3d Step(const cVector3d &p) {
    stub->position = p / 3.0;
    demo.update(0);
    return stub->force;
  }

  std::unique_ptr<cWorld> world;
  cMesh *root = nullptr;
  cMeta3dofPointer *tool = nullptr;
  StubDevice *stub = nullptr;
  cDemoGrasp36 demo;
};

TEST(DemoGraspFactory, PanelTwoIsTheGraspDemoForEveryDeviceAndDrivesTheDevice) {
  for (int mode : {3, 6, 7}) {
    std::unique_ptr<cDemo> d = createDemo(DEMO_PANEL_GRASP, mode);
    EXPECT_NE(dynamic_cast<cDemoGrasp36 *>(d.get()), nullptr) << mode;
    EXPECT_TRUE(d->drivesDevice());
  }
}

TEST(DemoGraspForce, TwoSpheresPushApartInProportionToTheirOverlapAndNotAtAll) {
  const cVector3d f = cDemoGrasp36::computeForce(cVector3d(0, 0, 0.05), 0.01, cVector3d(), 0.05, 1000);
  EXPECT_TRUE(f.equals(cVector3d(0, 0, 10), 1e-9));
  // apart, just touching from outside, and with the centres together
  EXPECT_EQ(cDemoGrasp36::computeForce(cVector3d(0, 0.07, 0), 0.01, cVector3d(), 0.05, 1000), cVector3d());
  EXPECT_EQ(cDemoGrasp36::computeForce(cVector3d(0, 0, 5e-8), 0.01, cVector3d(), 0.05, 1000), cVector3d());
}

TEST_F(DemoGrasp, SetupBuildsFourTexturedOrTransparentShapesAndAProxyLeftDetached) {
  ASSERT_EQ(demo.setup(0), 0);
  EXPECT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(demo.m_scene->getPos(), cVector3d(-0.1, 0, 0));
  EXPECT_EQ(demo.m_scene->getNumChildren(), 5u);
  ASSERT_NE(demo.m_bubble->m_tex, nullptr);
  ASSERT_NE(demo.m_sand->m_tex, nullptr);
  EXPECT_TRUE(demo.m_bubble->m_tex->hasPixels());
  EXPECT_TRUE(demo.m_sand->m_tex->hasPixels());
  EXPECT_TRUE(demo.m_bubble->m_blend && demo.m_sand->m_blend && demo.m_breathBlock->m_blend &&
              demo.m_softBlock->m_blend);
  EXPECT_EQ(demo.m_bubble->getPos(), kBubble);
  EXPECT_EQ(demo.m_sand->getPos(), kSand);
  EXPECT_DOUBLE_EQ(demo.m_breathBlock->m_surface.getStiffness(), 900);
  EXPECT_DOUBLE_EQ(demo.m_softBlock->m_surface.getStiffness(), 300);
}

TEST_F(DemoGrasp, SetupFailsWhereTheImagesAreMissing) {
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir("/"), 0);
  const int result = demo.setup(0);
  ASSERT_EQ(::chdir(here), 0);
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(demo.m_ready);
  // a later reset where the images are builds the scene afresh
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getNumChildren(), 5u);
  EXPECT_EQ(root->getNumChildren(), 1u);
}

TEST_F(DemoGrasp, ResetSetsUpFirstAttachesTheSceneWithoutTheToolAndExitTwiceIsHarmless) {
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), root);
  EXPECT_EQ(tool->getParent(), nullptr);
  demo.exit(0);
  demo.exit(0);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
}

TEST_F(DemoGrasp, TheProxyFollowsTheDeviceMagnifiedThreeTimes) {
  demo.reset(0);
  Step(cVector3d(0.03, -0.06, 0.09));
  EXPECT_TRUE(demo.m_proxySphere->getPos().equals(cVector3d(0.03, -0.06, 0.09), 1e-12));
}

// pressed down onto its top: the bubble's stiffness up to 4 N, then it pops at
// once and stays gone until the proxy has left it
TEST_F(DemoGrasp, TheBubblePushesBackUntilFourNewtonsThenPopsAndFormsAgainOutside) {
  demo.reset(0);
  Step(kFree);
  const double top = kBubble.z + 0.05 + 0.012;
  for (double depth = 0.0005; depth < 0.00395; depth += 0.0005) {
    const cVector3d f = Step(cVector3d(0, 0.1, top - depth));
    EXPECT_TRUE(f.equals(cVector3d(0, 0, 1000 * depth), 1e-6)) << depth;
    EXPECT_TRUE(demo.m_bubble->getShow());
  }
  EXPECT_NEAR(Step(cVector3d(0, 0.1, top - 0.0039)).z, 3.9, 1e-6);
  EXPECT_TRUE(demo.m_bubbleIntact);
  // past the limit: this step still pushes, then nothing
  EXPECT_NEAR(Step(cVector3d(0, 0.1, top - 0.0042)).z, 4.2, 1e-6);
  EXPECT_FALSE(demo.m_bubbleIntact);
  EXPECT_FALSE(demo.m_bubble->getShow());
  EXPECT_EQ(Step(cVector3d(0, 0.1, top - 0.0042)), cVector3d());
  EXPECT_EQ(Step(cVector3d(0, 0.1, top - 0.03)), cVector3d());
  EXPECT_EQ(Step(cVector3d(0, 0.1, top - 0.0005)), cVector3d());
  EXPECT_FALSE(demo.m_bubble->getShow());
  // out of it: whole again, and shown from the next step
  Step(cVector3d(0, 0.1, top + 0.001));
  EXPECT_TRUE(demo.m_bubbleIntact);
  Step(cVector3d(0, 0.1, top + 0.001));
  EXPECT_TRUE(demo.m_bubble->getShow());
  EXPECT_NEAR(Step(cVector3d(0, 0.1, top - 0.002)).z, 2.0, 1e-6);
}

// the centre gives no force but lies deep inside: a bubble forming around the
// proxy there would push it with some 60 N on the next step
TEST_F(DemoGrasp, APoppedBubbleDoesNotFormAgainAroundAProxyAtItsCentre) {
  demo.reset(0);
  Step(kFree);
  const double top = kBubble.z + 0.062;
  Step(cVector3d(0, 0.1, top - 0.003));
  Step(cVector3d(0, 0.1, top - 0.005));
  ASSERT_FALSE(demo.m_bubbleIntact);
  EXPECT_EQ(Step(kBubble), cVector3d());
  EXPECT_FALSE(demo.m_bubbleIntact);
  EXPECT_EQ(Step(kBubble + cVector3d(0, 0, 0.001)), cVector3d());
  EXPECT_FALSE(demo.m_bubble->getShow());
}

// entering the demo with the proxy inside a shape: no force until the proxy has
// been out of every shape, however many steps that takes
TEST_F(DemoGrasp, TheForceStaysZeroAfterResetUntilTheProxyIsClearOfEveryShape) {
  for (const cVector3d &inside : {kBreath + cVector3d(0, 0.01, 0.005), kSoft + cVector3d(0.005, 0, 0.01)}) {
    demo.reset(0);
    for (int i = 0; i < 50; ++i) {
      EXPECT_EQ(Step(inside), cVector3d()) << i;
      ASSERT_TRUE(demo.m_starting);
    }
    Step(kFree);
    EXPECT_FALSE(demo.m_starting);
    EXPECT_GT(Step(inside).length(), 1.0);
    demo.exit(0);
  }
}

// a proxy inside the bubble at entry may pop it, but feels nothing of it
TEST_F(DemoGrasp, TheGuardHoldsInsideTheBubbleToo) {
  demo.reset(0);
  EXPECT_EQ(Step(kBubble + cVector3d(0, 0, 0.06)), cVector3d());
  EXPECT_EQ(Step(kBubble + cVector3d(0, 0, 0.059)), cVector3d());
  EXPECT_TRUE(demo.m_starting);
}

TEST_F(DemoGrasp, TheBreathingBlockStartsAtItsFirstSizeAndDoesNotJump) {
  demo.reset(0);
  const cVector3d atReset = demo.m_breathBlock->m_edges;
  EXPECT_DOUBLE_EQ(atReset.x, 0.15);
  EXPECT_DOUBLE_EQ(atReset.z, 0.15);
  Step(kFree);
  EXPECT_EQ(demo.m_breathBlock->m_edges, atReset);
  // and at a later visit the cycle goes on from where it was
  for (int i = 0; i < 300; ++i) Step(kFree);
  demo.exit(0);
  const int counter = demo.m_breathCounter;
  demo.reset(0);
  EXPECT_EQ(demo.m_breathCounter, counter);
  const cVector3d again = demo.m_breathBlock->m_edges;
  Step(kFree);
  EXPECT_EQ(demo.m_breathBlock->m_edges, again);
}

// grows from 0.06 to 0.096 over 800 steps, shrinks back over about 267, rests
// about 1000 and starts again
TEST_F(DemoGrasp, TheBlockBreathesInACycleOfGrowthShrinkageAndRest) {
  demo.reset(0);
  std::vector<double> h;
  for (int i = 0; i < 4400; ++i) {
    Step(kFree);
    ASSERT_DOUBLE_EQ(demo.m_breathBlock->m_edges.x, 0.15);
    ASSERT_DOUBLE_EQ(demo.m_breathBlock->m_edges.z, 0.15);
    h.push_back(demo.m_breathBlock->m_edges.y);
  }
  EXPECT_NEAR(*std::min_element(h.begin(), h.end()), 0.06, 1e-12);
  EXPECT_NEAR(*std::max_element(h.begin(), h.end()), 0.096, 1e-12);
  std::vector<size_t> peaks;
  for (size_t i = 0; i < h.size(); ++i)
    if (h[i] > 0.096 - 1e-12) peaks.push_back(i);
  ASSERT_EQ(peaks.size(), 2u);
  EXPECT_EQ(peaks[0], 799u);
  EXPECT_NEAR(static_cast<double>(peaks[1] - peaks[0]), 2067, 3);
  for (size_t i = 1; i <= peaks[0]; ++i) EXPECT_GT(h[i], h[i - 1]);
  // down within 270 steps, then at rest
  for (size_t i = peaks[0] + 1; i < peaks[0] + 267; ++i) EXPECT_LT(h[i], h[i - 1]);
  for (size_t i = peaks[0] + 270; i < peaks[0] + 1200; ++i) EXPECT_DOUBLE_EQ(h[i], 0.06);
}

TEST_F(DemoGrasp, TheBreathingBlockPushesOutThroughItsNearestFace) {
  demo.reset(0);
  Step(kFree);
  // along the block's height axis, 5 mm under its top face
  const cVector3d up = demo.m_breathBlock->getRot().col(1);
  const double half = demo.m_breathBlock->m_edges.y / 2;
  const cVector3d f = Step(kBreath + up * (half - 0.005));
  EXPECT_NEAR(f.length(), 0.005 * 900, 0.05);
  EXPECT_GT(f.dot(up), 0.99 * f.length());
}

TEST_F(DemoGrasp, TheSoftBlockShrinksUnderLoad) {
  demo.reset(0);
  Step(kFree);
  const cVector3d up = demo.m_softBlock->getRot().col(1);
  const cVector3d f = Step(kSoft + up * (0.0325 - 0.01));
  EXPECT_NEAR(f.length(), 3.0, 1e-6);
  EXPECT_NEAR(demo.m_softBlock->m_edges.x, 0.065 * (500 - 3.0) / 500, 1e-9);
  EXPECT_EQ(demo.m_softBlock->m_edges.x, demo.m_softBlock->m_edges.y);
  EXPECT_EQ(demo.m_softBlock->m_edges.x, demo.m_softBlock->m_edges.z);
  Step(kFree);
  EXPECT_DOUBLE_EQ(demo.m_softBlock->m_edges.x, 0.065);
}

// no wall in the sand: a spring of at most 1 N whose anchor jumps to the proxy
// once stretched past a millimetre
TEST_F(DemoGrasp, TheSandHoldsTheProxyOnAShortSpringThatSnaps) {
  demo.reset(0);
  Step(kFree);
  const cVector3d in = kSand + cVector3d(0, 0.02, 0);
  EXPECT_EQ(Step(in), cVector3d());
  const cVector3d f = Step(in + cVector3d(0, 0, 0.0005));
  EXPECT_TRUE(f.equals(cVector3d(0, 0, -0.5), 1e-9));
  EXPECT_TRUE(Step(in + cVector3d(0, 0, 0.0009)).equals(cVector3d(0, 0, -0.9), 1e-9));
  // past a millimetre: the spring starts again where the proxy is
  EXPECT_EQ(Step(in + cVector3d(0, 0, 0.0011)), cVector3d());
  EXPECT_TRUE(Step(in + cVector3d(0, 0.0004, 0.0011)).equals(cVector3d(0, -0.4, 0), 1e-9));
  // outside the sand nothing holds
  const cVector3d out = kSand + cVector3d(0, 0.07, 0);
  Step(out);
  EXPECT_EQ(Step(out + cVector3d(0, 0, 0.0005)), cVector3d());
}

TEST_F(DemoGrasp, AFailedPositionReadSendsNoForce) {
  demo.reset(0);
  Step(kFree);
  Step(kSand + cVector3d(0, 0.02, 0));
  stub->position = (kSand + cVector3d(0, 0.02, 0.0008)) / 3.0;
  stub->failPosition = true;
  const int sends = stub->forceSends;
  demo.update(0);
  EXPECT_EQ(stub->forceSends, sends + 1);
  EXPECT_EQ(stub->force, cVector3d());
}

}  // namespace
