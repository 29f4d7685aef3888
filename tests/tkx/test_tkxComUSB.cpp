// The USB device protocol against virtual devices on the in-process bus:
// open sequence per device type, packets, decoding, the cache, and faults.
#include "support/VirtualBusTest.h"

#include "tkx/tkxComUSB.h"

#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

using tkx::virt::Device;

namespace {

double frozenTime = 100.0;
double FrozenClock() { return frozenTime; }

class ComUSB : public bustest::VirtualBusTest {
 protected:
  void TearDown() override {
    coms.clear();
    tkx::testing::SetRawClock(nullptr);
    VirtualBusTest::TearDown();
  }

  tkxComUSB &NewCom() {
    coms.push_back(std::make_unique<tkxComUSB>());
    return *coms.back();
  }

  // a device of this code, opened
  tkxComUSB &Opened(int code, std::shared_ptr<Device> *dev = nullptr) {
    auto d = Plug(code);
    if (dev) *dev = d;
    tkxComUSB &com = NewCom();
    EXPECT_EQ(com.Open(0), 0);
    return com;
  }

  std::vector<std::unique_ptr<tkxComUSB>> coms;
};

// ---- discovery and open -------------------------------------------------------------

TEST_F(ComUSB, DiscoveryCountsVirtualDevices) {
  Plug(61);
  Plug(35);
  EXPECT_EQ(tkxComUSB::GetDeviceCount(), 2);
  for (int i = 0; i < 4; ++i) Plug(31);
  EXPECT_EQ(tkxComUSB::GetDeviceCount(), 4);  // four at most
}

TEST_F(ComUSB, OpenSequencePerType) {
  struct Row {
    int code, stored, channels;
    bool status, wrist;
  } rows[] = {
      {3, 32, 3, false, false}, {4, 39, 8, true, false},  {31, 31, 3, false, false},  {33, 33, 3, false, false},
      {34, 34, 6, true, false}, {35, 35, 7, true, false}, {36, 36, 6, true, false},   {37, 37, 7, true, false},
      {61, 61, 6, true, true},  {62, 62, 6, true, true},  {63, 63, 6, true, false},   {64, 64, 6, true, true},
      {81, 81, 8, true, false}, {82, 82, 8, true, false}, {101, 101, 8, true, false}, {200, 91, 8, true, false}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.code);
    tkx::virt::UnplugAll();
    std::shared_ptr<Device> dev;
    tkxComUSB &com = Opened(r.code, &dev);
    ASSERT_TRUE(com.Ready());
    EXPECT_EQ(com.GetID(), 0);
    EXPECT_EQ(com.GetSysType(), r.stored);
    EXPECT_EQ(com.EncoderCount(), r.channels);
    EXPECT_EQ(com.HasStatus(), r.status);
    EXPECT_EQ(com.GetMemMod(), TKX_MEMORY_FULL);
    EXPECT_EQ(com.ResetPosition(0), 30500);
    EXPECT_EQ(com.ResetPosition(7), 32768);
    EXPECT_TRUE(dev->BrakesOn());
    // only the active wrists are calibrated at open, and only when they ask for it
    EXPECT_EQ(dev->WristCalibrations(), r.wrist ? 1 : 0);
    EXPECT_EQ(dev->Status() & 0x80, 0);
    coms.clear();
  }
}

TEST_F(ComUSB, CalibratedWristIsLeftAlone) {
  auto dev = Plug(61);
  dev->SetStatus(0x04);
  tkxComUSB &com = NewCom();
  ASSERT_EQ(com.Open(0), 0);
  EXPECT_EQ(dev->WristCalibrations(), 0);
}

