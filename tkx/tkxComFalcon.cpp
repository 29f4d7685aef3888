#include "tkx/tkxComFalcon.h"

#include "tkx/tkxComUSB.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

int tkxComFalcon::DeviceCount = -1;
void *tkxComFalcon::DeviceHandlesUSB[kMaxDevices] = {nullptr, nullptr, nullptr, nullptr};
int tkxComFalcon::DeviceAllocationTableUSB[kMaxDevices] = {-1, -1, -1, -1};
int tkxComFalcon::DeviceOpened = 0;
int tkxComFalcon::DeviceCreated = 0;
int tkxComFalcon::PipeOut = 0x02;
int tkxComFalcon::PipeIn = 0x81;

namespace {

// converter requests: vendor type, to the device
constexpr int kVendorOut = 0x40;
constexpr int kRequestReset = 0;
constexpr int kRequestModem = 1;
constexpr int kRequestFlow = 2;
constexpr int kRequestBaud = 3;
constexpr int kRequestData = 4;
constexpr int kRequestLatency = 9;

constexpr unsigned char kFrameStart = '<';
constexpr unsigned char kFrameEnd = '>';

}  // namespace

// ---------------------------------------------------------------------------
// the placeholder image and the user's own

const std::vector<unsigned char> &tkxComFalcon::PlaceholderFirmware() {
  static const std::vector<unsigned char> image = [] {
    std::vector<unsigned char> v(kFirmwareImageSize);
    // a fixed pseudo-random sequence behind a readable tag: no real program
    const char tag[] = "tkx falcon placeholder image";
    uint32_t x = 0x2468ACE1u;
    for (int i = 0; i < kFirmwareImageSize; ++i) {
      x = x * 1664525u + 1013904223u;
      v[i] = i < static_cast<int>(sizeof tag) - 1 ? static_cast<unsigned char>(tag[i])
                                                  : static_cast<unsigned char>(x >> 24);
    }
    return v;
  }();
  return image;
}

bool tkxComFalcon::LoadFirmware(std::vector<unsigned char> *image) {
  const char *path = std::getenv("TKX_FALCON_FIRMWARE");
  if (path == nullptr || *path == '\0') {
    *image = PlaceholderFirmware();
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes;
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) bytes.clear();
  if (bytes.empty() || bytes.size() > static_cast<size_t>(kMaxFirmwareSize)) {
    std::fprintf(stderr, "tkx: TKX_FALCON_FIRMWARE: cannot use \"%s\" (%s)\n", path,
                 !in             ? "cannot be read"
                 : bytes.empty() ? "empty"
                                 : "larger than 64 KiB");
    tkx::SetError(TKX_ERR_FILE_NOT_FOUND);
    return false;
  }
  *image = std::move(bytes);
  return true;
}

// ---------------------------------------------------------------------------
// frames

void tkxComFalcon::EncodeFrame(unsigned char out[kFrameSize], const short motors[3], bool homed,
                               unsigned char control) {
  out[0] = kFrameStart;
  // motors 0, 2, 1 in that order; no force before homing
  const int order[3] = {0, 2, 1};
  for (int k = 0; k < 3; ++k) {
    const unsigned v = homed ? static_cast<uint16_t>(motors[order[k]]) : 0u;
    for (int g = 0; g < 4; ++g) out[1 + 4 * k + g] = static_cast<unsigned char>('A' + ((v >> (4 * g)) & 0xF));
  }
  out[13] = static_cast<unsigned char>('A' + control);
  out[14] = 'A';
  out[15] = kFrameEnd;
}

bool tkxComFalcon::DecodeFrame(const unsigned char in[kFrameSize], int enc[3], unsigned char *flags) {
  if (in[0] != kFrameStart || in[15] != kFrameEnd) return false;
  const int order[3] = {0, 2, 1};
  for (int k = 0; k < 3; ++k) {
    unsigned v = 0;
    for (int g = 0; g < 4; ++g) v |= ((in[1 + 4 * k + g] - 'A') & 0xFu) << (4 * g);
    enc[order[k]] = static_cast<int16_t>(v);
  }
  *flags = static_cast<unsigned char>(in[13] - 'A');
  return true;
}

unsigned char tkxComFalcon::MapButtons(unsigned char flags) {
  const unsigned n = flags & 0xFu;
  if (n == 0xF) return 0;
  return static_cast<unsigned char>(((n & 1u) << 1) | ((n & 2u) << 1) | ((n & 4u) >> 2) | (n & 8u));
}

// ---------------------------------------------------------------------------
// discovery

