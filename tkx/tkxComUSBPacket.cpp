#include "tkx/tkxComUSBPacket.h"

#include "tkx/tkxTypes.h"

#include <cstring>

namespace tkx {
namespace usb {

namespace {

void Put16(uint8_t *p, int v) {
  p[0] = static_cast<uint8_t>((v >> 8) & 0xFF);
  p[1] = static_cast<uint8_t>(v & 0xFF);
}

void Put32(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace

TypeInfo TypeFromCode(int received) {
  const SystemType &t = LookUpReported(received);
  return {t.type, t.channels, t.Has(kWideEncoders), t.Has(kNoStatus)};
}

int EncodeCommand(uint8_t *buf, uint8_t code) {
  buf[0] = code;
  return 1;
}

int EncodeByteCommand(uint8_t *buf, uint8_t code, uint8_t value) {
  buf[0] = code;
  buf[1] = value;
  return 2;
}

int EncodeMotors3(uint8_t *buf, uint8_t code, int16_t m0, int16_t m1, int16_t m2) {
  buf[0] = code;
  Put16(buf + 1, m0);
  Put16(buf + 3, m1);
  Put16(buf + 5, m2);
  return 7;
}

int EncodeMotor(uint8_t *buf, uint8_t channel, int16_t value) {
  buf[0] = kSetMot;
  buf[1] = channel;
  Put16(buf + 2, value);
  return 4;
}

int EncodeMotorsMasked(uint8_t *buf, const int16_t *values, uint8_t mask, int channels) {
  buf[0] = kSetMotMask;
  buf[1] = mask;
  for (int c = 0; c < channels && c < kChannels; ++c)
    if (mask & (1u << c)) Put16(buf + 2 + 2 * c, values[c]);
  return 18;
}

int EncodePreset(uint8_t *buf, const int *encoders, uint8_t mask, bool wide) {
  buf[0] = kPreset;
  buf[1] = mask;
  for (int c = 0; c < kChannels; ++c) {
    if (!(mask & (1u << c))) continue;
    if (wide)
      Put32(buf + 2 + 4 * c, static_cast<uint32_t>(encoders[c]));
    else
      Put16(buf + 2 + 2 * c, encoders[c]);
  }
  return wide ? 34 : 18;
}

int EncodeMemWrite(uint8_t *buf, uint8_t code, uint16_t addr, const uint8_t *src, int len) {
  if (len < 0 || len > kMaxWriteData) return -1;
  buf[0] = code;
  Put16(buf + 1, addr);
  buf[3] = static_cast<uint8_t>(len);
  if (len > 0) std::memcpy(buf + 4, src, static_cast<size_t>(len));
  return len + 4;
}

int EncodeMemRead(uint8_t *buf, uint8_t code, uint16_t addr, int len) {
  if (len < 0 || len > kMaxReadData) return -1;
  buf[0] = code;
  Put16(buf + 1, addr);
  buf[3] = static_cast<uint8_t>(len);
  return 4;
}

uint16_t Decode16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

int32_t Decode24(const uint8_t *p) {
  const uint32_t v = uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
  // bit 23 is the sign: the top byte becomes its copies
  return static_cast<int32_t>((v & 0x800000u) ? (v | 0xFF000000u) : v);
}

int EncoderReplySize(const TypeInfo &type) {
  if (type.wide) return 4 * type.channels + 2;
  return 2 * type.channels + (type.noStatus ? 0 : 2);
}

bool DecodeEncoderReply(const uint8_t *reply, int received, const TypeInfo &type, const int *resetPositions, int *cache,
                        uint8_t *status, uint8_t *buttons) {
  const int n = type.channels < kChannels ? type.channels : kChannels;
  if (received < EncoderReplySize(type)) return false;
  const int field = type.wide ? 4 : 2;
  bool valid = true;
  if (!type.noStatus) {
    *status = reply[field * n];
    *buttons = reply[field * n + 1];
    valid = (*status & kStatusEncodersValid) != 0;
  }
  for (int c = 0; c < n; ++c) {
    if (!valid)
      cache[c] = resetPositions[c];
    else
      cache[c] = type.wide ? Decode24(reply + 4 * c) : Decode16(reply + 2 * c);
  }
  return true;
}

}  // namespace usb
}  // namespace tkx
