// Fuzzes the BMP decoder on whole files held in memory, then reads every byte of
// whatever it accepted so an image smaller than its reported size is caught.
#include "scene/files/CFileLoaderBMP.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // a copy of exactly the input, so a read one byte past the file is caught
  std::vector<unsigned char> file(data, data + size);
  cFileLoaderBMP bmp;
  // a run-length header claims its whole size in a few bytes; a lower limit keeps
  // every input fast while reaching the same refusal
  bmp.setMaxPixels(uint64_t(1) << 16);
  const bool ok = bmp.loadBMPFromMemory(file.data(), file.size());
  if (!ok) {
    if (bmp.getRGB() != nullptr || bmp.isLoaded()) std::abort();
    return 0;
  }
  const size_t n = bmp.getRGBSize();
  if (bmp.getRGB() == nullptr || bmp.getWidth() <= 0 || bmp.getHeight() <= 0 ||
      n != size_t(bmp.getWidth()) * size_t(bmp.getHeight()) * 3)
    std::abort();
  unsigned sum = 0;
  for (size_t i = 0; i < n; ++i) sum += bmp.getRGB()[i];
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
