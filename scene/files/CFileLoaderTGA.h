// Targa decoder: uncompressed and run-length files, 24/32-bit true colour and
// 8/16-bit grey. Rows stay in file order; colour pixels come out as R G B (A).
#ifndef SCENE_CFILELOADERTGA_H
#define SCENE_CFILELOADERTGA_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class cFileLoaderTGA {
 public:
  // image-type codes of GetImageType
  enum { TGA_RGB = 1, TGA_RGBA = 2, TGA_GREY = 3 };
  // largest image accepted by default, in pixels (width × height)
  static constexpr uint64_t kMaxPixels = uint64_t(1) << 26;
  // largest file read from disk, in bytes
  static constexpr uint64_t kMaxFileSize = uint64_t(1) << 30;

  cFileLoaderTGA();
  ~cFileLoaderTGA();
  cFileLoaderTGA(const cFileLoaderTGA &) = delete;
  cFileLoaderTGA &operator=(const cFileLoaderTGA &) = delete;

  // false on any failure, leaving nothing loaded
  bool LoadFromFile(const std::string &path);
  // decodes a complete file image held in memory (the file path ends here too)
  bool LoadFromMemory(const unsigned char *data, size_t size);

  bool IsLoaded() const { return m_loaded; }
  int GetImageWidth() const { return m_width; }
  int GetImageHeight() const { return m_height; }
  // bits per pixel: 24 or 32 for colour, 8 or 16 for grey
  int GetPixelDepth() const { return m_pixelDepth; }
  int GetAlphaDepth() const { return m_alphaDepth; }
  // TGA_RGB, TGA_RGBA or TGA_GREY; 0 when nothing is loaded
  int GetImageType() const { return m_imageType; }
  // width × height × depth / 8 bytes
  const unsigned char *GetPixels() const { return m_pixels.get(); }
  size_t GetPixelsSize() const;
  // frees the pixels and zeroes every field
  void Clear();
  // images of more pixels are refused
  void SetMaxPixels(uint64_t pixels) { m_maxPixels = pixels; }
  uint64_t GetMaxPixels() const { return m_maxPixels; }

 private:
  bool m_loaded;
  std::unique_ptr<unsigned char[]> m_pixels;
  int m_width;
  int m_height;
  int m_pixelDepth;
  int m_alphaDepth;
  int m_imageType;
  uint64_t m_maxPixels;
};

#endif
