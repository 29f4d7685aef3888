// The image holder: choosing a decoder by extension (and the one retry as a
// bitmap), RGBA delivery, the empty state after every failure, pixel access.
#include "scene/files/CImageLoader.h"

#include "scene/files/ImageFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace imagetest;

class ImageLoader : public ::testing::Test {
 protected:
  void ExpectEmpty() const {
    EXPECT_FALSE(img.m_initialized);
    EXPECT_EQ(img.m_data, nullptr);
    EXPECT_EQ(img.m_width, -1);
    EXPECT_EQ(img.m_height, -1);
    EXPECT_STREQ(img.m_filename, "");
  }

  void ExpectPattern() const {
    ASSERT_TRUE(img.m_initialized);
    ASSERT_EQ(img.m_format, GL_RGBA);
    ASSERT_EQ(img.m_bitsPerPixel, 32);
    for (int y = 0; y < img.m_height; ++y)
      for (int x = 0; x < img.m_width; ++x) {
        const Rgb c = Pattern(x, y);
        ASSERT_EQ(img.getPixelColor(x, y), cColorb(c.r, c.g, c.b, 255)) << x << "," << y;
      }
  }

  std::string Bitmap(const std::string &name, int height = 2) {
    BmpLayout s;
    s.width = 3;
    s.height = height;
    return dir.Write(name, MakeBMP(s));
  }

  cImageLoader img;
  TempDir dir;
};

// ---- decoding by extension ------------------------------------------------------------------

TEST_F(ImageLoader, BitmapsBecomeRGBABottomRowFirst) {
  // either row order on disk, and the extension in any case
  for (const char *name : {"up.bmp", "a.BMP", "b.Bmp"}) {
    const std::string path = Bitmap(name, 4);
    ASSERT_EQ(img.loadFromFile(path.c_str()), 0) << name;
    EXPECT_STREQ(img.m_filename, path.c_str());
    ExpectPattern();
  }
  ASSERT_EQ(img.loadFromFile(Bitmap("down.bmp", -4).c_str()), 0);
  EXPECT_EQ(img.m_height, 4);
  ExpectPattern();
  ASSERT_EQ(img.loadFromFile(DataFile("v5-8.bmp").c_str()), 0);
  EXPECT_EQ(img.getPixelColor(0, 2), cColorb(255, 0, 0, 255));  // top-left as drawn
}

TEST_F(ImageLoader, TargaColourLoadsAndGreyIsRefused) {
  ASSERT_EQ(img.loadFromFile(dir.Write("rgb.TGA", MakeTGA(2, 2, 1, 24, 0, {1, 2, 3, 4, 5, 6})).c_str()), 0);
  EXPECT_EQ(img.m_format, GL_RGBA);
  EXPECT_EQ(img.getPixelColor(0, 0), cColorb(3, 2, 1, 255));
  EXPECT_EQ(img.getPixelColor(1, 0), cColorb(6, 5, 4, 255));
  // 32 bits keep their alpha
  ASSERT_EQ(img.loadFromFile(dir.Write("rgba.tga", MakeTGA(10, 2, 1, 32, 8, {0x81, 1, 2, 3, 77})).c_str()), 0);
  EXPECT_EQ(img.getPixelColor(1, 0), cColorb(3, 2, 1, 77));

  EXPECT_EQ(img.loadFromFile(dir.Write("grey.tga", MakeTGA(3, 2, 1, 8, 0, {9, 9})).c_str()), -1);
  ExpectEmpty();
}

TEST_F(ImageLoader, UnknownExtensionRetriesOnceAsBitmap) {
  const std::string bmp = Bitmap("photo.bmp");
  ASSERT_EQ(img.loadFromFile((dir.path() + "/photo.png").c_str()), 0);
  EXPECT_STREQ(img.m_filename, bmp.c_str());
  ExpectPattern();
  // the retried name must exist, and "photo.bmp.x" becomes the absent "photo.bmp.bmp"
  EXPECT_EQ(img.loadFromFile((dir.path() + "/other.jpeg").c_str()), -1);
  EXPECT_EQ(img.loadFromFile((bmp + ".x").c_str()), -1);
  ExpectEmpty();
}

TEST_F(ImageLoader, NamesWithoutAnExtensionFail) {
  Bitmap("plain.bmp");
  Bitmap("set.bmp");
  ASSERT_EQ(mkdir((dir.path() + "/set.v2").c_str(), 0700), 0);
  Bitmap("set.v2/plain.bmp");
  // a dotted directory lends no extension: "set.v2/plain" must not become "set.bmp"
  for (const std::string &path :
       {dir.path() + "/plain", dir.path() + "/plain.", dir.path() + "/.", dir.path() + "/set.v2/plain",
        dir.path() + "/set.v2\\plain", std::string("plain"), std::string("")}) {
    EXPECT_EQ(img.loadFromFile(path.c_str()), -1) << path;
    ExpectEmpty();
  }
  EXPECT_EQ(img.loadFromFile(nullptr), -1);
}

