#include "tkx/tkxCom.h"

#include "tkx/tkxErrno.h"
#include "tkx/tkxTime.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

std::atomic<int> tkxCom::OpenCount{0};

tkxCom::tkxCom() {
  rateTime = tkx::GetTimeMonotonic();
  OpenCount.fetch_add(1);
}

tkxCom::~tkxCom() {
  open = false;
  OpenCount.fetch_sub(1);
}

MemoryModel tkxCom::GetMemMod() { return memoryModel; }

int tkxCom::SetMemMod(MemoryModel model) {
  memoryModel = model;
  return 0;
}

int tkxCom::Stop() { return SetBrakesOn(); }

int tkxCom::Preset(int *, unsigned char) { return tkx::Fail(TKX_ERR_NOT_AVAILABLE); }

int tkxCom::SetBrakes(unsigned char) { return tkx::Fail(TKX_ERR_NOT_AVAILABLE); }

int tkxCom::GetEnc(int channel, double *time) {
  const int r = GetAllEnc(encoders, time);
  if (r < 0) return r;
  if (channel < 0 || channel >= kEncoders) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  return encoders[channel];
}

int tkxCom::SetOperatingMode(unsigned char) { return 0; }

int tkxCom::GetOperatingMode(unsigned char *) { return 0; }

double tkxCom::GetFreq() {
  const double now = tkx::GetTimeMonotonic();
  const double elapsed = now - rateTime;
  // no time since the previous call: no rate to report, keep counting
  if (!(elapsed > 0.0)) return 0.0;
  const unsigned int count = exchangeCount.exchange(0, std::memory_order_relaxed);
  rateTime = now;
  return static_cast<double>(count) / elapsed / 1000.0;
}

// ---------------------------------------------------------------------------
// parameters by memory model

