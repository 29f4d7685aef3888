// Image decoding: a 1024 × 1024 24-bit bitmap, decoded from memory, and loaded from
// disk into RGBA the way textures load it.
#include "scene/files/CFileLoaderBMP.h"
#include "scene/files/CImageLoader.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 1024;

void Put32(std::vector<unsigned char> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// a bottom-up 24-bit file with a 40-byte header and varied pixels
const std::vector<unsigned char> &Bitmap1024() {
  static const std::vector<unsigned char> file = [] {
    const size_t row = kSide * 3;  // already a multiple of 4
    std::vector<unsigned char> b(54 + row * kSide, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, kSide);
    Put32(b, 22, kSide);
    b[26] = 1;
    b[28] = 24;
    Put32(b, 34, static_cast<uint32_t>(row * kSide));
    uint32_t x = 12345;
    for (size_t i = 54; i < b.size(); ++i) {
      x = x * 1103515245u + 12345u;
      b[i] = static_cast<unsigned char>(x >> 16);
    }
    return b;
  }();
  return file;
}

void BM_DecodeBMP1024(benchmark::State &state) {
  const std::vector<unsigned char> &file = Bitmap1024();
  cFileLoaderBMP bmp;
  for (auto _ : state) {
    const bool ok = bmp.loadBMPFromMemory(file.data(), file.size());
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(bmp.getRGB());
    if (!ok) {
      state.SkipWithError("decode failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeBMP1024)->Unit(benchmark::kMillisecond);

// read from disk, decoded and expanded to RGBA (the page cache keeps the file warm)
void BM_LoadImageBMP1024(benchmark::State &state) {
  const std::vector<unsigned char> &file = Bitmap1024();
  char path[] = "/tmp/scene_bench_XXXXXX.bmp";
  const int fd = mkstemps(path, 4);
  if (fd < 0 || write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) {
    if (fd >= 0) close(fd);
    state.SkipWithError("cannot write the bitmap");
    return;
  }
  close(fd);
  cImageLoader image;
  for (auto _ : state) {
    const int rc = image.loadFromFile(path);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(image.getData());
    if (rc != 0) {
      state.SkipWithError("load failed");
      break;
    }
  }
  unlink(path);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_LoadImageBMP1024)->Unit(benchmark::kMillisecond);

}  // namespace
