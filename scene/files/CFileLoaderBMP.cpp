#include "scene/files/CFileLoaderBMP.h"

#include "scene/files/CImageLoader.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint16_t kTypeBM = 0x4D42;
constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
// the older OS/2 form: 16-bit sizes, no compression, 3-byte palette entries
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRLE8 = 1;

uint16_t U16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
int32_t S32(const unsigned char *p) { return static_cast<int32_t>(U32(p)); }

}  // namespace

cFileLoaderBMP::cFileLoaderBMP() : m_status(""), m_maxPixels(kMaxPixels) { clear(); }

cFileLoaderBMP::~cFileLoaderBMP() = default;

void cFileLoaderBMP::clear() {
  m_rgb.reset();
  std::memset(&m_fileHeader, 0, sizeof(m_fileHeader));
  std::memset(&m_infoHeader, 0, sizeof(m_infoHeader));
  std::memset(m_palette, 0, sizeof(m_palette));
  m_width = 0;
  m_height = 0;
  m_bitsPerPixel = 0;
  m_rowBytes = 0;
  m_paddedRowBytes = 0;
  m_topDown = false;
  m_loaded = false;
}

size_t cFileLoaderBMP::getRGBSize() const {
  if (m_rgb == nullptr) return 0;
  return static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * 3;
}

bool cFileLoaderBMP::fail(const char *status) {
  // the headers stay for inspection; the image and its sizes do not
  m_rgb.reset();
  m_width = 0;
  m_height = 0;
  m_bitsPerPixel = 0;
  m_rowBytes = 0;
  m_paddedRowBytes = 0;
  m_topDown = false;
  m_loaded = false;
  m_status = status;
  return false;
}

bool cFileLoaderBMP::loadBMP(const char *path) {
  clear();
  unsigned char *raw = nullptr;
  size_t size = 0;
  switch (cReadFileBytes(path, kMaxFileSize, &raw, &size)) {
    case 0:
      break;
    case -1:
      return fail("File does not exist.");
    case -2:
      return fail("File is not a regular file or is too large.");
    case -3:
      return fail("Not enough memory to allocate a temporary buffer.");
    default:
      return fail("File could not be read.");
  }
  std::unique_ptr<unsigned char[]> file(raw);
  return loadBMPFromMemory(file.get(), size);
}

bool cFileLoaderBMP::loadBMPFromMemory(const unsigned char *data, size_t size) {
  clear();
  if (data == nullptr || size < kFileHeaderSize + 4) return fail("File is truncated.");

  m_fileHeader.bfType = U16(data);
  m_fileHeader.bfSize = U32(data + 2);
  m_fileHeader.bfReserved1 = U16(data + 6);
  m_fileHeader.bfReserved2 = U16(data + 8);
  m_fileHeader.bfOffBits = U32(data + 10);
  if (m_fileHeader.bfType != kTypeBM) return fail("Not a bitmap file.");

  // V4 and V5 headers extend the 40-byte one; the 12-byte core header is older
  const uint32_t infoSize = U32(data + kFileHeaderSize);
  const bool core = infoSize == kCoreHeaderSize;
  if (infoSize < kInfoHeaderSize && !core) return fail("Unsupported information header.");
  if (infoSize > size - kFileHeaderSize) return fail("File is truncated.");
  const unsigned char *ih = data + kFileHeaderSize;
  m_infoHeader.biSize = infoSize;
  if (core) {
    m_infoHeader.biWidth = U16(ih + 4);
    m_infoHeader.biHeight = U16(ih + 6);
    m_infoHeader.biPlanes = U16(ih + 8);
    m_infoHeader.biBitCount = U16(ih + 10);
  } else {
    m_infoHeader.biWidth = S32(ih + 4);
    m_infoHeader.biHeight = S32(ih + 8);
    m_infoHeader.biPlanes = U16(ih + 12);
    m_infoHeader.biBitCount = U16(ih + 14);
    m_infoHeader.biCompression = U32(ih + 16);
    m_infoHeader.biSizeImage = U32(ih + 20);
    m_infoHeader.biXPelsPerMeter = S32(ih + 24);
    m_infoHeader.biYPelsPerMeter = S32(ih + 28);
    m_infoHeader.biClrUsed = U32(ih + 32);
    m_infoHeader.biClrImportant = U32(ih + 36);
  }

  // core files also come with 1 and 4 bits per pixel
  const int bpp = m_infoHeader.biBitCount;
  if (bpp != 8 && bpp != 24 && !(core && (bpp == 1 || bpp == 4))) return fail("File is not 8 or 24 bits per pixel.");
  const uint32_t compression = m_infoHeader.biCompression;
  if (compression != kCompressionNone && !(compression == kCompressionRLE8 && bpp == 8))
    return fail("Compressed bitmaps are not supported.");

  // a negative height marks a file stored top row first; run-length files cannot be
  const int32_t w = m_infoHeader.biWidth;
  const int32_t h = m_infoHeader.biHeight;
  if (w <= 0 || h == 0 || h == INT32_MIN) return fail("Invalid image size.");
  const bool topDown = h < 0;
  if (topDown && compression != kCompressionNone) return fail("Invalid image size.");
  const uint64_t width = static_cast<uint64_t>(w);
  const uint64_t height = static_cast<uint64_t>(topDown ? -static_cast<int64_t>(h) : h);
  if (width * height > m_maxPixels) return fail("Image is too large.");
  const uint64_t rowBytes = (width * static_cast<uint64_t>(bpp) + 7) / 8;
  const uint64_t paddedRowBytes = (rowBytes + 3) & ~uint64_t(3);

  // the palette follows the information header; it gives as many entries as the
  // header says (0 meaning all 256), and indices beyond them read as black. A core
  // palette has 2^bits entries of 3 bytes, fewer when the pixels start before them.
  const uint64_t paletteStart = kFileHeaderSize + uint64_t(infoSize);
  if (core && bpp <= 8) {
    uint64_t entries = uint64_t(1) << bpp;
    const uint64_t offset = m_fileHeader.bfOffBits;
    if (offset >= paletteStart && (offset - paletteStart) / 3 < entries) entries = (offset - paletteStart) / 3;
    if (entries * 3 > size - paletteStart) return fail("File is truncated.");
    for (uint64_t i = 0; i < entries; ++i) std::memcpy(m_palette + 4 * i, data + paletteStart + 3 * i, 3);
  } else if (bpp == 8) {
    const uint64_t entries = m_infoHeader.biClrUsed == 0 ? 256 : m_infoHeader.biClrUsed;
    if (entries > 256) return fail("Invalid palette size.");
    if (entries * 4 > size - paletteStart) return fail("File is truncated.");
    std::memcpy(m_palette, data + paletteStart, static_cast<size_t>(entries * 4));
  }

  // pixels start where the file header says, never inside the headers
  const uint64_t offset = m_fileHeader.bfOffBits;
  if (offset < paletteStart) return fail("Invalid pixel data offset.");
  if (offset > size) return fail("File is truncated.");
  const uint64_t available = size - offset;
  if (compression == kCompressionNone) {
    // the padding of the last row may be missing; its pixels may not
    const uint64_t needed = paddedRowBytes * (height - 1) + rowBytes;
    if (needed > available) return fail("File is truncated.");
  }

  m_width = static_cast<int>(width);
  m_height = static_cast<int>(height);
  m_bitsPerPixel = bpp;
  m_rowBytes = static_cast<int>(rowBytes);
  m_paddedRowBytes = static_cast<int>(paddedRowBytes);
  m_topDown = topDown;

  m_rgb.reset(new (std::nothrow) unsigned char[static_cast<size_t>(width * height * 3)]);
  if (m_rgb == nullptr) return fail("Not enough memory to allocate an image buffer");

  const bool decoded =
      compression == kCompressionRLE8 ? decodeRLE8(data + offset, data + size) : decodeRaw(data + offset);
  if (!decoded) return false;
  m_loaded = true;
  m_status = "Bitmap loaded";
  return true;
}

