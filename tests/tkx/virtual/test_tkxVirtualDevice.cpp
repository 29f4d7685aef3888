// The virtual device's firmware: replies byte for byte, status bits, memory and faults.
#include "tkx/virtual/tkxVirtualDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

using tkx::virt::Device;
using tkx::virt::Transfer;
using Bytes = std::vector<unsigned char>;

class VirtualDevice : public ::testing::Test {
 protected:
  static Transfer Send(Device &d, const Bytes &cmd, double now = 0.0) {
    return d.Write(cmd.data(), static_cast<int>(cmd.size()), now);
  }
  // the next reply, empty when the read fails
  static Bytes Reply(Device &d, int room = 64) {
    unsigned char buf[64] = {};
    int n = -1;
    if (d.Read(buf, room, &n, 0.0) != Transfer::Ok) return {};
    return Bytes(buf, buf + n);
  }
  static Bytes Exchange(Device &d, const Bytes &cmd, double now = 0.0) {
    EXPECT_EQ(Send(d, cmd, now), Transfer::Ok);
    return Reply(d);
  }
  static Bytes Head(const Bytes &b, size_t n) { return Bytes(b.begin(), b.begin() + std::min(n, b.size())); }
  static Transfer ReadResult(Device &d) {
    unsigned char buf[64];
    int n;
    return d.Read(buf, 64, &n, 0.0);
  }
};

// ---- power-on state ----

TEST_F(VirtualDevice, MemoryImagesAtPowerOn) {
  Device a(61, false), b(61, false), blank(63, true);
  EXPECT_EQ(a.Memory(0, 16), (Bytes{0x77, 0x24, 0x53, 0xFC, 0x53, 0xFC, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0}));
  const Bytes h = a.Memory(100, 7);
  EXPECT_EQ(Head(h, 2), (Bytes{0x01, 0x10}));
  EXPECT_TRUE(h[2] != 0 && h[3] != 0 && h[4] != 0);
  EXPECT_EQ(h[5] << 8 | h[6], 1000 + a.Number());
  EXPECT_NE(a.Memory(105, 2), b.Memory(105, 2));
  EXPECT_EQ(blank.Memory(0, 9000), Bytes(8192, 0xFF));
  const Bytes fw = blank.Firmware(0, 8192);
  EXPECT_LT(std::count(fw.begin(), fw.end(), 0xFF), 8192);
}

TEST_F(VirtualDevice, StatusAtPowerOn) {
  for (int code : {61, 62, 64}) EXPECT_EQ(Device(code, false).Status(), 0x86) << code;
  for (int code : {3, 35, 63, 82, 200}) EXPECT_EQ(Device(code, false).Status(), 0x06) << code;
  // the encoders rest where a calibrated image says
  Device d(61, false);
  EXPECT_EQ(d.Encoder(0), 30500);
  EXPECT_EQ(d.Encoder(7), 32768);
}

// ---- replies ----

TEST_F(VirtualDevice, EveryCommandRepliesOnlyWhenItsReplyIsUsed) {
  const std::vector<Bytes> silent = {
      {0x0A},    {0x0B},    {0x0C, 0x01, 0, 5}, {0x0D},    {0x0F, 0, 200, 1, 9}, {0x14},
      {0x15},    {0x16, 1}, {0x20, 0, 0, 1},    {0x3C, 3}, {0xA0, 0, 0, 1, 2},   {0xA2, 0},
      {0xAA, 0}, {0x99}};
  const std::vector<Bytes> answered = {{0x10, 0, 0, 4},
                                       {0x1E, 0, 0, 0, 0, 0, 0},
                                       {0x1F, 0, 0, 0, 0, 0, 0},
                                       {0x21, 0},
                                       {0x27, 0x3F},
                                       {0x2A},
                                       {0x32},
                                       {0x3D},
                                       {0x46},
                                       {0x50},
                                       {0x51},
                                       {0xA1, 0, 0, 4},
                                       {0xF0, 2}};
  Device d(61, false);
  for (const Bytes &cmd : silent) {
    ASSERT_EQ(Send(d, cmd), Transfer::Ok);
    EXPECT_EQ(d.PendingReplies(), 0) << std::hex << int(cmd[0]);
  }
  for (const Bytes &cmd : answered) {
    EXPECT_EQ(Exchange(d, cmd).size(), 64u) << std::hex << int(cmd[0]);
    EXPECT_EQ(ReadResult(d), Transfer::Timeout) << std::hex << int(cmd[0]);
  }
  EXPECT_EQ(d.Exchanges(), silent.size() + answered.size());
}

