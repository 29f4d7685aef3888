// The C entries: slot selection, the expert gate, output clearing and forwarding.
#include "FakeDevice.h"

#include "tkx/tkxc.h"

#include <gtest/gtest.h>

namespace {

class CApi : public ::testing::Test {
 protected:
  void SetUp() override {
    TKX::SetFactory(&factory);
    tkxDisableExpertMode();
  }
  void TearDown() override {
    for (signed char id = 0; id < 4; ++id) tkxClose(id);
    tkxDisableExpertMode();
    // leave slot 0 current for the next case run in this process
    bus.usb.resize(bus.usb.empty() ? 1 : bus.usb.size());
    tkxGetDeviceCount();
    tkxSetDevice(0);
    TKX::SetFactory(nullptr);
    tkxGetDeviceCount();
  }

  fake::Device &Add(int type, uint16_t serial = 1234) {
    bus.usb.emplace_back();
    bus.usb.back().systemType = type;
    bus.usb.back().WriteValidHeader(serial);
    return bus.usb.back();
  }

  fake::Bus bus;
  fake::Factory factory{bus};
};

// ---- selection ------------------------------------------------------------------

TEST_F(CApi, SetDeviceNeedsARecount) {
  Add(TKX_SYSTEM_TRION6);
  Add(TKX_SYSTEM_TRION3);
  // the count is the one recorded by the last tkxGetDeviceCount, not the bus
  TKX::SetFactory(nullptr);
  tkxGetDeviceCount();
  TKX::SetFactory(&factory);
  EXPECT_EQ(tkxSetDevice(0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  EXPECT_EQ(tkxGetDeviceCount(), 2);
  EXPECT_EQ(tkxSetDevice(1), 0);
  EXPECT_EQ(tkxGetDeviceID(), 1);
  EXPECT_EQ(tkxSetDevice(2), -1);
  EXPECT_EQ(tkxSetDevice(-1), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  EXPECT_EQ(tkxGetDeviceID(), 1);
}

TEST_F(CApi, SetDeviceNeverSelectsPastTheFourSlots) {
  for (int i = 0; i < 6; ++i) Add(TKX_SYSTEM_TRION3);
  EXPECT_EQ(tkxGetDeviceCount(), 6);
  EXPECT_EQ(tkxSetDevice(3), 0);
  EXPECT_EQ(tkxSetDevice(4), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  EXPECT_EQ(tkxGetDeviceID(), 3);
}

TEST_F(CApi, OpenIDOutsideTheSlotsOpensNothing) {
  Add(TKX_SYSTEM_TRION6);
  tkxGetDeviceCount();
  *tkxErrnoLocation() = 77;
  EXPECT_EQ(tkxOpenID(4), -1);
  EXPECT_EQ(tkxOpenID(-1), -1);
  EXPECT_EQ(tkxOpenID(127), -1);
  EXPECT_EQ(*tkxErrnoLocation(), 77);
  EXPECT_TRUE(bus.log.empty());
}

TEST_F(CApi, CurrentSlotFollowsOpenID) {
  Add(TKX_SYSTEM_TRION6);
  Add(TKX_SYSTEM_TRION3);
  Add(TKX_SYSTEM_POLUX7_LEFT);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(2), 2);
  EXPECT_EQ(tkxGetDeviceID(), 2);
  EXPECT_EQ(tkxGetSystemType(-1), TKX_SYSTEM_POLUX7_LEFT);
  EXPECT_STREQ(tkxGetSystemName(-1), "polux.7 (left-hand)");
  EXPECT_TRUE(tkxIsLeftHanded(-1));
  EXPECT_FALSE(tkxIsLeftHanded(0));
}

TEST_F(CApi, OpenAloneKeepsSlotZeroCurrent) {
  Add(TKX_SYSTEM_TRION3);
  Add(TKX_SYSTEM_TRION6);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxSetDevice(0), 0);
  EXPECT_EQ(tkxOpen(), 0);
  EXPECT_EQ(tkxOpen(), 0);
  EXPECT_EQ(tkxGetDeviceID(), 0);
  EXPECT_EQ(tkxGetSystemType(-1), TKX_SYSTEM_TRION3);
}

TEST_F(CApi, OpenWithoutDevices) {
  tkxGetDeviceCount();
  EXPECT_EQ(tkxOpen(), -1);
  EXPECT_STREQ(tkxErrorGetLastStr(), "no device found");
  EXPECT_EQ(tkxOpenID(0), -1);
}

TEST_F(CApi, SlotIDsOfFourAndAboveAreRefused) {
  Add(TKX_SYSTEM_TRION6);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(0), 0);
  for (signed char id : {4, 5, 127}) {
    SCOPED_TRACE(static_cast<int>(id));
    EXPECT_EQ(tkxGetSystemType(id), TKX_SYSTEM_NONE);
    EXPECT_STREQ(tkxGetSystemName(id), "none");
    EXPECT_FALSE(tkxIsLeftHanded(id));
    EXPECT_EQ(tkxGetComFreq(id), 0.0);
    EXPECT_EQ(tkxClose(id), 0);
    double v = 9;
    EXPECT_EQ(tkxGetVersion(&v, id), -1);
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
    EXPECT_EQ(tkxReset(id), -1);
    uint16_t serial = 9;
    EXPECT_EQ(tkxGetSerialNumber(&serial, id), -1);
    EXPECT_EQ(serial, 0);
    double x = 1, y = 1, z = 1;
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(tkxGetPosition(&x, &y, &z, id), -1);
    EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
    EXPECT_EQ(tkxControllerSetDevice(TKX_SYSTEM_TRION3, id), -1);
    tkxEnableExpertMode();
    EXPECT_EQ(tkxGetEncoder(0, id), -1);
    EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
    EXPECT_EQ(tkxUpdateEncoders(id), -1);
    tkxDisableExpertMode();
  }
  // the open device was never touched
  EXPECT_EQ(tkxGetSystemType(0), TKX_SYSTEM_TRION6);
}

// ---- queries ----------------------------------------------------------------------

TEST_F(CApi, APIVersion) {
  int major = 0, minor = 0, release = 0, revision = 0;
  EXPECT_EQ(tkxGetAPIVersion(&major, &minor, &release, &revision), 1466);
  EXPECT_EQ(major, 3);
  EXPECT_EQ(minor, 2);
  EXPECT_EQ(release, 2);
  EXPECT_EQ(revision, 1466);
}

TEST_F(CApi, SerialNumberZeroIsAFailureWithoutCode) {
  Add(TKX_SYSTEM_TRION6, 0);
  Add(TKX_SYSTEM_TRION6, 4711);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(0), 0);
  ASSERT_EQ(tkxOpenID(1), 1);
  uint16_t serial = 5;
  *tkxErrnoLocation() = 33;
  EXPECT_EQ(tkxGetSerialNumber(&serial, 0), -1);
  EXPECT_EQ(serial, 0);
  EXPECT_EQ(*tkxErrnoLocation(), 33);
  EXPECT_EQ(tkxGetSerialNumber(&serial, 1), 0);
  EXPECT_EQ(serial, 4711);
}

TEST_F(CApi, VersionAndRateNeedADevice) {
  Add(TKX_SYSTEM_TRION6);
  tkxGetDeviceCount();
  double v = 0;
  EXPECT_EQ(tkxGetVersion(&v, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  EXPECT_EQ(tkxGetComFreq(0), 0.0);
  ASSERT_EQ(tkxOpenID(0), 0);
  EXPECT_EQ(tkxGetVersion(&v, 0), 0);
  EXPECT_EQ(v, 2.5);
  EXPECT_GE(tkxGetComFreq(0), 0.0);
}

// ---- the expert gate ------------------------------------------------------------------

TEST_F(CApi, ExpertGateComesFirst) {
  Add(TKX_SYSTEM_TRION6);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(0), 0);
  int enc[8] = {0};
  short mot[8] = {0};
  unsigned char u = 0;
  int a = 0, b = 0, c = 0;
  double x = 0, y = 0, z = 0;
  short s = 0;
  double J[3][3];
  // every expert entry, with a device (ID 0), without one (ID 3) and with a refused ID (9)
  for (signed char id : {0, 3, 9}) {
    SCOPED_TRACE(static_cast<int>(id));
    const int results[] = {
        tkxEnableForce(1, id),
        tkxSetTimeGuard(1, id),
        tkxSetVelocityThreshold(3, id),
        tkxGetVelocityThreshold(&u, id),
        tkxEmulateButton(1, id),
        tkxCalibrateWrist(id),
        tkxSetOperatingMode(1, id),
        tkxGetOperatingMode(&u, id),
        tkxPreset(enc, 0xFF, id),
        tkxUpdateEncoders(id),
        tkxGetEnc(enc, 0xFF, id),
        tkxGetEncoder(8, id),
        tkxGetEncoder(0, id),
        tkxGetTrionEncoders(&a, &b, &c, id),
        tkxGetWristEncoders(&a, &b, &c, id),
        tkxGetGripperEncoder(&a, id),
        tkxSetMot(mot, 0xFF, id),
        tkxSetMotor(1, 5, id),
        tkxSetGripperMotor(5, id),
        tkxSetTrionMotor(1, 2, 3, id),
        tkxSetWristMotor(1, 2, 3, id),
        tkxSetTrionJointTorque(0.1, 0.2, 0.3, id),
        tkxSetBrk(1, id),
        tkxTrionEncoderToPosition(1, 2, 3, &x, &y, &z, id),
        tkxTrionPositionToEncoder(0, 0, 0, &a, &b, &c, id),
        tkxTrionEncoderToJacobian(1, 2, 3, J, id),
        tkxTrionMotorToForce(1, 2, 3, 1, 2, 3, &x, &y, &z, id),
        tkxTrionForceToMotor(1, 2, 3, 1, 2, 3, &s, &s, &s, id),
        tkxWristEncoderToOrientation(1, 2, 3, &x, &y, &z, id),
        tkxWristOrientationToEncoder(0, 0, 0, &a, &b, &c, id),
        tkxWristMotorToTorque(1, 2, 3, 1, 2, 3, &x, &y, &z, id),
        tkxWristTorqueToMotor(1, 2, 3, 1, 2, 3, &s, &s, &s, id),
        tkxGripperEncoderToOrientation(1, &x, id),
        tkxGripperEncoderToPosition(1, &x, id),
        tkxGripperOrientationToEncoder(1, &a, id),
        tkxGripperPositionToEncoder(1, &a, id),
        tkxGripperMotorToForce(1, &x, id),
        tkxGripperMotorToTorque(1, &x, id),
        tkxGripperForceToMotor(1, &s, id),
        tkxGripperTorqueToMotor(1, &s, id),
        tkxReadConfigFromFile("missing.cfg", id),
    };
    for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i) EXPECT_EQ(results[i], -1) << "entry " << i;
    EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_EXPERT_DISABLED);
  }
  // nothing reached the device: the threshold is still the fake's initial 0
  tkxEnableExpertMode();
  ASSERT_EQ(tkxGetVelocityThreshold(&u, 0), 0);
  EXPECT_EQ(u, 0);
}