TEST_F(ComUSB, IndexHeldByAnotherObjectIsRefused) {
  Plug(61);
  tkxComUSB &a = NewCom();
  tkxComUSB &b = NewCom();
  ASSERT_EQ(a.Open(0), 0);
  EXPECT_EQ(b.Open(0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  EXPECT_EQ(b.Open(1), -1);
  EXPECT_EQ(b.Open(-1), -1);
  // once released it can be taken
  a.Close();
  EXPECT_EQ(b.Open(0), 0);
}

TEST_F(ComUSB, ClosedObjectIsNotReady) {
  Plug(61);
  tkxComUSB &com = NewCom();
  int enc[8];
  EXPECT_EQ(com.GetAllEnc(enc, nullptr), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_READY);
  EXPECT_EQ(com.SetTransMot(0, 0, 0), -1);
  EXPECT_EQ(com.Close(), 0);
  ASSERT_EQ(com.Open(0), 0);
  EXPECT_EQ(com.Close(), 0);
  EXPECT_EQ(com.Reset(), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_READY);
  EXPECT_EQ(com.Open(0), 0);  // a closed object opens again
}

TEST_F(ComUSB, CloseAppliesTheBrakes) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  ASSERT_EQ(com.SetBrakesOff(), 0);
  EXPECT_FALSE(dev->BrakesOn());
  com.Close();
  EXPECT_TRUE(dev->BrakesOn());
}

// ---- packets ---------------------------------------------------------------------------

TEST_F(ComUSB, MotorPacketsOnTheWire) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  dev->RecordPackets(true);
  ASSERT_EQ(com.SetTransMot(256, -1, 0), 0);
  short values[8] = {0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0, 0};
  ASSERT_EQ(com.SetMot(values, 0x3F), 0);
  short again[8] = {0x1111, 0x2222, 0x3333, 0, 0, 0, 0, 0};
  ASSERT_EQ(com.SetMot(again, 0x05), 0);
  const auto packets = dev->Packets();
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(packets[0], (std::vector<unsigned char>{0x1E, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0x00}));
  ASSERT_EQ(packets[2].size(), 18u);
  // channels 0 and 2 are new; channel 1's bytes are what the previous command left
  EXPECT_EQ(packets[2][1], 0x05);
  EXPECT_EQ(packets[2][2], 0x11);
  EXPECT_EQ(packets[2][4], 0x03);
  EXPECT_EQ(packets[2][5], 0x04);
  EXPECT_EQ(packets[2][6], 0x33);
  EXPECT_EQ(dev->Motor(0), 0x1111);
  EXPECT_EQ(dev->Motor(1), 0x0304);
  EXPECT_EQ(dev->Motor(2), 0x3333);
}

TEST_F(ComUSB, WristMotorsOnlyOnActiveWrists) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(35, &dev);
  EXPECT_EQ(com.SetRotMot(1, 2, 3), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NOT_AVAILABLE);
  coms.clear();
  tkx::virt::UnplugAll();
  tkxComUSB &wrist = Opened(64, &dev);
  EXPECT_EQ(wrist.SetRotMot(1, -2, 3), 0);
  EXPECT_EQ(dev->Motor(3), 1);
  EXPECT_EQ(dev->Motor(4), -2);
}

// ---- decoding ---------------------------------------------------------------------------------

TEST_F(ComUSB, EncodersOfEachWidth) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  for (int c = 0; c < 8; ++c) dev->SetEncoder(c, 1000 * (c + 1));
  int enc[8] = {};
  ASSERT_EQ(com.GetAllEnc(enc, nullptr), 0);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(enc[c], 1000 * (c + 1));
  int e3 = 0, e4 = 0, e5 = 0;
  ASSERT_GE(com.GetRotEnc(&e3, &e4, &e5, nullptr), 0);
  EXPECT_EQ(e5, 6000);
  EXPECT_EQ(com.GetEnc(2, nullptr), 3000);
  coms.clear();
  tkx::virt::UnplugAll();

  tkxComUSB &wide = Opened(82, &dev);
  dev->SetEncoder(0, -1);
  dev->SetEncoder(7, -8388608);
  dev->SetEncoder(3, 8388607);
  ASSERT_EQ(wide.GetAllEnc(enc, nullptr), 0);
  EXPECT_EQ(enc[0], -1);
  EXPECT_EQ(enc[3], 8388607);
  EXPECT_EQ(enc[7], -8388608);
}

TEST_F(ComUSB, InvalidEncodersReadAsResetPositions) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(63, &dev);
  dev->SetEncoder(0, 1234);
  dev->SetStatus(0x00);
  int enc[8] = {};
  ASSERT_EQ(com.GetAllEnc(enc, nullptr), 0);
  EXPECT_EQ(enc[0], 30500);
  EXPECT_EQ(enc[1], 21500);
  dev->SetStatus(0x04);
  ASSERT_EQ(com.GetAllEnc(enc, nullptr), 0);
  EXPECT_EQ(enc[0], 1234);
}