int tkxComFalcon::FindDevices() {
  if (DeviceCount != -1) return DeviceCount;
  DeviceCount = tkxUSBFillDeviceTable(DeviceHandlesUSB, DeviceAllocationTableUSB, kMaxDevices, TKX_FALCON_VENDOR_ID,
                                      TKX_FALCON_PRODUCT_ID, &PipeOut, &PipeIn);
  return DeviceCount;
}

int tkxComFalcon::GetDeviceCount() { return FindDevices(); }

int tkxComFalcon::ReleaseDevices() {
  if (DeviceCount == -1 || DeviceOpened > 0) return 0;
  tkxUSBEmptyDeviceTable(DeviceHandlesUSB, DeviceAllocationTableUSB, kMaxDevices);
  DeviceCount = -1;
  // the maker's devices' records live in the same library context
  if (!tkxComUSB::Discovered()) tkxUSBCleanup(TKX_FALCON_VENDOR_ID, TKX_FALCON_PRODUCT_ID);
  return 0;
}

// ---------------------------------------------------------------------------
// life

tkxComFalcon::tkxComFalcon() {
  sysType = 60;
  ++DeviceCreated;
  FindDevices();
}

tkxComFalcon::~tkxComFalcon() {
  Close();
  if (--DeviceCreated == 0) ReleaseDevices();
}

void tkxComFalcon::ReleaseIndex() {
  if (index_ >= 0 && index_ < kMaxDevices && DeviceAllocationTableUSB[index_] == 1)
    DeviceAllocationTableUSB[index_] = 0;
  if (open) --DeviceOpened;
  open = false;
  record_ = nullptr;
  index_ = -1;
}

int tkxComFalcon::Open(int index) {
  if (index < 0 || index >= DeviceCount || index >= kMaxDevices || DeviceAllocationTableUSB[index] != 0)
    return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (!LoadFirmware(&image_)) return -1;
  DeviceAllocationTableUSB[index] = 1;
  open = true;
  ++DeviceOpened;
  index_ = index;
  record_ = DeviceHandlesUSB[index];
  homed_ = false;
  led_ = kLedNotHomed;
  pendingCount_ = 0;
  lastExchange_ = tkx::GetTimeMonotonic();

  bool uploaded = false;
  for (int attempt = 0; attempt < kUploadAttempts && !uploaded; ++attempt)
    uploaded = WriteFirmware(image_.data(), static_cast<int>(image_.size())) == 0;
  if (!uploaded) {
    // a failed open gives its index back, so it can be tried again
    ReleaseIndex();
    return tkx::Fail(TKX_ERR_COMMUNICATION);
  }
  Reset();
  return index;
}

int tkxComFalcon::Close() {
  if (!open) return 0;
  tkx::Sleep(0.1);
  {
    tkx::Lock lock(lock_);
    led_ = 0;
    Spin(false);
  }
  ReleaseIndex();
  return 0;
}

// ---------------------------------------------------------------------------
// the transport

int tkxComFalcon::Communication() {
  if (record_ != nullptr) tkxUSBClearPipes(record_, PipeOut, PipeIn);
  return tkx::Fail(TKX_ERR_COMMUNICATION);
}

int tkxComFalcon::SendControlMsg(int requestType, int request, int value, int index, unsigned char *data, int length) {
  if (tkxUSBControlMsg(record_, requestType, request, value, index, data, length) < 0)
    return tkx::Fail(TKX_ERR_COMMUNICATION);
  return 0;
}

int tkxComFalcon::WriteData(unsigned char *data, int length, bool async) {
  if (tkxUSBWriteData(record_, PipeOut, data, length, async) < 0) return Communication();
  return 0;
}

int tkxComFalcon::ReadData(unsigned char *data, int length, bool async) {
  const int n = tkxUSBReadData(record_, PipeIn, data, length, async);
  if (n < 0) return Communication();
  return n;
}

// ---------------------------------------------------------------------------
// the upload

bool tkxComFalcon::ReadEcho(int want, int *echoed, int *lastLength) {
  int empty = 0;
  while (*echoed < want) {
    const int n = ReadData(in_, kPacketSize, false);
    if (n < 0) return false;
    *lastLength = n;
    if (n > kStatusBytes) {
      *echoed += n - kStatusBytes;
      empty = 0;
    } else if (++empty >= kEmptyPacketLimit) {
      // a converter with nothing more to say would keep the open waiting for ever
      tkx::SetError(TKX_ERR_COMMUNICATION);
      return false;
    }
  }
  return true;
}

