#include "scene/graph/CDraw3D.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

void cLookAt(const cVector3d &eye, const cVector3d &target, const cVector3d &up) {
  const cVector3d f = cNormalize(target - eye);
  const cVector3d s = cNormalize(f.cross(up));
  const cVector3d u = s.cross(f);
  const double m[16] = {s.x, s.y, s.z, 0.0, u.x, u.y, u.z, 0.0, -f.x, -f.y, -f.z, 0.0, eye.x, eye.y, eye.z, 1.0};
  glMultMatrixd(m);
}

void cDrawSphere(double radius, unsigned int slices, unsigned int stacks) {
  GLUquadricObj *q = gluNewQuadric();
  if (q == nullptr) return;
  gluQuadricDrawStyle(q, GLU_FILL);
  gluQuadricNormals(q, GLU_SMOOTH);
  gluSphere(q, radius, static_cast<GLint>(slices), static_cast<GLint>(stacks));
  gluDeleteQuadric(q);
}

void cDrawWireBox(double xMin, double xMax, double yMin, double yMax, double zMin, double zMax) {
  glBegin(GL_LINES);
  // four edges along x
  glVertex3d(xMin, yMin, zMin), glVertex3d(xMax, yMin, zMin);
  glVertex3d(xMin, yMax, zMin), glVertex3d(xMax, yMax, zMin);
  glVertex3d(xMin, yMin, zMax), glVertex3d(xMax, yMin, zMax);
  glVertex3d(xMin, yMax, zMax), glVertex3d(xMax, yMax, zMax);
  // four along y
  glVertex3d(xMin, yMin, zMin), glVertex3d(xMin, yMax, zMin);
  glVertex3d(xMax, yMin, zMin), glVertex3d(xMax, yMax, zMin);
  glVertex3d(xMin, yMin, zMax), glVertex3d(xMin, yMax, zMax);
  glVertex3d(xMax, yMin, zMax), glVertex3d(xMax, yMax, zMax);
  // four along z
  glVertex3d(xMin, yMin, zMin), glVertex3d(xMin, yMin, zMax);
  glVertex3d(xMax, yMin, zMin), glVertex3d(xMax, yMin, zMax);
  glVertex3d(xMin, yMax, zMin), glVertex3d(xMin, yMax, zMax);
  glVertex3d(xMax, yMax, zMin), glVertex3d(xMax, yMax, zMax);
  glEnd();
}

void cDrawArrow(const cVector3d &from, const cVector3d &to, double radius) {
  const cVector3d dir = to - from;
  const double length = dir.length();
  if (!(length > 0.0)) return;
  // an up vector nearly parallel to the arrow would make the frame degenerate
  const cVector3d up = std::fabs(dir.y / length) > 0.9 ? cVector3d(1, 0, 0) : cVector3d(0, 1, 0);

  GLUquadricObj *q = gluNewQuadric();
  if (q == nullptr) return;
  gluQuadricNormals(q, GLU_SMOOTH);
  glPushMatrix();
  cLookAt(from, to, up);
  // the quadrics are built along +z; the frame points -z at the target
  glRotated(180.0, 1.0, 0.0, 0.0);
  gluQuadricOrientation(q, GLU_INSIDE);
  gluDisk(q, 0.0, radius, 10, 10);
  gluQuadricOrientation(q, GLU_OUTSIDE);
  gluCylinder(q, radius, radius, 0.75 * length, 10, 10);
  glTranslated(0.0, 0.0, 0.75 * length);
  gluQuadricOrientation(q, GLU_INSIDE);
  gluDisk(q, 0.0, 2.0 * radius, 10, 10);
  gluQuadricOrientation(q, GLU_OUTSIDE);
  gluCylinder(q, 2.0 * radius, 0.0, 0.25 * length, 10, 10);
  glPopMatrix();
  gluDeleteQuadric(q);
}

namespace {

// one solid arrow along +z: octagonal shaft of half-width w up to 75 % of the
// length, then an octagonal point twice as wide
void DrawAxisArrow(double length, double w) {
  const int n = 8;
  const double shaft = 0.75 * length;
  const double head = 2.0 * w;
  double cs[n + 1], sn[n + 1];
  for (int i = 0; i <= n; ++i) {
    const double a = 2.0 * M_PI * (i % n) / n;
    cs[i] = std::cos(a);
    sn[i] = std::sin(a);
  }
  // shaft sides
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i <= n; ++i) {
    glNormal3d(cs[i], sn[i], 0.0);
    glVertex3d(w * cs[i], w * sn[i], 0.0);
    glVertex3d(w * cs[i], w * sn[i], shaft);
  }
  glEnd();
  // bottom cap of the shaft
  glBegin(GL_TRIANGLE_FAN);
  glNormal3d(0.0, 0.0, -1.0);
  glVertex3d(0.0, 0.0, 0.0);
  for (int i = n; i >= 0; --i) glVertex3d(w * cs[i], w * sn[i], 0.0);
  glEnd();
  // underside of the point
  glBegin(GL_TRIANGLE_FAN);
  glNormal3d(0.0, 0.0, -1.0);
  glVertex3d(0.0, 0.0, shaft);
  for (int i = n; i >= 0; --i) glVertex3d(head * cs[i], head * sn[i], shaft);
  glEnd();
  // the point's sides, with normals tilted by the cone's slope
  const double rise = length - shaft;
  const double nl = std::sqrt(rise * rise + head * head);
  glBegin(GL_TRIANGLE_FAN);
  glNormal3d(0.0, 0.0, 1.0);
  glVertex3d(0.0, 0.0, length);
  for (int i = 0; i <= n; ++i) {
    glNormal3d(cs[i] * rise / nl, sn[i] * rise / nl, head / nl);
    glVertex3d(head * cs[i], head * sn[i], shaft);
  }
  glEnd();
}

}  // namespace

void cDrawFrame(double size, double thickness, bool setupMaterial) {
  if (setupMaterial) {
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  }
  const double w = 0.04 * thickness;
  glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
  // z as built, x and y by turning +z onto them
  DrawAxisArrow(size, w);
  glPushMatrix();
  glRotated(90.0, 0.0, 1.0, 0.0);
  DrawAxisArrow(size, w);
  glPopMatrix();
  glPushMatrix();
  glRotated(-90.0, 1.0, 0.0, 0.0);
  DrawAxisArrow(size, w);
  glPopMatrix();
}

void cDrawFrame(double size, bool setupMaterial) { cDrawFrame(size, size, setupMaterial); }
