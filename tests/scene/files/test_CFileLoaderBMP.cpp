// The BMP decoder on every layout it reads (and on files a common image tool
// wrote), then on malformed headers, pixel arrays and run-length streams.
#include "scene/files/CFileLoaderBMP.h"

#include "scene/files/ImageFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace {

using namespace imagetest;

class BmpLoader : public ::testing::Test {
 protected:
  bool Load(const Bytes &file) { return bmp.loadBMPFromMemory(file.data(), file.size()); }

  // every decoded pixel against expected(x, y), y = 0 at the bottom
  void ExpectPixels(const std::function<Rgb(int, int)> &expected) const {
    ASSERT_TRUE(bmp.isLoaded());
    ASSERT_EQ(bmp.getRGBSize(), size_t(bmp.getWidth()) * bmp.getHeight() * 3);
    for (int y = 0; y < bmp.getHeight(); ++y)
      for (int x = 0; x < bmp.getWidth(); ++x) {
        const unsigned char *p = bmp.getRGB() + 3 * (size_t(y) * bmp.getWidth() + x);
        ASSERT_TRUE((Rgb{p[0], p[1], p[2]}) == expected(x, y)) << "pixel " << x << "," << y;
      }
  }

  void ExpectRefused(const Bytes &file, const char *status = nullptr) {
    EXPECT_FALSE(Load(file));
    EXPECT_FALSE(bmp.isLoaded());
    EXPECT_EQ(bmp.getRGB(), nullptr);
    EXPECT_EQ(bmp.getWidth() + bmp.getHeight(), 0);
    if (status != nullptr) {
      EXPECT_STREQ(bmp.getStatus(), status);
    }
  }

  cFileLoaderBMP bmp;
};

BmpLayout Layout(int bpp, int width, int height) {
  BmpLayout s;
  s.bpp = bpp;
  s.width = width;
  s.height = height;
  return s;
}

// ---- layouts it reads ------------------------------------------------------------------

TEST_F(BmpLoader, ReadsEveryLayoutBottomRowFirst) {
  std::vector<BmpLayout> layouts;
  // widths 1 to 5 give every amount of row padding
  for (int w = 1; w <= 5; ++w) layouts.push_back(Layout(24, w, 3));
  for (int w : {1, 3, 6}) layouts.push_back(Layout(8, w, 2));
  // top row stored first
  layouts.push_back(Layout(24, 3, -4));
  layouts.push_back(Layout(8, 5, -2));
  // longer information headers (V4, V5 and the ones between)
  for (uint32_t info : {52u, 108u, 124u})
    for (int bpp : {8, 24}) {
      layouts.push_back(Layout(bpp, 3, 2));
      layouts.back().infoSize = info;
    }
  // a palette of the size the header gives, and indices past it
  layouts.push_back(Layout(8, 5, 2));
  layouts.back().clrUsed = layouts.back().paletteEntries = 3;
  layouts.back().index = [](int x, int y) { return uint8_t(x == 4 ? 250 : (x + y) % 3); };
  // pixels where the file header says, after a gap
  for (int bpp : {8, 24}) {
    layouts.push_back(Layout(bpp, 3, 2));
    layouts.back().gap = 37;
    layouts.back().clrUsed = layouts.back().paletteEntries = 16;
  }
  // the last row's padding left out
  layouts.push_back(Layout(24, 3, 2));
  layouts.back().padLastRow = false;

  for (size_t i = 0; i < layouts.size(); ++i) {
    SCOPED_TRACE(i);
    const BmpLayout &s = layouts[i];
    ASSERT_TRUE(Load(MakeBMP(s))) << bmp.getStatus();
    EXPECT_STREQ(bmp.getStatus(), "Bitmap loaded");
    EXPECT_EQ(bmp.getBitsPerPixel(), s.bpp);
    EXPECT_EQ(bmp.isTopDown(), s.height < 0);
    ExpectPixels([&](int x, int y) { return s.Expected(x, y); });
  }
}

