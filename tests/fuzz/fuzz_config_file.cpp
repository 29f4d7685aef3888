// Fuzzes the configuration-file reader: the first byte picks the type of a
// virtual device, the rest is the file. A refused file must leave every
// parameter as it was; a file read must leave every one finite and, where it has
// a range, within it.
#include "tkx/tkx.h"
#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// one slot per type, bound once: opening a device per input would drown the reader
const int kCodes[] = {31, 3, 33, 34, 35, 36, 37, 61, 62, 63, 64, 101};
constexpr int kTypes = sizeof kCodes / sizeof kCodes[0];

struct Bench {
  std::unique_ptr<TKX> slots[kTypes];
  std::string path;
  Bench() {
    tkx::testing::EnableLibusbBackend(false);
    char name[] = "/tmp/tkx_fuzz_config_XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd >= 0) ::close(fd);
    path = name;
  }
  ~Bench() { std::remove(path.c_str()); }
  // the slot of this type, opened on first use (each alone on the bus)
  TKX *Slot(int i) {
    if (!slots[i]) {
      for (auto &s : slots)
        if (s) s->Close();
      tkx::virt::UnplugAll();
      tkx::virt::Plug(kCodes[i], false);
      tkx::virt::Rescan();
      for (auto &s : slots) s.reset();
      slots[i] = std::make_unique<TKX>();
      if (slots[i]->Open(0) != 0) return nullptr;
    }
    return slots[i].get();
  }
};

std::vector<double> Params(TKX &slot) {
  std::vector<double> v;
  for (int id = 120; id < 600; ++id) v.push_back(slot.GetParam(id));
  v.push_back(slot.GetSerialNumber());
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static Bench bench;
  if (size < 1) return 0;
  TKX *slot = bench.Slot(data[0] % kTypes);
  if (slot == nullptr) return 0;
  FILE *f = std::fopen(bench.path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  const std::vector<double> before = Params(*slot);
  const int result = slot->ReadConfigFromFile(bench.path.c_str());
  if (result != 0 && result != -1) __builtin_trap();
  if (result < 0 && Params(*slot) != before) __builtin_trap();
  for (int id = 120; id < 600; ++id) {
    const double v = slot->GetParam(id), lo = slot->GetLowerParam(id), hi = slot->GetUpperParam(id);
    if (!std::isfinite(v) || (lo < hi && (v < lo || v > hi))) __builtin_trap();
  }
  return 0;
}
