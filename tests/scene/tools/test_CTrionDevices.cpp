// The device wrapper over the library's C API, driven against devices on the
// virtual bus: presence, open and close, model parameters and command codes.
#include "support/VirtualBusTest.h"

#include "scene/graph/CWorld.h"
#include "scene/tools/CGeneric3dofPointer.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "scene/tools/CTrionDevices.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"
#include "tkx/virtual/tkxVirtualDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

namespace virt = tkx::virt;

int sleeps = 0;
// open waits a second for the device; the tests only count the waits
int CountSleep(const timespec *) {
  ++sleeps;
  return 0;
}

class TrionDevice : public bustest::VirtualBusTest {
 protected:
  void SetUp() override {
    tkx::testing::SetSleepFunction(CountSleep);
    tkxEnableExpertMode();
    VirtualBusTest::SetUp();
    sleeps = 0;
  }
  void TearDown() override {
    for (int id = 0; id < 4; ++id) tkxClose(static_cast<signed char>(id));
    VirtualBusTest::TearDown();
    tkxGetDeviceCount();
    tkx::testing::SetSleepFunction(nullptr);
  }
  // devices of the given types on the bus, counted by the library
  std::vector<std::shared_ptr<virt::Device>> Plug(std::initializer_list<int> codes) {
    std::vector<std::shared_ptr<virt::Device>> out;
    for (int c : codes) out.push_back(VirtualBusTest::Plug(c));
    EXPECT_EQ(tkxGetDeviceCount(), static_cast<int>(codes.size()));
    return out;
  }
};

// ---- presence, open, close ----

TEST_F(TrionDevice, PresenceFollowsTheDeviceCount) {
  Plug({61});
  cTrionDevice first(0), second(1);
  EXPECT_TRUE(first.m_present);
  EXPECT_FALSE(second.m_present);
  EXPECT_EQ(first.getDeviceType(), -1);
  EXPECT_EQ(second.open(), -1);
  EXPECT_EQ(sleeps, 0);
}

