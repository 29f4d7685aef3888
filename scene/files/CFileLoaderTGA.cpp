#include "scene/files/CFileLoaderTGA.h"

#include "scene/files/CImageLoader.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

constexpr size_t kHeaderSize = 18;

enum {
  kUncompressedColour = 2,
  kUncompressedGrey = 3,
  kRunLengthColour = 10,
  kRunLengthGrey = 11,
};

}  // namespace

cFileLoaderTGA::cFileLoaderTGA()
    : m_loaded(false),
      m_width(0),
      m_height(0),
      m_pixelDepth(0),
      m_alphaDepth(0),
      m_imageType(0),
      m_maxPixels(kMaxPixels) {}

cFileLoaderTGA::~cFileLoaderTGA() = default;

void cFileLoaderTGA::Clear() {
  m_pixels.reset();
  m_loaded = false;
  m_width = 0;
  m_height = 0;
  m_pixelDepth = 0;
  m_alphaDepth = 0;
  m_imageType = 0;
}

size_t cFileLoaderTGA::GetPixelsSize() const {
  if (m_pixels == nullptr) return 0;
  return static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * static_cast<size_t>(m_pixelDepth / 8);
}

bool cFileLoaderTGA::LoadFromFile(const std::string &path) {
  Clear();
  unsigned char *raw = nullptr;
  size_t size = 0;
  if (cReadFileBytes(path.c_str(), kMaxFileSize, &raw, &size) != 0) return false;
  std::unique_ptr<unsigned char[]> file(raw);
  return LoadFromMemory(file.get(), size);
}

bool cFileLoaderTGA::LoadFromMemory(const unsigned char *data, size_t size) {
  Clear();
  if (data == nullptr || size < kHeaderSize) return false;

  const unsigned idLength = data[0];
  // colour-mapped files are not read
  if (data[1] != 0) return false;
  const unsigned type = data[2];
  const bool grey = type == kUncompressedGrey || type == kRunLengthGrey;
  const bool colour = type == kUncompressedColour || type == kRunLengthColour;
  if (!grey && !colour) return false;
  const bool runLength = type == kRunLengthColour || type == kRunLengthGrey;

  const unsigned width = data[12] | (data[13] << 8);
  const unsigned height = data[14] | (data[15] << 8);
  const unsigned depth = data[16];
  const unsigned alphaDepth = data[17] & 0x0F;
  // colour is taken as 24/32 bits and grey as 8/16 (grey + alpha); 8- and 16-bit
  // colour files would need a conversion the loader does not do
  if (colour && depth != 24 && depth != 32) return false;
  if (grey && depth != 8 && depth != 16) return false;
  if (alphaDepth != 0 && alphaDepth != 8) return false;
  if (width == 0 || height == 0) return false;
  const uint64_t pixelCount = uint64_t(width) * height;
  if (pixelCount > m_maxPixels) return false;

  const size_t bpp = depth / 8;
  const size_t total = static_cast<size_t>(pixelCount) * bpp;
  if (idLength > size - kHeaderSize) return false;
  const unsigned char *p = data + kHeaderSize + idLength;
  const unsigned char *end = data + size;
  const size_t available = static_cast<size_t>(end - p);

  // the pixels must be able to come from the bytes present before any allocation: all
  // of them uncompressed, or one packet of at least 1 + bpp bytes per 128 pixels
  if (!runLength && available < total) return false;
  if (runLength && (pixelCount + 127) / 128 > available / (1 + bpp)) return false;

  std::unique_ptr<unsigned char[]> owned(new (std::nothrow) unsigned char[total]);
  if (owned == nullptr) return false;
  unsigned char *pixels = owned.get();

  if (!runLength) {
    std::memcpy(pixels, p, total);
  } else {
    size_t done = 0;
    while (done < total) {
      if (p >= end) return false;
      const unsigned header = *p++;
      const size_t n = (header & 0x7F) + 1;
      // a packet that runs past the last pixel is refused, not clipped
      if (n * bpp > total - done) return false;
      if ((header & 0x80) != 0) {
        if (static_cast<size_t>(end - p) < bpp) return false;
        for (size_t i = 0; i < n; ++i) std::memcpy(pixels + done + i * bpp, p, bpp);
        p += bpp;
      } else {
        if (static_cast<size_t>(end - p) < n * bpp) return false;
        std::memcpy(pixels + done, p, n * bpp);
        p += n * bpp;
      }
      done += n * bpp;
    }
  }

  // stored blue-green-red becomes red-green-blue
  if (colour) {
    for (size_t i = 0; i < total; i += bpp) {
      const unsigned char t = pixels[i];
      pixels[i] = pixels[i + 2];
      pixels[i + 2] = t;
    }
  }

  m_pixels = std::move(owned);
  m_width = static_cast<int>(width);
  m_height = static_cast<int>(height);
  m_pixelDepth = static_cast<int>(depth);
  m_alphaDepth = static_cast<int>(alphaDepth);
  m_imageType = grey ? TGA_GREY : (depth == 32 ? TGA_RGBA : TGA_RGB);
  m_loaded = true;
  return true;
}
