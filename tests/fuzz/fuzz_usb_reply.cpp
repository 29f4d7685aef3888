// Fuzzes the reply decoders: the first byte picks the device type, the rest is
// the reply exactly as received (its length included).
#include "tkx/tkxComUSBPacket.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const tkx::usb::TypeInfo type = tkx::usb::TypeFromCode(data[0]);
  // a copy of exactly the received bytes, so a read past them is caught
  std::vector<uint8_t> reply(data + 1, data + size);
  const int received = static_cast<int>(reply.size() > 64 ? 64 : reply.size());
  static const int reset[8] = {30500, 21500, 21500, 32768, 32768, 32768, 32768, 32768};
  int cache[8] = {};
  uint8_t status = 0, buttons = 0;
  tkx::usb::DecodeEncoderReply(reply.data(), received, type, reset, cache, &status, &buttons);
  if (received >= 4) {
    volatile int32_t v = tkx::usb::Decode24(reply.data());
    (void)v;
  }
  return 0;
}
