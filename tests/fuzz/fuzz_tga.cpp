// Fuzzes the TGA decoder on whole files held in memory, then reads every byte of
// whatever it accepted so an image smaller than its reported size is caught.
#include "scene/files/CFileLoaderTGA.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // a copy of exactly the input, so a read one byte past the file is caught
  std::vector<unsigned char> file(data, data + size);
  cFileLoaderTGA tga;
  // the same lower limit as the BMP fuzzer, to keep every input fast
  tga.SetMaxPixels(uint64_t(1) << 16);
  const bool ok = tga.LoadFromMemory(file.data(), file.size());
  if (!ok) {
    if (tga.GetPixels() != nullptr || tga.IsLoaded()) std::abort();
    return 0;
  }
  const int depth = tga.GetPixelDepth();
  const int type = tga.GetImageType();
  if (depth != 8 && depth != 16 && depth != 24 && depth != 32) std::abort();
  if ((type == cFileLoaderTGA::TGA_GREY) != (depth <= 16)) std::abort();
  const size_t n = tga.GetPixelsSize();
  if (tga.GetPixels() == nullptr || n != size_t(tga.GetImageWidth()) * size_t(tga.GetImageHeight()) * size_t(depth / 8))
    std::abort();
  unsigned sum = 0;
  for (size_t i = 0; i < n; ++i) sum += tga.GetPixels()[i];
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
