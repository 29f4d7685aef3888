// Fuzzes what the Falcon's channel makes of the bytes behind the converter's
// status bytes: a virtual Falcon on the virtual bus is opened once, then each
// input is cut into chunks (a length byte, that many bytes) that the converter
// sends before the Falcon's own frames, one exchange per chunk. Whatever comes,
// the pending bytes stay in their buffer and decoded encoders are 16-bit values.
#include "tkx/tkxComFalcon.h"
#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

void NoPause(double) {}

struct Rig {
  std::shared_ptr<tkx::virt::Falcon> falcon;
  std::unique_ptr<tkxComFalcon> com;
};

Rig &TheRig() {
  static Rig *rig = [] {
    auto *r = new Rig;
    unsetenv("TKX_FALCON_FIRMWARE");
    tkx::testing::EnableLibusbBackend(false);
    tkx::testing::SetControlPause(&NoPause);
    tkx::virt::testing::SetRate(0);
    r->falcon = tkx::virt::PlugFalcon();
    tkx::virt::Rescan();
    r->com = std::make_unique<tkxComFalcon>();
    if (r->com->Open(0) != 0) std::abort();
    r->falcon->Home();
    return r;
  }();
  return *rig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Rig &rig = TheRig();
  size_t pos = 0;
  while (pos < size) {
    size_t len = data[pos++];
    if (len > size - pos) len = size - pos;
    rig.falcon->Inject(std::vector<unsigned char>(data + pos, data + pos + len));
    pos += len;
    // every exchange, not just one a millisecond
    rig.com->SetTransMot(static_cast<short>(len), 0, 0);
    int e[3] = {0, 0, 0};
    rig.com->GetTransEnc(&e[0], &e[1], &e[2], nullptr);
    for (int v : e)
      if (v < -32768 - 65536 || v > 32767 + 65536) __builtin_trap();
  }
  return 0;
}
