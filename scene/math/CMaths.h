// Geometry helpers: surface normals and segments.
#ifndef SCENE_CMATHS_H
#define SCENE_CMATHS_H

#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

// the unit normal of the triangle a, b, c; counter-clockwise corners face the viewer
inline cVector3d cComputeSurfaceNormal(const cVector3d &a, const cVector3d &b, const cVector3d &c) {
  return cNormalize(cNormalize(b - a).cross(cNormalize(c - a)));
}

struct cSegment3D {
  cVector3d m_from;
  cVector3d m_to;

  cSegment3D() = default;
  cSegment3D(const cVector3d &from, const cVector3d &to) : m_from(from), m_to(to) {}

  // squared distance from p to the segment; t receives the closest point's parameter
  // in 0..1 (0 for a zero-length segment), closest the point itself when given
  double distanceSquaredToPoint(const cVector3d &p, double &t, cVector3d *closest) const {
    const cVector3d d = m_to - m_from;
    t = d.dot(p - m_from) / d.lengthsq();
    // a NaN (zero-length segment) fails the comparison and becomes 0 as well
    if (!(t >= 0.0)) t = 0.0;
    if (t > 1.0) t = 1.0;
    const cVector3d c = m_from + d * t;
    if (closest) *closest = c;
    return p.distancesq(c);
  }
};

#endif
