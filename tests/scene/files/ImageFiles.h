// Test helpers for the image loaders: BMP and TGA files built byte by byte, a
// private temporary directory, and the committed sample files.
#ifndef TESTS_SCENE_IMAGEFILES_H
#define TESTS_SCENE_IMAGEFILES_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace imagetest {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

// every pixel differs from its neighbours; (0, 0) is the bottom-left
inline Rgb Pattern(int x, int y) {
  return Rgb{uint8_t(17 + 40 * x + y), uint8_t(200 - 30 * y + x), uint8_t(5 + 11 * (x ^ y))};
}
inline Rgb PaletteEntry(int i) { return Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)}; }

// what a BMP writer would store; the defaults give a plain bottom-up 24-bit file
struct BmpLayout {
  int width = 4;
  int height = 3;  // negative: stored top row first
  int bpp = 24;
  uint32_t infoSize = 40;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;      // header field
  int paletteEntries = 256;  // entries actually written (8-bit)
  uint32_t gap = 0;          // junk bytes between palette and pixels
  bool padLastRow = true;
  // 8-bit index of pixel (x, y), y = 0 at the bottom (24-bit files store Pattern)
  std::function<uint8_t(int, int)> index = [](int x, int y) { return uint8_t(x + 7 * y); };
  Bytes pixels;  // replaces the pixel array when not empty (run-length streams)

  // the colour a decoder must deliver: indices past the written palette read as black
  Rgb Expected(int x, int y) const {
    if (bpp == 24) return Pattern(x, y);
    const int i = index(x, y);
    return i < paletteEntries ? PaletteEntry(i) : Rgb{0, 0, 0};
  }
};

inline Bytes MakeBMP(const BmpLayout &s) {
  const int h = s.height < 0 ? -s.height : s.height;
  const size_t row = size_t(s.width) * s.bpp / 8, padded = (row + 3) & ~size_t(3);
  const size_t offset = 14 + s.infoSize + (s.bpp == 8 ? 4 * size_t(s.paletteEntries) : 0) + s.gap;
  Bytes pix = s.pixels;
  for (int r = 0; s.pixels.empty() && r < h; ++r) {
    const int y = s.height < 0 ? h - 1 - r : r;  // file row r holds picture row y
    for (int x = 0; x < s.width; ++x) {
      const Rgb c = Pattern(x, y);
      const Bytes px = s.bpp == 24 ? Bytes{c.b, c.g, c.r} : Bytes{s.index(x, y)};
      pix.insert(pix.end(), px.begin(), px.end());
    }
    if (s.padLastRow || r + 1 < h) pix.resize(pix.size() + (padded - row), 0xEE);
  }
  Bytes b(offset, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, uint32_t(offset + pix.size()));
  Put32(b, 10, uint32_t(offset));
  Put32(b, 14, s.infoSize);
  Put32(b, 18, uint32_t(s.width));
  Put32(b, 22, uint32_t(s.height));
  Put32(b, 26, 1 | uint32_t(s.bpp) << 16);
  Put32(b, 30, s.compression);
  Put32(b, 34, uint32_t(pix.size()));
  Put32(b, 46, s.clrUsed);
  for (int i = 0; s.bpp == 8 && i < s.paletteEntries; ++i) {
    const Rgb c = PaletteEntry(i);
    const size_t at = 14 + s.infoSize + 4 * size_t(i);
    b[at] = c.b;
    b[at + 1] = c.g;
    b[at + 2] = c.r;
  }
  std::fill(b.end() - s.gap, b.end(), 0xAB);
  b.insert(b.end(), pix.begin(), pix.end());
  return b;
}

// an 18-byte TGA header followed by id and body, exactly as given
inline Bytes MakeTGA(int type, int width, int height, int depth, int descriptor, const Bytes &body,
                     const Bytes &id = {}) {
  Bytes b(18, 0);
  b[0] = uint8_t(id.size());
  b[2] = uint8_t(type);
  Put32(b, 12, uint32_t(width) | uint32_t(height) << 16);
  b[16] = uint8_t(depth);
  b[17] = uint8_t(descriptor);
  b.insert(b.end(), id.begin(), id.end());
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// a directory of its own for each test (cases run in parallel processes)
class TempDir {
 public:
  TempDir() {
    std::string pattern = ::testing::TempDir() + "scene_image_XXXXXX";
    if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string &path() const { return path_; }
  std::string Write(const std::string &name, const Bytes &bytes) const {
    const std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return p;
  }

 private:
  std::string path_;
};

// the committed sample files next to this header
inline std::string DataFile(const std::string &name) {
  const std::string here = __FILE__;
  const std::string path = here.substr(0, here.find_last_of('/') + 1) + "data/" + name;
  // a build inside the source tree may name this header relative to the build
  // directory, while the tests run from the repository root
  const size_t tests = path.find("tests/");
  if (path[0] != '/' && tests != std::string::npos && !std::ifstream(path).good()) return path.substr(tests);
  return path;
}

// the 6 × 3 picture the sample files were written from, top row first as drawn
inline Rgb SamplePixel(int column, int row_from_top) {
  static const Rgb rows[3][6] = {
      {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0}, {90, 80, 70}},
      {{10, 20, 30}, {200, 100, 50}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {33, 66, 99}},
      {{128, 128, 128}, {40, 200, 120}, {250, 251, 252}, {64, 0, 128}, {0, 128, 64}, {17, 34, 51}},
  };
  return rows[row_from_top][column];
}

}  // namespace imagetest

#endif
