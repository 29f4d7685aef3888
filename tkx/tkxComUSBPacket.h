// Packets of the maker's USB devices: command encoders and reply decoders as
// pure functions over bytes, so tests and fuzzers reach them without a device.
//
// Commands carry multi-byte values most significant byte first; replies carry
// them least significant byte first. Encoders write only the bytes their command
// defines and leave the rest of the buffer as it was.
#ifndef TKX_COMUSBPACKET_H
#define TKX_COMUSBPACKET_H

#include <cstdint>

namespace tkx {
namespace usb {

constexpr int kPacketSize = 64;
constexpr int kMaxWriteData = 60;  // data bytes of one memory write
constexpr int kMaxReadData = 64;   // data bytes of one memory read
constexpr int kChannels = 8;

enum Command : uint8_t {
  kReset = 0x0A,
  kCalibWrist = 0x0B,
  kPreset = 0x0C,
  kResetWrist = 0x0D,
  kSetMemAddr = 0x0F,
  kGetMemAddr = 0x10,
  kBrakesOn = 0x14,
  kBrakesOff = 0x15,
  kSetBrakes = 0x16,
  kSetTransMot = 0x1E,
  kSetRotMot = 0x1F,
  kSetMot = 0x20,
  kSetMotMask = 0x21,
  kGetEnc = 0x27,
  kGetAllEnc = 0x2A,
  kGetStatus = 0x32,
  kSetVelThresh = 0x3C,
  kGetVelThresh = 0x3D,
  kGetButtons = 0x46,
  kGetVersion = 0x50,
  kGetSysType = 0x51,
  kSetFwAddr = 0xA0,
  kGetFwAddr = 0xA1,
  kEnableFrc = 0xA2,
  kEmulateButton = 0xAA,
  kSetOperatingMode = 0xF0,
};

// status byte bits
constexpr uint8_t kStatusEncodersValid = 0x04;
constexpr uint8_t kStatusWristUncalibrated = 0x80;

// what a reported system-type code means for the packets (from the type table)
struct TypeInfo {
  int stored;     // the code kept as the device's system type
  int channels;   // encoder channels in replies
  bool wide;      // 24-bit values in 4-byte fields
  bool noStatus;  // replies carry encoders only
};

TypeInfo TypeFromCode(int received);

// ---- commands (buffer of kPacketSize bytes; each returns the packet length) ----

// a command without arguments
int EncodeCommand(uint8_t *buf, uint8_t code);
// a command with one byte argument
int EncodeByteCommand(uint8_t *buf, uint8_t code, uint8_t value);
// SetTransMot / SetRotMot: three signed 16-bit motor values
int EncodeMotors3(uint8_t *buf, uint8_t code, int16_t m0, int16_t m1, int16_t m2);
// SetMot of one channel
int EncodeMotor(uint8_t *buf, uint8_t channel, int16_t value);
// SetMot of the masked channels below channels; the other channels' bytes are untouched
int EncodeMotorsMasked(uint8_t *buf, const int16_t *values, uint8_t mask, int channels);
// Preset of the masked channels (16-bit fields, or 32-bit fields on wide devices)
int EncodePreset(uint8_t *buf, const int *encoders, uint8_t mask, bool wide);
// SetMemAddr / SetFwAddr: len must be at most kMaxWriteData (returns -1 otherwise)
int EncodeMemWrite(uint8_t *buf, uint8_t code, uint16_t addr, const uint8_t *src, int len);
// GetMemAddr / GetFwAddr: len must be at most kMaxReadData (returns -1 otherwise)
int EncodeMemRead(uint8_t *buf, uint8_t code, uint16_t addr, int len);

// ---- replies -------------------------------------------------------------------------

uint16_t Decode16(const uint8_t *p);
// a 4-byte field holding a signed 24-bit value (bit 23 the sign)
int32_t Decode24(const uint8_t *p);

// bytes an encoder reply of this type must carry to be decoded
int EncoderReplySize(const TypeInfo &type);

// decodes an encoder reply of received bytes. Returns false, touching nothing, when
// the reply is too short. Devices with status report status and buttons; when the
// status says the encoders are not valid the cache takes the reset positions.
bool DecodeEncoderReply(const uint8_t *reply, int received, const TypeInfo &type, const int *resetPositions, int *cache,
                        uint8_t *status, uint8_t *buttons);

}  // namespace usb
}  // namespace tkx

#endif
