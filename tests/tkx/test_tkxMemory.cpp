// Calibration in device memory: the parameter dispatch, core parameters, the
// header, the memory model switch, and auto-configuration of a blank device,
// through device slots bound to virtual devices.
#include "support/VirtualBusTest.h"

#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxComUSB.h"
#include "tkx/tkxMemoryMap.h"
#include "tkx/tkxPincher.h"
#include "tkx/tkxStylus.h"
#include "tkx/tkxTrion.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using tkx::virt::Device;

namespace {

class Memory : public bustest::VirtualBusTest {
 protected:
  void TearDown() override {
    slots.clear();
    VirtualBusTest::TearDown();
    TKX::GetDeviceCount();
  }

  // a slot bound to a new virtual device
  TKX &Bound(int code, bool blank = false, std::shared_ptr<Device> *dev = nullptr) {
    auto d = Plug(code, blank);
    if (dev) *dev = d;
    slots.push_back(std::make_unique<TKX>());
    TKX &slot = *slots.back();
    EXPECT_EQ(slot.Open(static_cast<int>(tkx::virt::Devices().size()) - 1),
              static_cast<int>(tkx::virt::Devices().size()) - 1);
    return slot;
  }

  std::vector<std::unique_ptr<TKX>> slots;
};

// ---- auto-configuration -------------------------------------------------------------

TEST_F(Memory, BlankDeviceIsGivenFactoryDefaults) {
  std::shared_ptr<Device> dev;
  TKX &slot = Bound(63, true, &dev);
  EXPECT_EQ(dev->Memory(100, 2), (std::vector<unsigned char>{0x01, 0x10}));
  EXPECT_EQ(dev->Memory(102, 5), (std::vector<unsigned char>{0, 0, 0, 0, 0}));
  EXPECT_EQ(dev->Memory(0, 14), (std::vector<unsigned char>{0x77, 0x24, 0x53, 0xFC, 0x53, 0xFC, 0x80, 0x00, 0x80, 0x00,
                                                            0x80, 0x00, 0x80, 0x00}));
  EXPECT_EQ(slot.GetSerialNumber(), 0);
  EXPECT_EQ(slot.GetEEPROMVersion(), 0x0110);
  // a second open finds a valid header and writes nothing
  slot.Close();
  dev->SetMemory(105, {0x12, 0x34});
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_EQ(slot.GetSerialNumber(), 0x1234);
}

TEST_F(Memory, WrongLayoutVersionAutoConfigures) {
  auto dev = tkx::virt::Plug(61, false);
  dev->SetMemory(100, {0x01, 0x11});
  dev->SetMemory(105, {0x55, 0x55});
  tkx::virt::Rescan();
  TKX slot;
  ASSERT_EQ(slot.Open(0), 0);
  EXPECT_EQ(dev->Memory(100, 2), (std::vector<unsigned char>{0x01, 0x10}));
  EXPECT_EQ(slot.GetSerialNumber(), 0);
  slot.Close();
}

TEST_F(Memory, CalibratedDeviceKeepsItsIdentity) {
  std::shared_ptr<Device> dev;
  TKX &slot = Bound(61, false, &dev);
  const std::vector<unsigned char> serial = dev->Memory(105, 2);
  EXPECT_EQ(slot.GetSerialNumber(), (serial[0] << 8) | serial[1]);
  EXPECT_NE(slot.GetSerialNumber(), 0);
  EXPECT_EQ(slot.GetTKCVersion(), dev->Memory(102, 1)[0]);
  EXPECT_EQ(slot.GetSystemType(), 61);
  EXPECT_STREQ(slot.GetSystemName(), "trion.6");
}

// ---- core parameters ------------------------------------------------------------------------

TEST_F(Memory, CoreParametersAreWordsAtTwiceTheirNumber) {
  std::shared_ptr<Device> dev;
  TKX &slot = Bound(61, false, &dev);
  dev->SetMemory(0, {0x77, 0x24});
  EXPECT_EQ(slot.GetParam(0), 30500.0);
  EXPECT_EQ(slot.SetParam(2, 21500.9), 0);
  EXPECT_EQ(dev->Memory(4, 2), (std::vector<unsigned char>{0x53, 0xFC}));
  EXPECT_EQ(slot.SetParam(13, 65535.0), 0);
  EXPECT_EQ(slot.GetParam(13), 65535.0);
  EXPECT_STREQ(slot.GetParamName(14), "TKX_EEPROM_INTERNAL_ENCOFFSET7");
  EXPECT_STREQ(slot.GetParamName(1), "undefined");
  EXPECT_STREQ(slot.GetParamName(50), "undefined");
  EXPECT_STREQ(slot.GetParamName(-3), "undefined");
  EXPECT_EQ(slot.GetUpperParam(6), 33768.0);
  EXPECT_EQ(slot.GetLowerParam(0), 29500.0);
  EXPECT_EQ(slot.GetLowerParam(-1), -1000.0);
  EXPECT_EQ(slot.GetUpperParam(-1), 1000.0);
  EXPECT_EQ(slot.GetDefaultParam(4), 21500.0);
  EXPECT_EQ(slot.GetUpperParam(300), 0.0);
  // unassigned numbers
  EXPECT_EQ(slot.GetParam(50), 0.0);
  EXPECT_EQ(slot.SetParam(50, 1.0), -1);
  EXPECT_EQ(slot.SetParam(-1, 1.0), -1);
}

TEST_F(Memory, CoreParametersWithoutDevice) {
  TKX slot;
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(slot.GetParam(0), 0.0);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(slot.SetParam(0, 5.0), 0);  // the write fails, the result does not say so
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  unsigned char b[2];
  EXPECT_EQ(slot.GetMemAddr(0, b, 2), -1);
  EXPECT_EQ(slot.GetMemoryModel(), -1);
  EXPECT_EQ(slot.ReadConfig(), -1);
  EXPECT_EQ(slot.WriteConfig(), -1);
  EXPECT_EQ(slot.WriteHeader(), -1);
  EXPECT_EQ(slot.EraseFirmware(), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
}

// ---- the header and the memory model ------------------------------------------------------------

TEST_F(Memory, HeaderWritesTheIdentity) {
  std::shared_ptr<Device> dev;
  TKX &slot = Bound(61, false, &dev);
  slot.SetTKCVersion(4);
  slot.SetTKXVersion(5);
  slot.SetTKWVersion(6);
  slot.SetSerialNumber(0xBEEF);
  EXPECT_EQ(dev->Memory(105, 2) == std::vector<unsigned char>({0xBE, 0xEF}), false);  // not yet stored
  ASSERT_EQ(slot.WriteHeader(), 0);
  EXPECT_EQ(dev->Memory(100, 7), (std::vector<unsigned char>{0x01, 0x10, 4, 5, 6, 0xBE, 0xEF}));
  // the small layout has no header
  ASSERT_EQ(slot.SetMemoryModel(2), 0);
  EXPECT_EQ(slot.GetEEPROMVersion(), 0xFFFF);
  dev->SetMemory(100, {0, 0});
  ASSERT_EQ(slot.WriteHeader(), 0);
  EXPECT_EQ(dev->Memory(100, 2), (std::vector<unsigned char>{0, 0}));
}

TEST_F(Memory, MemoryModelSwitch) {
  TKX &slot = Bound(61);
  EXPECT_EQ(slot.GetMemoryModel(), 3);
  *tkxErrnoLocation() = 21;
  EXPECT_EQ(slot.SetMemoryModel(5), -1);
  EXPECT_EQ(*tkxErrnoLocation(), 21);
  EXPECT_EQ(slot.GetMemoryModel(), 5);  // passed on all the same
  EXPECT_EQ(slot.ReadConfig(), -2);     // no parameter storage in that model
  EXPECT_EQ(slot.SetMemoryModel(3), 0);
  EXPECT_EQ(slot.ReadConfig(), 0);
}

TEST_F(Memory, TypedParametersInDeviceMemory) {
  std::shared_ptr<Device> dev;
  TKX &slot = Bound(61, false, &dev);
  ASSERT_EQ(slot.SetDoubleToMemory(5, 1.5), 0);
  EXPECT_EQ(dev->Memory(120, 4), (std::vector<unsigned char>{0x3F, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(slot.GetDoubleFromMemory(5), 1.5);
  ASSERT_EQ(slot.SetIntToMemory(130, -2), 0);
  EXPECT_EQ(slot.GetIntFromMemory(130), -2);
  ASSERT_EQ(slot.SetShortToMemory(131, -300), 0);
  EXPECT_EQ(slot.GetShortFromMemory(131), -300);
}

// ---- the polux types: stylus and pincher ----

TEST_F(Memory, PoluxTypesLoadTheirStylusAndPincher) {
  for (int code : {34, 35, 36, 37}) {
    SCOPED_TRACE(code);
    const tkx::SystemType &type = tkx::LookUpReported(code);
    std::shared_ptr<Device> dev;
    TKX &slot = Bound(code, false, &dev);
    // a calibrated device holds the factory calibration of the parts it has
    EXPECT_EQ(dev->Memory(tkx::mem::ParamAddress(300), 2), (std::vector<unsigned char>{0x04, 0xB0}));
    EXPECT_EQ(dev->Memory(tkx::mem::ParamAddress(401), 4), type.HasGripper()
                                                               ? (std::vector<unsigned char>{0x41, 0x64, 0xA3, 0xD7})
                                                               : (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF}));
    auto *stylus = dynamic_cast<tkxStylus *>(slot.GetRotator());
    ASSERT_NE(stylus, nullptr);
    EXPECT_EQ(stylus->GetAxisOffset(), type.stylusOffset);
    EXPECT_EQ(stylus->IsLeftHanded(), type.IsLeftHanded());
    EXPECT_EQ(slot.IsLeftHanded(), type.IsLeftHanded());
    auto *pincher = dynamic_cast<tkxPincher *>(slot.GetGripper());
    ASSERT_EQ(pincher != nullptr, type.HasGripper());
    EXPECT_TRUE(pincher == nullptr || pincher->IsLeftHanded() == type.IsLeftHanded());
    // the calibration read from the device is the factory calibration
    EXPECT_EQ(slot.GetParam(300), 1200);
    EXPECT_EQ(slot.GetParam(303), 32500);
    EXPECT_EQ(slot.GetParam(302), 0);
    EXPECT_STREQ(slot.GetParamName(302), "TKX_EEPROM_STYLUS_AXISOFFSET");
    EXPECT_EQ(slot.GetParam(400), pincher ? 4000 : 0);
    EXPECT_FLOAT_EQ(static_cast<float>(slot.GetParam(401)), pincher ? 14.29f : 0.0f);
    EXPECT_EQ(slot.GetParam(419), pincher ? 35000 : 0);
    EXPECT_STREQ(slot.GetParamName(421), pincher ? "TKX_EEPROM_PINCHER_DACOFFSET" : "undefined");
    // defaults and bounds answer for the parts present
    EXPECT_EQ(slot.GetDefaultParam(300), 1200);
    EXPECT_EQ(slot.GetLowerParam(300), tkxStylus::LowerParam(300));
    EXPECT_EQ(slot.GetUpperParam(308), tkxStylus::UpperParam(308));
    EXPECT_EQ(slot.GetDefaultParam(414), pincher ? tkxPincher::DefaultParam(414) : 0.0);
    EXPECT_EQ(slot.GetLowerParam(401), pincher ? tkxPincher::LowerParam(401) : 0.0);
    EXPECT_EQ(slot.GetUpperParam(401), pincher ? tkxPincher::UpperParam(401) : 0.0);
    // the effector carries the stylus and the gripper
    const double trionGripper = tkxTrion::DefaultParam(142, type.type);
    EXPECT_NEAR(slot.GetEffectorMass(), trionGripper + stylus->GetMass() + (pincher ? 0.1 : 0.0), 1e-6);
    slots.clear();
    tkx::virt::UnplugAll();
  }
  // a trion.3 has neither
  TKX &slot = Bound(63);
  EXPECT_EQ(slot.GetDefaultParam(300), 0);
  EXPECT_EQ(slot.GetUpperParam(401), 0);
}

TEST_F(Memory, BlankPoluxIsGivenTheStylusAndPincherCalibration) {
  std::shared_ptr<Device> dev;
  {
    TKX &slot = Bound(37, true, &dev);
    // the factory calibration is written where each parameter lives
    EXPECT_EQ(dev->Memory(tkx::mem::ParamAddress(300), 2), (std::vector<unsigned char>{0x04, 0xB0}));
    EXPECT_EQ(dev->Memory(tkx::mem::ParamAddress(400), 2), (std::vector<unsigned char>{0x0F, 0xA0}));
    EXPECT_EQ(dev->Memory(tkx::mem::ParamAddress(419), 4), (std::vector<unsigned char>{0x00, 0x00, 0x88, 0xB8}));
    EXPECT_EQ(dev->Memory(tkx::mem::ParamAddress(420), 4), (std::vector<unsigned char>{0x3F, 0x80, 0x00, 0x00}));
    // changed and saved
    ASSERT_EQ(slot.SetParam(301, 0.05), 0);
    ASSERT_EQ(slot.SetParam(412, 0.06), 0);
    ASSERT_EQ(slot.SetParam(302, 1.0), -1);
    ASSERT_EQ(slot.WriteConfig(), 0);
    slots.clear();
  }
  // a fresh slot on the same device reads them back
  slots.push_back(std::make_unique<TKX>());
  TKX &again = *slots.back();
  ASSERT_EQ(again.Open(0), 0);
  EXPECT_FLOAT_EQ(static_cast<float>(again.GetParam(301)), 0.05f);
  EXPECT_FLOAT_EQ(static_cast<float>(again.GetParam(412)), 0.06f);
  EXPECT_EQ(again.GetParam(400), 4000);
  EXPECT_TRUE(again.IsLeftHanded());
}

TEST_F(Memory, PoluxConfigurationFileCarriesStylusAndPincherSections) {
  const std::string path = ::testing::TempDir() + "polux_config.txt";
  TKX &slot = Bound(35);
  ASSERT_EQ(slot.SetParam(300, 1000), 0);
  ASSERT_EQ(slot.SetParam(417, 0.003), 0);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  std::string text;
  {
    std::ifstream in(path);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const size_t trion = text.find("[trion]"), stylus = text.find("[stylus]"), pincher = text.find("[pincher]");
  ASSERT_NE(pincher, std::string::npos) << text;
  EXPECT_LT(trion, stylus);
  EXPECT_LT(stylus, pincher);
  ASSERT_EQ(slot.SetParam(300, 1200), 0);
  ASSERT_EQ(slot.SetParam(417, 0.0), 0);
  ASSERT_EQ(slot.ReadConfigFromFile(path.c_str()), 0);
  EXPECT_EQ(slot.GetParam(300), 1000);
  EXPECT_EQ(slot.GetParam(417), 0.003);
  std::remove(path.c_str());
}

TEST_F(Memory, FirmwareForwards) {
  std::shared_ptr<Device> dev;
  TKX &slot = Bound(61, false, &dev);
  const std::string path = ::testing::TempDir() + "tkx_memory_fw.bin";
  {
    std::ofstream f(path, std::ios::binary);
    for (int i = 0; i < 40; ++i) f.put(static_cast<char>(i + 1));
  }
  int progress = 0;
  ASSERT_EQ(slot.WriteFirmware(path.c_str(), &progress), 0);
  EXPECT_EQ(progress, 40);
  EXPECT_EQ(dev->Firmware(0, 3), (std::vector<unsigned char>{1, 2, 3}));
  EXPECT_EQ(dev->Firmware(39, 1), (std::vector<unsigned char>{40}));
  ASSERT_EQ(slot.ReadFirmware(path.c_str(), &progress), 0);
  EXPECT_EQ(progress, 8192);
  ASSERT_EQ(slot.EraseFirmware(), 0);
  EXPECT_EQ(dev->Firmware(0, 16), std::vector<unsigned char>(16, 0));
  std::remove(path.c_str());
  unsigned char mode = 9;
  EXPECT_EQ(slot.SetOperatingMode(1), 0);
  EXPECT_EQ(slot.GetOperatingMode(&mode), 0);
  EXPECT_EQ(mode, dev->OperatingMode());
}

// ---- the open and close cycle -------------------------------------------------------------------------

// many cycles through the C entries: nothing leaks (the sanitizer build watches),
// and every resource is given back each time
TEST_F(Memory, ManyOpenCloseCycles) {
  tkx::virt::Plug(61);
  tkx::virt::Rescan();
  ASSERT_EQ(tkxGetDeviceCount(), 1);
  const int base = tkxCom::GetOpenCount();
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(tkxOpenID(0), 0) << "cycle " << i;
    ASSERT_EQ(tkxClose(0), 0);
  }
  EXPECT_EQ(tkxCom::GetOpenCount(), base);
  EXPECT_EQ(tkxGetSystemType(0), 61);
}

// ---- failed opens ----------------------------------------------------------------------------------

// the library's own channel and trion model, with faults the test arms
class Faults : public tkxDeviceFactory {
 public:
  // what Drop names instead of a memory address
  static constexpr int kSystemType = -1;

  // the channel to a device on the virtual bus; once open, the device drops its
  // reply to the read the test named
  class Channel : public tkxComUSB {
   public:
    explicit Channel(Faults &f) : f_(f) {}
    int Open(int index) override {
      const int r = tkxComUSB::Open(index);
      opened_ = r >= 0;
      return r;
    }
    int GetSysType() override {
      Before(kSystemType);
      return tkxComUSB::GetSysType();
    }
    int GetMemAddr(unsigned short addr, unsigned char *dst, unsigned char len) override {
      Before(addr);
      return tkxComUSB::GetMemAddr(addr, dst, len);
    }

   private:
    void Before(int read) {
      if (!opened_ || read != f_.dropRead) return;
      if (f_.dropSkip-- > 0) return;
      f_.dropRead = kNone;
      tkx::virt::Devices()[GetID()]->DropReplies(1);
    }
    Faults &f_;
    bool opened_ = false;
  };

  // a trion whose factory defaults cannot be set up while failConfig is set
  class Trion : public tkxTrion {
   public:
    explicit Trion(const Faults &f) : f_(f) {}
    int SetConfig(int type) override { return f_.failConfig ? -1 : tkxTrion::SetConfig(type); }

   private:
    const Faults &f_;
  };

  // the reply to the read of this address (or the system type) is dropped, after
  // skip such reads that succeed
  void Drop(int read, int skip) {
    dropRead = read;
    dropSkip = skip;
  }

  std::unique_ptr<tkxCom> NewUSB() override { return std::make_unique<Channel>(*this); }
  std::unique_ptr<tkxTranslator> NewTranslator(tkxTranslatorKind kind) override {
    if (kind != TKX_TRANSLATOR_TRION) return nullptr;
    return std::make_unique<Trion>(*this);
  }

  bool failConfig = false;

 private:
  static constexpr int kNone = -2;
  int dropRead = kNone;
  int dropSkip = 0;
};

class OpenFailure : public bustest::VirtualBusTest {
 protected:
  void SetUp() override {
    VirtualBusTest::SetUp();
    TKX::SetFactory(&faults);
  }
  void TearDown() override {
    for (signed char id = 0; id < 4; ++id) tkxClose(id);
    TKX::SetFactory(nullptr);
    VirtualBusTest::TearDown();
    tkxGetDeviceCount();
    tkxSetDevice(0);
  }

  static int Error() { return *tkxErrnoLocation(); }

  // tkxOpenID(index), or tkxOpen for a negative index, with what it printed
  static int OpenQuietly(signed char index, std::string *printed = nullptr) {
    ::testing::internal::CaptureStdout();
    const int r = index < 0 ? tkxOpen() : tkxOpenID(index);
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (printed) *printed = out;
    return r;
  }

  Faults faults;
};

// the slot is left as if never opened: the device is free, calls answer "no
// device", and the next open tries again for real
TEST_F(OpenFailure, FailedAutoConfigurationLeavesTheSlotUnbound) {
  auto dev = Plug(63, true);
  ASSERT_EQ(tkxGetDeviceCount(), 1);
  faults.failConfig = true;
  for (signed char index : {0, -1}) {
    SCOPED_TRACE(index < 0 ? "tkxOpen" : "tkxOpenID");
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(OpenQuietly(index), -1);
    EXPECT_EQ(Error(), TKX_ERR_AUTOCONFIG);
    EXPECT_EQ(TKX::AllocationState(0), 0);
    double x = 7, y = 7, z = 7;
    EXPECT_EQ(tkxGetPosition(&x, &y, &z, 0), -1);
    EXPECT_EQ(Error(), TKX_ERR_NO_DEVICE);
    // tried again, and refused again
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(OpenQuietly(index), -1);
    EXPECT_EQ(Error(), TKX_ERR_AUTOCONFIG);
  }
  // nothing was written to the blank memory
  EXPECT_EQ(dev->Memory(100, 7), std::vector<unsigned char>(7, 0xFF));
  // once the defaults can be set up the same slot opens and works
  faults.failConfig = false;
  ASSERT_EQ(tkxOpenID(0), 0);
  double x, y, z;
  EXPECT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  EXPECT_EQ(dev->Memory(100, 2), (std::vector<unsigned char>{0x01, 0x10}));
}

// a read that fails while the open loads the identity or the calibration header
// fails the open with the channel's code; the device's memory is left as it is,
// and the next open loads the calibration the device holds
TEST_F(OpenFailure, FailedReadAtOpenKeepsTheDevicesCalibration) {
  auto dev = Plug(61);
  ASSERT_EQ(tkxGetDeviceCount(), 1);
  const std::vector<unsigned char> image = dev->Memory(0, tkx::virt::kMemorySize);
  const struct {
    const char *what;
    int read, skip;
  } cases[] = {
      {"system type", Faults::kSystemType, 0},
      {"system type for the memory", Faults::kSystemType, 1},
      {"header", 100, 0},
      {"first version", 102, 0},
      {"last version", 104, 0},
      {"serial number", 105, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    faults.Drop(c.read, c.skip);
    *tkxErrnoLocation() = 0;
    std::string printed;
    EXPECT_EQ(OpenQuietly(0, &printed), -1);
    EXPECT_EQ(Error(), TKX_ERR_COMMUNICATION);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(TKX::AllocationState(0), 0);
    EXPECT_EQ(dev->Memory(0, tkx::virt::kMemorySize), image);
    ASSERT_EQ(tkxOpenID(0), 0);
    uint16_t serial = 0;
    EXPECT_EQ(tkxGetSerialNumber(&serial, 0), 0);
    EXPECT_EQ(serial, 1000 + dev->Number());
    EXPECT_EQ(tkxGetSystemType(0), 61);
    tkxClose(0);
  }
  EXPECT_EQ(dev->Memory(0, tkx::virt::kMemorySize), image);
}

}  // namespace