int tkxComFalcon::WriteFirmware(const unsigned char *data, int length) {
  if (!open) return -1;
  if (data == nullptr || length <= 0) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  tkx::Lock lock(lock_);
  struct Step {
    int request, value, code;
  };
  auto control = [this](const Step &s) { return SendControlMsg(kVendorOut, s.request, s.value, 0, nullptr, 0) == 0; };
  // converter: purge both buffers, latency 16 ms, 9600 baud 8N1, no flow control,
  // RTS low, then a DTR pulse that wakes the loader
  const Step setup[] = {{kRequestReset, 1, -2},      {kRequestReset, 2, -3},      {kRequestLatency, 16, -4},
                        {kRequestBaud, 0x4138, -5},  {kRequestData, 8, -6},       {kRequestFlow, 0, -7},
                        {kRequestModem, 0x0200, -8}, {kRequestModem, 0x0100, -9}, {kRequestModem, 0x0101, -10}};
  for (const Step &s : setup)
    if (!control(s)) return s.code;
  unsigned char hello[3] = {0x0A, 'C', 0x0D};
  if (WriteData(hello, 3, false) < 0) return -11;
  if (ReadData(in_, 5, false) < 0) return -12;
  if (!control({kRequestModem, 0x0100, -13})) return -13;
  if (!control({kRequestBaud, 21, -14})) return -14;
  unsigned char go = 'A';
  if (WriteData(&go, 1, false) < 0) return -15;
  if (ReadData(in_, 5, false) < 0) return -16;
  pendingCount_ = 0;

  unsigned char piece[kUploadPiece];
  int sent = 0, echoed = 0, last = 0;
  while (sent < length) {
    const int n = length - sent < kUploadPiece ? length - sent : kUploadPiece;
    std::memcpy(piece, data + sent, n);
    if (WriteData(piece, n, false) < 0) return -17;
    sent += n;
    if (!ReadEcho(sent, &echoed, &last)) return -18;
  }
  while (last > kStatusBytes && echoed < length) {
    const int n = ReadData(in_, kPacketSize, false);
    if (n < 0) return -19;
    last = n;
    if (n > kStatusBytes) echoed += n - kStatusBytes;
  }
  if (!control({kRequestLatency, 1, -20})) return -20;
  if (!control({kRequestBaud, 2, -21})) return -21;
  return 0;
}

int tkxComFalcon::WriteFirmware(const char *file) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  if (file == nullptr || *file == '\0') return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  std::ifstream in(file, std::ios::binary);
  if (!in) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty() || bytes.size() > static_cast<size_t>(kMaxFirmwareSize)) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  return WriteFirmware(bytes.data(), static_cast<int>(bytes.size()));
}

// ---------------------------------------------------------------------------
// frame exchanges

void tkxComFalcon::Append(const unsigned char *data, int length) {
  // the oldest bytes make room: only the newest frame is of any use
  if (length >= kPendingSize) {
    std::memcpy(pending_, data + (length - kPendingSize), kPendingSize);
    pendingCount_ = kPendingSize;
    return;
  }
  const int excess = pendingCount_ + length - kPendingSize;
  if (excess > 0) {
    std::memmove(pending_, pending_ + excess, pendingCount_ - excess);
    pendingCount_ -= excess;
  }
  std::memcpy(pending_ + pendingCount_, data, length);
  pendingCount_ += length;
}

bool tkxComFalcon::DecodePending(double now) {
  if (pendingCount_ < kFrameSize) return false;
  // the last complete frame; a stream that lost bytes is found again by its brackets
  int at = -1;
  for (int s = pendingCount_ - kFrameSize; s >= 0; --s) {
    if (pending_[s] == kFrameStart && pending_[s + kFrameSize - 1] == kFrameEnd) {
      at = s;
      break;
    }
  }
  if (at < 0) {
    // no frame in there: keep what could still begin one
    const int keep = kFrameSize - 1;
    std::memmove(pending_, pending_ + pendingCount_ - keep, keep);
    pendingCount_ = keep;
    return false;
  }
  int enc[3];
  unsigned char flags = 0;
  DecodeFrame(pending_ + at, enc, &flags);
  const int rest = pendingCount_ - (at + kFrameSize);
  std::memmove(pending_, pending_ + at + kFrameSize, rest);
  pendingCount_ = rest;

  if ((flags >> 4) == 7) {
    if (!homed_) {
      status = kHomed;
      led_ = kLedHomed;
      homed_ = true;
    }
    for (int i = 0; i < 3; ++i) {
      raw_[i] = enc[i];
      encoders[i] = enc[i] + offsets_[i];
    }
  } else {
    if (homed_ || status == kHomed) {
      status = kNotHomed;
      led_ = kLedNotHomed;
      homed_ = false;
    }
    for (int i = 0; i < 3; ++i) raw_[i] = encoders[i] = 0;
  }
  buttons = MapButtons(flags);
  encTime = now;
  return true;
}