TEST_F(ComUSB, MaskedEncoderRead) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(35, &dev);
  for (int c = 0; c < 8; ++c) dev->SetEncoder(c, c + 1);
  int enc[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  ASSERT_EQ(com.GetEnc(enc, 0xC1, nullptr), 0);
  EXPECT_EQ(enc[0], 1);
  EXPECT_EQ(enc[1], -1);
  EXPECT_EQ(enc[6], 7);
  EXPECT_EQ(enc[7], -1);  // beyond the seven channels
}

TEST_F(ComUSB, StatusButtonsAndIdentity) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  dev->SetButtons(0x05);
  unsigned char b = 0, s = 0;
  ASSERT_EQ(com.GetButtons(&b), 0);
  EXPECT_EQ(b, 0x05);
  ASSERT_GE(com.GetStatus(&s), 0);
  EXPECT_TRUE(s & 0x04);
  EXPECT_TRUE(s & 0x02);  // brakes on since open
  ASSERT_EQ(com.EnableFrc(1), 0);
  EXPECT_TRUE(dev->ForceEnabled());
  double version = 0;
  ASSERT_EQ(com.GetVersion(&version), 0);
  EXPECT_GT(version, 0.0);
  ASSERT_EQ(com.SetVelThresh(77), 0);
  unsigned char v = 0;
  ASSERT_EQ(com.GetVelThresh(&v), 0);
  EXPECT_EQ(v, 77);
  ASSERT_EQ(com.SetOperatingMode(2), 0);
  unsigned char mode = 0;
  com.GetOperatingMode(&mode);
  EXPECT_EQ(mode, dev->OperatingMode());
  ASSERT_EQ(com.EmulateButton(1), 0);
  EXPECT_TRUE(dev->ButtonEmulated());
  ASSERT_EQ(com.Reset(), 0);
  EXPECT_EQ(dev->Resets(), 1);
}

TEST_F(ComUSB, PresetSetsTheDevicesEncoders) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  int enc[8] = {11, 22, 33, 44, 55, 66, 77, 88};
  ASSERT_EQ(com.Preset(enc, 0x03), 0);
  EXPECT_EQ(dev->Encoder(0), 11);
  EXPECT_EQ(dev->Encoder(1), 22);
  EXPECT_NE(dev->Encoder(2), 33);
}

TEST_F(ComUSB, MemoryRoundTripAndLimits) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  unsigned char out[60], in[64];
  for (int i = 0; i < 60; ++i) out[i] = static_cast<unsigned char>(i * 3);
  ASSERT_EQ(com.SetMemAddr(2000, out, 60), 0);
  ASSERT_EQ(com.GetMemAddr(2000, in, 60), 0);
  EXPECT_EQ(0, std::memcmp(out, in, 60));
  EXPECT_EQ(dev->Memory(2000, 3), (std::vector<unsigned char>{0, 3, 6}));
  // one packet carries 60 bytes out and 64 back; more is refused without an exchange
  const uint64_t before = dev->Exchanges();
  unsigned char big[200] = {};
  EXPECT_EQ(com.SetMemAddr(0, big, 61), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_INDEX_RANGE);
  EXPECT_EQ(com.GetMemAddr(0, big, 65), -1);
  EXPECT_EQ(dev->Exchanges(), before);
  ASSERT_EQ(com.GetMemAddr(100, in, 64), 0);
  EXPECT_EQ(in[0], 0x01);
  EXPECT_EQ(in[1], 0x10);
  // firmware memory is separate
  ASSERT_EQ(com.SetFwAddr(16, out, 16), 0);
  ASSERT_EQ(com.GetFwAddr(16, in, 16), 0);
  EXPECT_EQ(0, std::memcmp(out, in, 16));
}

// ---- the cache -----------------------------------------------------------------------------------