TEST_F(BmpLoader, ReadsToolWrittenFiles) {
  // written by ImageMagick 6: 40- and 124-byte headers, 24 bits, 8 bits raw and
  // run-length (whose rows encode their padding as pixels)
  for (const char *name : {"bmp3-24.bmp", "bmp3-8.bmp", "bmp3-rle8.bmp", "v5-24.bmp", "v5-8.bmp"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(bmp.loadBMP(DataFile(name).c_str())) << bmp.getStatus();
    ASSERT_EQ(bmp.getWidth(), 6);
    ASSERT_EQ(bmp.getHeight(), 3);
    ExpectPixels([](int x, int y) { return SamplePixel(x, 2 - y); });
  }
}

// ---- the 12-byte core header (1, 4, 8 and 24 bits) ------------------------------------

// a core-header file: 16-bit sizes, `entries` palette entries of 3 bytes, rows of
// `bits` per pixel packed from the high bits down, each padded to 4 bytes; the
// index of pixel (x, y) is index(x, y) (24 bits: Pattern)
Bytes MakeCoreBMP(int width, int height, int bits, int entries, const std::function<int(int, int)> &index) {
  Bytes b(26, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 14, 12);
  Put32(b, 18, uint32_t(width) | uint32_t(height) << 16);
  Put32(b, 22, 1 | uint32_t(bits) << 16);
  for (int i = 0; bits <= 8 && i < entries; ++i) {
    const Rgb c = PaletteEntry(i);
    b.insert(b.end(), {c.b, c.g, c.r});
  }
  Put32(b, 10, uint32_t(b.size()));
  const size_t padded = ((size_t(width) * bits + 7) / 8 + 3) & ~size_t(3);
  for (int y = 0; y < height; ++y) {
    Bytes row(padded, 0);
    for (int x = 0; x < width; ++x) {
      if (bits == 24) {
        const Rgb c = Pattern(x, y);
        row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
      } else {
        const size_t bit = size_t(x) * bits;
        row[bit / 8] |= uint8_t(index(x, y) << (8 - bits - bit % 8));
      }
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  Put32(b, 2, uint32_t(b.size()));
  return b;
}

TEST_F(BmpLoader, ReadsCoreHeaderFilesOfEveryDepth) {
  for (int bits : {1, 4, 8, 24}) {
    // widths 1 to 9 put the last pixel at every bit and byte position of a row
    for (int w = 1; w <= 9; ++w) {
      SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(w));
      auto index = [&](int x, int y) { return (x * 5 + y * 3 + 1) % (1 << std::min(bits, 8)); };
      ASSERT_TRUE(Load(MakeCoreBMP(w, 3, bits, 1 << std::min(bits, 8), index))) << bmp.getStatus();
      EXPECT_EQ(bmp.getBitsPerPixel(), bits);
      EXPECT_EQ(bmp.getInfoHeader().biSize, 12u);
      ExpectPixels([&](int x, int y) { return bits == 24 ? Pattern(x, y) : PaletteEntry(index(x, y)); });
    }
  }
  // a palette cut short where the pixels start: the missing entries read as black
  ASSERT_TRUE(Load(MakeCoreBMP(4, 2, 4, 3, [](int x, int) { return x + 1; })));
  ExpectPixels([](int x, int) { return x + 1 < 3 ? PaletteEntry(x + 1) : Rgb{0, 0, 0}; });
}

// files a common image tool wrote with the core header, decoded as that tool
// decodes them itself (its reading of the 1- and 4-bit files is kept beside them)
TEST_F(BmpLoader, ReadsToolWrittenCoreHeaderFiles) {
  for (const char *name : {"core-24.bmp", "core-8.bmp"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(bmp.loadBMP(DataFile(name).c_str())) << bmp.getStatus();
    ASSERT_EQ(bmp.getWidth(), 6);
    ASSERT_EQ(bmp.getHeight(), 3);
    ExpectPixels([](int x, int y) { return SamplePixel(x, 2 - y); });
  }
  for (const char *name : {"core-1", "core-4"}) {
    SCOPED_TRACE(name);
    std::ifstream in(DataFile(std::string(name) + ".ppm"), std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    Bytes ppm(size_t(w) * h * 3);
    in.read(reinterpret_cast<char *>(ppm.data()), std::streamsize(ppm.size()));
    ASSERT_TRUE(in && magic == "P6" && w == 6 && h == 3 && max == 255);
    ASSERT_TRUE(bmp.loadBMP(DataFile(std::string(name) + ".bmp").c_str())) << bmp.getStatus();
    // the PPM is stored top row first
    ExpectPixels([&](int x, int y) {
      const uint8_t *p = &ppm[3 * (size_t(2 - y) * 6 + x)];
      return Rgb{p[0], p[1], p[2]};
    });
  }
}

TEST_F(BmpLoader, RefusesBrokenCoreHeaderFiles) {
  auto zero = [](int, int) { return 0; };
  const Bytes good = MakeCoreBMP(5, 2, 4, 16, zero);
  ASSERT_TRUE(Load(good));
  // every cut short of the last row's pixels
  for (size_t n = 0; n + 3 < good.size(); ++n) {
    SCOPED_TRACE(n);
    ExpectRefused(Bytes(good.begin(), good.begin() + n));
  }
  ExpectRefused(MakeCoreBMP(0, 2, 8, 256, zero), "Invalid image size.");
  ExpectRefused(MakeCoreBMP(2, 0, 8, 256, zero), "Invalid image size.");
  for (int bits : {0, 2, 16, 32}) {
    SCOPED_TRACE(bits);
    Bytes f = good;
    f[24] = uint8_t(bits);
    ExpectRefused(f, "File is not 8 or 24 bits per pixel.");
  }
  // 1 and 4 bits stay refused with the 40-byte header
  Bytes four = MakeBMP(Layout(8, 4, 2));
  four[28] = 4;
  ExpectRefused(four, "File is not 8 or 24 bits per pixel.");
}

// ---- run-length (8 bits) ----------------------------------------------------------------

TEST_F(BmpLoader, DecodesRunLength8) {
  BmpLayout s = Layout(8, 4, 3);
  s.compression = 1;
  const struct {
    Bytes stream;
    int want[3][4];  // palette index per pixel, bottom row first
  } cases[] = {
      // encoded run and end of line; absolute run (padded); delta right; end of bitmap
      {{3, 5, 0, 0, 0, 3, 1, 2, 3, 0, 1, 9, 0, 0, 0, 2, 1, 0, 2, 7, 0, 1}, {{5, 5, 5, 0}, {1, 2, 3, 9}, {0, 7, 7, 0}}},
      // a delta down, and a stream that stops once the last row is full
      {{1, 4, 0, 2, 2, 1, 1, 6, 0, 0, 4, 8}, {{4, 0, 0, 0}, {0, 0, 0, 6}, {8, 8, 8, 8}}},
      // runs past the row end (a writer's padding), a delta off the right edge, data
      // below the last row: dropped, never written
      {{6, 1, 0, 0, 0, 5, 2, 3, 4, 5, 6, 0, 0, 2, 9, 0, 3, 3, 0, 0, 2, 7, 0, 0, 9, 9, 0, 1},
       {{1, 1, 1, 1}, {2, 3, 4, 5}, {7, 7, 0, 0}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.stream));
    s.pixels = c.stream;
    ASSERT_TRUE(Load(MakeBMP(s))) << bmp.getStatus();
    ExpectPixels([&](int x, int y) { return PaletteEntry(c.want[y][x]); });
  }

  // streams cut short
  for (const Bytes &stream : {Bytes{0, 5, 1, 2, 3}, Bytes{2, 1}, Bytes{4, 1, 0}, Bytes{0, 2, 1}}) {
    s.pixels = stream;
    ExpectRefused(MakeBMP(s), "File is truncated.");
  }
  // run-length files are bottom-up and 8-bit only
  s.pixels = {0, 1};
  s.height = -3;
  ExpectRefused(MakeBMP(s), "Invalid image size.");
  s.height = 3;
  s.bpp = 24;
  ExpectRefused(MakeBMP(s), "Compressed bitmaps are not supported.");
}

// ---- malformed files ---------------------------------------------------------------------

TEST_F(BmpLoader, RefusesEveryTruncation) {
  for (int bpp : {8, 24}) {
    const Bytes whole = MakeBMP(Layout(bpp, 3, 3));
    // everything but the last row's padding is needed
    for (size_t n = 0; n < whole.size() - (bpp == 8 ? 1 : 3); ++n) {
      SCOPED_TRACE(n);
      ExpectRefused(Bytes(whole.begin(), whole.begin() + n));
    }
  }
}

TEST_F(BmpLoader, RefusesBadHeadersBeforeAllocating) {
  const Bytes good = MakeBMP(Layout(8, 2, 2));
  const struct {
    size_t at;
    uint32_t value;
    const char *status;
  } cases[] = {
      {0, 0x4D41, "Not a bitmap file."},
      {18, 0x7FFFFFFF, "Image is too large."},
      {22, 0x7FFFFFFF, "Image is too large."},
      {22, uint32_t(-0x7FFFFFFF), "Image is too large."},
      {22, 8000, "File is truncated."},  // within the limit, but the rows are missing
      {18, 0, "Invalid image size."},
      {18, uint32_t(-4), "Invalid image size."},
      {18, 0x80000000u, "Invalid image size."},
      {22, 0, "Invalid image size."},
      {22, 0x80000000u, "Invalid image size."},
      // read as a core header: its bit count falls on the upper half of the height
      {14, 12, "File is not 8 or 24 bits per pixel."},
      {14, 11, "Unsupported information header."},
      {14, 39, "Unsupported information header."},
      {14, 5000, "File is truncated."},
      {14, 0xFFFFFFF0u, "File is truncated."},
      {46, 257, "Invalid palette size."},
      {46, 0xFFFFFFFFu, "Invalid palette size."},
      {10, 0, "Invalid pixel data offset."},
      {10, 53, "Invalid pixel data offset."},
      {10, 0xFFFFFFFFu, "File is truncated."},
      {28, 1, "File is not 8 or 24 bits per pixel."},
      {28, 4, "File is not 8 or 24 bits per pixel."},
      {28, 16, "File is not 8 or 24 bits per pixel."},
      {28, 32, "File is not 8 or 24 bits per pixel."},
      {30, 2, "Compressed bitmaps are not supported."},  // 4-bit run-length
      {30, 3, "Compressed bitmaps are not supported."},  // bit fields
      {30, 4, "Compressed bitmaps are not supported."},  // embedded JPEG
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.at);
    SCOPED_TRACE(c.value);
    Bytes f = good;
    if (c.at == 0 || c.at == 28) {
      f[c.at] = uint8_t(c.value);
      f[c.at + 1] = uint8_t(c.value >> 8);
    } else {
      Put32(f, c.at, c.value);
    }
    ExpectRefused(f, c.status);
  }

  Bytes huge = good;
  Put32(huge, 18, 3000000);
  Put32(huge, 22, 2000000);
  ExpectRefused(huge, "Image is too large.");

  // a palette count the file cannot hold
  BmpLayout s = Layout(8, 1, 1);
  s.clrUsed = 200;
  s.paletteEntries = 2;
  ExpectRefused(MakeBMP(s), "File is truncated.");
  // a lowered limit refuses what the default takes
  s = Layout(24, 11, 10);
  bmp.setMaxPixels(110);
  ASSERT_TRUE(Load(MakeBMP(s)));
  bmp.setMaxPixels(109);
  ExpectRefused(MakeBMP(s), "Image is too large.");
}

TEST_F(BmpLoader, FileFailuresAndReloads) {
  TempDir dir;
  EXPECT_FALSE(bmp.loadBMP((dir.path() + "/missing.bmp").c_str()));
  EXPECT_STREQ(bmp.getStatus(), "File does not exist.");
  EXPECT_FALSE(bmp.loadBMP(dir.path().c_str()));
  EXPECT_FALSE(bmp.loadBMP(nullptr));
  EXPECT_FALSE(bmp.loadBMP(dir.Write("empty.bmp", {}).c_str()));
  ASSERT_TRUE(bmp.loadBMP(dir.Write("a.bmp", MakeBMP(Layout(24, 2, 2))).c_str()));
  ExpectPixels(Pattern);
  // a failed load drops the image before it
  ExpectRefused(Bytes{'B', 'M'});
}

}  // namespace