TEST_F(VirtualDevice, StatusButtonsVersionModeAndSystemType) {
  Device d(200, false);
  d.SetButtons(0x05);
  EXPECT_EQ(Head(Exchange(d, {0x32}), 3), (Bytes{0x06, 0x05, 0}));
  EXPECT_EQ(Head(Exchange(d, {0x46}), 3), (Bytes{0x05, 0x06, 0}));
  EXPECT_EQ(Exchange(d, {0x50})[0], 32);
  EXPECT_EQ(Head(Exchange(d, {0x51}), 5), (Bytes{200, 0x01, 0x03, 0xE8, 0}));
  EXPECT_EQ(Head(Exchange(d, {0xF0, 7}), 2), (Bytes{7, 0}));
  EXPECT_EQ(Exchange(d, {0x51})[4], 7);
  // a mode command without its byte reports the mode kept
  EXPECT_EQ(Exchange(d, {0xF0})[0], 7);
  Send(d, {0x3C, 9});
  EXPECT_EQ(Exchange(d, {0x3D})[0], 9);
}

TEST_F(VirtualDevice, StatusBitsFollowTheCommands) {
  Device d(61, false);
  // each command, then the whole status byte it leaves
  const std::vector<std::pair<Bytes, int>> steps = {
      {{0xA2, 1}, 0xA7}, {{0x0B}, 0x27},    {{0x15}, 0x25},    {{0x16, 5}, 0x27}, {{0x16, 0}, 0x25}, {{0x14}, 0x27},
      {{0xAA, 1}, 0x2F}, {{0xA2, 0}, 0x0E}, {{0xAA, 0}, 0x06}, {{0x0D}, 0x86},    {{0x0A}, 0x86}};
  for (const auto &step : steps) {
    Send(d, step.first);
    EXPECT_EQ(d.Status(), step.second) << std::hex << int(step.first[0]);
  }
  EXPECT_EQ(d.WristCalibrations(), 1);
  EXPECT_EQ(d.Resets(), 1);
  // a device without an active wrist gives no torque output and needs no calibration
  Device plain(63, false);
  Send(plain, {0xA2, 1});
  Send(plain, {0x0D});
  EXPECT_EQ(plain.Status(), 0x07);
}

// ---- encoder replies ----

TEST_F(VirtualDevice, SixteenBitReplyHoldsValuesStatusButtonsAndTime) {
  Device d(61, false);
  d.SetEncoder(0, 0x1234);
  d.SetEncoder(1, -1);
  EXPECT_EQ(d.Encoder(1), 0xFFFF);
  d.SetButtons(0x02);
  const Bytes r = Exchange(d, {0x2A}, 1.5);
  // the wrist's legs rest at their reference counts 1210, 304 and 1069
  const Bytes expected = {0x34, 0x12, 0xFF, 0xFF, 0xFC, 0x53, 0xBA, 0x04, 0x30, 0x01,
                          0x2D, 0x04, 0x86, 0x02, 0x60, 0xE3, 0x16, 0x00, 0x00};
  EXPECT_EQ(Head(r, expected.size()), expected);
}

TEST_F(VirtualDevice, TwentyFourBitFieldsCarryCopiesOfTheSignBit) {
  for (int code : {82, 101}) {
    Device d(code, false);
    EXPECT_EQ(d.EncoderBits(), 24);
    d.SetEncoder(0, -1);
    d.SetEncoder(1, -8388608);
    d.SetEncoder(2, 0x123456);
    d.SetEncoder(3, 0x1800000);  // beyond 24 bits: the low 24 are kept
    EXPECT_EQ(d.Encoder(3), -8388608);
    d.SetEncoder(7, 0x7FFFFF);
    d.SetButtons(0x01);
    const Bytes r = Exchange(d, {0x27, 0xFF});
    ASSERT_EQ(r.size(), 64u);
    EXPECT_EQ(Head(r, 16),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0xFF, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x80, 0xFF}));
    EXPECT_EQ(Bytes(r.begin() + 28, r.begin() + 34), (Bytes{0xFF, 0xFF, 0x7F, 0x00, 0x06, 0x01}));
  }
}

TEST_F(VirtualDevice, ReplyLayoutFollowsTheSystemType) {
  struct Row {
    int code, channels, statusAt;
  };
  // statusAt -1: the type sends encoders and time only
  for (const Row &row : {Row{3, 3, -1}, Row{31, 3, -1}, Row{33, 3, -1}, Row{4, 8, 16}, Row{34, 6, 12}, Row{35, 7, 14},
                         Row{37, 7, 14}, Row{64, 6, 12}, Row{81, 8, 16}, Row{200, 8, 16}}) {
    Device d(row.code, false);
    EXPECT_EQ(d.Channels(), row.channels) << row.code;
    d.SetStatus(0x5A);
    d.SetButtons(0xA5);
    // 0x01020304 microseconds
    const Bytes r = Exchange(d, {0x2A}, 16.9090605);
    const size_t timeAt = row.statusAt < 0 ? 2 * row.channels : row.statusAt + 2;
    if (row.statusAt >= 0) {
      EXPECT_EQ(Bytes(r.begin() + row.statusAt, r.begin() + row.statusAt + 2), (Bytes{0x5A, 0xA5}));
    }
    EXPECT_EQ(Bytes(r.begin() + timeAt, r.begin() + timeAt + 5), (Bytes{0x04, 0x03, 0x02, 0x01, 0x00})) << row.code;
  }
}