TEST_F(ImageLoader, LongPathsKeep254Characters) {
  std::string sub = dir.path();
  while (sub.size() < 270) {
    sub += "/" + std::string(60, 'd');
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  }
  const std::string path = sub + "/" + std::string(40, 'f') + ".bmp";
  dir.Write(path.substr(dir.path().size() + 1), MakeBMP(BmpLayout()));
  ASSERT_EQ(img.loadFromFile(path.c_str()), 0);
  EXPECT_EQ(std::string(img.m_filename), path.substr(0, 254));
}

// ---- failures leave the loader empty -----------------------------------------------------------

TEST_F(ImageLoader, EveryFailureLeavesItEmpty) {
  const Bytes good = MakeBMP(BmpLayout());
  Bytes huge = good, zeroWidth = good, shortPixels(good.begin(), good.end() - 5);
  Put32(huge, 18, 3000000);
  Put32(huge, 22, 2000000);
  Put32(zeroWidth, 18, 0);
  const std::pair<const char *, Bytes> bad[] = {
      {"huge.bmp", huge},
      {"short.bmp", shortPixels},
      {"zero.bmp", zeroWidth},
      {"empty.bmp", {}},
      {"rle.tga", MakeTGA(10, 2, 1, 24, 0, {0x85, 1, 2, 3})},
      {"colour16.tga", MakeTGA(2, 2, 1, 16, 0, {1, 2, 3, 4})},
  };
  for (const auto &b : bad) {
    ASSERT_EQ(img.loadFromFile(Bitmap("good.bmp").c_str()), 0);
    EXPECT_EQ(img.loadFromFile(dir.Write(b.first, b.second).c_str()), -1) << b.first;
    ExpectEmpty();
  }
  EXPECT_EQ(img.loadFromFile((dir.path() + "/missing.bmp").c_str()), -1);
  // a named pipe with no writer is refused, not waited on
  const std::string pipe = dir.path() + "/pipe.bmp";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(img.loadFromFile(pipe.c_str()), -1);
  ExpectEmpty();
}

// ---- pixel access ---------------------------------------------------------------------------

TEST_F(ImageLoader, PixelAccessStaysInsideTheImage) {
  // never loaded: nothing to read, write, clear, replace or convert
  img.setPixelColor(0, 0, cColorb(1, 1, 1, 1));
  img.clear(cColorb(1, 2, 3, 4));
  img.replace(cColorb(0, 0, 0, 255), cColorb(0, 0, 0, 0));
  img.convertToRGBA();
  EXPECT_EQ(img.getPixelColor(0, 0), cColorb(0, 0, 0, 0));
  ExpectEmpty();

  ASSERT_EQ(img.loadFromFile(Bitmap("p.bmp").c_str()), 0);  // 3 × 2
  for (auto xy : {std::pair<int, int>{3, 0}, {0, 2}, {-1, 0}, {0, -1}, {1 << 30, 1 << 30}}) {
    EXPECT_EQ(img.getPixelColor(xy.first, xy.second), cColorb(0, 0, 0, 0));
    img.setPixelColor(xy.first, xy.second, cColorb(1, 1, 1, 1));
  }
  ExpectPattern();

  // replace changes exact matches of all four bytes only
  img.clear(cColorb(0, 0, 0, 255));
  img.setPixelColor(1, 1, cColorb(0, 0, 0, 254));
  img.replace(cColorb(0, 0, 0, 255), cColorb(0, 0, 0, 0));
  EXPECT_EQ(img.getPixelColor(2, 1), cColorb(0, 0, 0, 0));
  EXPECT_EQ(img.getPixelColor(1, 1), cColorb(0, 0, 0, 254));
}

TEST_F(ImageLoader, CopiesOwnTheirPixels) {
  ASSERT_EQ(img.loadFromFile(Bitmap("p.bmp").c_str()), 0);
  cImageLoader copy(img);
  copy.setPixelColor(0, 0, cColorb(1, 2, 3, 4));
  ExpectPattern();
  cImageLoader assigned;
  assigned = copy;
  EXPECT_EQ(assigned.getPixelColor(0, 0), cColorb(1, 2, 3, 4));
  EXPECT_STREQ(assigned.m_filename, img.m_filename);
  assigned = cImageLoader();
  EXPECT_EQ(assigned.m_data, nullptr);
}

}  // namespace
