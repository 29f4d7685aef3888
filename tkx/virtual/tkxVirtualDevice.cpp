// The virtual device's firmware: command packets in, reply packets out.
#include "tkx/virtual/tkxVirtualDevice.h"

#include "tkx/tkxController.h"
#include "tkx/tkxMemoryMap.h"
#include "tkx/tkxPincher.h"
#include "tkx/tkxStylus.h"
#include "tkx/tkxTrion.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxWrist.h"
#include "tkx/virtual/tkxVirtualLog.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tkx {
namespace virt {

namespace {

// the command codes the firmware understands
enum : uint8_t {
  kReset = 0x0A,
  kCalibWrist = 0x0B,
  kPreset = 0x0C,
  kResetWrist = 0x0D,
  kSetMem = 0x0F,
  kGetMem = 0x10,
  kBrakesOn = 0x14,
  kBrakesOff = 0x15,
  kBrakes = 0x16,
  kTransMot = 0x1E,
  kRotMot = 0x1F,
  kMotOne = 0x20,
  kMotMasked = 0x21,
  kGetEnc = 0x27,
  kGetAllEnc = 0x2A,
  kGetStatus = 0x32,
  kSetVelThresh = 0x3C,
  kGetVelThresh = 0x3D,
  kGetButtons = 0x46,
  kGetVersion = 0x50,
  kGetSysType = 0x51,
  kSetFw = 0xA0,
  kGetFw = 0xA1,
  kEnableFrc = 0xA2,
  kEmulateButton = 0xAA,
  kSetMode = 0xF0,
};

// status bits
constexpr uint8_t kForceOn = 0x01;
constexpr uint8_t kBrakesBit = 0x02;
constexpr uint8_t kEncodersValid = 0x04;
constexpr uint8_t kButtonEmulatedBit = 0x08;
constexpr uint8_t kTorqueOn = 0x20;
constexpr uint8_t kWristUncalibrated = 0x80;

constexpr int kQueueDepth = 16;
constexpr int kMaxWrite = 60;
constexpr uint8_t kFirmwareVersion = 32;
// prescaler and a 1000 us period: what the device's timers would report
constexpr uint8_t kTimerSettings[3] = {0x01, 0x03, 0xE8};
// the pose the device rests in, which a calibrated image also stores at 0-15
constexpr uint16_t kRestPositions[kChannels] = {30500, 21500, 21500, 32768, 32768, 32768, 32768, 32768};

std::atomic<int> devicesMade{0};

struct Layout {
  int channels;
  bool wide;
  bool status;
};

Layout LayoutOf(int code) {
  const SystemType &t = LookUpReported(code);
  return {t.channels, t.Has(kWideEncoders), !t.Has(kNoStatus)};
}

int32_t SignExtend24(uint32_t v) {
  v &= 0xFFFFFFu;
  return static_cast<int32_t>(v ^ 0x800000u) - 0x800000;
}

uint16_t BigEndian16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void PutBigEndian(uint8_t *p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
}

// the factory calibration of the three-arm mechanism, each parameter at its place
// in the full layout: 16-bit words, single-precision numbers and 32-bit integers,
// all big-endian
void WriteTrionCalibration(uint8_t *memory, int systemType) {
  for (int id = tkxTrion::kFirstParam; id <= tkxTrion::kLastNamedParam; ++id) {
    uint8_t *at = memory + mem::ParamAddress(id);
    const double v = tkxTrion::DefaultParam(id, systemType);
    switch (tkxTrion::StorageOf(id)) {
      case tkxTrion::Storage::Short:
        PutBigEndian(at, static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
        break;
      case tkxTrion::Storage::Int:
        PutBigEndian(at, static_cast<uint32_t>(static_cast<int32_t>(v)), 4);
        break;
      case tkxTrion::Storage::Double: {
        const float f = static_cast<float>(v);
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        PutBigEndian(at, bits, 4);
        break;
      }
    }
  }
}

// the wrist's factory calibration in the same layout
void WriteWristCalibration(uint8_t *memory) {
  for (int id = tkxWrist::kFirstParam; id <= tkxWrist::kLastParam; ++id) {
    uint8_t *at = memory + mem::ParamAddress(id);
    const double v = tkxWrist::DefaultParam(id);
    if (tkxWrist::IsShort(id)) {
      PutBigEndian(at, static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
    } else {
      const float f = static_cast<float>(v);
      uint32_t bits;
      std::memcpy(&bits, &f, sizeof bits);
      PutBigEndian(at, bits, 4);
    }
  }
}

// one parameter in the full layout as its model stores it
void PutParam(uint8_t *memory, int id, double v, bool isShort, bool isInt) {
  uint8_t *at = memory + mem::ParamAddress(id);
  if (isShort) {
    PutBigEndian(at, static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
  } else if (isInt) {
    PutBigEndian(at, static_cast<uint32_t>(static_cast<int32_t>(v)), 4);
  } else {
    const float f = static_cast<float>(v);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutBigEndian(at, bits, 4);
  }
}

// the stylus's factory calibration; its axis offset comes with the type
void WriteStylusCalibration(uint8_t *memory) {
  for (int id = tkxStylus::kFirstParam; id <= tkxStylus::kLastParam; ++id) {
    if (id == tkxStylus::kAxisOffsetParam) continue;
    const tkxStylus::Storage k = tkxStylus::StorageOf(id);
    PutParam(memory, id, tkxStylus::DefaultParam(id), k == tkxStylus::Storage::Short, k == tkxStylus::Storage::Int);
  }
}

// the pinch gripper's factory calibration
void WritePincherCalibration(uint8_t *memory) {
  for (int id = tkxPincher::kFirstParam; id <= tkxPincher::kLastParam; ++id) {
    const tkxPincher::Storage k = tkxPincher::StorageOf(id);
    PutParam(memory, id, tkxPincher::DefaultParam(id), k == tkxPincher::Storage::Short, k == tkxPincher::Storage::Int);
  }
}

// a bare controller's factory calibration: the motors' range and zero, and a
// slope of 1 and an offset of 0 on every channel
void WriteControllerCalibration(uint8_t *memory) {
  PutParam(memory, tkxController::kMotorValMax, 2047, true, false);
  PutParam(memory, tkxController::kMotorZeroVal, 2048, true, false);
  for (int c = 0; c < tkxController::kChannels; ++c) {
    PutParam(memory, tkxController::kFirstSlope + c, 1.0, false, false);
    PutParam(memory, tkxController::kFirstOffset + c, 0, true, false);
  }
}

// the system type a reported code stands for
int SystemTypeOf(int code) {
  const SystemType *t = FindReported(code);
  return t ? t->type : code;
}

uint32_t Microseconds(double now) {
  double us = now * 1e6;
  if (!(us >= 0.0) || us > 1e18) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(us));
}

}  // namespace

struct Device::State {
  uint8_t code = 0;
  int number = 0;
  Layout layout{};
  bool activeWrist = false;

  uint8_t memory[kMemorySize];
  uint8_t firmware[kFirmwareSize];
  int32_t encoder[kChannels] = {};
  int16_t motor[kChannels] = {};
  uint8_t status = 0;
  uint8_t buttons = 0;
  uint8_t velThresh = 0;
  uint8_t mode = 0;
  int wristCalibrations = 0;
  int resets = 0;
  uint64_t exchanges = 0;
  uint64_t motorCommands = 0;

  // replies wait here in order until read; a full queue loses the newest
  uint8_t replies[kQueueDepth][kPacketSize];
  int head = 0;
  int queued = 0;

  int dropReplies = 0;
  int shortReplies = 0;
  int shortBytes = 0;
  int corruptReplies = 0;
  bool outHalted = false;
  bool inHalted = false;
  bool unplugged = false;

  bool recording = false;
  std::vector<std::vector<unsigned char>> packets;

  // the simulated mechanism, when there is one, and what it last gave the firmware
  std::unique_ptr<virt::Mechanism> mech;
  bool gripperChannel = false;
  bool manualTime = false;
  bool handButton = false;
  // what presets left between the stylus's and the gripper's counters and channels 3 to 6
  int32_t shift[kChannels] = {};

  // the drive the firmware gives the arms, then the mechanism's time up to now
  void RunMechanism(double now) {
    if (!mech) return;
    mech->SetDrive((status & kForceOn) != 0, (status & kBrakesBit) != 0);
    mech->SetTorqueDrive((status & kTorqueOn) != 0);
    if (!manualTime) mech->Follow(now);
    TakeFromMechanism();
  }

  // encoders and the button as the mechanism leaves them
  void TakeFromMechanism() {
    if (!mech) return;
    for (int c = 0; c < 3; ++c) encoder[c] = Normalise(mech->Encoder(c));
    if (mech->GetWrist())
      for (int c = 3; c < 6; ++c) encoder[c] = Normalise(mech->WristEncoder(c - 3));
    if (mech->GetStylus())
      for (int c = 3; c < 6; ++c) encoder[c] = Normalise(Counter(c) + shift[c]);
    if (gripperChannel) encoder[6] = Normalise(Counter(6) + shift[6]);
    // only a change of the hand's button moves button 0, so a test's SetButtons stands
    const bool pressed = mech->HandButton();
    if (pressed != handButton) {
      handButton = pressed;
      buttons = static_cast<uint8_t>(pressed ? buttons | 0x01 : buttons & ~0x01);
    }
  }

  bool Drives(int channel) const {
    if (!mech) return false;
    return channel < 3 || (gripperChannel && channel == 6) || (mech->GetStylus() && channel >= 3 && channel < 6);
  }

  // the stylus's or the gripper's own count on a channel it drives
  int32_t Counter(int c) const { return c == 6 ? mech->GripperEncoder() : mech->StylusEncoder(c - 3); }

  void SetEncoderValue(int c, int32_t v) {
    if (mech && c < 3) {
      mech->Preset(c, v);
    } else if (Drives(c)) {
      shift[c] = v - Counter(c);
    }
    encoder[c] = Normalise(v);
  }

  void SetMotor(int c, int16_t v) {
    motor[c] = v;
    if (mech && c < 3) mech->SetMotor(c, v);
    if (mech && c >= 3 && c < 6) mech->SetWristMotor(c - 3, v);
    // motor 3 turns the pinch gripper's finger
    if (mech && c == 3 && gripperChannel) mech->SetGripperMotor(v);
  }

  int32_t Normalise(int32_t v) const {
    return layout.wide ? SignExtend24(static_cast<uint32_t>(v)) : static_cast<int32_t>(v & 0xFFFF);
  }

  // a zeroed slot for the next reply, or null when it is dropped or finds no room
  uint8_t *NewReply() {
    if (dropReplies > 0) {
      --dropReplies;
      return nullptr;
    }
    if (queued == kQueueDepth) return nullptr;
    uint8_t *r = replies[(head + queued) % kQueueDepth];
    ++queued;
    std::memset(r, 0, kPacketSize);
    return r;
  }

  void EncoderReply(double now) {
    uint8_t *r = NewReply();
    if (r == nullptr) return;
    int pos = 0;
    for (int c = 0; c < layout.channels; ++c) {
      const uint32_t v = static_cast<uint32_t>(encoder[c]);
      r[pos++] = static_cast<uint8_t>(v);
      r[pos++] = static_cast<uint8_t>(v >> 8);
      if (layout.wide) {
        r[pos++] = static_cast<uint8_t>(v >> 16);
        r[pos++] = static_cast<uint8_t>(v >> 24);
      }
    }
    if (layout.status) {
      r[pos++] = status;
      r[pos++] = buttons;
    }
    const uint32_t stamp = Microseconds(now);
    for (int i = 0; i < 4; ++i) r[pos++] = static_cast<uint8_t>(stamp >> (8 * i));
  }

  void TwoByteReply(uint8_t first, uint8_t second) {
    if (uint8_t *r = NewReply()) {
      r[0] = first;
      r[1] = second;
    }
  }

  // reads answer zeros unless the whole range lies inside the memory
  void ReadReply(const uint8_t *p, int n, const uint8_t *mem, int size) {
    uint8_t *r = NewReply();
    if (r == nullptr || n < 4) return;
    const int addr = BigEndian16(p + 1);
    const int len = p[3];
    if (len <= kPacketSize && addr + len <= size) std::memcpy(r, mem + addr, len);
  }

  // writes that do not fit the packet, the limit or the memory are ignored whole
  static void WriteBlock(const uint8_t *p, int n, uint8_t *mem, int size) {
    if (n < 4) return;
    const int addr = BigEndian16(p + 1);
    const int len = p[3];
    if (len > kMaxWrite || 4 + len > n || addr + len > size) return;
    std::memcpy(mem + addr, p + 4, len);
  }

  void SetForce(bool on) {
    status = static_cast<uint8_t>(on ? status | kForceOn : status & ~kForceOn);
    const bool torque = on && activeWrist;
    status = static_cast<uint8_t>(torque ? status | kTorqueOn : status & ~kTorqueOn);
  }

  void SetFlag(uint8_t bit, bool on) { status = static_cast<uint8_t>(on ? status | bit : status & ~bit); }

  void MotorTriple(const uint8_t *p, int n, int first) {
    if (n < 7) return;
    for (int i = 0; i < 3; ++i) SetMotor(first + i, static_cast<int16_t>(BigEndian16(p + 1 + 2 * i)));
    ++motorCommands;
  }

  void Execute(const uint8_t *p, int n, double now) {
    switch (p[0]) {
      case kReset:
        ++resets;
        break;
      case kCalibWrist:
        ++wristCalibrations;
        SetFlag(kWristUncalibrated, false);
        break;
      case kPreset:
        if (n >= 2) {
          const int width = layout.wide ? 4 : 2;
          for (int c = 0; c < kChannels; ++c) {
            const int at = 2 + width * c;
            if (!(p[1] & (1 << c)) || at + width > n) continue;
            if (layout.wide) {
              const uint32_t v = (static_cast<uint32_t>(p[at]) << 24) | (static_cast<uint32_t>(p[at + 1]) << 16) |
                                 (static_cast<uint32_t>(p[at + 2]) << 8) | p[at + 3];
              SetEncoderValue(c, SignExtend24(v));
            } else {
              SetEncoderValue(c, BigEndian16(p + at));
            }
          }
        }
        break;
      case kResetWrist:
        if (activeWrist) SetFlag(kWristUncalibrated, true);
        break;
      case kSetMem:
        WriteBlock(p, n, memory, kMemorySize);
        break;
      case kGetMem:
        ReadReply(p, n, memory, kMemorySize);
        break;
      case kBrakesOn:
        SetFlag(kBrakesBit, true);
        break;
      case kBrakesOff:
        SetFlag(kBrakesBit, false);
        break;
      case kBrakes:
        if (n >= 2) SetFlag(kBrakesBit, p[1] != 0);
        break;
      case kTransMot:
        MotorTriple(p, n, 0);
        EncoderReply(now);
        break;
      case kRotMot:
        MotorTriple(p, n, 3);
        EncoderReply(now);
        break;
      case kMotOne:
        if (n >= 4 && p[1] < kChannels) {
          SetMotor(p[1], static_cast<int16_t>(BigEndian16(p + 2)));
          ++motorCommands;
        }
        break;
      case kMotMasked:
        if (n >= 2) {
          for (int c = 0; c < layout.channels; ++c) {
            if ((p[1] & (1 << c)) && 4 + 2 * c <= n) SetMotor(c, static_cast<int16_t>(BigEndian16(p + 2 + 2 * c)));
          }
          ++motorCommands;
        }
        EncoderReply(now);
        break;
      case kGetEnc:
      case kGetAllEnc:
        EncoderReply(now);
        break;
      case kGetStatus:
        TwoByteReply(status, buttons);
        break;
      case kSetVelThresh:
        if (n >= 2) velThresh = p[1];
        break;
      case kGetVelThresh:
        TwoByteReply(velThresh, 0);
        break;
      case kGetButtons:
        TwoByteReply(buttons, status);
        break;
      case kGetVersion:
        TwoByteReply(kFirmwareVersion, 0);
        break;
      case kGetSysType:
        if (uint8_t *r = NewReply()) {
          r[0] = code;
          r[1] = kTimerSettings[0];
          r[2] = kTimerSettings[1];
          r[3] = kTimerSettings[2];
          r[4] = mode;
        }
        break;
      case kSetFw:
        WriteBlock(p, n, firmware, kFirmwareSize);
        break;
      case kGetFw:
        ReadReply(p, n, firmware, kFirmwareSize);
        break;
      case kEnableFrc:
        if (n >= 2) SetForce(p[1] != 0);
        break;
      case kEmulateButton:
        if (n >= 2) SetFlag(kButtonEmulatedBit, p[1] != 0);
        break;
      case kSetMode:
        if (n >= 2) mode = p[1];
        TwoByteReply(mode, 0);
        break;
      default:
        // unknown commands are ignored, as the firmware has nothing to say to them
        break;
    }
  }
};

Device::Device(int code, bool blank, bool mechanism) : code_(code & 0xFF), s_(std::make_unique<State>()) {
  State &s = *s_;
  s.code = static_cast<uint8_t>(code_);
  s.number = ++devicesMade;
  s.layout = LayoutOf(code_);
  s.activeWrist = LookUpReported(code_).HasWrist();
  for (int c = 0; c < kChannels; ++c) s.encoder[c] = kRestPositions[c];
  // an active wrist rests with its legs at their reference lengths
  if (s.activeWrist)
    for (int c = 3; c < 6; ++c) s.encoder[c] = static_cast<int32_t>(tkxWrist::DefaultParam(200 + c));
  // encoders valid and brakes holding from power-on; an active wrist waits for calibration
  s.status = kEncodersValid | kBrakesBit;
  if (s.activeWrist) s.status |= kWristUncalibrated;

  std::memset(s.memory, 0xFF, sizeof s.memory);
  if (!blank) {
    for (int c = 0; c < kChannels; ++c) {
      s.memory[mem::ResetPositionAddress(c)] = static_cast<uint8_t>(kRestPositions[c] >> 8);
      s.memory[mem::ResetPositionAddress(c) + 1] = static_cast<uint8_t>(kRestPositions[c]);
    }
    uint16_t serial = static_cast<uint16_t>(1000 + s.number);
    if (serial == 0) serial = 1;
    const uint8_t header[7] = {mem::kHeaderVersionHigh,           mem::kHeaderVersionLow,      3, 2, 1,
                               static_cast<uint8_t>(serial >> 8), static_cast<uint8_t>(serial)};
    std::memcpy(s.memory + mem::kHeaderAddress, header, sizeof header);
    if (tkxTrion::IsTrionType(SystemTypeOf(code_))) WriteTrionCalibration(s.memory, SystemTypeOf(code_));
    if (s.activeWrist) WriteWristCalibration(s.memory);
    if (LookUpReported(code_).HasStylus()) WriteStylusCalibration(s.memory);
    if (LookUpReported(code_).HasGripper()) WritePincherCalibration(s.memory);
    if (LookUpReported(code_).Has(kController)) WriteControllerCalibration(s.memory);
  }
  // a small fixed image, so a read-back shows real content
  for (int i = 0; i < kFirmwareSize; ++i) s.firmware[i] = static_cast<uint8_t>(i * 31 + 7);

  // the mechanism is built to the factory calibration the image above holds
  if (mechanism && tkxTrion::IsTrionType(SystemTypeOf(code_))) {
    s.mech = std::make_unique<virt::Mechanism>(SystemTypeOf(code_));
    s.gripperChannel = LookUpReported(code_).HasGripper();
    s.TakeFromMechanism();
  }
}

Device::~Device() = default;

int Device::Number() const { return s_->number; }
int Device::Channels() const { return s_->layout.channels; }
int Device::EncoderBits() const { return s_->layout.wide ? 24 : 16; }

// ---- host side ------------------------------------------------------------------

Transfer Device::Write(const unsigned char *data, int length, double now) {
  Lock lock(mutex_);
  State &s = *s_;
  if (s.unplugged) return Transfer::NoDevice;
  if (s.outHalted) return Transfer::Stall;
  if (data == nullptr || length <= 0) return Transfer::Ok;
  // one packet: whatever lies beyond it is not part of the command
  const int n = length < kPacketSize ? length : kPacketSize;
  ++s.exchanges;
  if (s.recording) s.packets.emplace_back(data, data + n);
  s.RunMechanism(now);
  s.Execute(data, n, now);
  return Transfer::Ok;
}

Transfer Device::Read(unsigned char *buffer, int length, int *received, double) {
  if (received != nullptr) *received = 0;
  Lock lock(mutex_);
  State &s = *s_;
  if (s.unplugged) return Transfer::NoDevice;
  if (s.inHalted) return Transfer::Stall;
  if (s.queued == 0) return Transfer::Timeout;
  const uint8_t *r = s.replies[s.head];
  s.head = (s.head + 1) % kQueueDepth;
  --s.queued;
  if (s.corruptReplies > 0) {
    --s.corruptReplies;
    return Transfer::Error;
  }
  int size = kPacketSize;
  if (s.shortReplies > 0) {
    --s.shortReplies;
    size = s.shortBytes;
  }
  if (buffer == nullptr || length < 0) length = 0;
  const int k = size < length ? size : length;
  // a read without room takes the reply and copies nothing: memcpy must not be
  // handed the null buffer such a read may come with, even for no bytes
  if (k > 0) std::memcpy(buffer, r, k);
  if (received != nullptr) *received = k;
  return Transfer::Ok;
}

void Device::ClearHalt(int endpoint) {
  Lock lock(mutex_);
  State &s = *s_;
  if (s.unplugged) return;
  if (endpoint == kEndpointOut) s.outHalted = false;
  if (endpoint == kEndpointIn) {
    s.inHalted = false;
    s.queued = 0;
  }
}

bool Device::IsUnplugged() const {
  Lock lock(mutex_);
  return s_->unplugged;
}

// ---- test side ------------------------------------------------------------------

namespace {

// the part of [address, address + length) that lies in [0, size): its start, its
// length and how far into the requested range it begins
bool Clip(int size, int address, int64_t length, int *start, int *count, int64_t *skipped) {
  const int64_t from = address < 0 ? 0 : address;
  const int64_t to = address + length;
  const int64_t end = to < size ? to : size;
  if (length <= 0 || from >= end) return false;
  *start = static_cast<int>(from);
  *count = static_cast<int>(end - from);
  *skipped = from - address;
  return true;
}

}  // namespace

std::vector<unsigned char> Device::Memory(int address, int length) const {
  Lock lock(mutex_);
  int start, count;
  int64_t skipped;
  if (!Clip(kMemorySize, address, length, &start, &count, &skipped)) return {};
  return std::vector<unsigned char>(s_->memory + start, s_->memory + start + count);
}

void Device::SetMemory(int address, const std::vector<unsigned char> &bytes) {
  Lock lock(mutex_);
  int start, count;
  int64_t skipped;
  const int64_t length = static_cast<int64_t>(bytes.size());
  if (!Clip(kMemorySize, address, length, &start, &count, &skipped)) return;
  std::memcpy(s_->memory + start, bytes.data() + skipped, count);
}

std::vector<unsigned char> Device::Firmware(int address, int length) const {
  Lock lock(mutex_);
  int start, count;
  int64_t skipped;
  if (!Clip(kFirmwareSize, address, length, &start, &count, &skipped)) return {};
  return std::vector<unsigned char>(s_->firmware + start, s_->firmware + start + count);
}

void Device::SetEncoder(int channel, int32_t value) {
  Lock lock(mutex_);
  if (channel < 0 || channel >= kChannels) return;
  // the test takes the channel over from the mechanism
  if (s_->Drives(channel)) s_->mech.reset();
  s_->encoder[channel] = s_->Normalise(value);
}

int32_t Device::Encoder(int channel) const {
  Lock lock(mutex_);
  return channel >= 0 && channel < kChannels ? s_->encoder[channel] : 0;
}

void Device::SetStatus(uint8_t status) {
  Lock lock(mutex_);
  s_->status = status;
}

uint8_t Device::Status() const {
  Lock lock(mutex_);
  return s_->status;
}

void Device::SetButtons(uint8_t buttons) {
  Lock lock(mutex_);
  s_->buttons = buttons;
}

uint8_t Device::Buttons() const {
  Lock lock(mutex_);
  return s_->buttons;
}

int16_t Device::Motor(int channel) const {
  Lock lock(mutex_);
  return channel >= 0 && channel < kChannels ? s_->motor[channel] : 0;
}

bool Device::ForceEnabled() const { return Status() & kForceOn; }
bool Device::BrakesOn() const { return Status() & kBrakesBit; }
bool Device::ButtonEmulated() const { return Status() & kButtonEmulatedBit; }

uint8_t Device::VelocityThreshold() const {
  Lock lock(mutex_);
  return s_->velThresh;
}

uint8_t Device::OperatingMode() const {
  Lock lock(mutex_);
  return s_->mode;
}

int Device::WristCalibrations() const {
  Lock lock(mutex_);
  return s_->wristCalibrations;
}

int Device::Resets() const {
  Lock lock(mutex_);
  return s_->resets;
}

uint64_t Device::Exchanges() const {
  Lock lock(mutex_);
  return s_->exchanges;
}

uint64_t Device::MotorCommands() const {
  Lock lock(mutex_);
  return s_->motorCommands;
}

int Device::PendingReplies() const {
  Lock lock(mutex_);
  return s_->queued;
}

void Device::RecordPackets(bool on) {
  Lock lock(mutex_);
  s_->recording = on;
}

std::vector<std::vector<unsigned char>> Device::Packets() const {
  Lock lock(mutex_);
  return s_->packets;
}

void Device::ClearPackets() {
  Lock lock(mutex_);
  s_->packets.clear();
}

// ---- mechanism ------------------------------------------------------------------

bool Device::HasMechanism() const {
  Lock lock(mutex_);
  return s_->mech != nullptr;
}

void Device::Advance(double seconds) {
  Lock lock(mutex_);
  State &s = *s_;
  if (!s.mech) return;
  s.manualTime = true;
  s.mech->SetDrive((s.status & kForceOn) != 0, (s.status & kBrakesBit) != 0);
  s.mech->Advance(seconds);
  s.TakeFromMechanism();
}

void Device::FollowHostTime() {
  Lock lock(mutex_);
  s_->manualTime = false;
  if (s_->mech) s_->mech->Resync();
}

void Device::SetHand(const HandPose &pose) {
  Lock lock(mutex_);
  if (!s_->mech) return;
  s_->mech->SetHand(pose);
  s_->TakeFromMechanism();
}

void Device::SetHandScript(const HandScript &script) {
  Lock lock(mutex_);
  if (!s_->mech) return;
  s_->mech->SetScript(script);
  s_->TakeFromMechanism();
}

void Device::SetHandSpring(double stiffness, double damping) {
  Lock lock(mutex_);
  if (s_->mech) s_->mech->SetHandSpring(stiffness, damping);
}

void Device::SetWristHandSpring(double stiffness, double damping) {
  Lock lock(mutex_);
  if (s_->mech) s_->mech->SetWristHandSpring(stiffness, damping);
}

void Device::SetGripperHandSpring(double stiffness, double damping) {
  Lock lock(mutex_);
  if (s_->mech) s_->mech->SetGripperHandSpring(stiffness, damping);
}

void Device::SetPayload(double kg) {
  Lock lock(mutex_);
  if (s_->mech) s_->mech->SetPayload(kg);
}

bool Device::GetMechanism(MechanismState *state) const {
  Lock lock(mutex_);
  if (!s_->mech || state == nullptr) return s_->mech != nullptr;
  *state = s_->mech->State();
  return true;
}

// ---- faults ---------------------------------------------------------------------

namespace {

void NoteFault(const Device &dev, const char *format, int a, int b) {
  if (!detail::LogEnabled()) return;
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  detail::LogEventNow(dev, text);
}

int NonNegative(int n) { return n < 0 ? 0 : n; }

}  // namespace

void Device::DropReplies(int n) {
  {
    Lock lock(mutex_);
    s_->dropReplies = NonNegative(n);
  }
  NoteFault(*this, "fault injected: drop %d replies", NonNegative(n), 0);
}

void Device::ShortenReplies(int n, int bytes) {
  if (bytes < 0) bytes = 0;
  if (bytes > kPacketSize) bytes = kPacketSize;
  {
    Lock lock(mutex_);
    s_->shortReplies = NonNegative(n);
    s_->shortBytes = bytes;
  }
  NoteFault(*this, "fault injected: shorten %d replies to %d bytes", NonNegative(n), bytes);
}

void Device::CorruptReplies(int n) {
  {
    Lock lock(mutex_);
    s_->corruptReplies = NonNegative(n);
  }
  NoteFault(*this, "fault injected: corrupt %d replies", NonNegative(n), 0);
}

void Device::Stall() {
  {
    Lock lock(mutex_);
    s_->outHalted = true;
    s_->inHalted = true;
  }
  NoteFault(*this, "fault injected: stall", 0, 0);
}

void Device::Unplug() {
  {
    Lock lock(mutex_);
    s_->unplugged = true;
    s_->queued = 0;
  }
  NoteFault(*this, "fault injected: unplug", 0, 0);
}

}  // namespace virt
}  // namespace tkx