TEST_F(ComUSB, ReadsInsideTheGuardShareOneExchange) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  tkx::testing::SetRawClock(&FrozenClock);
  frozenTime = 100.0;
  com.EnableTimeGuard(0.0005);
  const uint64_t before = dev->Exchanges();
  int enc[8];
  double t1 = -1, t2 = -1;
  ASSERT_EQ(com.GetAllEnc(enc, &t1), 0);
  frozenTime += 0.0002;
  ASSERT_EQ(com.GetAllEnc(enc, &t2), 1);
  EXPECT_EQ(t2, t1);
  int a, b, c;
  EXPECT_EQ(com.GetTransEnc(&a, &b, &c, nullptr), 1);
  unsigned char s = 0;
  EXPECT_EQ(com.GetStatus(&s), 1);  // the encoder reply brought the status too
  EXPECT_EQ(dev->Exchanges(), before + 1);
  frozenTime += 0.0004;
  ASSERT_EQ(com.GetAllEnc(enc, &t2), 0);
  EXPECT_GT(t2, t1);
  EXPECT_EQ(dev->Exchanges(), before + 2);
  // without the guard every read goes to the device
  com.DisableTimeGuard();
  ASSERT_EQ(com.GetAllEnc(enc, nullptr), 0);
  ASSERT_EQ(com.GetAllEnc(enc, nullptr), 0);
  EXPECT_EQ(dev->Exchanges(), before + 4);
}

TEST_F(ComUSB, ExchangeRateCountsMotorCommands) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  tkx::testing::SetRawClock(&FrozenClock);
  frozenTime = 200.0;
  com.GetFreq();
  for (int i = 0; i < 500; ++i) ASSERT_EQ(com.SetTransMot(0, 0, 0), 0);
  int enc[8];
  com.GetAllEnc(enc, nullptr);  // reads are not motor commands
  frozenTime += 0.5;
  EXPECT_DOUBLE_EQ(com.GetFreq(), 1.0);
}

// ---- faults ------------------------------------------------------------------------------------------

// under every fault: -1 with "communication error", the device stays open, nothing
// waits for the full time-out, and the next healthy exchange works
void ExpectRecovery(tkxComUSB &com, Device &dev, const char *what) {
  SCOPED_TRACE(what);
  int enc[8] = {};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(com.GetAllEnc(enc, nullptr), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_TRUE(com.Ready());
  dev.SetEncoder(0, 4242);
  EXPECT_EQ(com.GetAllEnc(enc, nullptr), 0);
  EXPECT_EQ(enc[0], 4242);
  EXPECT_EQ(com.SetTransMot(1, 2, 3), 0);
}

TEST_F(ComUSB, DroppedReply) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  dev->DropReplies(1);
  ExpectRecovery(com, *dev, "dropped");
}

TEST_F(ComUSB, ShortReply) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  dev->ShortenReplies(1, 5);
  ExpectRecovery(com, *dev, "short");
  // a short status or memory reply is refused as well
  dev->ShortenReplies(1, 1);
  unsigned char s;
  EXPECT_EQ(com.GetStatus(&s), -1);
  unsigned char mem[8];
  dev->ShortenReplies(1, 4);
  EXPECT_EQ(com.GetMemAddr(0, mem, 8), -1);
  EXPECT_EQ(com.GetMemAddr(0, mem, 8), 0);
}

TEST_F(ComUSB, CorruptedReply) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  dev->CorruptReplies(1);
  ExpectRecovery(com, *dev, "corrupted");
}

TEST_F(ComUSB, StalledEndpoint) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  dev->Stall();
  ExpectRecovery(com, *dev, "stalled");
}

TEST_F(ComUSB, UnpluggedDevice) {
  std::shared_ptr<Device> dev;
  tkxComUSB &com = Opened(61, &dev);
  dev->Unplug();
  int enc[8];
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(com.GetAllEnc(enc, nullptr), -1);
    EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);
    EXPECT_EQ(com.SetTransMot(0, 0, 0), -1);
  }
  EXPECT_EQ(com.Close(), 0);
}

TEST_F(ComUSB, FailedOpenGivesTheIndexBack) {
  auto dev = Plug(61);
  dev->Unplug();
  tkxComUSB &com = NewCom();
  EXPECT_EQ(com.Open(0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);
  EXPECT_FALSE(com.Ready());
  tkxComUSB &other = NewCom();
  EXPECT_EQ(other.Open(0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);  // tried, not refused as taken
}

}  // namespace
