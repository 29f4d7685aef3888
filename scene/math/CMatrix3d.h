// A 3x3 matrix of doubles stored row by row. As a rotation it holds in its
// columns the axes of a child frame expressed in the parent frame: a point p of
// the child is M * p (+ the child's position) in the parent, and M^T maps back.
// Every operation is inline and allocates nothing.
#ifndef SCENE_CMATRIX3D_H
#define SCENE_CMATRIX3D_H

#include "scene/math/CVector3d.h"

#include <cmath>

struct cMatrix3d {
  double m[3][3];

  // the identity: the default orientation everywhere
  cMatrix3d() { identity(); }
  cMatrix3d(double m00, double m01, double m02, double m10, double m11, double m12, double m20, double m21,
            double m22) {
    set(m00, m01, m02, m10, m11, m12, m20, m21, m22);
  }

  void set(double m00, double m01, double m02, double m10, double m11, double m12, double m20, double m21, double m22) {
    m[0][0] = m00, m[0][1] = m01, m[0][2] = m02;
    m[1][0] = m10, m[1][1] = m11, m[1][2] = m12;
    m[2][0] = m20, m[2][1] = m21, m[2][2] = m22;
  }
  void identity() { set(1, 0, 0, 0, 1, 0, 0, 0, 1); }
  // the three columns: the child frame's axes
  void setCols(const cVector3d &c0, const cVector3d &c1, const cVector3d &c2) {
    set(c0.x, c1.x, c2.x, c0.y, c1.y, c2.y, c0.z, c1.z, c2.z);
  }
  cVector3d col(int j) const { return cVector3d(m[0][j], m[1][j], m[2][j]); }
  cVector3d row(int i) const { return cVector3d(m[i][0], m[i][1], m[i][2]); }

  // M * v
  cVector3d operator*(const cVector3d &v) const {
    return cVector3d(m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                     m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z);
  }
  // M^T * v
  cVector3d transMul(const cVector3d &v) const {
    return cVector3d(m[0][0] * v.x + m[1][0] * v.y + m[2][0] * v.z, m[0][1] * v.x + m[1][1] * v.y + m[2][1] * v.z,
                     m[0][2] * v.x + m[1][2] * v.y + m[2][2] * v.z);
  }
  // M * B
  cMatrix3d operator*(const cMatrix3d &b) const {
    cMatrix3d r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j];
    return r;
  }
  cMatrix3d operator+(const cMatrix3d &b) const {
    cMatrix3d r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][j] + b.m[i][j];
    return r;
  }
  cMatrix3d operator*(double s) const {
    cMatrix3d r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][j] * s;
    return r;
  }
  cMatrix3d transpose() const {
    return cMatrix3d(m[0][0], m[1][0], m[2][0], m[0][1], m[1][1], m[2][1], m[0][2], m[1][2], m[2][2]);
  }
  void trans() { *this = transpose(); }
  double det() const {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  }
  bool operator==(const cMatrix3d &b) const {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        if (m[i][j] != b.m[i][j]) return false;
    return true;
  }
  bool equals(const cMatrix3d &b, double eps = 0.0) const {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        if (std::fabs(m[i][j] - b.m[i][j]) > eps) return false;
    return true;
  }

  // the rotation about the unit axis u by angle (right-hand rule)
  static cMatrix3d rotation(const cVector3d &u, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    return cMatrix3d(c + u.x * u.x * t, u.x * u.y * t - u.z * s, u.x * u.z * t + u.y * s,  //
                     u.x * u.y * t + u.z * s, c + u.y * u.y * t, u.y * u.z * t - u.x * s,  //
                     u.x * u.z * t - u.y * s, u.y * u.z * t + u.x * s, c + u.z * u.z * t);
  }
};

inline cMatrix3d cIdentity3d() { return cMatrix3d(); }
inline cMatrix3d cTranspose(const cMatrix3d &a) { return a.transpose(); }
inline cVector3d cMul(const cMatrix3d &a, const cVector3d &v) { return a * v; }
inline cMatrix3d cMul(const cMatrix3d &a, const cMatrix3d &b) { return a * b; }
inline cVector3d cTransMul(const cMatrix3d &a, const cVector3d &v) { return a.transMul(v); }
inline cMatrix3d cRotMatrix(const cVector3d &axis, double angle) { return cMatrix3d::rotation(axis, angle); }

#endif
