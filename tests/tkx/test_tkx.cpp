// Device slots: counting, binding, auto-configuration and release, driven
// through fake devices on a fake bus.
#include "FakeDevice.h"

#include "tkx/tkx.h"
#include "tkx/tkxc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { TKX::SetFactory(&factory); }
  void TearDown() override {
    slots.clear();
    TKX::SetFactory(nullptr);
    TKX::GetDeviceCount();
  }

  // a slot of our own, built after the bus is populated so its count sees the devices
  TKX &NewSlot() {
    slots.push_back(std::make_unique<TKX>());
    return *slots.back();
  }

  fake::Device &AddUSB(int type, MemoryModel model = TKX_MEMORY_FULL, bool validHeader = true) {
    bus.usb.emplace_back();
    bus.usb.back().systemType = type;
    bus.usb.back().model = model;
    if (validHeader) bus.usb.back().WriteValidHeader();
    return bus.usb.back();
  }

  fake::Device &AddFalcon() {
    bus.falcon.emplace_back();
    bus.falcon.back().systemType = TKX_SYSTEM_FALCON;
    bus.falcon.back().model = TKX_MEMORY_NONE;
    return bus.falcon.back();
  }

  bool Logged(const std::string &line) const {
    return std::find(bus.log.begin(), bus.log.end(), line) != bus.log.end();
  }

  fake::Bus bus;
  fake::Factory factory{bus};
  std::vector<std::unique_ptr<TKX>> slots;
};

// ---- counting ----------------------------------------------------------------

TEST_F(Registry, CountsUSBThenFalcon) {
  AddUSB(TKX_SYSTEM_TRION6);
  AddUSB(TKX_SYSTEM_TRION3);
  AddFalcon();
  EXPECT_EQ(TKX::GetDeviceCount(), 3);
  EXPECT_EQ(TKX::ITKX::DeviceCountUSB, 2);
  EXPECT_EQ(TKX::ITKX::DeviceCountFalcon, 1);
  EXPECT_EQ(TKX::AllocationState(0), 0);
  EXPECT_EQ(TKX::AllocationState(2), 0);
  EXPECT_EQ(TKX::AllocationState(3), -1);
}

TEST_F(Registry, ConstructionWithoutDevicesLeavesNoDeviceError) {
  *tkxErrnoLocation() = 0;
  NewSlot();
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  AddUSB(TKX_SYSTEM_TRION6);
  NewSlot();
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NONE);
}

TEST_F(Registry, MoreThanFourDevicesOnlyFourOpenable) {
  for (int i = 0; i < 5; ++i) AddUSB(TKX_SYSTEM_TRION3);
  EXPECT_EQ(TKX::GetDeviceCount(), 5);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(TKX::AllocationState(i), 0);
  EXPECT_EQ(TKX::AllocationState(4), 2);  // there is no fifth entry to look at
}

// ---- binding -------------------------------------------------------------------