TEST_F(VirtualDevice, PresetSetsTheMaskedChannels) {
  Device d(61, false);
  // channels 0 and 2; channel 1's field is not in the mask
  Send(d, {0x0C, 0x05, 0x12, 0x34, 0x99, 0x99, 0xFF, 0xFE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(d.Encoder(0), 0x1234);
  EXPECT_EQ(d.Encoder(1), 21500);
  EXPECT_EQ(d.Encoder(2), 0xFFFE);
  // a field past the end of the packet is not taken
  Send(d, {0x0C, 0x80, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(d.Encoder(7), 32768);

  Device wide(82, false);
  Bytes w(34, 0);
  w[0] = 0x0C;
  w[1] = 0x82;
  std::fill(w.begin() + 6, w.begin() + 10, 0xFF);  // channel 1: -1
  w[30] = 0x7F, w[33] = 0x01;                      // channel 7: 1, the top byte being no part of it
  Send(wide, w);
  EXPECT_EQ(wide.Encoder(1), -1);
  EXPECT_EQ(wide.Encoder(7), 1);
}

TEST_F(VirtualDevice, MotorCommandsKeepSignedValues) {
  Device d(61, false);
  EXPECT_EQ(Exchange(d, {0x1E, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0x00}).size(), 64u);
  EXPECT_EQ(d.Motor(0), 256);
  EXPECT_EQ(d.Motor(1), -1);
  Exchange(d, {0x1F, 0x7F, 0xFF, 0x80, 0x00, 0x00, 0x05});
  EXPECT_EQ(d.Motor(3), 32767);
  EXPECT_EQ(d.Motor(4), -32768);
  EXPECT_EQ(d.Motor(5), 5);
  Send(d, {0x20, 6, 0xFF, 0x00});
  Send(d, {0x20, 9, 0x01, 0x00});  // no such channel
  EXPECT_EQ(d.Motor(6), -256);
  // channels 0 and 2 only; bit 7 lies beyond this device's six channels
  Bytes masked(18, 0x11);
  masked[0] = 0x21;
  masked[1] = 0x85;
  Exchange(d, masked);
  EXPECT_EQ(d.Motor(0), 0x1111);
  EXPECT_EQ(d.Motor(1), -1);
  EXPECT_EQ(d.Motor(2), 0x1111);
  EXPECT_EQ(d.Motor(6), -256);
  EXPECT_EQ(d.MotorCommands(), 4u);
}

// ---- memory ----

TEST_F(VirtualDevice, MemoryAndFirmwareBlocksRoundTrip) {
  Device d(63, true);
  Send(d, {0x0F, 0x01, 0x00, 3, 0xA1, 0xB2, 0xC3});
  EXPECT_EQ(d.Memory(256, 3), (Bytes{0xA1, 0xB2, 0xC3}));
  EXPECT_EQ(Head(Exchange(d, {0x10, 0x01, 0x00, 3}), 4), (Bytes{0xA1, 0xB2, 0xC3, 0x00}));
  Send(d, {0xA0, 0x1F, 0xFE, 2, 0x55, 0x66});
  EXPECT_EQ(d.Firmware(8190, 2), (Bytes{0x55, 0x66}));
  EXPECT_EQ(Head(Exchange(d, {0xA1, 0x1F, 0xFE, 2}), 3), (Bytes{0x55, 0x66, 0x00}));
  // the largest blocks, ending at the last byte
  Bytes big = {0x0F, 0x1F, 0xC4, 60};
  big.resize(64, 0x42);
  Send(d, big);
  EXPECT_EQ(d.Memory(8132, 60), Bytes(60, 0x42));
  EXPECT_EQ(Exchange(d, {0x10, 0x1F, 0xC0, 64}), d.Memory(8128, 64));
}

TEST_F(VirtualDevice, OutOfRangeRequestsAreRefusedSafely) {
  Device d(63, true);
  const Bytes firmware = d.Firmware(0, 8192);
  Bytes tooLong = {0x0F, 0, 0, 61};
  tooLong.resize(64, 0);
  for (const Bytes &cmd : {tooLong, Bytes{0x0F, 0x1F, 0xFE, 3, 1, 2, 3}, Bytes{0x0F, 0, 0, 10, 1, 2, 3, 4},
                           Bytes{0xA0, 0xFF, 0xFF, 1, 0}, Bytes{0x0F, 0, 0}}) {
    Send(d, cmd);
  }
  EXPECT_EQ(d.Memory(0, 8192), Bytes(8192, 0xFF));
  EXPECT_EQ(d.Firmware(0, 8192), firmware);
  // refused reads still answer, with zeros
  for (const Bytes &cmd :
       {Bytes{0x10, 0, 0, 65}, Bytes{0x10, 0x1F, 0xFF, 2}, Bytes{0xA1, 0xFF, 0xFF, 64}, Bytes{0x10, 0}}) {
    EXPECT_EQ(Exchange(d, cmd), Bytes(64, 0)) << cmd.size();
  }
  // the test side clips as well
  d.SetMemory(8191, {1, 2, 3});
  d.SetMemory(-1, {7, 8});
  EXPECT_EQ(d.Memory(-2, 4), (Bytes{8, 0xFF}));
  EXPECT_EQ(d.Memory(8191, 10), (Bytes{1}));
}

// ---- faults ----

TEST_F(VirtualDevice, DamagedRepliesAffectOnlyTheirCount) {
  Device d(61, false);
  d.DropReplies(2);
  for (int i = 0; i < 2; ++i) {
    Send(d, {0x32});
    EXPECT_EQ(ReadResult(d), Transfer::Timeout);
  }
  d.ShortenReplies(1, 5);
  EXPECT_EQ(Exchange(d, {0x2A}).size(), 5u);
  // a corrupted packet is consumed by the read that fails
  d.CorruptReplies(1);
  Send(d, {0x32});
  EXPECT_EQ(ReadResult(d), Transfer::Error);
  EXPECT_EQ(ReadResult(d), Transfer::Timeout);
  EXPECT_EQ(Exchange(d, {0x2A}).size(), 64u);
  // a smaller buffer takes the start of the packet
  Send(d, {0x32});
  EXPECT_EQ(Reply(d, 1), (Bytes{0x86}));
}

TEST_F(VirtualDevice, ReadWithoutRoomTakesTheReplyAndCopiesNothing) {
  Device d(61, false);
  unsigned char buf[4] = {7, 7, 7, 7};
  struct Case {
    unsigned char *buffer;
    int length;
  } cases[] = {{nullptr, 0}, {nullptr, 64}, {buf, 0}, {buf, -1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.length);
    Send(d, {0x32});
    int n = -1;
    EXPECT_EQ(d.Read(c.buffer, c.length, &n, 0.0), Transfer::Ok);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(d.PendingReplies(), 0);
  }
  EXPECT_EQ(Bytes(buf, buf + 4), Bytes(4, 7));
}

TEST_F(VirtualDevice, StallHoldsUntilBothEndpointsAreCleared) {
  Device d(61, false);
  Send(d, {0x32});
  d.Stall();
  EXPECT_EQ(Send(d, {0x32}), Transfer::Stall);
  EXPECT_EQ(ReadResult(d), Transfer::Stall);
  d.ClearHalt(tkx::virt::kEndpointOut);
  EXPECT_EQ(Send(d, {0x32}), Transfer::Ok);
  EXPECT_EQ(ReadResult(d), Transfer::Stall);
  // clearing IN also drops what was queued before
  d.ClearHalt(tkx::virt::kEndpointIn);
  EXPECT_EQ(ReadResult(d), Transfer::Timeout);
  EXPECT_EQ(Exchange(d, {0x50})[0], 32);
}

TEST_F(VirtualDevice, UnpluggedDeviceFailsEveryTransfer) {
  Device d(61, false);
  Send(d, {0x32});
  d.Unplug();
  d.ClearHalt(tkx::virt::kEndpointIn);
  EXPECT_TRUE(d.IsUnplugged());
  EXPECT_EQ(ReadResult(d), Transfer::NoDevice);
  EXPECT_EQ(Send(d, {0x32}), Transfer::NoDevice);
}

TEST_F(VirtualDevice, UnreadRepliesQueueUpToALimit) {
  Device d(61, false);
  for (int i = 0; i < 20; ++i) Send(d, {0x32});
  EXPECT_EQ(d.PendingReplies(), 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(ReadResult(d), Transfer::Ok);
  EXPECT_EQ(ReadResult(d), Transfer::Timeout);
}

// ---- threads ----

TEST_F(VirtualDevice, ConcurrentHostsAndTestsSeeConsistentCounts) {
  Device d(61, false);
  auto host = [&d] {
    for (int i = 0; i < 2000; ++i) Exchange(d, {0x1E, 0, 1, 0, 2, 0, 3});
  };
  std::thread a(host), b(host);
  for (int i = 0; i < 2000; ++i) d.SetEncoder(i % 8, i);
  a.join();
  b.join();
  EXPECT_EQ(d.MotorCommands(), 4000u);
}

}  // namespace
