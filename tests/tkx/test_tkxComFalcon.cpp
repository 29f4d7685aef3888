// The Falcon's channel against a virtual Falcon behind its virtual converter:
// the frame codec, the upload and its faults, homing, the shared exchange of
// reads within a millisecond, presets and the pending bytes of a slipped stream.
#include "tkx/tkxComFalcon.h"

#include "support/VirtualBusTest.h"

#include "tkx/tkxErrno.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

namespace virt = tkx::virt;

void NoPause(double) {}

class ComFalcon : public bustest::VirtualBusTest {
 protected:
  void SetUp() override {
    VirtualBusTest::SetUp();
    tkx::testing::SetControlPause(&NoPause);
    virt::testing::SetRate(0);
    unsetenv("TKX_FALCON_FIRMWARE");
    tkx::SetError(0);
    falcon = virt::PlugFalcon();
    virt::Rescan();
    com = std::make_unique<tkxComFalcon>();
  }
  void TearDown() override {
    com.reset();
    tkx::testing::SetControlPause(nullptr);
    VirtualBusTest::TearDown();
  }
  // past the millisecond in which reads share an exchange
  static void NextMillisecond() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }
  // the arm encoders the library reads now
  std::array<int, 3> Read() {
    NextMillisecond();
    int e[3] = {0, 0, 0};
    EXPECT_EQ(com->GetTransEnc(&e[0], &e[1], &e[2], nullptr), 0);
    return {e[0], e[1], e[2]};
  }
  void OpenHomed() {
    ASSERT_EQ(com->Open(0), 0);
    falcon->Home();
    Read();
    ASSERT_TRUE(com->Homed());
  }
  // the hand holds the effector at x (device frame) once the mechanism has settled
  void HoldAt(double x) {
    virt::HandPose pose;
    pose.target[0] = x;
    falcon->SetHand(pose);
    falcon->Advance(2.0);
  }

  std::shared_ptr<virt::Falcon> falcon;
  std::unique_ptr<tkxComFalcon> com;
};

std::string Text(const unsigned char *b, int n) { return std::string(reinterpret_cast<const char *>(b), n); }

TEST(FalconFrame, MotorsGoOutAsLetterGroupsOnlyOnceHomed) {
  const short motors[3] = {0x1234, 0, -1};
  unsigned char f[16];
  tkxComFalcon::EncodeFrame(f, motors, true, 4);
  EXPECT_EQ(Text(f, 16), std::string("<EDCB") + "PPPP" + "AAAA" + "EA>");
  tkxComFalcon::EncodeFrame(f, motors, false, 8 | 1);
  EXPECT_EQ(Text(f, 16), "<" + std::string(12, 'A') + "JA>");
}

TEST(FalconFrame, ReceivedFrameGivesEncodersHomingAndButtons) {
  // encoders 0, 2, 1 = 0x0123, -2, 7; flags 0x75: homed, buttons 0101
  const std::string s = std::string("<DCBA") + "OPPP" + "HAAA";
  unsigned char f[16];
  for (int i = 0; i < 13; ++i) f[i] = static_cast<unsigned char>(s[i]);
  f[13] = static_cast<unsigned char>('A' + 0x75);
  f[14] = 'A';
  f[15] = '>';
  int enc[3];
  unsigned char flags = 0;
  ASSERT_TRUE(tkxComFalcon::DecodeFrame(f, enc, &flags));
  EXPECT_EQ(enc[0], 0x0123);
  EXPECT_EQ(enc[1], 7);
  EXPECT_EQ(enc[2], -2);
  EXPECT_EQ(flags, 0x75);
  EXPECT_EQ(tkxComFalcon::MapButtons(flags), 3);
  EXPECT_EQ(tkxComFalcon::MapButtons(0x01), 2);
  EXPECT_EQ(tkxComFalcon::MapButtons(0x02), 4);
  EXPECT_EQ(tkxComFalcon::MapButtons(0x04), 1);
  EXPECT_EQ(tkxComFalcon::MapButtons(0x08), 8);
  EXPECT_EQ(tkxComFalcon::MapButtons(0x0F), 0);
  f[15] = 'A';
  EXPECT_FALSE(tkxComFalcon::DecodeFrame(f, enc, &flags));
}

