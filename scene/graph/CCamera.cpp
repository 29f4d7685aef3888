#include "scene/graph/CCamera.h"

#include "scene/graph/CLight.h"
#include "scene/graph/CWorld.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace {

// nesting depth of overlay drawing (graphics thread only)
int g_overlayDepth = 0;

constexpr double kDegToRad = M_PI / 180.0;

}  // namespace

bool cCamera::isDrawingOverlay() { return g_overlayDepth > 0; }

cCamera::cCamera(cWorld *world)
    : m_homeWorld(world),
      m_nearClip(0.1),
      m_farClip(1000.0),
      m_fovDeg(45.0),
      m_zeroParallax(5.0),
      m_eyeGap(0.5),
      m_twoPassBlend(false),
      m_inReset(false) {
  for (double &v : m_projGL) v = 0.0;
  set(cVector3d(0, 0, 0), cVector3d(-1, 0, 0), cVector3d(0, 0, 1));
}

cCamera::~cCamera() {}

bool cCamera::set(const cVector3d &position, const cVector3d &lookAt, const cVector3d &up) {
  const cVector3d back = position - lookAt;
  if (!(back.lengthsq() >= 1e-9) || !(up.lengthsq() >= 1e-9)) return false;
  const cVector3d d = cNormalize(back);
  const cVector3d side = up.cross(d);
  if (!(side.lengthsq() >= 1e-9)) return false;
  const cVector3d y = cNormalize(side);
  m_prevPos = m_pos;
  m_prevRot = m_rot;
  m_pos = position;
  m_rot.setCols(d, y, d.cross(y));
  return true;
}

void cCamera::setFieldViewAngle(double degrees) {
  m_fovDeg = degrees > 180.0 ? 180.0 : (degrees > 0.0 ? degrees : 0.0);
}

void cCamera::setClippingPlanes(double nearClip, double farClip) {
  if (!(nearClip > 0.0 && nearClip < farClip)) return;
  m_nearClip = nearClip;
  m_farClip = farClip;
}

void cCamera::adjustClippingPlanes() {
  if (m_homeWorld == nullptr) return;
  m_homeWorld->computeBoundaryBox(true);
  const double s = 2.0 * (m_homeWorld->m_boxHi - m_homeWorld->m_boxLo).length();
  setClippingPlanes(s / 1000.0, s);
}

void cCamera::setStereoFocalLength(double distance) { m_zeroParallax = distance > 1e-9 ? distance : 1e-9; }

void cCamera::enableClipPlane(const unsigned int &index, const int &enable, const double *equation) {
  if (index > 5) return;
  m_clipPlanes[index].enabled = enable;
  if (equation != nullptr)
    for (int i = 0; i < 4; ++i) m_clipPlanes[index].peqn[i] = equation[i];
}

void cCamera::onDisplayReset(bool recursive) {
  // the camera is usually inside its own world: reached again through it
  if (m_inReset) return;
  m_inReset = true;
  if (m_homeWorld != nullptr) m_homeWorld->onDisplayReset(true);
  m_frontOverlay.onDisplayReset(true);
  m_backOverlay.onDisplayReset(true);
  cGenericObject::onDisplayReset(recursive);
  m_inReset = false;
}

