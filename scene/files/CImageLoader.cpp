#include "scene/files/CImageLoader.h"

#include "scene/files/CFileLoaderBMP.h"
#include "scene/files/CFileLoaderTGA.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <utility>

int cReadFileBytes(const char *path, size_t max_size, unsigned char **data, size_t *size) {
  *data = nullptr;
  *size = 0;
  if (path == nullptr) return -1;
  // non-blocking, so a named pipe cannot stall the open; only regular files are read
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
      static_cast<unsigned long long>(st.st_size) > max_size) {
    close(fd);
    return -2;
  }
  const size_t n = static_cast<size_t>(st.st_size);
  // one spare byte so an empty file still gets a buffer
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[n + 1]);
  if (buf == nullptr) {
    close(fd);
    return -3;
  }
  size_t got = 0;
  while (got < n) {
    const ssize_t r = read(fd, buf.get() + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  close(fd);
  // a file that shrank while being read is as bad as an unreadable one
  if (got != n) return -4;
  // the caller takes the buffer over
  *data = buf.release();
  *size = n;
  return 0;
}

cImageLoader::cImageLoader() : m_width(-1), m_height(-1), m_format(GL_RGBA), m_bitsPerPixel(32), m_initialized(false) {
  m_filename[0] = '\0';
}

cImageLoader::cImageLoader(const cImageLoader &other) : cImageLoader() { *this = other; }

cImageLoader &cImageLoader::operator=(const cImageLoader &other) {
  if (this == &other) return *this;
  cleanup();
  const size_t n = other.getDataSize();
  if (other.m_data != nullptr && n > 0) {
    m_data.reset(new (std::nothrow) unsigned char[n]);
    if (m_data == nullptr) return *this;
    std::memcpy(m_data.get(), other.m_data.get(), n);
  }
  std::memcpy(m_filename, other.m_filename, sizeof(m_filename));
  m_width = other.m_width;
  m_height = other.m_height;
  m_format = other.m_format;
  m_bitsPerPixel = other.m_bitsPerPixel;
  m_initialized = other.m_initialized;
  return *this;
}

cImageLoader::~cImageLoader() = default;

void cImageLoader::cleanup() {
  m_data.reset();
  m_filename[0] = '\0';
  m_width = -1;
  m_height = -1;
  m_format = GL_RGBA;
  m_bitsPerPixel = 32;
  m_initialized = false;
}

size_t cImageLoader::getDataSize() const {
  if (m_data == nullptr || m_width <= 0 || m_height <= 0) return 0;
  return static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * static_cast<size_t>(m_format == GL_RGB ? 3 : 4);
}

int cImageLoader::loadFromFile(const char *path) {
  // nothing below throws by design; the guard keeps a stray bad_alloc (path strings)
  // from leaving the loader half-filled
  try {
    return loadFromFileImpl(path, false);
  } catch (...) {
    cleanup();
    return -1;
  }
}

int cImageLoader::loadFromFileImpl(const char *path, bool recursive_call) {
  cleanup();
  if (path == nullptr) return -1;
  std::strncpy(m_filename, path, sizeof(m_filename) - 1);
  m_filename[sizeof(m_filename) - 1] = '\0';

  // the extension follows the last '.' of the file name itself: a separator met first
  // means the name has none (a dotted directory must not lend its suffix)
  const size_t len = std::strlen(path);
  long dot = -1;
  for (long i = static_cast<long>(len) - 2; i >= 0; --i) {
    if (path[i] == '\\' || path[i] == '/') break;
    if (path[i] == '.') {
      dot = i;
      break;
    }
  }
  if (dot < 0) {
    cleanup();
    return -1;
  }
  std::string ext(path + dot + 1);
  for (char &c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }

  int width = 0, height = 0;
  if (ext == "tga") {
    cFileLoaderTGA tga;
    if (!tga.LoadFromFile(path)) {
      cleanup();
      return -1;
    }
    int bytes = 0;
    if (tga.GetImageType() == cFileLoaderTGA::TGA_RGB && tga.GetPixelDepth() == 24) {
      m_format = GL_RGB;
      m_bitsPerPixel = 24;
      bytes = 3;
    } else if (tga.GetImageType() == cFileLoaderTGA::TGA_RGBA && tga.GetPixelDepth() == 32) {
      m_format = GL_RGBA;
      m_bitsPerPixel = 32;
      bytes = 4;
    } else {
      // grey images have no place in an RGBA loader
      cleanup();
      return -1;
    }
    width = tga.GetImageWidth();
    height = tga.GetImageHeight();
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height) * bytes;
    m_data.reset(new (std::nothrow) unsigned char[n]);
    if (m_data == nullptr || tga.GetPixelsSize() != n) {
      cleanup();
      return -1;
    }
    std::memcpy(m_data.get(), tga.GetPixels(), n);
  } else if (ext == "bmp") {
    cFileLoaderBMP bmp;
    if (!bmp.loadBMP(path)) {
      cleanup();
      return -1;
    }
    width = bmp.getWidth();
    height = bmp.getHeight();
    const size_t n = bmp.getRGBSize();
    m_data.reset(new (std::nothrow) unsigned char[n]);
    if (m_data == nullptr) {
      cleanup();
      return -1;
    }
    std::memcpy(m_data.get(), bmp.getRGB(), n);
    m_format = GL_RGB;
    m_bitsPerPixel = 24;
  } else {
    if (recursive_call) {
      cleanup();
      return -1;
    }
    // an unknown extension is taken for a bitmap under another name
    std::string retry(path, static_cast<size_t>(dot) + 1);
    retry += "bmp";
    return loadFromFileImpl(retry.c_str(), true);
  }

  m_width = width;
  m_height = height;
  m_initialized = true;
  if (m_format == GL_RGB) {
    convertToRGBA();
    if (m_format != GL_RGBA) {
      cleanup();
      return -1;
    }
  }
  return 0;
}

