// The TGA decoder: uncompressed and run-length, colour and grey, tool-written
// files, and the headers and packet streams it must refuse.
#include "scene/files/CFileLoaderTGA.h"

#include "scene/files/ImageFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace {

using namespace imagetest;

// pixel bytes as stored (blue, green, red[, alpha]), with runs of three equal pixels
Bytes Stored(int w, int h, int bpp) {
  Bytes b;
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const Rgb c = Pattern(x / 3, r);
      b.insert(b.end(), {c.b, c.g, c.r});
      if (bpp == 4) b.push_back(uint8_t(x / 3 * 9 + r));
    }
  return b;
}

// as delivered: red and blue swapped back
Bytes Delivered(Bytes stored, int bpp) {
  for (size_t i = 0; i < stored.size(); i += bpp) std::swap(stored[i], stored[i + 2]);
  return stored;
}

// repeat packets for runs of two or more, raw packets between them
Bytes EncodeRLE(const Bytes &px, int bpp) {
  const size_t n = px.size() / bpp;
  auto same = [&](size_t a, size_t b) {
    return std::equal(px.begin() + a * bpp, px.begin() + (a + 1) * bpp, px.begin() + b * bpp);
  };
  Bytes out;
  for (size_t i = 0; i < n;) {
    size_t run = 1;
    while (i + run < n && run < 128 && same(i, i + run)) ++run;
    const bool repeat = run >= 2;
    if (!repeat)
      while (i + run < n && run < 128 && !(i + run + 1 < n && same(i + run, i + run + 1))) ++run;
    out.push_back(uint8_t((repeat ? 0x80 : 0) | (run - 1)));
    out.insert(out.end(), px.begin() + i * bpp, px.begin() + (i + (repeat ? 1 : run)) * bpp);
    i += run;
  }
  return out;
}

class TgaLoader : public ::testing::Test {
 protected:
  bool Load(const Bytes &file) { return tga.LoadFromMemory(file.data(), file.size()); }
  Bytes Pixels() const { return Bytes(tga.GetPixels(), tga.GetPixels() + tga.GetPixelsSize()); }

  void ExpectRefused(const Bytes &file) {
    EXPECT_FALSE(Load(file));
    EXPECT_FALSE(tga.IsLoaded());
    EXPECT_EQ(tga.GetPixels(), nullptr);
    EXPECT_EQ(tga.GetImageWidth(), 0);
    EXPECT_EQ(tga.GetImageType(), 0);
  }

  cFileLoaderTGA tga;
};

// ---- what it reads ------------------------------------------------------------------------

TEST_F(TgaLoader, ColourComesOutRedFirstInFileOrder) {
  for (int bpp : {3, 4}) {
    SCOPED_TRACE(bpp);
    // runs and raw stretches longer than one packet, an id field to skip
    const Bytes stored = Stored(300, 3, bpp);
    const Bytes rle = EncodeRLE(stored, bpp);
    ASSERT_LT(rle.size(), stored.size());
    for (const Bytes &file : {MakeTGA(2, 300, 3, 8 * bpp, bpp == 4 ? 8 : 0, stored, {'i', 'd', 0}),
                              MakeTGA(10, 300, 3, 8 * bpp, bpp == 4 ? 8 : 0, rle)}) {
      ASSERT_TRUE(Load(file));
      EXPECT_EQ(tga.GetImageWidth(), 300);
      EXPECT_EQ(tga.GetImageHeight(), 3);
      EXPECT_EQ(tga.GetPixelDepth(), 8 * bpp);
      EXPECT_EQ(tga.GetAlphaDepth(), bpp == 4 ? 8 : 0);
      EXPECT_EQ(tga.GetImageType(), bpp == 4 ? cFileLoaderTGA::TGA_RGBA : cFileLoaderTGA::TGA_RGB);
      EXPECT_EQ(Pixels(), Delivered(stored, bpp));
    }
  }
  // packets may cross rows: 3 × 2 as one repeat of 4 and one raw packet of 2
  ASSERT_TRUE(Load(MakeTGA(10, 3, 2, 24, 0, {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9})));
  EXPECT_EQ(Pixels(), (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 6, 5, 4, 9, 8, 7}));
}

TEST_F(TgaLoader, GreyKeepsItsBytes) {
  const Bytes grey = {10, 20, 30, 40, 40, 40, 40, 50};
  for (const Bytes &file :
       {MakeTGA(3, 4, 2, 8, 0, grey), MakeTGA(11, 4, 2, 8, 0, EncodeRLE(grey, 1)), MakeTGA(3, 2, 2, 16, 8, grey)}) {
    ASSERT_TRUE(Load(file));
    EXPECT_EQ(tga.GetImageType(), cFileLoaderTGA::TGA_GREY);
    EXPECT_EQ(Pixels(), grey);
  }
}

