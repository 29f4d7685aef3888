#include "scene/graph/CMacrosGL.h"

void cGLMatrixIdentity(double out[16]) {
  for (int i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

void cGLMatrixFromPose(double out[16], const cVector3d &pos, const cMatrix3d &rot) {
  // column j of the rotation lands in out[4j .. 4j+2]
  for (int j = 0; j < 3; ++j) {
    out[4 * j + 0] = rot.m[0][j];
    out[4 * j + 1] = rot.m[1][j];
    out[4 * j + 2] = rot.m[2][j];
    out[4 * j + 3] = 0.0;
  }
  out[12] = pos.x;
  out[13] = pos.y;
  out[14] = pos.z;
  out[15] = 1.0;
}

void cGLMatrix::identity() { cGLMatrixIdentity(m); }

void cGLMatrix::set(const cVector3d &pos, const cMatrix3d &rot) { cGLMatrixFromPose(m, pos, rot); }

void cGLMatrix::glMatrixMultiply() const { glMultMatrixd(m); }

void cGLMatrix::glMatrixPushMultiply() const {
  glPushMatrix();
  glMultMatrixd(m);
}

void cGLMatrix::glMatrixPop() { glPopMatrix(); }

void cGLMaterial(GLenum pname, const cColorf &colour) { glMaterialfv(GL_FRONT_AND_BACK, pname, colour.data()); }