TEST_F(CApi, EncoderIndexCheckedAfterTheGateBeforeTheDevice) {
  EXPECT_EQ(tkxGetEncoder(8, -1), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_EXPERT_DISABLED);
  tkxEnableExpertMode();
  EXPECT_EQ(tkxGetEncoder(8, -1), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_INDEX_RANGE);
  EXPECT_EQ(tkxGetEncoder(-1, -1), -1);  // taken as unsigned: far above 7
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_INDEX_RANGE);
  EXPECT_EQ(tkxGetEncoder(7, -1), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
}

// ---- forwarding to the device ---------------------------------------------------------

TEST_F(CApi, ExpertEntriesReachTheDevice) {
  Add(TKX_SYSTEM_TRION6);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(0), 0);
  tkxEnableExpertMode();
  EXPECT_EQ(tkxGetEncoder(5, 0), 105);
  int a = 0, b = 0, c = 0;
  EXPECT_EQ(tkxGetTrionEncoders(&a, &b, &c, 0), 0);
  EXPECT_EQ(a + b + c, 303);
  EXPECT_EQ(tkxGetWristEncoders(&a, &b, &c, 0), 0);
  EXPECT_EQ(a, 103);
  EXPECT_EQ(tkxGetGripperEncoder(&a, 0), 0);
  EXPECT_EQ(a, 106);
  int enc[8] = {0};
  EXPECT_EQ(tkxGetEnc(enc, 0x05, 0), 0);
  EXPECT_EQ(enc[0], 100);
  EXPECT_EQ(enc[1], 0);
  EXPECT_EQ(enc[2], 102);
  unsigned char u = 0;
  EXPECT_EQ(tkxSetVelocityThreshold(42, 0), 0);
  EXPECT_EQ(tkxGetVelocityThreshold(&u, 0), 0);
  EXPECT_EQ(u, 42);
  EXPECT_EQ(tkxUpdateEncoders(0), 0);
  // the base channel has no selectable brakes and no presets
  EXPECT_EQ(tkxSetBrk(3, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_EQ(tkxPreset(enc, 0xFF, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
  // the operating mode of the base channel is a no-op that leaves the output at 0
  u = 9;
  EXPECT_EQ(tkxGetOperatingMode(&u, 0), 0);
  EXPECT_EQ(u, 0);
}

TEST_F(CApi, TimeGuardPeriodIsWholeSeconds) {
  Add(TKX_SYSTEM_TRION6);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(0), 0);
  tkxEnableExpertMode();
  // with a one-second guard the second read inside the period is not a fresh exchange;
  // the fake always answers 0, so what we can see is that the call is accepted
  EXPECT_EQ(tkxSetTimeGuard(1, 0), 0);
  EXPECT_EQ(tkxSetTimeGuard(0, 0), 0);
  EXPECT_EQ(tkxSetTimeGuard(-5, 0), 0);
}

TEST_F(CApi, ConversionsOfAMissingModelKeepTheCode) {
  Add(TKX_SYSTEM_TRION3);  // translator only
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(0), 0);
  tkxEnableExpertMode();
  double x = 5, y = 5, z = 5;
  *tkxErrnoLocation() = 44;
  EXPECT_EQ(tkxWristEncoderToOrientation(1, 2, 3, &x, &y, &z, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), 44);
  EXPECT_EQ(x + y + z, 0.0);
  EXPECT_EQ(tkxGripperEncoderToPosition(1, &x, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), 44);
  EXPECT_EQ(tkxTrionEncoderToPosition(1, 2, 3, &x, &y, &z, 1), -1);  // slot 1 is empty
  EXPECT_EQ(*tkxErrnoLocation(), 44);
  // a model that does not supply a conversion says so
  EXPECT_EQ(tkxTrionEncoderToPosition(1, 2, 3, &x, &y, &z, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_EQ(tkxSetTrionJointTorque(0.1, 0.2, 0.3, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
}

TEST_F(CApi, ControllerSetDeviceIsNotGated) {
  Add(TKX_SYSTEM_CONTROLLER);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(0), 0);
  EXPECT_EQ(tkxControllerSetDevice(TKX_SYSTEM_TRION3, 0), 0);
  EXPECT_EQ(tkxGetSystemType(0), TKX_SYSTEM_TRION3);
  EXPECT_EQ(tkxControllerSetDevice(TKX_SYSTEM_TRION3, 1), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
}

// ---- reads clear their outputs ----------------------------------------------------------

TEST_F(CApi, ReadsClearOutputsEvenWhenFailing) {
  double x = 7, y = 7, z = 7, a = 7, b = 7, g = 7;
  double R[3][3];
  for (auto &row : R)
    for (double &v : row) v = 7;
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 1), -1);
  EXPECT_EQ(x + y + z + a + b + g, 0.0);
  EXPECT_EQ(tkxGetOrientationFrame(R, 1), -1);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(R[i][j], i == j ? 1.0 : 0.0);
  int status[TKX_STATUS_COUNT];
  for (int &s : status) s = 7;
  EXPECT_EQ(tkxGetStatus(status, 1), -1);
  for (int s : status) EXPECT_EQ(s, 0);
  // null outputs are skipped, not written through
  EXPECT_EQ(tkxGetPosition(nullptr, nullptr, nullptr, 1), -1);
  EXPECT_EQ(tkxGetAPIVersion(nullptr, nullptr, nullptr, nullptr), 1466);
}

// on an open device as well: every pointer output of the reads may be null
TEST_F(CApi, NullOutputsAreSkippedOnAnOpenDevice) {
  Add(TKX_SYSTEM_TRION6, 4711);
  tkxGetDeviceCount();
  ASSERT_EQ(tkxOpenID(0), 0);
  tkxEnableExpertMode();
  EXPECT_EQ(tkxGetSerialNumber(nullptr, 0), 0);
  EXPECT_EQ(tkxGetVersion(nullptr, 0), 0);
  EXPECT_EQ(tkxGetStatus(nullptr, 0), 0);
  EXPECT_EQ(tkxGetDeviceAngleRad(nullptr, 0), 0);
  EXPECT_EQ(tkxGetDeviceAngleDeg(nullptr, 0), 0);
  EXPECT_EQ(tkxGetEffectorMass(nullptr, 0), 0);
  EXPECT_EQ(tkxGetForce(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(tkxGetTorque(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(tkxGetForceAndTorque(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(tkxGetVelocityThreshold(nullptr, 0), 0);
  EXPECT_EQ(tkxGetOperatingMode(nullptr, 0), 0);
  EXPECT_EQ(tkxGetEnc(nullptr, 0xFF, 0), 0);
  EXPECT_EQ(tkxGetTrionEncoders(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(tkxGetWristEncoders(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(tkxGetGripperEncoder(nullptr, 0), 0);
  // an array the entry reads from is another matter: it is refused
  EXPECT_EQ(tkxSetMot(nullptr, 0x07, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_UNDOCUMENTED);
  // the fake's models supply no conversions: what matters is that none is written through
  EXPECT_EQ(tkxGetPositionAndOrientationFrame(nullptr, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(tkxGetOrientationFrame(nullptr, 0), -1);
  EXPECT_EQ(tkxGetJacobian(nullptr, 0), -1);
  EXPECT_EQ(tkxGetLinearVelocity(nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(tkxTrionEncoderToJacobian(1, 2, 3, nullptr, 0), -1);
  EXPECT_EQ(tkxTrionForceToMotor(0, 0, 0, 1, 2, 3, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(tkxWristEncoderToOrientation(1, 2, 3, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
}

// the pipeline entries answer "no device" on an empty slot and hand over to the
// slot's models on an open one: the fake translator converts nothing
TEST_F(CApi, PipelineEntriesForwardToTheSlot) {
  Add(TKX_SYSTEM_TRION6);
  tkxGetDeviceCount();
  double x, y, z;
  EXPECT_EQ(tkxSetForce(1, 2, 3, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  ASSERT_EQ(tkxOpenID(0), 0);
  EXPECT_EQ(tkxSetForce(1, 2, 3, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(tkxGetPosition(&x, &y, &z, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_EQ(tkxGetButton(2, 0), 0);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(tkxStop(0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
  // the fake device reports valid encoders at once
  EXPECT_EQ(tkxWaitForReset(10, 0), 0);
  // reset goes straight to the channel
  EXPECT_EQ(tkxReset(0), 0);
  EXPECT_EQ(tkxResetWrist(0), 0);
}

}  // namespace
