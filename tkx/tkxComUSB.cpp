#include "tkx/tkxComUSB.h"

#include "tkx/tkxComFalcon.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxMemoryMap.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxUSB.h"

#include <cstring>

using namespace tkx::usb;

int tkxComUSB::DeviceCount = -1;
void *tkxComUSB::DeviceHandlesUSB[kMaxDevices] = {nullptr, nullptr, nullptr, nullptr};
int tkxComUSB::DeviceAllocationTableUSB[kMaxDevices] = {-1, -1, -1, -1};
int tkxComUSB::DeviceOpened = 0;
int tkxComUSB::DeviceCreated = 0;
int tkxComUSB::PipeOut = 0x02;
int tkxComUSB::PipeIn = 0x86;

namespace {

// timers of the time guard
constexpr int kEncoderTimer = 0;
constexpr int kStatusTimer = 5;
constexpr int kButtonTimer = 6;

// replies read at most by the open's flush
constexpr int kFlushLimit = 64;

}  // namespace

// ---------------------------------------------------------------------------
// discovery

int tkxComUSB::FindDevices() {
  if (DeviceCount != -1) return DeviceCount;
  DeviceCount = tkxUSBFillDeviceTable(DeviceHandlesUSB, DeviceAllocationTableUSB, kMaxDevices, TKX_USB_VENDOR_ID,
                                      TKX_USB_PRODUCT_ID, &PipeOut, &PipeIn);
  return DeviceCount;
}

int tkxComUSB::GetDeviceCount() { return FindDevices(); }

int tkxComUSB::ReleaseDevices() {
  if (DeviceCount == -1 || DeviceOpened > 0) return 0;
  tkxUSBEmptyDeviceTable(DeviceHandlesUSB, DeviceAllocationTableUSB, kMaxDevices);
  DeviceCount = -1;
  // the Falcon's records live in the same library context
  if (!tkxComFalcon::Discovered()) tkxUSBCleanup(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID);
  return 0;
}

// ---------------------------------------------------------------------------
// life

tkxComUSB::tkxComUSB() {
  ++DeviceCreated;
  FindDevices();
}

tkxComUSB::~tkxComUSB() {
  Close();
  if (--DeviceCreated == 0) ReleaseDevices();
}

void tkxComUSB::ReleaseIndex() {
  if (index_ >= 0 && index_ < kMaxDevices && DeviceAllocationTableUSB[index_] == 1)
    DeviceAllocationTableUSB[index_] = 0;
  open = false;
  record_ = nullptr;
  index_ = -1;
}

int tkxComUSB::Open(int index) {
  if (index < 0 || index >= DeviceCount || index >= kMaxDevices || DeviceAllocationTableUSB[index] != 0)
    return tkx::Fail(TKX_ERR_NO_DEVICE);
  DeviceAllocationTableUSB[index] = 1;
  open = true;
  index_ = index;
  record_ = DeviceHandlesUSB[index];

  // flush whatever the device still had queued: ask for the status, then read
  // until nothing more comes (a device that never stops answering is cut off)
  {
    tkx::Lock lock(lock_);
    const int len = EncodeCommand(command_, kGetStatus);
    if (tkxUSBWriteData(record_, PipeOut, command_, len, false) < 0) {
      tkxUSBClearPipes(record_, PipeOut, PipeIn);
      tkx::SetError(TKX_ERR_COMMUNICATION);
      // a failed open gives its index back, so it can be tried again
      ReleaseIndex();
      return -1;
    }
    for (int i = 0; i < kFlushLimit && tkxUSBReadData(record_, PipeIn, reply_, kPacketSize, false) >= 0; ++i) {}
    tkxUSBClearPipes(record_, PipeOut, PipeIn);
  }

  bool ok = GetSysType() >= 0;
  if (ok && tkx::LookUpType(sysType).HasWrist()) {
    unsigned char s = 0;
    ok = GetStatus(&s) >= 0;
    if (ok && (s & kStatusWristUncalibrated)) CalibWrist();
  }
  if (ok) ok = SetBrakesOn() >= 0;
  if (!ok) {
    ReleaseIndex();
    return -1;
  }

  ++DeviceOpened;
  SetMemMod(TKX_MEMORY_FULL);
  for (int c = 0; c < kChannels; ++c) {
    unsigned char w[2] = {0, 0};
    GetMemAddr(tkx::mem::ResetPositionAddress(c), w, 2);
    resetPos_[c] = (w[0] << 8) | w[1];
  }
  for (int &e : encoders) e = 0;
  return index;
}

int tkxComUSB::Close() {
  if (!open) return 0;
  SetBrakesOn();
  ReleaseIndex();
  --DeviceOpened;
  return 0;
}

// ---------------------------------------------------------------------------
// exchanges

int tkxComUSB::Exchange(int len, bool reply) {
  int received = 0;
  bool ok = tkxUSBWriteData(record_, PipeOut, command_, len, false) >= 0;
  if (ok && reply) {
    received = tkxUSBReadData(record_, PipeIn, reply_, kPacketSize, false);
    ok = received >= 0;
  }
  if (!ok) {
    tkxUSBClearPipes(record_, PipeOut, PipeIn);
    return tkx::Fail(TKX_ERR_COMMUNICATION);
  }
  return received;
}

