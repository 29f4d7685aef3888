// Fuzzes the virtual firmware with arbitrary command packets: each packet is a
// length byte and that many bytes (cut at the end of the input); after each, one
// reply is read into a buffer of the length the next byte says. Time advances
// 1 ms per packet.
#include "tkx/virtual/tkxVirtualDevice.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  // the first byte picks the device type and whether its memory is blank; odd
  // lengths also simulate the mechanism behind the firmware
  tkx::virt::Device dev(data[0] & 0x7F, (data[0] & 0x80) != 0, (size & 1) != 0);
  size_t pos = 1;
  double now = 0.0;
  while (pos < size) {
    size_t len = data[pos++];
    if (len > size - pos) len = size - pos;
    // exactly the packet's bytes, so a read past them is caught
    std::vector<unsigned char> packet(data + pos, data + pos + len);
    pos += len;
    now += 0.001;
    dev.Write(packet.data(), static_cast<int>(packet.size()), now);
    const int want = pos < size ? data[pos++] : 64;
    std::vector<unsigned char> reply(static_cast<size_t>(want));
    int received = 0;
    dev.Read(reply.data(), want, &received, now);
    if (received > want) __builtin_trap();
  }
  return 0;
}
