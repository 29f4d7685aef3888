#include "scene/graph/CMaterial.h"

#include "scene/graph/CMacrosGL.h"

#include <GL/gl.h>

cMaterial::cMaterial()
    : m_ambientColor(0.3f, 0.3f, 0.3f, 1.0f),
      m_diffuseColor(0.7f, 0.7f, 0.7f, 1.0f),
      m_specularColor(1.0f, 1.0f, 1.0f, 1.0f),
      m_emissionColor(0.0f, 0.0f, 0.0f, 1.0f),
      m_specPower(64),
      m_springK(100.0),
      m_muStatic(0.0),
      m_muDynamic(0.0) {}

void cMaterial::setShininess(unsigned int power) { m_specPower = power > 128 ? 128 : power; }

// NaN fails the comparison and becomes 0 as well
void cMaterial::setStiffness(double k) { m_springK = k > 0.0 ? k : 0.0; }
void cMaterial::setStaticFriction(double mu) { m_muStatic = mu > 0.0 ? mu : 0.0; }
void cMaterial::setDynamicFriction(double mu) { m_muDynamic = mu > 0.0 ? mu : 0.0; }

void cMaterial::setTransparencyLevel(float level) {
  const float a = level > 1.0f ? 1.0f : (level > 0.0f ? level : 0.0f);
  m_ambientColor.a = a;
  m_diffuseColor.a = a;
  m_specularColor.a = a;
  m_emissionColor.a = a;
}

void cMaterial::render() {
  glDisable(GL_COLOR_MATERIAL);
  cGLMaterial(GL_AMBIENT, m_ambientColor);
  cGLMaterial(GL_DIFFUSE, m_diffuseColor);
  cGLMaterial(GL_SPECULAR, m_specularColor);
  cGLMaterial(GL_EMISSION, m_emissionColor);
  glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, static_cast<GLint>(m_specPower));
}
