// An image turned into an OpenGL 2-D texture, uploaded lazily at first use.
#ifndef SCENE_CTEXTURE2D_H
#define SCENE_CTEXTURE2D_H

#include "scene/files/CImageLoader.h"
#include "scene/math/CColor.h"

class cTexture2D {
 public:
  cTexture2D();
  ~cTexture2D();
  cTexture2D(const cTexture2D &) = delete;
  cTexture2D &operator=(const cTexture2D &) = delete;

  // true when the image loaded; the texture is uploaded again at next use
  bool loadFromFile(const char *path);
  void setWrapMode(const int &s, const int &t);
  void setMagnificationFunction(int function) { m_magFilter = function; }
  void setMinifyingFunction(int function) { m_minFilter = function; }
  void setEnvironmentMode(int mode) { m_envMode = mode; }
  void setEnvironmentColor(const cColorf &colour) { m_envColor = colour; }
  void setSphericalMappingEnabled(bool on) { m_sphereMapOn = on; }
  void useMipmaps(bool on) { m_mipmapsOn = on; }
  // every setting back to its default; the image is kept and uploaded again
  void reset();
  // upload at next use (after the OpenGL context was reset)
  void markForUpdate() { m_needsUpload = true; }
  // creates the OpenGL texture from the image
  void update();
  // binds the texture and enables 2-D texturing; nothing without pixels
  void render();
  bool hasPixels() const;

  cImageLoader m_picture;
  // texture environment colour
  cColorf m_envColor;
  // OpenGL texture name, -1 for none
  int m_glName;
  bool m_needsUpload;
  int m_wrapS;
  int m_wrapT;
  int m_magFilter;
  int m_minFilter;
  bool m_mipmapsOn;
  bool m_sphereMapOn;
  int m_envMode;
};

#endif