TEST(FalconFrame, PlaceholderImageHasTheDeviceSize) { EXPECT_EQ(tkxComFalcon::PlaceholderFirmware().size(), 8492u); }

TEST_F(ComFalcon, OpenUploadsTheImageAndWaitsForHoming) {
  EXPECT_EQ(tkxComFalcon::GetDeviceCount(), 1);
  ASSERT_EQ(com->Open(0), 0);
  EXPECT_EQ(falcon->Uploads(), 1);
  EXPECT_EQ(falcon->GetStage(), virt::Falcon::Stage::Running);
  EXPECT_EQ(com->GetSysType(), 60);
  HoldAt(0.01);
  // not homed: zero encoders, no force, the not-homed light
  EXPECT_EQ(Read(), (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(com->SetTransMot(500, 600, 700), 0);
  EXPECT_EQ(falcon->Motor(0), 0);
  EXPECT_EQ(falcon->Control() & 8, 8);
  unsigned char status = 9;
  NextMillisecond();
  EXPECT_EQ(com->GetStatus(&status), 0);
  EXPECT_NE(status, tkxComFalcon::kHomed);

  // through the homing position: the device counts, the motors push
  HoldAt(0.04);
  HoldAt(0.01);
  EXPECT_TRUE(falcon->Homed());
  const auto e = Read();
  EXPECT_NE(e, (std::array<int, 3>{0, 0, 0}));
  NextMillisecond();
  EXPECT_EQ(com->GetStatus(&status), 0);
  EXPECT_EQ(status, tkxComFalcon::kHomed);
  EXPECT_EQ(com->SetTransMot(500, 600, 700), 0);
  EXPECT_EQ(falcon->Motor(0), 500);
  EXPECT_EQ(falcon->Motor(1), 600);
  EXPECT_EQ(falcon->Motor(2), 700);
  EXPECT_EQ(falcon->Control(), tkxComFalcon::kLedHomed);
}

TEST_F(ComFalcon, ChannelAboveTwoIsRefusedWithoutExchange) {
  OpenHomed();
  ASSERT_EQ(com->SetMot(1, 300), 0);
  const uint64_t frames = falcon->Frames();
  tkx::SetError(0);
  EXPECT_EQ(com->SetMot(3, 1000), -1);
  EXPECT_EQ(tkx::LastError(), 0);
  EXPECT_EQ(falcon->Frames(), frames);
  EXPECT_EQ(falcon->Motor(1), 300);
  short values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(com->SetMot(values, 0x05), 0);
  EXPECT_EQ(falcon->Motor(0), 1);
  EXPECT_EQ(falcon->Motor(1), 300);
  EXPECT_EQ(falcon->Motor(2), 3);
}

TEST_F(ComFalcon, ReadsWithinAMillisecondShareOneExchange) {
  OpenHomed();
  NextMillisecond();
  const uint64_t frames = falcon->Frames();
  int e[3];
  EXPECT_EQ(com->GetEnc(e, 0x07, nullptr), 0);
  EXPECT_EQ(com->GetEnc(e, 0x07, nullptr), 1);
  EXPECT_EQ(falcon->Frames(), frames + 1);
}

TEST_F(ComFalcon, PresetTwiceCountsFromTheDevice) {
  OpenHomed();
  HoldAt(-0.02);
  int zero[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(com->Preset(zero, 0x07), 0);
  EXPECT_EQ(Read(), (std::array<int, 3>{0, 0, 0}));
  HoldAt(0.02);
  const auto moved = Read();
  EXPECT_NE(moved, (std::array<int, 3>{0, 0, 0}));
  // a second preset from where the arms are now
  ASSERT_EQ(com->Preset(zero, 0x07), 0);
  EXPECT_EQ(Read(), (std::array<int, 3>{0, 0, 0}));
  int to[8] = {100, 200, 300, 0, 0, 0, 0, 0};
  ASSERT_EQ(com->Preset(to, 0x07), 0);
  EXPECT_EQ(Read(), (std::array<int, 3>{100, 200, 300}));
}

TEST_F(ComFalcon, SlippedStreamOverfillsNoBufferAndFindsTheLastFrame) {
  OpenHomed();
  // a stray byte, then frames carrying encoders 0x0123, 7, -2: the first read
  // leaves 13 bytes pending and the next brings 62 more
  const std::string s = std::string("<DCBA") + "OPPP" + "HAAA";
  std::vector<unsigned char> frame(s.begin(), s.end());
  frame.push_back(static_cast<unsigned char>('A' + 0x70));
  frame.push_back('A');
  frame.push_back('>');
  std::vector<unsigned char> burst = {'x'};
  for (int i = 0; i < 12; ++i) burst.insert(burst.end(), frame.begin(), frame.end());
  falcon->Inject(burst);
  const uint64_t before = falcon->Frames();
  for (int i = 0; i < 3; ++i) {
    const auto e = Read();
    EXPECT_EQ(e, (std::array<int, 3>{0x0123, 7, -2})) << "read " << i;
  }
  EXPECT_EQ(falcon->Frames(), before + 3);
}

TEST_F(ComFalcon, ResetAndCloseSendTheirControlBits) {
  OpenHomed();
  com->Reset();
  EXPECT_EQ(falcon->Control() & 1, 1);
  com->Close();
  EXPECT_EQ(falcon->Control(), 0);
  EXPECT_FALSE(com->Ready());
  // the index is free again
  tkxComFalcon other;
  EXPECT_EQ(other.Open(0), 0);
}

// ---- the upload under faults ----

struct Fault {
  const char *name;
  void (virt::Falcon::*set)(int);
  int bytes;
  int code;
};

class UploadFault : public ComFalcon, public ::testing::WithParamInterface<Fault> {};

TEST_P(UploadFault, FailsItsStepAndTheSeventhAttemptFailsTheOpen) {
  const Fault f = GetParam();
  // on an open device, one upload fails with its step's code
  ASSERT_EQ(com->Open(0), 0);
  (falcon.get()->*f.set)(f.bytes);
  const auto &image = tkxComFalcon::PlaceholderFirmware();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(com->WriteFirmware(image.data(), static_cast<int>(image.size())), f.code);
  com->Close();

  // and seven of them fail the open, within the bound
  const int started = falcon->UploadsStarted();
  tkx::SetError(0);
  EXPECT_EQ(com->Open(0), -1);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(tkx::LastError(), TKX_ERR_COMMUNICATION);
  EXPECT_LT(seconds, 3.0);
  EXPECT_FALSE(com->Ready());
  if (f.set != &virt::Falcon::UnplugAfter) {
    EXPECT_EQ(falcon->UploadsStarted(), started + 7);
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, UploadFault,
                         ::testing::Values(Fault{"EchoStops", &virt::Falcon::StopEchoAfter, 100, -18},
                                           Fault{"ShortEcho", &virt::Falcon::LoseEcho, 10, -18},
                                           Fault{"Stall", &virt::Falcon::StallAfter, 500, -17},
                                           Fault{"Unplug", &virt::Falcon::UnplugAfter, 1000, -17}),
                         [](const ::testing::TestParamInfo<Fault> &i) { return std::string(i.param.name); });

TEST_F(ComFalcon, UnreadableFirmwareFileFailsTheOpenWithFileNotFound) {
  setenv("TKX_FALCON_FIRMWARE", "/nonexistent/falcon.bin", 1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(com->Open(0), -1);
  const std::string err = ::testing::internal::GetCapturedStderr();
  unsetenv("TKX_FALCON_FIRMWARE");
  EXPECT_EQ(tkx::LastError(), TKX_ERR_FILE_NOT_FOUND);
  EXPECT_NE(err.find("TKX_FALCON_FIRMWARE"), std::string::npos);
  EXPECT_EQ(falcon->UploadsStarted(), 0);
  // the index stays free
  EXPECT_EQ(com->Open(0), 0);
}

TEST_F(ComFalcon, UsersImageIsUploadedInstead) {
  const std::string path = ::testing::TempDir() + "falcon-image.bin";
  {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const auto &image = tkxComFalcon::PlaceholderFirmware();
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
  }
  setenv("TKX_FALCON_FIRMWARE", path.c_str(), 1);
  EXPECT_EQ(com->Open(0), 0);
  unsetenv("TKX_FALCON_FIRMWARE");
  EXPECT_EQ(falcon->Uploads(), 1);
  std::remove(path.c_str());
}

}  // namespace
