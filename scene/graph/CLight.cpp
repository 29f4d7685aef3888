#include "scene/graph/CLight.h"

#include "scene/graph/CWorld.h"

#include <GL/gl.h>

cLight::cLight(cWorld *world)
    : m_ambientColor(0.4f, 0.4f, 0.4f, 1.0f),
      m_diffuseColor(0.7f, 0.7f, 0.7f, 1.0f),
      m_specularColor(0.5f, 0.5f, 0.5f, 1.0f),
      m_glLight(KORA_LIGHT_UNASSIGNED),
      m_homeWorld(world),
      m_attenuation0(1.0f),
      m_attenuation1(0.0f),
      m_attenuation2(0.0f),
      m_spotPower(100.0f),
      m_spotCutoff(180.0f),
      m_lit(false),
      m_atInfinity(true) {
  if (m_homeWorld != nullptr) m_homeWorld->addLightSource(this);
}

cLight::~cLight() {
  // a world must never render a deleted light
  if (m_homeWorld != nullptr) m_homeWorld->removeLightSource(this);
}

void cLight::setDir(const cVector3d &dir) {
  if (dir.lengthsq() < 1e-4) return;
  const cVector3d c0 = cNormalize(dir);
  const cVector3d c1 = c0.cross(cVector3d(dir.y, dir.z, dir.x));
  const cVector3d c2 = c1.cross(c0);
  m_rot.setCols(c0, c1, c2);
}

void cLight::setDir(double x, double y, double z) { setDir(cVector3d(x, y, z)); }

void cLight::setCutOffAngle(const float &angle) {
  m_spotCutoff = (angle == 180.0f || (angle >= 0.0f && angle <= 90.0f)) ? angle : 180.0f;
}

void cLight::renderLightSource() {
  // a light no world has numbered has no OpenGL light to drive
  if (m_glLight < GL_LIGHT0 || m_glLight > GL_LIGHT7) return;
  const GLenum id = static_cast<GLenum>(m_glLight);
  if (!m_lit) {
    glDisable(id);
    return;
  }
  computeGlobalCurrentObjectOnly(true);
  glEnable(id);
  glLightfv(id, GL_AMBIENT, m_ambientColor.data());
  glLightfv(id, GL_DIFFUSE, m_diffuseColor.data());
  glLightfv(id, GL_SPECULAR, m_specularColor.data());
  const float position[4] = {static_cast<float>(m_worldPos.x), static_cast<float>(m_worldPos.y),
                             static_cast<float>(m_worldPos.z), m_atInfinity ? 0.0f : 1.0f};
  glLightfv(id, GL_POSITION, position);
  glLightf(id, GL_SPOT_CUTOFF, m_spotCutoff);
  if (!m_atInfinity) {
    const cVector3d d = m_worldRot.col(0);
    const float direction[3] = {static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z)};
    glLightfv(id, GL_SPOT_DIRECTION, direction);
  }
  glLightf(id, GL_CONSTANT_ATTENUATION, m_attenuation0);
  glLightf(id, GL_LINEAR_ATTENUATION, m_attenuation1);
  glLightf(id, GL_QUADRATIC_ATTENUATION, m_attenuation2);
  glLightf(id, GL_SPOT_EXPONENT, m_spotPower);
}
