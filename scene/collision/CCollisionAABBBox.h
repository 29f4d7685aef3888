// An axis-aligned box: the bounding volume of the collision tree's nodes and of the
// query segment. The center and half sizes always follow the corners.
#ifndef SCENE_CCOLLISIONAABBBOX_H
#define SCENE_CCOLLISIONAABBBOX_H

#include "scene/math/CVector3d.h"

class cCollisionAABBBox {
 public:
  cCollisionAABBBox() { setEmpty(); }
  cCollisionAABBBox(const cVector3d &lo, const cVector3d &hi) { setBounds(lo, hi); }
  virtual ~cCollisionAABBBox();

  // the reset box encloses nothing: any point or box enclosed afterwards replaces it
  void setEmpty() {
    m_mid.zero();
    m_halfSize.set(-1e50, -1e50, -1e50);
    m_lo.set(1e50, 1e50, 1e50);
    m_hi.set(-1e50, -1e50, -1e50);
  }
  void setBounds(const cVector3d &lo, const cVector3d &hi) {
    m_lo = lo;
    m_hi = hi;
    updateMidAndHalfSize();
  }
  // grows the corners only; call updateMidAndHalfSize once done
  void enclose(const cVector3d &p) {
    for (int i = 0; i < 3; ++i) {
      if (p[i] < m_lo[i]) m_lo[i] = p[i];
      if (p[i] > m_hi[i]) m_hi[i] = p[i];
    }
  }
  void enclose(const cCollisionAABBBox &b) {
    for (int i = 0; i < 3; ++i) {
      if (b.m_lo[i] < m_lo[i]) m_lo[i] = b.m_lo[i];
      if (b.m_hi[i] > m_hi[i]) m_hi[i] = b.m_hi[i];
    }
  }
  void updateMidAndHalfSize() {
    m_mid = (m_lo + m_hi) / 2.0;
    m_halfSize = (m_hi - m_lo) / 2.0;
  }
  // closed intervals: boxes that touch overlap
  bool overlaps(const cCollisionAABBBox &b) const {
    return !(m_lo.x > b.m_hi.x || b.m_lo.x > m_hi.x || m_lo.y > b.m_hi.y || b.m_lo.y > m_hi.y || m_lo.z > b.m_hi.z ||
             b.m_lo.z > m_hi.z);
  }

  cVector3d m_mid;
  cVector3d m_halfSize;
  cVector3d m_lo;
  cVector3d m_hi;
};

#endif
