#include "scene/collision/CCollisionSpheresSphere.h"

#include "scene/collision/CCollisionSpheresGeometry.h"

#include <GL/gl.h>
#include <GL/glu.h>

void cCollisionSpheresSphere::draw(int depth) {
  if (depth >= 0 && m_depth != depth) return;
  GLUquadricObj *q = gluNewQuadric();
  if (q == nullptr) return;
  glPushMatrix();
  glTranslated(m_center.x, m_center.y, m_center.z);
  gluSphere(q, m_radius, 16, 16);
  glPopMatrix();
  gluDeleteQuadric(q);
}

void cCollisionSpheresLeaf::wrap(cCollisionSpheresGenericShape *shape) {
  m_shape = shape;
  if (shape == nullptr) return;
  m_center = shape->getCenter();
  m_radius = shape->getRadius();
  shape->setSphere(this);
}

void cCollisionSpheresNode::draw(int depth) {
  if (depth < 0 || m_depth == depth) cCollisionSpheresSphere::draw(depth);
  if (depth >= 0 && m_depth >= depth) return;
  if (m_first != nullptr) m_first->draw(depth);
  if (m_second != nullptr) m_second->draw(depth);
}

void cCollisionSpheresNode::encloseChildren() {
  const cVector3d &c1 = m_first->m_center, &c2 = m_second->m_center;
  const double r1 = m_first->m_radius, r2 = m_second->m_radius;
  const double d = (c2 - c1).length();
  if (r1 > d + r2) {
    m_center = c1;
    m_radius = r1;
  } else if (r2 > d + r1) {
    m_center = c2;
    m_radius = r2;
  } else {
    m_radius = (r1 + d + r2) / 2.0;
    m_center = d > 0.0 ? c1 + (c2 - c1) * ((m_radius - r1) / d) : c1;
  }
  m_radius *= 1.01;
}
