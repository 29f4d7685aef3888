// Small OpenGL helpers shared by the scene-graph nodes.
#ifndef SCENE_CMACROSGL_H
#define SCENE_CMACROSGL_H

#include "scene/math/CColor.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

#include <GL/gl.h>

// a 4x4 OpenGL matrix (column-major) built from a rotation and a position
struct cGLMatrix {
  double m[16];

  cGLMatrix() { identity(); }
  cGLMatrix(const cVector3d &pos, const cMatrix3d &rot) { set(pos, rot); }

  void identity();
  // the upper-left 3x3 block takes rot column by column, the last column pos
  void set(const cVector3d &pos, const cMatrix3d &rot);
  const double *data() const { return m; }

  // multiply the current OpenGL matrix by this one
  void glMatrixMultiply() const;
  // push the current matrix stack, then multiply
  void glMatrixPushMultiply() const;
  // pop the current matrix stack
  static void glMatrixPop();
};

// the same layout written into a bare array of 16 doubles
void cGLMatrixFromPose(double out[16], const cVector3d &pos, const cMatrix3d &rot);
void cGLMatrixIdentity(double out[16]);

// the OpenGL light number of index 0..7
inline GLenum cGLLight(int index) { return static_cast<GLenum>(GL_LIGHT0 + index); }

// a colour as a material parameter of both faces
void cGLMaterial(GLenum pname, const cColorf &colour);

#endif
