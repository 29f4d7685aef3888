// Windows bitmap decoder: 8-bit (palette, uncompressed or run-length) and 24-bit
// files, and files with the older 12-byte core header in 1, 4, 8 or 24 bits,
// delivered as RGB bytes with the bottom row first.
#ifndef SCENE_CFILELOADERBMP_H
#define SCENE_CFILELOADERBMP_H

#include <cstddef>
#include <cstdint>
#include <memory>

// the 14-byte file header, fields as stored (little-endian)
struct cBMPFileHeader {
  uint16_t bfType;
  uint32_t bfSize;
  uint16_t bfReserved1;
  uint16_t bfReserved2;
  uint32_t bfOffBits;
};

// the first 40 bytes of the information header; longer headers (V4, V5) only add
// fields after these. A core header fills size, width, height, planes and bits,
// and leaves the rest zero.
struct cBMPInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};

class cFileLoaderBMP {
 public:
  // largest image accepted by default, in pixels (width × height)
  static constexpr uint64_t kMaxPixels = uint64_t(1) << 26;
  // largest file read from disk, in bytes
  static constexpr uint64_t kMaxFileSize = uint64_t(1) << 30;

  cFileLoaderBMP();
  ~cFileLoaderBMP();
  cFileLoaderBMP(const cFileLoaderBMP &) = delete;
  cFileLoaderBMP &operator=(const cFileLoaderBMP &) = delete;

  // reads the whole file and decodes it; false on any failure, with the reason in
  // getStatus() and no image kept
  bool loadBMP(const char *path);
  // decodes a complete file image held in memory (the file path ends here too)
  bool loadBMPFromMemory(const unsigned char *data, size_t size);
  // frees the image and zeroes the headers
  void clear();
  // images of more pixels are refused; a run-length file can claim the whole limit in
  // a few bytes, so callers that decode untrusted input in bulk may want it lower
  void setMaxPixels(uint64_t pixels) { m_maxPixels = pixels; }
  uint64_t getMaxPixels() const { return m_maxPixels; }

  bool isLoaded() const { return m_loaded; }
  int getWidth() const { return m_width; }
  int getHeight() const { return m_height; }
  // of the file: 8 or 24, or 1 or 4 with a core header
  int getBitsPerPixel() const { return m_bitsPerPixel; }
  // width × height × 3 bytes, R G B, bottom row first; null when nothing is loaded
  const unsigned char *getRGB() const { return m_rgb.get(); }
  size_t getRGBSize() const;
  // pixel bytes of one row in the file, without and with the padding to 4 bytes
  int getRowBytes() const { return m_rowBytes; }
  int getPaddedRowBytes() const { return m_paddedRowBytes; }
  // true for a file stored with its top row first (negative height)
  bool isTopDown() const { return m_topDown; }
  const cBMPFileHeader &getFileHeader() const { return m_fileHeader; }
  const cBMPInfoHeader &getInfoHeader() const { return m_infoHeader; }
  // 256 entries of blue, green, red, reserved; entries the file does not give are zero
  const unsigned char *getPalette() const { return m_palette; }
  // text of the last outcome ("Bitmap loaded" after success)
  const char *getStatus() const { return m_status; }

 private:
  bool fail(const char *status);
  bool decodeRaw(const unsigned char *pixels);
  bool decodeRLE8(const unsigned char *begin, const unsigned char *end);

  cBMPFileHeader m_fileHeader;
  cBMPInfoHeader m_infoHeader;
  unsigned char m_palette[1024];
  std::unique_ptr<unsigned char[]> m_rgb;
  int m_width;
  int m_height;
  int m_bitsPerPixel;
  int m_rowBytes;
  int m_paddedRowBytes;
  bool m_topDown;
  bool m_loaded;
  const char *m_status;
  uint64_t m_maxPixels;
};

#endif
