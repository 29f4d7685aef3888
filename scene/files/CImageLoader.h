// One image held in memory as 8-bit RGBA pixels, loaded from a BMP or TGA file.
#ifndef SCENE_CIMAGELOADER_H
#define SCENE_CIMAGELOADER_H

#include "scene/math/CColor.h"

#include <GL/gl.h>

#include <cstddef>
#include <memory>

// Reads a whole regular file of at most max_size bytes into a new[] buffer that the
// caller deletes. 0 on success; -1 cannot open, -2 not a regular file or too large,
// -3 out of memory, -4 read error.
int cReadFileBytes(const char *path, size_t max_size, unsigned char **data, size_t *size);

class cImageLoader {
 public:
  cImageLoader();
  // deep copies; a copy that cannot allocate is left empty
  cImageLoader(const cImageLoader &other);
  cImageLoader &operator=(const cImageLoader &other);
  virtual ~cImageLoader();

  // 0 on success; -1 on failure, leaving the loader empty
  int loadFromFile(const char *path);

  // the pixel, or (0, 0, 0, 0) outside the image or when not RGBA
  cColorb getPixelColor(int x, int y) const;
  // writes the pixel under the same conditions, else does nothing
  void setPixelColor(int x, int y, const cColorb &colour);
  // every pixel set to colour (initialised RGBA images only)
  void clear(const cColorb &colour);
  // every pixel equal to old_colour (all four bytes) becomes new_colour
  void replace(const cColorb &old_colour, const cColorb &new_colour);
  // an initialised RGB image becomes RGBA with alpha 255
  void convertToRGBA();

  int getWidth() const { return m_width; }
  int getHeight() const { return m_height; }
  int getFormat() const { return m_format; }
  int getBitsPerPixel() const { return m_bitsPerPixel; }
  unsigned char *getData() { return m_data.get(); }
  const unsigned char *getData() const { return m_data.get(); }
  const char *getFilename() const { return m_filename; }
  bool isInitialized() const { return m_initialized; }
  // bytes in m_data (0 when empty)
  size_t getDataSize() const;

  // path of the last load, at most 254 characters kept
  char m_filename[255];
  // size in pixels; -1 when empty
  int m_width;
  int m_height;
  // GL_RGB or GL_RGBA; GL_RGBA after every successful load
  int m_format;
  // 24 or 32
  int m_bitsPerPixel;
  // rows in file order (bottom row first for BMP)
  std::unique_ptr<unsigned char[]> m_data;
  bool m_initialized;

 protected:
  // frees the pixels and returns to the empty state
  void cleanup();

 private:
  int loadFromFileImpl(const char *path, bool recursive_call);
};

#endif