TEST_F(Registry, IndexPastUSBOpensTheFalcon) {
  AddUSB(TKX_SYSTEM_TRION6);
  AddUSB(TKX_SYSTEM_TRION3);
  AddFalcon();
  TKX &slot = NewSlot();
  EXPECT_EQ(slot.Open(2), 2);
  EXPECT_TRUE(Logged("open falcon0"));
  EXPECT_EQ(slot.GetSystemType(), TKX_SYSTEM_FALCON);
  EXPECT_STREQ(slot.GetSystemName(), "Falcon");
  EXPECT_EQ(TKX::AllocationState(2), 1);

  // index 3 is beyond the devices found: -1 with the code left alone
  TKX &other = NewSlot();
  *tkxErrnoLocation() = 42;
  EXPECT_EQ(other.Open(3), -1);
  EXPECT_EQ(*tkxErrnoLocation(), 42);
  EXPECT_EQ(other.GetID(), -1);
  EXPECT_EQ(other.Open(4), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
}

TEST_F(Registry, ReopeningTheSameIndexKeepsTheDevice) {
  AddUSB(TKX_SYSTEM_TRION6);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  tkxCom *com = slot.GetCom();
  const size_t events = bus.log.size();
  EXPECT_EQ(slot.Open(0), 0);
  EXPECT_EQ(slot.GetCom(), com);
  EXPECT_EQ(bus.log.size(), events);
  EXPECT_TRUE(com->Ready());
}

TEST_F(Registry, ReopeningAnotherIndexClosesFirst) {
  AddUSB(TKX_SYSTEM_TRION6);
  AddUSB(TKX_SYSTEM_TRION3);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  ASSERT_EQ(slot.Open(1), 1);
  const auto close0 = std::find(bus.log.begin(), bus.log.end(), "close usb0");
  const auto open1 = std::find(bus.log.begin(), bus.log.end(), "open usb1");
  ASSERT_NE(close0, bus.log.end());
  EXPECT_LT(close0, open1);
  EXPECT_TRUE(Logged("delete usb0"));
  EXPECT_EQ(TKX::AllocationState(0), 0);
  EXPECT_EQ(TKX::AllocationState(1), 1);
  EXPECT_EQ(slot.GetSystemType(), TKX_SYSTEM_TRION3);
}

TEST_F(Registry, FailedOpenLeavesSlotUnboundWithTheLayersCode) {
  AddUSB(TKX_SYSTEM_TRION6).openError = TKX_ERR_COMMUNICATION;
  TKX &slot = NewSlot();
  const int before = tkxCom::GetOpenCount();
  EXPECT_EQ(slot.Open(0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);
  EXPECT_EQ(slot.GetID(), -1);
  EXPECT_EQ(slot.GetCom(), nullptr);
  EXPECT_EQ(tkxCom::GetOpenCount(), before);  // the object was deleted
  EXPECT_EQ(TKX::AllocationState(0), 0);
}

TEST_F(Registry, OpenFirstFreeSkipsBoundDevices) {
  AddUSB(TKX_SYSTEM_TRION6);
  AddUSB(TKX_SYSTEM_TRION3);
  TKX &a = NewSlot();
  TKX &b = NewSlot();
  EXPECT_EQ(a.Open(), 0);
  EXPECT_EQ(a.Open(), 0);  // already bound
  EXPECT_EQ(b.Open(), 1);
  TKX &c = NewSlot();
  EXPECT_EQ(c.Open(), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
}

TEST_F(Registry, OpenFirstFreeWithoutDevices) {
  TKX &slot = NewSlot();
  EXPECT_EQ(slot.Open(), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
}

TEST_F(Registry, CloseReleasesEverything) {
  AddUSB(TKX_SYSTEM_TRION6);
  TKX &slot = NewSlot();
  const int before = tkxCom::GetOpenCount();
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_NE(slot.GetTranslator(), nullptr);
  EXPECT_EQ(slot.Close(), 0);
  EXPECT_EQ(slot.GetCom(), nullptr);
  EXPECT_EQ(slot.GetTranslator(), nullptr);
  EXPECT_EQ(slot.GetRotator(), nullptr);
  EXPECT_EQ(slot.GetID(), -1);
  EXPECT_EQ(TKX::AllocationState(0), 0);
  EXPECT_EQ(tkxCom::GetOpenCount(), before);
  // the identity survives the close
  EXPECT_EQ(slot.GetSystemType(), TKX_SYSTEM_TRION6);
  EXPECT_EQ(slot.GetSerialNumber(), 1234);
}

TEST_F(Registry, CloseOfANeverOpenedSlotChangesNothing) {
  AddUSB(TKX_SYSTEM_TRION6);
  TKX::GetDeviceCount();
  TKX &slot = NewSlot();
  *tkxErrnoLocation() = 3;
  EXPECT_EQ(slot.Close(), 0);
  EXPECT_EQ(*tkxErrnoLocation(), 3);
  EXPECT_EQ(TKX::AllocationState(0), 0);
  EXPECT_TRUE(bus.log.empty());
}

TEST_F(Registry, OpenArmsTimeGuardAndVelocityEstimator) {
  AddUSB(TKX_SYSTEM_TRION6);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_TRUE(slot.GetCom()->TimeGuardEnabled());
  EXPECT_DOUBLE_EQ(slot.GetCom()->GetInterval(0), 0.0005);
  EXPECT_DOUBLE_EQ(slot.GetCom()->GetInterval(6), 0.002);
  EXPECT_EQ(slot.Velocity().GetSize(), 100);
  EXPECT_EQ(slot.Velocity().GetDimension(), 3);
  EXPECT_EQ(slot.Velocity().GetMethod(), tkx::VELOCITY_WINDOW_SPAN);
}

// ---- models by system type ----------------------------------------------------------

TEST_F(Registry, SystemNames) {
  EXPECT_STREQ(TKX::SystemName(0), "none");
  EXPECT_STREQ(TKX::SystemName(11), "simulator");
  EXPECT_STREQ(TKX::SystemName(60), "Falcon");
  EXPECT_STREQ(TKX::SystemName(62), "trion.6 (high-resolution)");
  EXPECT_STREQ(TKX::SystemName(101), "TQ-2200");
  EXPECT_STREQ(TKX::SystemName(200), "unknown");
  EXPECT_STREQ(TKX::SystemName(50), "unknown");
  EXPECT_STREQ(TKX::SystemName(-31), "unknown");
}

TEST_F(Registry, ModelsBuiltPerType) {
  struct Case {
    int type;
    bool translator, rotator, gripper;
    double axisOffset;
  } cases[] = {
      {TKX_SYSTEM_TRION3, true, false, false, 0},      {TKX_SYSTEM_POLUX6_RIGHT, true, true, false, 0.7853981633974483},
      {TKX_SYSTEM_POLUX7_RIGHT, true, true, true, 0},  {TKX_SYSTEM_TRION6, true, true, false, 0},
      {TKX_SYSTEM_CONTROLLER, false, false, false, 0}, {TKX_SYSTEM_SIMULATOR, false, false, false, 0},
      {TKX_SYSTEM_TQ2200, true, false, false, 0},      {77, false, false, false, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.type);
    bus.usb.clear();
    AddUSB(c.type);
    TKX &slot = NewSlot();
    ASSERT_EQ(slot.Open(0), 0);
    EXPECT_EQ(slot.GetTranslator() != nullptr, c.translator);
    EXPECT_EQ(slot.GetRotator() != nullptr, c.rotator);
    EXPECT_EQ(slot.GetGripper() != nullptr, c.gripper);
    if (c.rotator) {
      EXPECT_DOUBLE_EQ(static_cast<fake::Rotator *>(slot.GetRotator())->axisOffset, c.axisOffset);
    }
    slot.Close();
  }
}

TEST_F(Registry, LeftHandedTypes) {
  AddUSB(TKX_SYSTEM_POLUX7_LEFT);
  AddUSB(TKX_SYSTEM_POLUX7_RIGHT);
  AddUSB(TKX_SYSTEM_POLUX6_LEFT);
  TKX &left = NewSlot();
  TKX &right = NewSlot();
  TKX &left6 = NewSlot();
  ASSERT_EQ(left.Open(0), 0);
  ASSERT_EQ(right.Open(1), 1);
  ASSERT_EQ(left6.Open(2), 2);
  EXPECT_TRUE(left.IsLeftHanded());
  EXPECT_TRUE(left.GetGripper()->IsLeftHanded());
  EXPECT_FALSE(right.IsLeftHanded());
  EXPECT_FALSE(right.GetGripper()->IsLeftHanded());
  EXPECT_TRUE(left6.IsLeftHanded());
}

TEST_F(Registry, EffectorCarriesTheAttachedParts) {
  AddUSB(TKX_SYSTEM_TRION6);
  AddUSB(TKX_SYSTEM_POLUX7_RIGHT);
  AddUSB(TKX_SYSTEM_TRION3);
  TKX &trion6 = NewSlot();
  TKX &polux7 = NewSlot();
  TKX &trion3 = NewSlot();
  ASSERT_EQ(trion6.Open(0), 0);
  ASSERT_EQ(polux7.Open(1), 1);
  ASSERT_EQ(trion3.Open(2), 2);
  EXPECT_DOUBLE_EQ(trion6.GetTranslator()->GetEffectorMass(), fake::kGripperMass + fake::kWristMass);
  EXPECT_DOUBLE_EQ(polux7.GetTranslator()->GetEffectorMass(),
                   fake::kGripperMass + fake::kWristMass + fake::kPincherMass);
  EXPECT_DOUBLE_EQ(trion3.GetTranslator()->GetEffectorMass(), fake::kGripperMass);
}

TEST_F(Registry, HighResolutionTrionGetsItsEncoderResolution) {
  AddUSB(TKX_SYSTEM_TRION6_HR);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_DOUBLE_EQ(static_cast<fake::Translator *>(slot.GetTranslator())->param125, 2000.0);
  EXPECT_GE(static_cast<fake::Rotator *>(slot.GetRotator())->updates, 1);
}

// ---- calibration at open --------------------------------------------------------------

TEST_F(Registry, ValidMemoryIsLoadedNotWritten) {
  AddUSB(TKX_SYSTEM_TRION6).WriteValidHeader(4711);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_TRUE(bus.writes.empty());
  EXPECT_EQ(slot.GetSerialNumber(), 4711);
  EXPECT_EQ(slot.GetTKCVersion(), 7);
  EXPECT_EQ(slot.GetTKXVersion(), 8);
  EXPECT_EQ(slot.GetTKWVersion(), 9);
  EXPECT_EQ(slot.GetEEPROMVersion(), 0x0110);
}

TEST_F(Registry, BlankMemoryGetsFactoryDefaults) {
  fake::Device &dev = AddUSB(TKX_SYSTEM_TRION6, TKX_MEMORY_FULL, false);
  TKX &slot = NewSlot();
  slot.SetSerialNumber(99);
  ASSERT_EQ(slot.Open(0), 0);
  const fake::Device &d = bus.usb[0];
  (void)dev;
  EXPECT_EQ(d.Word(100), 0x0110);
  EXPECT_EQ(d.memory[102], 0);
  EXPECT_EQ(d.memory[103], 0);
  EXPECT_EQ(d.memory[104], 0);
  EXPECT_EQ(d.Word(105), 0);
  EXPECT_EQ(slot.GetSerialNumber(), 0);
  const uint16_t words[7] = {30500, 21500, 21500, 32768, 32768, 32768, 32768};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(d.Word(2 * i), words[i]) << "word " << i;
  // the models' parameters went in as well (the fake translator stores parameter 120)
  EXPECT_EQ(d.memory[100 + 4 * 120], 0x3F);
  // and the factory block came last
  ASSERT_FALSE(bus.writes.empty());
  EXPECT_EQ(bus.writes.back().addr, 0);
  EXPECT_EQ(bus.writes.back().bytes.size(), 14u);
}

TEST_F(Registry, SmallMemoryLayoutWritesNothing) {
  AddUSB(TKX_SYSTEM_TRION6, TKX_MEMORY_SMALL, false);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_TRUE(bus.writes.empty());
  EXPECT_EQ(slot.GetEEPROMVersion(), 0xFFFF);
}

TEST_F(Registry, AutoConfigurationFailurePrintsAndReleasesTheDevice) {
  AddUSB(TKX_SYSTEM_TRION6, TKX_MEMORY_FULL, false);
  bus.translatorConfigResult = -1;
  TKX &slot = NewSlot();
  const int before = tkxCom::GetOpenCount();
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(slot.Open(0), -1);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, std::string("initialization error: please contact ") + TKX::kSupportAddress + "\n");
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_AUTOCONFIG);
  EXPECT_TRUE(Logged("close usb0"));
  EXPECT_TRUE(Logged("delete usb0"));
  // unbound, as if never opened
  EXPECT_EQ(slot.GetID(), -1);
  EXPECT_EQ(slot.GetCom(), nullptr);
  EXPECT_EQ(slot.GetTranslator(), nullptr);
  EXPECT_EQ(tkxCom::GetOpenCount(), before);
  EXPECT_EQ(TKX::AllocationState(0), 0);
}

// ---- controllers ------------------------------------------------------------------------

TEST_F(Registry, ControllerSetDeviceOnlyForControllers) {
  AddUSB(TKX_SYSTEM_TRION6);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_EQ(slot.ControllerSetDevice(TKX_SYSTEM_TRION3), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
  TKX &never = NewSlot();
  EXPECT_EQ(never.ControllerSetDevice(TKX_SYSTEM_TRION3), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
}

TEST_F(Registry, ControllerTakesTheDeclaredMechanism) {
  AddUSB(TKX_SYSTEM_CONTROLLER);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_EQ(slot.GetTranslator(), nullptr);
  ASSERT_EQ(slot.ControllerSetDevice(TKX_SYSTEM_TRION6), 0);
  EXPECT_EQ(slot.GetSystemType(), TKX_SYSTEM_TRION6);
  EXPECT_NE(slot.GetTranslator(), nullptr);
  EXPECT_NE(slot.GetRotator(), nullptr);
  EXPECT_DOUBLE_EQ(slot.GetTranslator()->GetEffectorMass(), fake::kGripperMass + fake::kWristMass);
}

TEST_F(Registry, ControllerNeverBuildsTheFalconModel) {
  AddUSB(TKX_SYSTEM_CUSTOM);
  TKX &slot = NewSlot();
  ASSERT_EQ(slot.Open(0), 0);
  ASSERT_EQ(slot.ControllerSetDevice(TKX_SYSTEM_FALCON), 0);
  EXPECT_EQ(slot.GetTranslator(), nullptr);
}

}  // namespace