int tkxComUSB::Request(int len, int need) {
  const int received = Exchange(len, true);
  if (received < 0) return -1;
  // a reply shorter than what it must carry is as good as none
  if (received < need) {
    tkxUSBClearPipes(record_, PipeOut, PipeIn);
    return tkx::Fail(TKX_ERR_COMMUNICATION);
  }
  return received;
}

bool tkxComUSB::EncoderCacheFresh(double now) { return QueryTimer(kEncoderTimer, now) == 0; }

int tkxComUSB::ReadFailed(int timer, double now) {
  // the query that let this read through restarted the timer: without that
  // the next read would be answered from a cache this exchange never filled
  ExpireTimer(timer, now);
  return -1;
}

int tkxComUSB::EncoderExchange(int len, double now) {
  const int received = Exchange(len, true);
  if (received < 0) return -1;
  if (!DecodeEncoderReply(reply_, received, type_, resetPos_, encoders, &status, &buttons)) {
    tkxUSBClearPipes(record_, PipeOut, PipeIn);
    return tkx::Fail(TKX_ERR_COMMUNICATION);
  }
  encTime = now;
  ResetTimer(kEncoderTimer, now);
  if (!type_.noStatus) {
    ResetTimer(kButtonTimer, now);
    ResetTimer(kStatusTimer, now);
  }
  return 0;
}

int tkxComUSB::SimpleCommand(uint8_t code) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  return Exchange(EncodeCommand(command_, code), false) < 0 ? -1 : 0;
}

int tkxComUSB::ByteCommand(uint8_t code, uint8_t value) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  return Exchange(EncodeByteCommand(command_, code, value), false) < 0 ? -1 : 0;
}

int tkxComUSB::MemWrite(uint8_t code, unsigned short addr, unsigned char *src, unsigned char len) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  // one packet carries at most 60 data bytes; a longer request is refused whole
  if (len > kMaxWriteData || (src == nullptr && len > 0)) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  tkx::Lock lock(lock_);
  return Exchange(EncodeMemWrite(command_, code, addr, src, len), false) < 0 ? -1 : 0;
}

int tkxComUSB::MemRead(uint8_t code, unsigned short addr, unsigned char *dst, unsigned char len) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  if (len > kMaxReadData || (dst == nullptr && len > 0)) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  tkx::Lock lock(lock_);
  if (Request(EncodeMemRead(command_, code, addr, len), len) < 0) return -1;
  if (len > 0) std::memcpy(dst, reply_, len);
  return 0;
}

// ---------------------------------------------------------------------------
// commands without reply

int tkxComUSB::Reset() { return SimpleCommand(kReset); }
int tkxComUSB::ResetWrist() { return SimpleCommand(kResetWrist); }
int tkxComUSB::CalibWrist() { return SimpleCommand(kCalibWrist); }
int tkxComUSB::SetBrakesOn() { return SimpleCommand(kBrakesOn); }
int tkxComUSB::SetBrakesOff() { return SimpleCommand(kBrakesOff); }
int tkxComUSB::SetBrakes(unsigned char mode) { return ByteCommand(kSetBrakes, mode); }
int tkxComUSB::SetVelThresh(unsigned char threshold) { return ByteCommand(kSetVelThresh, threshold); }
int tkxComUSB::EnableFrc(unsigned char on) { return ByteCommand(kEnableFrc, on); }
int tkxComUSB::EmulateButton(unsigned char on) { return ByteCommand(kEmulateButton, on); }

int tkxComUSB::Preset(int *enc, unsigned char mask) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  if (enc == nullptr) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  tkx::Lock lock(lock_);
  return Exchange(EncodePreset(command_, enc, mask, type_.wide), false) < 0 ? -1 : 0;
}

int tkxComUSB::SetMot(int channel, short value) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  return Exchange(EncodeMotor(command_, static_cast<uint8_t>(channel), value), false) < 0 ? -1 : 0;
}

int tkxComUSB::SetMemAddr(unsigned short addr, unsigned char *src, unsigned char len) {
  return MemWrite(kSetMemAddr, addr, src, len);
}
int tkxComUSB::GetMemAddr(unsigned short addr, unsigned char *dst, unsigned char len) {
  return MemRead(kGetMemAddr, addr, dst, len);
}
int tkxComUSB::SetFwAddr(unsigned short addr, unsigned char *src, unsigned char len) {
  return MemWrite(kSetFwAddr, addr, src, len);
}
int tkxComUSB::GetFwAddr(unsigned short addr, unsigned char *dst, unsigned char len) {
  return MemRead(kGetFwAddr, addr, dst, len);
}

// ---------------------------------------------------------------------------
// motor commands: each answered by an encoder reply

int tkxComUSB::SetTransMot(short m0, short m1, short m2) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const double now = tkx::GetTimeMonotonic();
  CountExchange();
  return EncoderExchange(EncodeMotors3(command_, kSetTransMot, m0, m1, m2), now);
}

