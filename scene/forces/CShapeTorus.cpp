#include "scene/forces/CShapeTorus.h"

#include <GL/gl.h>
#include <GL/glut.h>

#include <cmath>

cShapeTorus::cShapeTorus(const double &innerRadius, const double &outerRadius)
    : m_tubeRadius(std::fabs(innerRadius)), m_ringRadius(std::fabs(outerRadius)) {
  m_surface.m_ambientColor.set(0.3f, 0.3f, 0.3f, 1.0f);
  m_surface.m_diffuseColor.set(0.1f, 0.7f, 0.8f, 1.0f);
  m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_surface.setShininess(100);
  m_surface.setStiffness(100.0);
  updateBoundaryBox();
}

cVector3d cShapeTorus::computeLocalForce(const cVector3d &p) {
  if (p.lengthsq() <= 1e-9) return cVector3d();
  const double rxy = std::sqrt(p.x * p.x + p.y * p.y);
  // every point of the centre circle is equally near a point on the axis
  if (rxy <= 0.0) return cVector3d();
  const cVector3d c(p.x / rxy * m_ringRadius, p.y / rxy * m_ringRadius, 0.0);
  const cVector3d v = p - c;
  const double d = v.length();
  if (!(m_tubeRadius > d && d > 0.001)) return cVector3d();
  return v * ((m_tubeRadius - d) * m_surface.getStiffness() / d);
}

void cShapeTorus::renderShape(int pass) {
  (void)pass;
  beginShape();
  glutSolidTorus(m_tubeRadius, m_ringRadius, 64, 64);
  endShape();
}

void cShapeTorus::updateBoundaryBox() {
  // the tube reaches past the centre circle by its radius on every side
  const double r = m_ringRadius + m_tubeRadius;
  m_boxLo.set(-r, -r, -m_tubeRadius);
  m_boxHi.set(r, r, m_tubeRadius);
}

void cShapeTorus::scaleObject(const cVector3d &factors) {
  m_tubeRadius *= factors.x;
  m_ringRadius *= factors.x;
  updateBoundaryBox();
}
