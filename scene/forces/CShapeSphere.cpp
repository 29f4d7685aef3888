#include "scene/forces/CShapeSphere.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

cShapeSphere::cShapeSphere(const double &radius) : m_sphereRadius(std::fabs(radius)) {
  m_surface.m_ambientColor.set(0.3f, 0.3f, 0.3f, 1.0f);
  m_surface.m_diffuseColor.set(0.1f, 0.7f, 0.8f, 1.0f);
  m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_surface.setShininess(100);
  updateBoundaryBox();
}

cVector3d cShapeSphere::computeLocalForce(const cVector3d &p) {
  const double d = p.length();
  // the centre has no outward direction
  if (d > m_sphereRadius || d < 1e-9) return cVector3d();
  return p * ((m_sphereRadius - d) * m_surface.getStiffness() / d);
}

void cShapeSphere::renderShape(int pass) {
  (void)pass;
  beginShape();
  GLUquadricObj *q = gluNewQuadric();
  if (q != nullptr) {
    gluQuadricDrawStyle(q, GLU_FILL);
    gluQuadricNormals(q, GLU_SMOOTH);
    gluQuadricTexture(q, GL_TRUE);
    gluSphere(q, m_sphereRadius, 36, 36);
    gluDeleteQuadric(q);
  }
  endShape();
}

void cShapeSphere::updateBoundaryBox() {
  m_boxLo.set(-m_sphereRadius, -m_sphereRadius, -m_sphereRadius);
  m_boxHi.set(m_sphereRadius, m_sphereRadius, m_sphereRadius);
}

void cShapeSphere::scaleObject(const cVector3d &factors) {
  m_sphereRadius *= factors.x;
  updateBoundaryBox();
}