TEST_F(TgaLoader, ReadsToolWrittenFiles) {
  // written by ImageMagick 6, which stored the picture's top row first
  for (const char *name : {"tga-24.tga", "tga-rle-24.tga", "tga-rle-32.tga"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(tga.LoadFromFile(DataFile(name)));
    ASSERT_EQ(tga.GetImageWidth(), 6);
    ASSERT_EQ(tga.GetImageHeight(), 3);
    const size_t bpp = tga.GetPixelDepth() / 8;
    const Bytes px = Pixels();
    for (int r = 0; r < 3; ++r)
      for (int x = 0; x < 6; ++x) {
        const uint8_t *p = &px[(r * 6 + x) * bpp];
        EXPECT_TRUE((Rgb{p[0], p[1], p[2]}) == SamplePixel(x, r)) << x << "," << r;
        EXPECT_EQ(bpp == 4 ? p[3] : 127, 127);
      }
  }
}

// ---- malformed files ----------------------------------------------------------------------

TEST_F(TgaLoader, RefusesHeadersItDoesNotRead) {
  const Bytes px = Stored(2, 2, 4);
  Bytes mapped = MakeTGA(2, 2, 2, 24, 0, px);
  mapped[1] = 1;
  ExpectRefused(mapped);
  for (int type : {0, 1, 9, 32, 33}) ExpectRefused(MakeTGA(type, 2, 2, 24, 0, px));
  // 8- and 16-bit colour are refused, not converted
  for (int depth : {0, 8, 15, 16, 64}) ExpectRefused(MakeTGA(2, 2, 2, depth, 0, px));
  for (int depth : {24, 32}) ExpectRefused(MakeTGA(3, 2, 2, depth, 0, px));
  ExpectRefused(MakeTGA(2, 2, 2, 32, 4, px));  // 4 alpha bits
  ExpectRefused(MakeTGA(2, 0, 2, 24, 0, px));
  ExpectRefused(MakeTGA(2, 2, 0, 24, 0, px));
}

TEST_F(TgaLoader, RefusesSizesTheFileCannotHold) {
  const Bytes small(40, 0x81);
  ExpectRefused(MakeTGA(2, 65535, 65535, 32, 8, small));
  ExpectRefused(MakeTGA(10, 65535, 65535, 32, 8, small));
  // within the pixel limit, but no stream this short can fill it
  ExpectRefused(MakeTGA(2, 8192, 8192, 24, 0, small));
  ExpectRefused(MakeTGA(10, 8192, 8192, 24, 0, small));
  tga.SetMaxPixels(5);
  ExpectRefused(MakeTGA(2, 3, 2, 24, 0, Bytes(18, 1)));
  ASSERT_TRUE(Load(MakeTGA(2, 5, 1, 24, 0, Bytes(15, 1))));
}

TEST_F(TgaLoader, RefusesPacketsRunningPastTheImage) {
  // 2 × 2 = 4 pixels
  ExpectRefused(MakeTGA(10, 2, 2, 24, 0, {0x84, 1, 2, 3}));
  ExpectRefused(MakeTGA(10, 2, 2, 24, 0, {0x82, 1, 2, 3, 0x81, 4, 5, 6}));
  ExpectRefused(MakeTGA(10, 2, 2, 24, 0, {0x04, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));
  ExpectRefused(MakeTGA(11, 2, 2, 8, 0, {0xFF, 7, 0xFF, 7}));
  ASSERT_TRUE(Load(MakeTGA(10, 2, 2, 24, 0, {0x83, 1, 2, 3})));
}

TEST_F(TgaLoader, RefusesEveryTruncation) {
  const Bytes stored = Stored(5, 3, 4);
  for (const Bytes &whole :
       {MakeTGA(2, 5, 3, 32, 8, stored, {1, 2, 3}), MakeTGA(10, 5, 3, 32, 8, EncodeRLE(stored, 4), {1, 2, 3})}) {
    ASSERT_TRUE(Load(whole));
    for (size_t n = 0; n < whole.size(); ++n) {
      SCOPED_TRACE(n);
      ExpectRefused(Bytes(whole.begin(), whole.begin() + n));
    }
  }
  Bytes longId = MakeTGA(2, 1, 1, 24, 0, {1, 2, 3});
  longId[0] = 200;
  ExpectRefused(longId);
}

TEST_F(TgaLoader, ClearAndFileFailures) {
  TempDir dir;
  EXPECT_FALSE(tga.LoadFromFile(dir.path() + "/missing.tga"));
  EXPECT_FALSE(tga.LoadFromFile(dir.path()));
  ASSERT_TRUE(tga.LoadFromFile(dir.Write("a.tga", MakeTGA(2, 1, 1, 32, 8, {1, 2, 3, 4}))));
  EXPECT_EQ(Pixels(), (Bytes{3, 2, 1, 4}));
  tga.Clear();
  EXPECT_FALSE(tga.IsLoaded());
  EXPECT_EQ(tga.GetPixels(), nullptr);
  EXPECT_EQ(tga.GetImageHeight() + tga.GetPixelDepth() + tga.GetAlphaDepth(), 0);
  // a failed load leaves nothing of the image before it
  ASSERT_TRUE(Load(MakeTGA(2, 1, 1, 24, 0, {1, 2, 3})));
  ExpectRefused(MakeTGA(2, 1, 1, 24, 0, {1, 2}));
}

}  // namespace