int tkxComUSB::SetRotMot(short m3, short m4, short m5) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  // only the active wrists take wrist motor commands
  if (!tkx::LookUpType(sysType).HasWrist()) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  tkx::Lock lock(lock_);
  const double now = tkx::GetTimeMonotonic();
  CountExchange();
  return EncoderExchange(EncodeMotors3(command_, kSetRotMot, m3, m4, m5), now);
}

int tkxComUSB::SetMot(short *values, unsigned char mask) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  if (values == nullptr) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  tkx::Lock lock(lock_);
  const double now = tkx::GetTimeMonotonic();
  CountExchange();
  return EncoderExchange(EncodeMotorsMasked(command_, values, mask, type_.channels), now);
}

// ---------------------------------------------------------------------------
// encoder reads

int tkxComUSB::GetAllEnc(int *enc, double *time) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const double now = tkx::GetTimeMonotonic();
  int result = 1;
  if (!EncoderCacheFresh(now)) {
    if (EncoderExchange(EncodeCommand(command_, kGetAllEnc), now) < 0) return ReadFailed(kEncoderTimer, now);
    result = 0;
  }
  if (enc)
    for (int c = 0; c < type_.channels; ++c) enc[c] = encoders[c];
  if (time) *time = encTime;
  return result;
}

int tkxComUSB::GetEnc(int *enc, unsigned char mask, double *time) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const double now = tkx::GetTimeMonotonic();
  int result = 1;
  if (!EncoderCacheFresh(now)) {
    if (EncoderExchange(EncodeByteCommand(command_, kGetEnc, mask), now) < 0) return ReadFailed(kEncoderTimer, now);
    result = 0;
  }
  if (enc)
    for (int c = 0; c < type_.channels; ++c)
      if (mask & (1u << c)) enc[c] = encoders[c];
  if (time) *time = encTime;
  return result;
}

int tkxComUSB::GetTransEnc(int *e0, int *e1, int *e2, double *time) {
  int all[kChannels] = {0, 0, 0, 0, 0, 0, 0, 0};
  const int r = GetAllEnc(all, time);
  if (r < 0) return r;
  if (e0) *e0 = all[0];
  if (e1) *e1 = all[1];
  if (e2) *e2 = all[2];
  return r;
}

int tkxComUSB::GetRotEnc(int *e3, int *e4, int *e5, double *time) {
  // three-channel devices have no wrist channels: those read as 0
  int all[kChannels] = {0, 0, 0, 0, 0, 0, 0, 0};
  const int r = GetAllEnc(all, time);
  if (r < 0) return r;
  if (e3) *e3 = all[3];
  if (e4) *e4 = all[4];
  if (e5) *e5 = all[5];
  return r;
}

// ---------------------------------------------------------------------------
// status, buttons and identity

int tkxComUSB::GetStatus(unsigned char *out) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const double now = tkx::GetTimeMonotonic();
  int result = 1;
  if (QueryTimer(kStatusTimer, now) != 0) {
    if (Request(EncodeCommand(command_, kGetStatus), 2) < 0) return ReadFailed(kStatusTimer, now);
    status = reply_[0];
    buttons = reply_[1];
    ResetTimer(kStatusTimer, now);
    ResetTimer(kButtonTimer, now);
    result = 0;
  }
  if (out) *out = status;
  return result;
}

int tkxComUSB::GetButtons(unsigned char *out) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const double now = tkx::GetTimeMonotonic();
  if (QueryTimer(kButtonTimer, now) != 0) {
    if (Request(EncodeCommand(command_, kGetButtons), 2) < 0) return ReadFailed(kButtonTimer, now);
    buttons = reply_[0];
    status = reply_[1];
    ResetTimer(kButtonTimer, now);
    ResetTimer(kStatusTimer, now);
  }
  if (out) *out = buttons;
  return 0;
}

int tkxComUSB::GetVersion(double *version) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  if (Request(EncodeCommand(command_, kGetVersion), 1) < 0) return -1;
  if (version) *version = reply_[0] / 10.0;
  return 0;
}

int tkxComUSB::GetSysType() {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  if (Request(EncodeCommand(command_, kGetSysType), 5) < 0) return -1;
  type_ = TypeFromCode(reply_[0]);
  operatingMode_ = reply_[4];
  sysType = type_.stored;
  wideEncoders = type_.wide;
  return sysType;
}

int tkxComUSB::GetVelThresh(unsigned char *threshold) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  if (Request(EncodeCommand(command_, kGetVelThresh), 1) < 0) return -1;
  if (threshold) *threshold = reply_[0];
  return 0;
}

int tkxComUSB::SetOperatingMode(unsigned char mode) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  if (Request(EncodeByteCommand(command_, kSetOperatingMode, mode), 1) < 0) return -1;
  operatingMode_ = reply_[0];
  return 0;
}

int tkxComUSB::GetOperatingMode(unsigned char *mode) {
  if (mode) *mode = operatingMode_;
  return 0;
}