namespace {

// model 2 places six parameters, each of one storage type
enum class SmallKind { None, Short, Double };

struct SmallSlot {
  SmallKind kind;
  unsigned short addr;
};

SmallSlot SmallLayout(int id) {
  switch (id) {
    case 203:
      return {SmallKind::Short, 0x10};
    case 204:
      return {SmallKind::Short, 0x12};
    case 205:
      return {SmallKind::Short, 0x14};
    case 212:
      return {SmallKind::Double, 0x16};
    case 213:
      return {SmallKind::Double, 0x18};
    case 214:
      return {SmallKind::Double, 0x1A};
    default:
      return {SmallKind::None, 0};
  }
}

uint32_t FloatBits(double v) {
  const float f = static_cast<float>(v);
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

double BitsFloat(uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return static_cast<double>(f);
}

void PutBE32(unsigned char *b, uint32_t u) {
  b[0] = static_cast<unsigned char>(u >> 24);
  b[1] = static_cast<unsigned char>(u >> 16);
  b[2] = static_cast<unsigned char>(u >> 8);
  b[3] = static_cast<unsigned char>(u);
}

uint32_t GetBE32(const unsigned char *b) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

}  // namespace

int tkxCom::SetParam(int id, short value) {
  if (memoryModel == TKX_MEMORY_FULL) {
    unsigned char b[2] = {static_cast<unsigned char>(static_cast<uint16_t>(value) >> 8),
                          static_cast<unsigned char>(value)};
    return SetMemAddr(ParamAddress(id), b, 2) < 0 ? -1 : 0;
  }
  if (memoryModel == TKX_MEMORY_SMALL) {
    const SmallSlot s = SmallLayout(id);
    if (s.kind != SmallKind::Short) return 0;
    // the 16-bit pattern, low byte first, so that negative values read back unchanged
    const uint16_t u = static_cast<uint16_t>(value);
    unsigned char b[2] = {static_cast<unsigned char>(u & 0xFF), static_cast<unsigned char>(u >> 8)};
    return SetMemAddr(s.addr, b, 2) < 0 ? -1 : 0;
  }
  return 0;
}

int tkxCom::GetParam(int id, short *value) {
  if (memoryModel == TKX_MEMORY_FULL) {
    unsigned char b[2] = {0, 0};
    if (GetMemAddr(ParamAddress(id), b, 2) < 0) return -1;
    *value = static_cast<short>((b[0] << 8) | b[1]);
    return 0;
  }
  if (memoryModel == TKX_MEMORY_SMALL) {
    const SmallSlot s = SmallLayout(id);
    if (s.kind != SmallKind::Short) return 0;
    unsigned char b[2] = {0, 0};
    if (GetMemAddr(s.addr, b, 2) < 0) return -1;
    *value = static_cast<short>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
  }
  return 0;
}

int tkxCom::SetParam(int id, int value) {
  if (memoryModel != TKX_MEMORY_FULL) return 0;  // model 2 stores no int parameters
  unsigned char b[4];
  PutBE32(b, static_cast<uint32_t>(value));
  return SetMemAddr(ParamAddress(id), b, 4) < 0 ? -1 : 0;
}

int tkxCom::GetParam(int id, int *value) {
  if (memoryModel != TKX_MEMORY_FULL) return 0;
  unsigned char b[4] = {0, 0, 0, 0};
  if (GetMemAddr(ParamAddress(id), b, 4) < 0) return -1;
  *value = static_cast<int>(GetBE32(b));
  return 0;
}

int tkxCom::SetParam(int id, double value) {
  if (memoryModel == TKX_MEMORY_FULL) {
    unsigned char b[4];
    PutBE32(b, FloatBits(value));
    return SetMemAddr(ParamAddress(id), b, 4) < 0 ? -1 : 0;
  }
  if (memoryModel == TKX_MEMORY_SMALL) {
    const SmallSlot s = SmallLayout(id);
    if (s.kind != SmallKind::Double) return 0;
    // out-of-range values would make the conversion undefined; they store as 0
    const int whole = (value > -2147483648.0 && value < 2147483648.0) ? static_cast<int>(value) : 0;
    unsigned char b[2] = {static_cast<unsigned char>(whole), 0};
    return SetMemAddr(s.addr, b, 2) < 0 ? -1 : 0;
  }
  return 0;
}

int tkxCom::GetParam(int id, double *value) {
  if (memoryModel == TKX_MEMORY_FULL) {
    unsigned char b[4] = {0, 0, 0, 0};
    if (GetMemAddr(ParamAddress(id), b, 4) < 0) return -1;
    *value = BitsFloat(GetBE32(b));
    return 0;
  }
  if (memoryModel == TKX_MEMORY_SMALL) {
    const SmallSlot s = SmallLayout(id);
    if (s.kind != SmallKind::Double) return 0;
    unsigned char b[2] = {0, 0};
    if (GetMemAddr(s.addr, b, 2) < 0) return -1;
    *value = static_cast<double>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
  }
  return 0;
}

// ---------------------------------------------------------------------------
// firmware image

namespace {

struct File {
  FILE *f;
  explicit File(FILE *file) : f(file) {}
  ~File() {
    if (f) std::fclose(f);
  }
};

}  // namespace

int tkxCom::ReadFw(const std::string &file, int *progress) {
  if (!Ready()) return tkx::Fail(TKX_ERR_NOT_READY);
  if (memoryModel != TKX_MEMORY_FULL) return 0;
  FILE *out = std::fopen(file.c_str(), "wb");
  if (!out) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  // a failed block read or file write leaves no image behind: a partial copy
  // must not pass for a backup of the firmware
  int code = 0;  // 0: the failed transfer has set the error code already
  bool ok = true;
  unsigned char block[kFirmwareBlock];
  for (int addr = 0; addr < kFirmwareSize; addr += kFirmwareBlock) {
    if (GetFwAddr(static_cast<unsigned short>(addr), block, kFirmwareBlock) < 0) {
      ok = false;
      break;
    }
    if (std::fwrite(block, 1, kFirmwareBlock, out) != kFirmwareBlock) {
      ok = false;
      code = TKX_ERR_FILE_NOT_FOUND;
      break;
    }
    if (progress) *progress = addr + kFirmwareBlock;
  }
  // only a regular file is removed again, never a device node or pipe
  struct stat st;
  const bool regular = ::fstat(::fileno(out), &st) == 0 && S_ISREG(st.st_mode);
  if (std::fclose(out) != 0 && ok) {
    ok = false;
    code = TKX_ERR_FILE_NOT_FOUND;
  }
  if (ok) return 0;
  if (regular) std::remove(file.c_str());
  return code ? tkx::Fail(code) : -1;
}

int tkxCom::WriteFw(const std::string &file, int *progress) {
  if (!Ready()) return tkx::Fail(TKX_ERR_NOT_READY);
  if (memoryModel != TKX_MEMORY_FULL) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  File in(std::fopen(file.c_str(), "rb"));
  if (!in.f) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);

  // the first block goes in last, so the image stays invalid until it is complete
  unsigned char first[kFirmwareBlock];
  const size_t firstLen = std::fread(first, 1, kFirmwareBlock, in.f);
  if (std::ferror(in.f)) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  unsigned char block[kFirmwareBlock] = {0};
  if (SetFwAddr(0, block, static_cast<unsigned char>(firstLen)) < 0) return -1;

  unsigned short addr = static_cast<unsigned short>(firstLen);
  for (;;) {
    const size_t n = std::fread(block, 1, kFirmwareBlock, in.f);
    // a read error must not end in a valid first block over a partial image
    if (std::ferror(in.f)) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
    if (n == 0) break;
    if (SetFwAddr(addr, block, static_cast<unsigned char>(n)) < 0) return -1;
    addr = static_cast<unsigned short>(addr + n);
    if (progress) *progress = addr;
  }
  return SetFwAddr(0, first, static_cast<unsigned char>(firstLen)) < 0 ? -1 : 0;
}

int tkxCom::EraseFw() {
  if (!Ready()) return tkx::Fail(TKX_ERR_NOT_READY);
  if (memoryModel != TKX_MEMORY_FULL) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  unsigned char block[kFirmwareBlock] = {0};
  return SetFwAddr(0, block, kFirmwareBlock) < 0 ? -1 : 0;
}
