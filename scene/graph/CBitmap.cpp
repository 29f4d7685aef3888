#include "scene/graph/CBitmap.h"

#include "scene/graph/CCamera.h"

#include <GL/gl.h>
#include <GL/glu.h>

cBitmap::cBitmap() : m_scaleX(1.0f), m_scaleY(1.0f), m_blend(false) {}

cBitmap::~cBitmap() {}

void cBitmap::setZoomHV(float h, float v) {
  m_scaleX = h;
  m_scaleY = v;
}

namespace {

// a raster position outside the viewport is invalid and would drop the whole
// image: start from the viewport's corner and move there without the check
void MoveRasterUnchecked(double x, double y) {
  GLdouble mv[16], pr[16];
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  GLdouble wx, wy, wz;
  if (gluProject(x, y, 0.0, mv, pr, vp, &wx, &wy, &wz) != GL_TRUE) return;
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, vp[2], 0.0, vp[3], -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glRasterPos2d(0.0, 0.0);
  glBitmap(0, 0, 0.0f, 0.0f, static_cast<GLfloat>(wx - vp[0]), static_cast<GLfloat>(wy - vp[1]), nullptr);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

}  // namespace

void cBitmap::render(int pass) {
  (void)pass;
  if (!cCamera::isDrawingOverlay()) return;
  glDisable(GL_LIGHTING);
  if (m_blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
  } else {
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
  }
  if (m_picture.m_data != nullptr && m_picture.m_width > 0 && m_picture.m_height > 0) {
    glRasterPos2d(1.0, 1.0);
    GLboolean valid = GL_FALSE;
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    if (!valid) MoveRasterUnchecked(1.0, 1.0);
    glPixelZoom(m_scaleX, m_scaleY);
    // rows are packed tightly whatever the pixel size
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLenum format = m_picture.m_format == GL_RGB ? GL_RGB : GL_RGBA;
    glDrawPixels(m_picture.m_width, m_picture.m_height, format, GL_UNSIGNED_BYTE, m_picture.getData());
    glPopClientAttrib();
    glPixelZoom(1.0f, 1.0f);
  }
  glEnable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
}