int tkxComFalcon::Spin(bool wait) {
  if (!open) return -1;
  const int rounds = wait ? kWaitRepeats : 1;
  for (int r = 0; r < rounds; ++r) {
    EncodeFrame(out_, motors_, homed_, static_cast<unsigned char>(reset_ | led_));
    CountExchange();
    if (tkxUSBWriteData(record_, PipeOut, out_, kFrameSize, true) < 0) return Communication();
    const int n = tkxUSBReadData(record_, PipeIn, in_, kPacketSize, true);
    if (n < 0) return Communication();
    if (n > kStatusBytes) Append(in_ + kStatusBytes, n - kStatusBytes);
    const double now = tkx::GetTimeMonotonic();
    if (DecodePending(now)) {
      lastExchange_ = now;
      return 0;
    }
  }
  if (wait) return 1;
  buttons = 0;
  lastExchange_ = tkx::GetTimeMonotonic();
  return 0;
}

int tkxComFalcon::SpinIfDue(bool wait, int rounds) {
  if (tkx::GetTimeMonotonic() - lastExchange_ <= kExchangePeriod) return 1;
  int r = 0;
  for (int i = 0; i < rounds; ++i) {
    r = Spin(wait);
    if (r < 0) return r;
  }
  return r;
}

int tkxComFalcon::Reset() {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  reset_ = 1;
  homed_ = false;
  status = kResetRequested;
  Spin(false);
  homed_ = false;
  reset_ = 0;
  status = kResetRequested;
  return 0;
}

int tkxComFalcon::Preset(int *enc, unsigned char) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  if (enc == nullptr) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  tkx::Lock lock(lock_);
  const int r = Spin(false);
  // from the device's own count: the encoders already carry the earlier offset
  for (int i = 0; i < 3; ++i) {
    offsets_[i] = enc[i] - raw_[i];
    if (homed_) encoders[i] = raw_[i] + offsets_[i];
  }
  return r;
}

int tkxComFalcon::GetEnc(int *enc, unsigned char mask, double *time) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const int r = SpinIfDue(false, 1);
  if (r < 0) return r;
  if (enc)
    for (int i = 0; i < 3; ++i)
      if (mask & (1u << i)) enc[i] = encoders[i];
  if (time) *time = encTime;
  return r;
}

int tkxComFalcon::GetAllEnc(int *enc, double *time) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const int r = SpinIfDue(false, 1);
  if (r < 0) return r;
  if (enc)
    for (int i = 0; i < 3; ++i) enc[i] = encoders[i];
  if (time) *time = encTime;
  return r;
}

int tkxComFalcon::GetTransEnc(int *e0, int *e1, int *e2, double *time) {
  int all[3] = {0, 0, 0};
  const int r = GetAllEnc(all, time);
  if (r < 0) return r;
  if (e0) *e0 = all[0];
  if (e1) *e1 = all[1];
  if (e2) *e2 = all[2];
  return r;
}

int tkxComFalcon::GetButtons(unsigned char *out) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const int r = SpinIfDue(true, 3);
  if (r < 0) return r;
  if (out) *out = buttons;
  return r;
}

int tkxComFalcon::GetStatus(unsigned char *out) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  const int r = SpinIfDue(true, 1);
  if (r < 0) return r;
  if (out) *out = status;
  return r;
}

int tkxComFalcon::GetVersion(double *version) {
  if (version) *version = 1.0;
  return 0;
}

int tkxComFalcon::SetTransMot(short m0, short m1, short m2) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  motors_[0] = m0, motors_[1] = m1, motors_[2] = m2;
  return Spin(false);
}

int tkxComFalcon::SetMot(short *values, unsigned char mask) {
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  if (values == nullptr) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  tkx::Lock lock(lock_);
  for (int i = 0; i < 3; ++i)
    if (mask & (1u << i)) motors_[i] = values[i];
  return Spin(false);
}

int tkxComFalcon::SetMot(int channel, short value) {
  if (channel < 0 || channel > 2) return -1;
  if (!open) return tkx::Fail(TKX_ERR_NOT_READY);
  tkx::Lock lock(lock_);
  motors_[channel] = value;
  return Spin(false);
}

int tkxComFalcon::SetLED(unsigned char bits, bool exchange) {
  tkx::Lock lock(lock_);
  led_ = bits;
  return exchange ? Spin(false) : 0;
}
