// The 3-DOF pointer's haptic cycle against a device double: workspace mapping,
// the algorithms' summed force, the gripper as a spring-loaded button, the
// small-force gate, and what happens without a device or with failing reads.
#include "support/StubDevice.h"

#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/graph/CWorld.h"
#include "scene/tools/CGeneric3dofPointer.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "scene/tools/CTrion3dofPointer.h"
#include "scene/tools/CTrionDevices.h"
#include "tkx/tkxc.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

::testing::AssertionResult Near(const cVector3d &got, double x, double y, double z, double tol = 1e-12) {
  if (got.equals(cVector3d(x, y, z), tol)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z << "), want (" << x << ", "
                                       << y << ", " << z << ") +-" << tol;
}

using devicetest::StubDevice;

class Pointer : public ::testing::Test {
 protected:
  void SetUp() override {
    tool = new cGeneric3dofPointer(&world);
    device = new StubDevice();
    tool->setDevice(device);
    world.addChild(tool);
    world.computeGlobalPositions(false);
  }
  void TearDown() override { world.removeChild(tool), delete tool; }

  // one full haptic step with the device reading p
  void Step(const cVector3d &p) {
    device->position = p;
    tool->updatePose();
    tool->computeForces();
    tool->applyForces();
  }
  // applyForces alone after the gripper opened to gap
  void Grip(double gap) {
    device->gap = gap;
    tool->updatePose();
    tool->applyForces();
  }

  cWorld world;
  cGeneric3dofPointer *tool = nullptr;
  StubDevice *device = nullptr;
};

// ---- construction ----

TEST_F(Pointer, DefaultsKeepTheirSinglePrecisionValues) {
  EXPECT_EQ(tool->m_sphereSize, 0.05000000074505806);
  ASSERT_NE(tool->getProxy(), nullptr);
  EXPECT_EQ(tool->getProxy()->getProxyRadius(), 5.000000311993066e-05);
  EXPECT_EQ(tool->m_forceAlgorithms.size(), 2u);
  EXPECT_EQ(tool->m_forceAlgorithms[0].get(), tool->getProxy());
  EXPECT_EQ(tool->m_drawMode, RENDER_PROXY_AND_DEVICE);
  EXPECT_EQ(tool->m_deviceColor, cColorf(1.0f, 0.2f, 0.0f, 1.0f));
  tool->setRadius(0.01);
  EXPECT_EQ(tool->m_sphereSize, 0.01);
  EXPECT_EQ(tool->getProxy()->getProxyRadius(), 0.01 * static_cast<double>(0.001f));
}

TEST_F(Pointer, BaseDeviceFailsEveryRequest) {
  cGenericDevice base;
  cVector3d v;
  EXPECT_EQ(base.open(), -1);
  EXPECT_EQ(base.close(), -1);
  EXPECT_EQ(base.initialize(true), -1);
  EXPECT_EQ(base.command(CMD_GET_POSITION, &v), -2);
  EXPECT_EQ(base.setCallback(nullptr), 0);
  // the placeholder a fresh pointer carries
  cGeneric3dofPointer fresh(&world);
  EXPECT_EQ(fresh.initialize(), -1);
  EXPECT_EQ(fresh.start(), -1);
}

// ---- workspace mapping ----

TEST_F(Pointer, NormalisedPositionsFillTheHalfExtent) {
  tool->setWorkspace(0.2, 0.2, 0.2);
  Step(cVector3d(0.075, 0, 0));
  EXPECT_TRUE(Near(tool->m_devicePosLocal, 0.1, 0, 0, 1e-15));
  tool->setWorkspace(1.0, 2.0, 4.0);
  Step(cVector3d(0.075, -0.0375, 0.075));
  EXPECT_TRUE(Near(tool->m_devicePosLocal, 0.5, -0.5, 2.0, 1e-15));
  // raw metres when normalising is off
  tool->useNormalizedPositions(false);
  EXPECT_FALSE(tool->getNormalizedPositionsEnabled());
  Step(cVector3d(0.01, 0.02, 0.03));
  EXPECT_TRUE(Near(tool->m_devicePosLocal, 0.01, 0.02, 0.03));
}

TEST_F(Pointer, ScaleFactorsAreRadiusOverHalfExtent) {
  device->reach = 0.15;
  EXPECT_TRUE(Near(tool->getWorkspaceScaleFactors(), 1500, 1500, 1500, 1e-9));
  tool->setWorkspace(1.0, 0.5, 0.3);
  EXPECT_TRUE(Near(tool->getWorkspaceScaleFactors(), 300, 600, 1000, 1e-9));
  device->failRadius = true;
  EXPECT_TRUE(Near(tool->getWorkspaceScaleFactors(), 0, 0, 0));
}

TEST_F(Pointer, ToolPoseCarriesDeviceIntoWorldAndForceBack) {
  // tool turned a quarter turn about z and moved
  tool->rotate(cVector3d(0, 0, 1), std::acos(-1.0) / 2);
  tool->setPos(1, 2, 3);
  world.computeGlobalPositions(false);
  tool->useNormalizedPositions(false);
  Step(cVector3d(0.1, 0, 0));
  EXPECT_TRUE(Near(tool->m_devicePosWorld, 1, 2.1, 3, 1e-12));
  tool->m_forceWorld.set(0, 1, 0);
  tool->applyForces();
  EXPECT_TRUE(Near(tool->m_forceLocal, 1, 0, 0, 1e-12));
  EXPECT_TRUE(Near(device->sentForce(), 1, 0, 0, 1e-12));
}

TEST_F(Pointer, FailedPositionReadLeavesThePose) {
  tool->useNormalizedPositions(false);
  Step(cVector3d(0.01, 0, 0));
  device->failPosition = true;
  device->rotation = cMatrix3d::rotation(cVector3d(1, 0, 0), 1.0);
  Step(cVector3d(0.05, 0, 0));
  EXPECT_TRUE(Near(tool->m_devicePosLocal, 0.01, 0, 0));
  EXPECT_TRUE(tool->m_deviceRotLocal.equals(cMatrix3d()));
}

TEST_F(Pointer, ButtonComesFromDeviceOnlyWhenGripperIsNoSwitch) {
  device->button = 3;
  Grip(0.06);
  EXPECT_EQ(tool->m_switch0, 0);
  tool->m_gripAsSwitch = false;
  Grip(0.06);
  EXPECT_EQ(tool->m_switch0, 3);
}

// ---- forces ----

TEST_F(Pointer, ForceIsTheSumOfTheAlgorithms) {
  cShapeSphere *ball = new cShapeSphere(0.1);
  world.addChild(ball);
  world.computeGlobalPositions(false);
  tool->useNormalizedPositions(false);
  tool->m_holdUntilSmall = false;
  // the field algorithm learns its world when the tool is initialised
  Step(cVector3d(0.09, 0, 0));
  EXPECT_TRUE(Near(tool->m_forceWorld, 0, 0, 0));
  ASSERT_EQ(tool->initialize(), 0);
  Step(cVector3d(0.09, 0, 0));
  // the proxy sees no mesh; the field pushes out by depth times stiffness
  EXPECT_TRUE(Near(tool->m_forceWorld, 1.0, 0, 0, 1e-9));
  EXPECT_TRUE(Near(device->sentForce(), 1.0, 0, 0, 1e-9));
  // a null slot in the list is skipped
  tool->m_forceAlgorithms[1].reset();
  Step(cVector3d(0.09, 0, 0));
  EXPECT_TRUE(Near(tool->m_forceWorld, 0, 0, 0));
}

TEST_F(Pointer, ForcesWaitForASmallForceAfterSwitchingOn) {
  tool->m_forceWorld.set(2, 0, 0);
  tool->applyForces();
  // a fresh tool waits too
  EXPECT_TRUE(Near(device->sentForce(), 0, 0, 0));
  EXPECT_EQ(tool->setForcesOFF(), 0);
  EXPECT_EQ(tool->setForcesON(), 0);
  tool->applyForces();
  EXPECT_TRUE(Near(device->sentForce(), 0, 0, 0));
  // 1 mN exactly is not yet small
  tool->m_forceWorld.set(0.001, 0, 0);
  tool->applyForces();
  EXPECT_FALSE(tool->m_forcesFlowing);
  tool->m_forceWorld.set(0.0009, 0, 0);
  tool->applyForces();
  EXPECT_TRUE(Near(device->sentForce(), 0.0009, 0, 0));
  // once flowing, large forces pass; a second ON does not re-arm the gate
  tool->setForcesON();
  tool->m_forceWorld.set(5, 0, 0);
  tool->applyForces();
  EXPECT_TRUE(Near(device->sentForce(), 5, 0, 0));
  // OFF sends zero but keeps sending the gripper force
  tool->setForcesOFF();
  tool->applyForces();
  EXPECT_TRUE(Near(device->sentForce(), 0, 0, 0));
  EXPECT_EQ(device->sends, 6);
}

TEST_F(Pointer, WithoutTheGateForcesFlowAtOnce) {
  tool->m_holdUntilSmall = false;
  tool->m_forceWorld.set(3, 0, 0);
  tool->applyForces();
  EXPECT_TRUE(Near(device->sentForce(), 3, 0, 0));
}

// ---- gripper as a button ----

TEST_F(Pointer, GripperSpringsAndPressesPastTheThreshold) {
  Grip(0.06);
  EXPECT_EQ(device->sent[3], 0.0);
  Grip(0.048);
  EXPECT_NEAR(device->sent[3], 1.6, 1e-12);
  EXPECT_EQ(tool->m_switch0, 0);
  EXPECT_FALSE(tool->m_gripSwitch);
  Grip(0.04);
  EXPECT_NEAR(device->sent[3], 6.0, 1e-12);
  EXPECT_EQ(tool->m_switch0, 1);
  EXPECT_TRUE(tool->m_gripSwitch);
  // exactly at the threshold the spring lets go and the button is up
  tool->m_gripGap = 0.047;
  tool->applyForces();
  EXPECT_EQ(device->sent[3], 0.0);
  EXPECT_EQ(tool->m_switch0, 0);
}

TEST_F(Pointer, GripperForceHeldUntilTheGripperHasOpenedOnce) {
  Grip(0.04);
  EXPECT_EQ(device->sent[3], 0.0);
  EXPECT_EQ(tool->m_switch0, 1);
  Grip(0.049);
  EXPECT_EQ(device->sent[3], 0.0);
  EXPECT_TRUE(tool->m_gripForceHeld);
  Grip(0.05);
  EXPECT_FALSE(tool->m_gripForceHeld);
  Grip(0.04);
  EXPECT_NEAR(device->sent[3], 6.0, 1e-12);
  // a demo may hold it again
  tool->m_gripForceHeld = true;
  Grip(0.04);
  EXPECT_EQ(device->sent[3], 0.0);
}

// ---- device control ----

TEST_F(Pointer, InitializeReadsThePoseOnceAndLeavesTheDeviceClosed) {
  tool->useNormalizedPositions(false);
  device->position.set(0.02, 0, 0);
  EXPECT_EQ(tool->initialize(), 0);
  EXPECT_EQ(device->opens, 1);
  EXPECT_EQ(device->closes, 1);
  EXPECT_FALSE(device->m_opened);
  // the proxy starts where the device is
  EXPECT_TRUE(Near(tool->getProxy()->getProxyGlobalPosition(), 0.02, 0, 0));
  EXPECT_EQ(tool->start(), 0);
  EXPECT_TRUE(device->m_opened);
  EXPECT_EQ(tool->stop(), 0);
  EXPECT_FALSE(device->m_opened);
}

// the tool owns its device: a replaced one is deleted, the last one closed and
// deleted with the tool, and handing it its own device again changes nothing
TEST(PointerDevice, ReplacedAndFinalDevicesAreDeletedOnce) {
  struct Fate {
    int deletions = 0;
    int closesBefore = 0;
  };
  struct Counted : StubDevice {
    Fate *fate;
    explicit Counted(Fate *f) : fate(f) {}
    ~Counted() override {
      ++fate->deletions;
      fate->closesBefore = closes;
    }
  };
  Fate first, second;
  cWorld world;
  {
    cGeneric3dofPointer tool(&world);
    Counted *a = new Counted(&first);
    tool.setDevice(a);
    tool.setDevice(a);
    EXPECT_EQ(first.deletions, 0);
    Counted *b = new Counted(&second);
    tool.setDevice(b);
    EXPECT_EQ(first.deletions, 1);
    EXPECT_EQ(first.closesBefore, 0);
    EXPECT_EQ(tool.getDevice(), b);
    EXPECT_EQ(tool.start(), 0);
  }
  EXPECT_EQ(first.deletions, 1);
  EXPECT_EQ(second.deletions, 1);
  EXPECT_EQ(second.closesBefore, 1);
}

TEST(PointerWithoutDevice, EveryDeviceOperationFailsOrDoesNothing) {
  tkxEnableExpertMode();
  cWorld world;
  cMeta3dofPointer tool(&world, 3, false);
  EXPECT_EQ(tool.m_metaKind, -1);
  EXPECT_EQ(tool.getDevice(), nullptr);
  EXPECT_EQ(tool.initialize(), -1);
  EXPECT_EQ(tool.start(), -1);
  EXPECT_EQ(tool.stop(), -1);
  tool.updatePose();
  tool.computeForces();
  tool.applyForces();
  EXPECT_TRUE(Near(tool.getWorkspaceScaleFactors(), 0, 0, 0));
  EXPECT_EQ(tool.setForcesON(), 0);
  // the other pointer keeps a device that is simply not there
  const int live = cTrionDevice::m_activeTrionDevices;
  {
    cTrion3dofPointer other(&world, 0);
    ASSERT_NE(other.getDevice(), nullptr);
    EXPECT_EQ(cTrionDevice::m_activeTrionDevices, live + 1);
    EXPECT_EQ(other.start(), -1);
  }
  EXPECT_EQ(cTrionDevice::m_activeTrionDevices, live);
}

}  // namespace