void cCamera::renderView(int windowWidth, int windowHeight, int imageIndex) {
  computeGlobalCurrentObjectOnly(true);
  if (windowHeight <= 0 || windowWidth <= 0) return;

  if (m_backOverlay.getNumChildren() > 0) renderOverlay(m_backOverlay, windowWidth, windowHeight);

  const double aspect = static_cast<double>(windowWidth) / windowHeight;
  const cVector3d xAxis = m_worldRot.col(0), yAxis = m_worldRot.col(1), zAxis = m_worldRot.col(2);
  cVector3d eye = m_worldPos;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  if (imageIndex == CAMERA_RENDER_MONO || imageIndex == -1000) {
    gluPerspective(m_fovDeg, aspect, m_nearClip, m_farClip);
  } else {
    // off-axis frusta meeting at the zero-parallax distance
    const bool left = imageIndex == CAMERA_RENDER_LEFT_EYE;
    const double t = m_nearClip * std::tan(0.5 * m_fovDeg * kDegToRad);
    const double half = 0.5 * m_eyeGap * m_nearClip / m_zeroParallax;
    const double shift = left ? half : -half;
    glFrustum(shift - t * aspect, shift + t * aspect, -t, t, m_nearClip, m_farClip);
    eye += yAxis * (left ? -0.5 * m_eyeGap : 0.5 * m_eyeGap);
  }
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const cVector3d target = eye - xAxis;
  gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, zAxis.x, zAxis.y, zAxis.z);

  // planes are given in world coordinates: set after the viewing transform
  for (int i = 0; i < 6; ++i) {
    const GLenum plane = static_cast<GLenum>(GL_CLIP_PLANE0 + i);
    if (m_clipPlanes[i].enabled == 1) {
      glEnable(plane);
      glClipPlane(plane, m_clipPlanes[i].peqn);
    } else if (m_clipPlanes[i].enabled == 0) {
      glDisable(plane);
    }
  }

  glGetDoublev(GL_PROJECTION_MATRIX, m_projGL);
  glEnable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);

  if (m_homeWorld != nullptr) {
    if (m_twoPassBlend) {
      m_homeWorld->renderSceneGraph(RENDER_PASS_OPAQUE);
      m_homeWorld->renderSceneGraph(RENDER_PASS_TRANSPARENT_BACK);
      m_homeWorld->renderSceneGraph(RENDER_PASS_TRANSPARENT_FRONT);
    } else {
      m_homeWorld->renderSceneGraph(RENDER_PASS_ALL);
    }
  }

  if (m_frontOverlay.getNumChildren() > 0) renderOverlay(m_frontOverlay, windowWidth, windowHeight);
}

void cCamera::renderOverlay(cGenericObject &root, int windowWidth, int windowHeight) {
  ++g_overlayDepth;
  glPushAttrib(GL_LIGHTING_BIT | GL_ENABLE_BIT);
  glDisable(GL_LIGHTING);
  for (int i = 0; i < 6; ++i) glDisable(static_cast<GLenum>(GL_CLIP_PLANE0 + i));

  // window pixels, origin at the lower left
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, windowWidth, 0.0, windowHeight, -100000.0, 100000.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);

  // one light from the viewer, whatever the world's lights are
  glEnable(GL_LIGHTING);
  for (int i = 1; i < 8; ++i) glDisable(static_cast<GLenum>(GL_LIGHT0 + i));
  {
    cLight light(nullptr);
    light.m_glLight = GL_LIGHT0;
    light.m_lit = true;
    light.m_atInfinity = true;
    light.m_ambientColor = cColorf(0.5f, 0.5f, 0.5f, 1.0f);
    light.m_diffuseColor = cColorf(0.5f, 0.5f, 0.5f, 1.0f);
    light.m_specularColor = cColorf(0.0f, 0.0f, 0.0f, 1.0f);
    light.m_pos.set(0.0, 0.0, 1000.0);
    light.renderLightSource();
  }

  root.renderSceneGraph(RENDER_PASS_ALL);

  glEnable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
  --g_overlayDepth;
}

bool cCamera::select(int windowX, int windowY, int windowWidth, int windowHeight, cGenericObject *&object,
                     cTriangle *&triangle, cVector3d &point, double &distance, bool visibleOnly) {
  object = nullptr;
  triangle = nullptr;
  point.zero();
  distance = 0.0;
  computeGlobalCurrentObjectOnly(true);
  if (std::fabs(m_fovDeg) < 0.001 || m_homeWorld == nullptr) return false;

  // the ray through the pixel, in the camera frame (looking along -x, y right, z up)
  const double h2 = 0.5 * windowHeight;
  cVector3d dir(-h2 / std::tan(0.5 * m_fovDeg * kDegToRad), windowX - 0.5 * windowWidth, h2 - windowY);
  // an empty window gives no direction at all
  if (!(dir.length() > 0.0)) return false;
  dir.normalize();
  dir = m_worldRot * dir;

  cVector3d a = m_worldPos;
  const cVector3d b = a + dir * 100000.0;
  double d = 1e49;
  const bool hit = m_homeWorld->computeCollisionDetection(a, b, object, triangle, point, d, visibleOnly, -1);
  if (hit) distance = d;
  return hit;
}