cColorb cImageLoader::getPixelColor(int x, int y) const {
  if (m_data == nullptr || m_format != GL_RGBA || x < 0 || y < 0 || x >= m_width || y >= m_height)
    return cColorb(0, 0, 0, 0);
  const unsigned char *p = m_data.get() + 4 * (static_cast<size_t>(x) + static_cast<size_t>(y) * m_width);
  return cColorb(p[0], p[1], p[2], p[3]);
}

void cImageLoader::setPixelColor(int x, int y, const cColorb &colour) {
  if (m_data == nullptr || m_format != GL_RGBA || x < 0 || y < 0 || x >= m_width || y >= m_height) return;
  unsigned char *p = m_data.get() + 4 * (static_cast<size_t>(x) + static_cast<size_t>(y) * m_width);
  p[0] = colour.r;
  p[1] = colour.g;
  p[2] = colour.b;
  p[3] = colour.a;
}

void cImageLoader::clear(const cColorb &colour) {
  if (!m_initialized || m_data == nullptr || m_format != GL_RGBA) return;
  const size_t n = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
  unsigned char *p = m_data.get();
  for (size_t i = 0; i < n; ++i, p += 4) {
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
    p[3] = colour.a;
  }
}

void cImageLoader::replace(const cColorb &old_colour, const cColorb &new_colour) {
  if (!m_initialized || m_data == nullptr || m_format != GL_RGBA) return;
  const size_t n = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
  unsigned char *p = m_data.get();
  for (size_t i = 0; i < n; ++i, p += 4) {
    if (p[0] == old_colour.r && p[1] == old_colour.g && p[2] == old_colour.b && p[3] == old_colour.a) {
      p[0] = new_colour.r;
      p[1] = new_colour.g;
      p[2] = new_colour.b;
      p[3] = new_colour.a;
    }
  }
}

void cImageLoader::convertToRGBA() {
  if (!m_initialized || m_data == nullptr || m_format != GL_RGB) return;
  const size_t n = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
  std::unique_ptr<unsigned char[]> rgba(new (std::nothrow) unsigned char[n * 4]);
  if (rgba == nullptr) return;
  const unsigned char *s = m_data.get();
  unsigned char *d = rgba.get();
  for (size_t i = 0; i < n; ++i, s += 3, d += 4) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = 255;
  }
  m_data = std::move(rgba);
  m_format = GL_RGBA;
  m_bitsPerPixel = 32;
}