bool cFileLoaderBMP::decodeRaw(const unsigned char *pixels) {
  const size_t w = static_cast<size_t>(m_width);
  const size_t h = static_cast<size_t>(m_height);
  for (size_t row = 0; row < h; ++row) {
    const unsigned char *s = pixels + row * static_cast<size_t>(m_paddedRowBytes);
    // bottom row first, whichever way the file stores them
    const size_t out = m_topDown ? h - 1 - row : row;
    unsigned char *d = m_rgb.get() + out * w * 3;
    if (m_bitsPerPixel == 24) {
      for (size_t x = 0; x < w; ++x, s += 3, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
      }
    } else {
      // indices packed from the high bits of each byte down
      const unsigned bits = static_cast<unsigned>(m_bitsPerPixel);
      const unsigned mask = (1u << bits) - 1;
      for (size_t x = 0; x < w; ++x, d += 3) {
        const size_t bit = x * bits;
        const unsigned index = (s[bit / 8] >> (8 - bits - bit % 8)) & mask;
        const unsigned char *entry = m_palette + 4 * index;
        d[0] = entry[2];
        d[1] = entry[1];
        d[2] = entry[0];
      }
    }
  }
  return true;
}

bool cFileLoaderBMP::decodeRLE8(const unsigned char *p, const unsigned char *end) {
  const size_t w = static_cast<size_t>(m_width);
  const size_t h = static_cast<size_t>(m_height);
  // pixels the stream skips (deltas, early line or bitmap ends) take palette entry 0
  {
    unsigned char *d = m_rgb.get();
    for (size_t i = 0; i < w * h; ++i, d += 3) {
      d[0] = m_palette[2];
      d[1] = m_palette[1];
      d[2] = m_palette[0];
    }
  }
  auto put = [this, w](size_t x, size_t y, unsigned char index) {
    const unsigned char *entry = m_palette + 4 * index;
    unsigned char *d = m_rgb.get() + (y * w + x) * 3;
    d[0] = entry[2];
    d[1] = entry[1];
    d[2] = entry[0];
  };

  // writers encode a row's padding as pixels too, so anything that falls right of a
  // row or below the last one is dropped, not refused
  size_t x = 0, y = 0;
  for (;;) {
    if (end - p < 2) {
      // a stream that stops once every row is complete lacks only its end marker
      if (y >= h || (y + 1 == h && x >= w)) return true;
      return fail("File is truncated.");
    }
    const unsigned count = p[0];
    const unsigned value = p[1];
    p += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count && y < h && x + i < w; ++i) put(x + i, y, static_cast<unsigned char>(value));
      x += count;
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (end - p < 2) return fail("File is truncated.");
      x += p[0];
      y += p[1];
      p += 2;
    } else {
      // absolute run of `value` indices, padded to an even byte count
      const size_t n = value;
      if (static_cast<size_t>(end - p) < n) return fail("File is truncated.");
      for (size_t i = 0; i < n && y < h && x + i < w; ++i) put(x + i, y, p[i]);
      x += n;
      p += n;
      if ((n & 1) != 0 && p < end) ++p;
    }
  }
}
