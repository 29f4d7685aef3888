// The bare controllers' calibration layer: the correction of each channel, the
// commands it hands on, its parameters, and a virtual controller driven through
// the slot and the C entries.
#include "tkx/tkxController.h"

#include "FakeDevice.h"
#include "support/VirtualBusTest.h"

#include "tkx/tkx.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

// the bus a fake channel reports to must outlive the channel, whose destructor
// still writes to it: as a base before the channel it is made first and ends last
struct OwnBus {
  fake::Bus ownBus;
};

// remembers what reached the channel
class RecordingCom : private OwnBus, public fake::Com {
 public:
  RecordingCom() : fake::Com(ownBus, false) {}
  int SetMot(int channel, short value) override {
    calls.push_back({channel, value});
    return 7;
  }
  int SetMot(short *values, unsigned char mask) override {
    for (int i = 0; i < 8; ++i) array[i] = values[i];
    arrayMask = mask;
    return 8;
  }
  int SetTransMot(short m0, short m1, short m2) override {
    trans[0] = m0, trans[1] = m1, trans[2] = m2;
    return 9;
  }
  int SetRotMot(short m3, short m4, short m5) override {
    rot[0] = m3, rot[1] = m4, rot[2] = m5;
    return 10;
  }
  struct Call {
    int channel;
    short value;
  };
  std::vector<Call> calls;
  short array[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  unsigned char arrayMask = 0;
  short trans[3] = {0, 0, 0}, rot[3] = {0, 0, 0};
};

class Controller : public ::testing::Test {
 protected:
  void SetUp() override {
    tkx::SetError(0);
    ASSERT_EQ(k.SetConfig(TKX_SYSTEM_CONTROLLER), 0);
  }
  tkxController k;
  RecordingCom com;
};

TEST_F(Controller, SlopeAndOffsetCorrectEachChannel) {
  ASSERT_EQ(k.SetParam(502, 2.0), 0);
  ASSERT_EQ(k.SetParam(510, 10), 0);
  EXPECT_EQ(k.SetTransMot(2148, 2048, 2048, &com), 9);
  EXPECT_EQ(com.trans[0], 2048 + 210);
  EXPECT_EQ(com.trans[1], 2048);
  EXPECT_EQ(com.trans[2], 2048);
  // channels 3 to 5 have their own calibration
  ASSERT_EQ(k.SetParam(506, 0.5), 0);
  EXPECT_EQ(k.SetRotMot(2048, 2148, 2047, &com), 10);
  EXPECT_EQ(com.rot[0], 2048);
  EXPECT_EQ(com.rot[1], 2098);
  EXPECT_EQ(com.rot[2], 2047);
}

TEST_F(Controller, CommandsBeyondTheRangeStopAtItsEnds) {
  EXPECT_EQ(k.Correct(0, 32767), 4095);
  EXPECT_EQ(k.Correct(0, -32768), 1);
  ASSERT_EQ(k.SetParam(503, 1e300), 0);
  EXPECT_EQ(k.Correct(1, 2049), 4095);
  // a slope that is no number leaves the motor at its zero
  ASSERT_EQ(k.SetParam(504, NAN), 0);
  EXPECT_EQ(k.Correct(2, 3000), 2048);
}

TEST_F(Controller, MaskedCommandsCorrectOnlyTheirChannels) {
  ASSERT_EQ(k.SetParam(510, 5), 0);
  short values[8] = {2100, 3000, 3000, 3000, 3000, 3000, 3000, 3000};
  EXPECT_EQ(k.SetMot(values, 0x01, &com), 8);
  EXPECT_EQ(com.arrayMask, 0x01);
  EXPECT_EQ(com.array[0], 2105);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(com.array[i], 0) << i;
}

TEST_F(Controller, ChannelOutsideTheEightIsRefusedBeforeSending) {
  ASSERT_EQ(k.SetParam(517, 3), 0);
  EXPECT_EQ(k.SetMot(7, 2048, &com), 7);
  ASSERT_EQ(com.calls.size(), 1u);
  EXPECT_EQ(com.calls[0].value, 2051);
  for (int channel : {-1, 8, 300}) {
    tkx::SetError(0);
    EXPECT_EQ(k.SetMot(channel, 2048, &com), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_INDEX_RANGE);
  }
  EXPECT_EQ(com.calls.size(), 1u);
}

TEST_F(Controller, ParametersNamesAndTruncation) {
  EXPECT_STREQ(tkxController::GetParamName(500), "TKX_EEPROM_CONTROLLER_MOTORVALMAX");
  EXPECT_STREQ(tkxController::GetParamName(509), "TKX_EEPROM_CONTROLLER_DACSLOPE7");
  EXPECT_STREQ(tkxController::GetParamName(517), "TKX_EEPROM_CONTROLLER_DACOFFSET7");
  EXPECT_STREQ(tkxController::GetParamName(518), "undefined");
  EXPECT_EQ(k.SetParam(499, 1), -1);
  EXPECT_EQ(k.SetParam(518, 1), -1);
  ASSERT_EQ(k.SetParam(511, 12.9), 0);
  EXPECT_EQ(k.GetParam(511), 12.0);
  ASSERT_EQ(k.SetParam(505, 1.25), 0);
  EXPECT_EQ(k.GetParam(505), 1.25);
  EXPECT_EQ(k.GetParam(500), 2047);
  EXPECT_EQ(k.GetParam(501), 2048);
}

TEST_F(Controller, FileSectionRoundTrip) {
  ASSERT_EQ(k.SetParam(507, 1.5), 0);
  ASSERT_EQ(k.SetParam(515, -20), 0);
  const std::string path = ::testing::TempDir() + "controller.cfg";
  {
    std::ofstream out(path);
    ASSERT_EQ(k.ConfigToFile(out), 0);
  }
  tkxController other;
  other.SetConfig(TKX_SYSTEM_CONTROLLER);
  std::ifstream in(path);
  ASSERT_EQ(other.ConfigFromFile(in), 0);
  EXPECT_EQ(other.GetParam(507), 1.5);
  EXPECT_EQ(other.GetParam(515), -20);
  std::remove(path.c_str());
}

// ---- a virtual controller ----

class VirtualController : public bustest::VirtualBusTest {};

TEST_F(VirtualController, SlotBuildsItAndMemoryKeepsItsCalibration) {
  auto dev = Plug(TKX_SYSTEM_CONTROLLER, true);
  TKX slot;
  ASSERT_EQ(slot.Open(0), 0);
  ASSERT_NE(slot.GetController(), nullptr);
  EXPECT_EQ(slot.GetParam(501), 2048.0);
  EXPECT_STREQ(slot.GetParamName(502), "TKX_EEPROM_CONTROLLER_DACSLOPE0");
  ASSERT_EQ(slot.SetParam(502, 2.0), 0);
  ASSERT_EQ(slot.SetParam(510, 10.0), 0);
  ASSERT_GE(slot.GetController()->SetTransMot(2148, 2048, 2048, slot.GetCom()), 0);
  EXPECT_EQ(dev->Motor(0), 2258);
  ASSERT_EQ(slot.WriteConfig(), 0);
  // declaring the mechanism behind it keeps the controller
  ASSERT_EQ(slot.ControllerSetDevice(TKX_SYSTEM_TRION3_USB), 0);
  ASSERT_NE(slot.GetController(), nullptr);
  EXPECT_NE(slot.GetTranslator(), nullptr);
  slot.Close();
  EXPECT_EQ(slot.GetController(), nullptr);

  // the values written come back at the next open
  TKX again;
  ASSERT_EQ(again.Open(0), 0);
  EXPECT_EQ(again.GetParam(510), 10.0);
}

TEST_F(VirtualController, CEntriesGoThroughIt) {
  auto dev = Plug(TKX_SYSTEM_CONTROLLER_HR, true);
  ASSERT_EQ(tkxGetDeviceCount(), 1);
  ASSERT_EQ(tkxOpenID(0), 0);
  ASSERT_EQ(tkxEnableExpertMode(), 0);
  EXPECT_GE(tkxSetTrionMotor(30000, 2048, -30000, 0), 0);
  EXPECT_EQ(dev->Motor(0), 4095);
  EXPECT_EQ(dev->Motor(2), 1);
  EXPECT_GE(tkxSetMotor(5, 2100, 0), 0);
  EXPECT_EQ(dev->Motor(5), 2100);
  tkx::SetError(0);
  EXPECT_EQ(tkxSetMotor(8, 2100, 0), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_INDEX_RANGE);
  tkxClose(0);
}

}  // namespace
