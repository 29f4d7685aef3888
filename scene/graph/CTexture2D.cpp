#include "scene/graph/CTexture2D.h"

#include <GL/gl.h>
#include <GL/glu.h>

cTexture2D::cTexture2D() : m_glName(-1) { reset(); }

cTexture2D::~cTexture2D() {
  if (m_glName != -1) {
    const GLuint name = static_cast<GLuint>(m_glName);
    glDeleteTextures(1, &name);
  }
}

void cTexture2D::reset() {
  m_envColor = cColorf(1.0f, 1.0f, 1.0f, 0.0f);
  m_needsUpload = true;
  m_wrapS = GL_REPEAT;
  m_wrapT = GL_REPEAT;
  m_magFilter = GL_NEAREST;
  m_minFilter = GL_NEAREST;
  m_mipmapsOn = true;
  m_sphereMapOn = false;
  m_envMode = GL_MODULATE;
}

bool cTexture2D::loadFromFile(const char *path) {
  m_needsUpload = true;
  return m_picture.loadFromFile(path) >= 0;
}

void cTexture2D::setWrapMode(const int &s, const int &t) {
  m_wrapS = s;
  m_wrapT = t;
}

bool cTexture2D::hasPixels() const {
  return m_picture.m_data != nullptr && m_picture.m_width > 0 && m_picture.m_height > 0;
}

void cTexture2D::update() {
  if (m_glName != -1) {
    const GLuint old = static_cast<GLuint>(m_glName);
    glDeleteTextures(1, &old);
    m_glName = -1;
  }
  if (!hasPixels()) return;
  GLuint name = 0;
  glGenTextures(1, &name);
  m_glName = static_cast<int>(name);
  glBindTexture(GL_TEXTURE_2D, name);

  // rows are packed tightly whatever the pixel size (3-byte rows need not be aligned)
  const GLenum format = m_picture.m_format == GL_RGB ? GL_RGB : GL_RGBA;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (m_mipmapsOn) {
    gluBuild2DMipmaps(GL_TEXTURE_2D, format == GL_RGB ? 3 : 4, m_picture.m_width, m_picture.m_height, format,
                      GL_UNSIGNED_BYTE, m_picture.getData());
  } else {
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, m_picture.m_width, m_picture.m_height, 0, format, GL_UNSIGNED_BYTE,
                 m_picture.getData());
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void cTexture2D::render() {
  if (!hasPixels()) return;
  if (m_needsUpload) {
    update();
    m_needsUpload = false;
  }
  glEnable(GL_TEXTURE_2D);
  if (m_sphereMapOn) {
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
  } else {
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
  }
  // parameters belong to the bound texture: bind first
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m_glName));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, m_wrapS);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, m_wrapT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, m_magFilter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, m_minFilter);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, m_envMode);
  glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, m_envColor.data());
}
