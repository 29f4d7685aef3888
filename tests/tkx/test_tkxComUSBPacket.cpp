// Command encoders and reply decoders of the USB devices, byte for byte, and a
// seeded fuzz of the decoders against a slow reference.
#include "tkx/tkxComUSBPacket.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

using namespace tkx::usb;

namespace {

std::vector<uint8_t> Bytes(const uint8_t *buf, int len) { return std::vector<uint8_t>(buf, buf + len); }

// ---- commands -------------------------------------------------------------------

TEST(UsbPacket, MotorCommandIsBigEndian) {
  uint8_t buf[kPacketSize] = {};
  ASSERT_EQ(EncodeMotors3(buf, kSetTransMot, 256, -1, 0), 7);
  EXPECT_EQ(Bytes(buf, 7), (std::vector<uint8_t>{0x1E, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0x00}));
  ASSERT_EQ(EncodeMotors3(buf, kSetRotMot, -32768, 32767, 1), 7);
  EXPECT_EQ(Bytes(buf, 7), (std::vector<uint8_t>{0x1F, 0x80, 0x00, 0x7F, 0xFF, 0x00, 0x01}));
  ASSERT_EQ(EncodeMotor(buf, 3, -2), 4);
  EXPECT_EQ(Bytes(buf, 4), (std::vector<uint8_t>{0x20, 0x03, 0xFF, 0xFE}));
}

TEST(UsbPacket, MaskedMotorsLeaveOtherChannelsAlone) {
  uint8_t buf[kPacketSize];
  std::memset(buf, 0xEE, sizeof buf);
  const int16_t values[8] = {0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E, 0x0F10};
  ASSERT_EQ(EncodeMotorsMasked(buf, values, 0x05, 6), 18);
  EXPECT_EQ(Bytes(buf, 18), (std::vector<uint8_t>{0x21, 0x05, 0x01, 0x02, 0xEE, 0xEE, 0x05, 0x06, 0xEE, 0xEE, 0xEE,
                                                  0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  // channels at and beyond the encoder count are never written, whatever the mask
  std::memset(buf, 0xEE, sizeof buf);
  EncodeMotorsMasked(buf, values, 0xFF, 6);
  EXPECT_EQ(buf[2 + 2 * 5], 0x0B);
  EXPECT_EQ(buf[2 + 2 * 6], 0xEE);
  EXPECT_EQ(buf[2 + 2 * 7 + 1], 0xEE);
}

TEST(UsbPacket, PresetFieldsByWidth) {
  uint8_t buf[kPacketSize] = {};
  const int enc[8] = {0x1234, 0, -1, 0, 0, 0, 0, 0x00ABCDEF};
  ASSERT_EQ(EncodePreset(buf, enc, 0x85, false), 18);
  EXPECT_EQ(buf[0], 0x0C);
  EXPECT_EQ(buf[1], 0x85);
  EXPECT_EQ(buf[2], 0x12);
  EXPECT_EQ(buf[3], 0x34);
  EXPECT_EQ(buf[6], 0xFF);
  EXPECT_EQ(buf[7], 0xFF);
  EXPECT_EQ(buf[16], 0xCD);
  EXPECT_EQ(buf[17], 0xEF);
  std::memset(buf, 0, sizeof buf);
  ASSERT_EQ(EncodePreset(buf, enc, 0x84, true), 34);
  EXPECT_EQ(Bytes(buf + 10, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(buf + 30, 4), (std::vector<uint8_t>{0x00, 0xAB, 0xCD, 0xEF}));
}

TEST(UsbPacket, MemoryTransfers) {
  uint8_t buf[kPacketSize] = {};
  const uint8_t data[3] = {7, 8, 9};
  ASSERT_EQ(EncodeMemWrite(buf, kSetMemAddr, 0x1234, data, 3), 7);
  EXPECT_EQ(Bytes(buf, 7), (std::vector<uint8_t>{0x0F, 0x12, 0x34, 3, 7, 8, 9}));
  ASSERT_EQ(EncodeMemRead(buf, kGetFwAddr, 0x0010, 16), 4);
  EXPECT_EQ(Bytes(buf, 4), (std::vector<uint8_t>{0xA1, 0x00, 0x10, 16}));
  // the packet holds 60 data bytes at most, 64 when reading
  std::vector<uint8_t> big(61, 1);
  EXPECT_EQ(EncodeMemWrite(buf, kSetMemAddr, 0, big.data(), 61), -1);
  EXPECT_EQ(EncodeMemWrite(buf, kSetMemAddr, 0, big.data(), 60), 64);
  EXPECT_EQ(EncodeMemRead(buf, kGetMemAddr, 0, 65), -1);
  EXPECT_EQ(EncodeMemRead(buf, kGetMemAddr, 0, 64), 4);
}

TEST(UsbPacket, ByteCommands) {
  uint8_t buf[kPacketSize] = {};
  EXPECT_EQ(EncodeCommand(buf, kGetSysType), 1);
  EXPECT_EQ(buf[0], 0x51);
  EXPECT_EQ(EncodeByteCommand(buf, kSetOperatingMode, 3), 2);
  EXPECT_EQ(buf[0], 0xF0);
  EXPECT_EQ(buf[1], 3);
}

// ---- system types -----------------------------------------------------------------

TEST(UsbPacket, SystemTypeTable) {
  struct Row {
    int received, stored, channels;
    bool wide, noStatus;
  } rows[] = {{3, 32, 3, false, true},    {4, 39, 8, false, false},  {31, 31, 3, false, true},
              {33, 33, 3, false, true},   {34, 34, 6, false, false}, {35, 35, 7, false, false},
              {37, 37, 7, false, false},  {61, 61, 6, false, false}, {64, 64, 6, false, false},
              {81, 81, 8, false, false},  {82, 82, 8, true, false},  {101, 101, 8, true, false},
              {200, 91, 8, false, false}, {0, 91, 8, false, false},  {32, 91, 8, false, false}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.received);
    const TypeInfo t = TypeFromCode(r.received);
    EXPECT_EQ(t.stored, r.stored);
    EXPECT_EQ(t.channels, r.channels);
    EXPECT_EQ(t.wide, r.wide);
    EXPECT_EQ(t.noStatus, r.noStatus);
  }
}

// ---- replies ------------------------------------------------------------------------

const int kReset[8] = {30500, 21500, 21500, 32768, 32768, 32768, 32768, 32768};

TEST(UsbPacket, SixteenBitReply) {
  const TypeInfo t = TypeFromCode(61);
  uint8_t reply[kPacketSize] = {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80};
  reply[12] = 0x04;  // status: encoders valid
  reply[13] = 0x02;  // buttons
  int cache[8] = {};
  uint8_t status = 0, buttons = 0;
  ASSERT_TRUE(DecodeEncoderReply(reply, 64, t, kReset, cache, &status, &buttons));
  EXPECT_EQ(cache[0], 4660);
  EXPECT_EQ(cache[1], 65535);  // unsigned
  EXPECT_EQ(cache[2], 32768);
  EXPECT_EQ(status, 0x04);
  EXPECT_EQ(buttons, 0x02);
  // encoders not valid: the reset positions stand in
  reply[12] = 0x00;
  ASSERT_TRUE(DecodeEncoderReply(reply, 64, t, kReset, cache, &status, &buttons));
  EXPECT_EQ(cache[0], 30500);
  EXPECT_EQ(cache[5], 32768);
  EXPECT_EQ(cache[6], 0);  // beyond the six channels nothing is written
}

TEST(UsbPacket, NoStatusReplyIsAlwaysDecoded) {
  const TypeInfo t = TypeFromCode(31);
  uint8_t reply[6] = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00};
  int cache[8] = {};
  uint8_t status = 0x55, buttons = 0x66;
  ASSERT_TRUE(DecodeEncoderReply(reply, 6, t, kReset, cache, &status, &buttons));
  EXPECT_EQ(cache[0] + cache[1] + cache[2], 6);
  EXPECT_EQ(status, 0x55);  // untouched
  EXPECT_EQ(buttons, 0x66);
}

TEST(UsbPacket, TwentyFourBitFields) {
  const uint8_t minus1[4] = {0xFF, 0xFF, 0xFF, 0x00};
  const uint8_t most[4] = {0x00, 0x00, 0x80, 0x00};
  const uint8_t top[4] = {0xFF, 0xFF, 0x7F, 0x55};
  EXPECT_EQ(Decode24(minus1), -1);
  EXPECT_EQ(Decode24(most), -8388608);
  EXPECT_EQ(Decode24(top), 8388607);  // bits 24 to 31 are ignored
  const TypeInfo t = TypeFromCode(82);
  uint8_t reply[kPacketSize] = {};
  std::memcpy(reply, minus1, 4);
  std::memcpy(reply + 28, most, 4);
  reply[32] = 0x04;
  reply[33] = 0x81;
  int cache[8] = {};
  uint8_t status = 0, buttons = 0;
  ASSERT_TRUE(DecodeEncoderReply(reply, 34, t, kReset, cache, &status, &buttons));
  EXPECT_EQ(cache[0], -1);
  EXPECT_EQ(cache[7], -8388608);
  EXPECT_EQ(buttons, 0x81);
}

TEST(UsbPacket, ShortReplyIsRefusedUntouched) {
  for (int code : {3, 61, 35, 82}) {
    SCOPED_TRACE(code);
    const TypeInfo t = TypeFromCode(code);
    const int need = EncoderReplySize(t);
    uint8_t reply[kPacketSize];
    std::memset(reply, 0x04, sizeof reply);
    int cache[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    uint8_t status = 9, buttons = 9;
    EXPECT_FALSE(DecodeEncoderReply(reply, need - 1, t, kReset, cache, &status, &buttons));
    EXPECT_FALSE(DecodeEncoderReply(reply, 0, t, kReset, cache, &status, &buttons));
    for (int c : cache) EXPECT_EQ(c, 9);
    EXPECT_EQ(status, 9);
    EXPECT_TRUE(DecodeEncoderReply(reply, need, t, kReset, cache, &status, &buttons));
  }
}

// ---- fuzz against a slow reference ---------------------------------------------------------

// the reply layout written out longhand, one field at a time
void ReferenceDecode(const uint8_t *r, int n, int received, int code, int *cache, uint8_t *st, uint8_t *bt, bool *ok) {
  const bool wide = code == 82 || code == 101;
  const bool nostat = code == 3 || code == 31 || code == 33;
  const int size = wide ? 4 * n + 2 : 2 * n + (nostat ? 0 : 2);
  *ok = received >= size;
  if (!*ok) return;
  bool valid = true;
  if (!nostat) {
    *st = r[wide ? 4 * n : 2 * n];
    *bt = r[(wide ? 4 * n : 2 * n) + 1];
    valid = (*st >> 2) & 1;
  }
  for (int c = 0; c < n; ++c) {
    if (!valid) {
      cache[c] = kReset[c];
    } else if (wide) {
      long v = r[4 * c] + 256L * r[4 * c + 1] + 65536L * r[4 * c + 2];
      if (v >= 8388608L) v -= 16777216L;
      cache[c] = static_cast<int>(v);
    } else {
      cache[c] = r[2 * c] + 256 * r[2 * c + 1];
    }
  }
}

TEST(UsbPacket, DecoderMatchesReferenceOnRandomReplies) {
  const char *env = std::getenv("TKX_FUZZ_SEED");
  const unsigned seeds = env ? 64 : 8;
  const unsigned base = env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : 1;
  const int codes[] = {3, 4, 31, 33, 34, 35, 36, 37, 61, 62, 63, 64, 81, 82, 101, 200};
  for (unsigned s = 0; s < seeds; ++s) {
    std::mt19937 rng(base + s);
    for (int iter = 0; iter < 2000; ++iter) {
      const int code = codes[rng() % (sizeof codes / sizeof codes[0])];
      const TypeInfo t = TypeFromCode(code);
      // replies live in exactly as many bytes as were received, so a read past
      // the end shows under the address sanitizer
      const int received = static_cast<int>(rng() % (kPacketSize + 1));
      std::vector<uint8_t> reply(static_cast<size_t>(received));
      for (uint8_t &b : reply) b = static_cast<uint8_t>(rng());
      int got[8] = {}, want[8] = {};
      uint8_t gs = 0, gb = 0, ws = 0, wb = 0;
      bool ok = false;
      const bool g = DecodeEncoderReply(reply.data(), received, t, kReset, got, &gs, &gb);
      ReferenceDecode(reply.data(), t.channels, received, code, want, &ws, &wb, &ok);
      ASSERT_EQ(g, ok) << "seed " << base + s << " iter " << iter;
      for (int c = 0; c < 8; ++c) ASSERT_EQ(got[c], want[c]) << "seed " << base + s << " channel " << c;
      ASSERT_EQ(gs, ws);
      ASSERT_EQ(gb, wb);
    }
  }
}

}  // namespace