TEST_F(TrionDevice, OpenWaitsThenOpensOnceAndCloseReportsState) {
  Plug({61});
  const int live = cTrionDevice::m_activeTrionDevices;
  {
    cTrionDevice dev(0);
    EXPECT_EQ(cTrionDevice::m_activeTrionDevices, live + 1);
    EXPECT_EQ(dev.close(), -1);
    ASSERT_EQ(dev.open(), 0);
    EXPECT_EQ(sleeps, 1);
    EXPECT_TRUE(dev.m_opened);
    EXPECT_EQ(dev.getDeviceType(), 61);
    // a second open returns at once
    EXPECT_EQ(dev.open(), 0);
    EXPECT_EQ(sleeps, 1);
    EXPECT_EQ(dev.close(), 0);
    EXPECT_FALSE(dev.m_opened);
    EXPECT_EQ(tkxGetSystemType(0), 61);
    ASSERT_EQ(dev.open(), 0);
  }
  // the destructor closed the slot it had open
  EXPECT_EQ(cTrionDevice::m_activeTrionDevices, live);
  double x;
  EXPECT_EQ(tkxGetPosition(&x, &x, &x, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
}

TEST_F(TrionDevice, SecondDeviceOpensIntoItsOwnSlot) {
  Plug({61, 33});
  cTrionDevice dev(1);
  ASSERT_EQ(dev.open(), 0);
  EXPECT_EQ(dev.getDeviceType(), 33);
  EXPECT_EQ(dev.m_reachRadius, 0.075);
}

// ---- model parameters ----

TEST_F(TrionDevice, ModelParametersFollowTheSystemType) {
  Plug({61, 33, 35});
  struct Want {
    double reach, limit;
    bool gripper;
  } want[] = {{0.15, 20.0, false}, {0.075, 12.0, false}, {0.075, 12.0, true}};
  for (unsigned int i = 0; i < 3; ++i) {
    cTrionDevice dev(i);
    EXPECT_EQ(dev.m_reachRadius, 0.0);
    ASSERT_EQ(dev.open(), 0) << i;
    EXPECT_EQ(dev.m_reachRadius, want[i].reach) << i;
    EXPECT_EQ(dev.m_forceLimit, want[i].limit) << i;
    EXPECT_EQ(dev.m_gripperActuated, want[i].gripper) << i;
    double mm = 0.0;
    EXPECT_EQ(dev.command(CMD_GET_WORKSPACE_RADIUS_MM, &mm), 0);
    EXPECT_DOUBLE_EQ(mm, want[i].reach * 1000.0);
  }
}

// ---- commands ----

TEST_F(TrionDevice, CommandsNeedAnOpenDeviceAndAKnownCode) {
  Plug({33});
  cTrionDevice dev(0);
  cVector3d v;
  int button = 7;
  EXPECT_EQ(dev.command(CMD_GET_POSITION, &v), -3);
  EXPECT_EQ(dev.command(12345, &v), -3);
  ASSERT_EQ(dev.open(), 0);
  EXPECT_EQ(dev.command(CMD_GET_VELOCITY, &v), -2);
  EXPECT_EQ(dev.command(12345, &v), -2);
  EXPECT_EQ(dev.command(CMD_GET_POSITION, nullptr), -1);
  EXPECT_EQ(dev.command(CMD_GET_BUTTON_STATE, &button), 0);
  EXPECT_TRUE(button == 0 || button == 1);
  cMatrix3d m(2, 0, 0, 0, 2, 0, 0, 0, 2);
  // a trion.3 has no wrist: the library refuses both reads, and the frame reads as
  // the identity, the angles as zero
  EXPECT_EQ(dev.command(CMD_GET_ROTATION_MATRIX, &m), -1);
  EXPECT_TRUE(m.equals(cMatrix3d()));
  v.set(1, 2, 3);
  EXPECT_EQ(dev.command(CMD_GET_ROTATION_ANGLES, &v), -1);
  EXPECT_EQ(v, cVector3d());
  // read position through both codes: the normalised one divides by the reach
  cVector3d p, n;
  EXPECT_EQ(dev.command(CMD_GET_POSITION, &p), 0);
  EXPECT_EQ(dev.command(CMD_GET_NORMALIZED_POSITION, &n), 0);
  EXPECT_TRUE(n.equals(p / 0.075, 1e-3));
  dev.close();
  EXPECT_EQ(dev.command(CMD_GET_POSITION, &p), -3);
}

TEST_F(TrionDevice, ForceCommandsReachTheMotors) {
  auto devs = Plug({33});
  cTrionDevice dev(0);
  ASSERT_EQ(dev.open(), 0);
  tkxEnableForce(1, 0);
  const uint64_t before = devs[0]->MotorCommands();
  cVector3d f(0, 0, 1);
  EXPECT_EQ(dev.command(CMD_SET_FORCE, &f), 0);
  double fg[4] = {0, 0, 1, 5};
  // without an actuated gripper the gripper force is dropped
  EXPECT_EQ(dev.command(CMD_SET_FORCE_AND_GRIPPER_FORCE, fg), 0);
  EXPECT_EQ(devs[0]->MotorCommands(), before + 2);
  EXPECT_EQ(devs[0]->Motor(3), 0);
}

TEST_F(TrionDevice, LibraryFailuresAreCommandFailures) {
  auto devs = Plug({35});
  cTrionDevice dev(0);
  ASSERT_EQ(dev.open(), 0);
  tkxEnableForce(1, 0);
  cVector3d p;
  ASSERT_EQ(dev.command(CMD_GET_POSITION, &p), 0);

  // unplugged: reads and force commands fail at the transfer. Each read waits out
  // the period in which the library answers from its cache instead of the device.
  devs[0]->Unplug();
  const auto later = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  later();
  p.set(9, 9, 9);
  EXPECT_EQ(dev.command(CMD_GET_POSITION, &p), -1);
  EXPECT_EQ(p, cVector3d());
  later();
  EXPECT_EQ(dev.command(CMD_GET_NORMALIZED_POSITION, &p), -1);
  later();
  EXPECT_EQ(dev.command(CMD_GET_GRIPPER_THUMB_POS, &p), -1);
  later();
  EXPECT_EQ(dev.command(CMD_GET_GRIPPER_FINGER_POS, &p), -1);
  cVector3d f(0, 0, 1);
  EXPECT_EQ(dev.command(CMD_SET_FORCE, &f), -1);
  double fg[4] = {0, 0, 1, 2};
  EXPECT_EQ(dev.command(CMD_SET_FORCE_AND_GRIPPER_FORCE, fg), -1);

  // the slot closed behind the wrapper's back: every library call fails
  tkxClose(0);
  int button = 7;
  EXPECT_EQ(dev.command(CMD_GET_BUTTON, &button), -1);
  EXPECT_EQ(button, 0);
  button = 7;
  EXPECT_EQ(dev.command(CMD_GET_BUTTON_STATE, &button), -1);
  EXPECT_EQ(button, 0);
  EXPECT_EQ(dev.command(CMD_GET_POSITION, &p), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  EXPECT_EQ(dev.command(CMD_SET_TORQUE, &f), -1);
  EXPECT_EQ(dev.command(CMD_SET_FORCE_AND_GRIPPER_FORCE, fg), -1);
  // the wrapper's own answers stand
  double mm = 0.0;
  EXPECT_EQ(dev.command(CMD_GET_WORKSPACE_RADIUS_MM, &mm), 0);
  EXPECT_EQ(dev.command(CMD_GET_VELOCITY, &p), -2);
  dev.close();
  EXPECT_EQ(dev.command(CMD_GET_POSITION, &p), -3);
}

TEST_F(TrionDevice, PointerKeepsItsPoseWhenTheDeviceIsLost) {
  auto devs = Plug({33});
  cWorld world;
  cMeta3dofPointer tool(&world, 0, false);
  ASSERT_EQ(tool.m_metaKind, 1);
  // a pose away from the centre (the channels taken over from the mechanism)
  const int pose[3] = {30000, 21000, 22000};
  for (int c = 0; c < 3; ++c) devs[0]->SetEncoder(c, pose[c]);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  tool.updatePose();
  const cVector3d seen = tool.m_devicePosLocal;
  ASSERT_GT(seen.length(), 1e-3);
  devs[0]->Unplug();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  tool.updatePose();
  // a failed read is not a device at the origin
  EXPECT_EQ(tool.m_devicePosLocal, seen);
}

TEST_F(TrionDevice, ModelWithoutWorkspaceCannotNormalise) {
  // a device type outside the wrapper's table keeps a zero reach
  Plug({61});
  cTrionDevice dev(0);
  ASSERT_EQ(dev.open(), 0);
  dev.m_reachRadius = 0.0;
  cVector3d n(9, 9, 9);
  EXPECT_EQ(dev.command(CMD_GET_NORMALIZED_POSITION, &n), -1);
  EXPECT_EQ(n, cVector3d(9, 9, 9));
}

// ---- the program's pointer ----

TEST_F(TrionDevice, MetaPointerOpensItsDeviceAtOnce) {
  Plug({61});
  cWorld world;
  cMeta3dofPointer tool(&world, 0, false);
  EXPECT_EQ(tool.m_metaKind, 1);
  cTrionDevice *dev = dynamic_cast<cTrionDevice *>(tool.getDevice());
  ASSERT_NE(dev, nullptr);
  EXPECT_TRUE(dev->m_opened);
  EXPECT_EQ(dev->getDeviceType(), 61);
  EXPECT_TRUE(tool.getWorkspaceScaleFactors().equals(cVector3d(1500, 1500, 1500), 1e-9));
  // initialise reads once and closes; start opens again
  EXPECT_EQ(tool.initialize(), 0);
  EXPECT_FALSE(dev->m_opened);
  EXPECT_EQ(tool.start(), 0);
  EXPECT_TRUE(dev->m_opened);
}

}  // namespace
