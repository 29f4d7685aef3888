#include "scene/collision/CCollisionSpheresGeometry.h"

#include "scene/collision/CCollisionAABBTree.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"

#include <algorithm>
#include <cmath>

namespace {

double FarthestCorner(const cVector3d &center, const cVector3d *c) {
  return std::sqrt(std::max({(c[0] - center).lengthsq(), (c[1] - center).lengthsq(), (c[2] - center).lengthsq()}));
}

}  // namespace

void cTriangleSphere(const cVector3d &c0, const cVector3d &c1, const cVector3d &c2, cVector3d &center, double &radius) {
  const cVector3d c[3] = {c0, c1, c2};
  const cVector3d mid = (c0 + c1) * 0.5;
  const cVector3d e = c1 - c0, f = c2 - c0;
  // v runs from the midpoint of edge 0-1 across the face, at right angles to it;
  // the circumcentre lies on mid + t v, as far from corner 0 as from corner 2
  const cVector3d v = e.cross(f).cross(e);
  const double vf = v.dot(f);
  // a sliver has no useful circumcentre: relative to the face's size, so that
  // small triangles are not all taken for degenerate
  const double scale = e.lengthsq() * f.lengthsq();
  if (v.lengthsq() > 1e-9 * scale * scale && std::fabs(vf) > 0.0) {
    const double t = static_cast<float>(((mid - c2).lengthsq() - (mid - c0).lengthsq()) / (2.0 * vf));
    center = mid + v * t;
  } else {
    center = mid;
  }
  radius = FarthestCorner(center, c);

  // the corners and edge midpoints as centres: the smallest enclosing one wins
  for (int i = 0; i < 3; ++i) {
    for (int j = i; j < 3; ++j) {
      const cVector3d p = (c[i] + c[j]) * 0.5;
      const double r = FarthestCorner(p, c);
      if (r < radius) {
        radius = r;
        center = p;
      }
    }
  }
}

cCollisionSpheresLine::cCollisionSpheresLine(const cVector3d &a, const cVector3d &b) : m_start(a), m_direction(b - a) {
  m_center = (a + b) * 0.5;
  m_radius = m_direction.length() * 0.5;
}

bool cCollisionSpheresLine::computeCollision(cCollisionSpheresGenericShape *other, cGenericObject *&object,
                                             cTriangle *&triangle, cVector3d &point, double &squareDistance) {
  return other != nullptr && other->computeCollision(this, object, triangle, point, squareDistance);
}

cCollisionSpheresTri::cCollisionSpheresTri(const cVector3d &c0, const cVector3d &c1, const cVector3d &c2,
                                           cTriangle *triangle)
    : m_triangle(triangle) {
  m_corner[0] = c0;
  m_corner[1] = c1;
  m_corner[2] = c2;
  cTriangleSphere(c0, c1, c2, m_center, m_radius);
}

bool cCollisionSpheresTri::computeCollision(cCollisionSpheresGenericShape *other, cGenericObject *&object,
                                            cTriangle *&triangle, cVector3d &point, double &squareDistance) {
  // the tree pairs triangles only with the query's line
  auto *line = static_cast<cCollisionSpheresLine *>(other);
  if (m_triangle == nullptr || line == nullptr) return false;
  if (!cIntersectSegmentTriangle(*m_triangle, line->getStart(), line->getDirection(), squareDistance, point,
                                 squareDistance))
    return false;
  triangle = m_triangle;
  object = m_triangle->m_parentNode;
  return true;
}
