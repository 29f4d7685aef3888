#include "scene/collision/CCollisionBrute.h"

#include "scene/collision/CCollisionAABBTree.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"

bool cCollisionBrute::computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle,
                                       cVector3d &point, double &squareDistance, int callNumber) {
  (void)callNumber;
  if (m_triangleArray == nullptr || m_triangleArray->empty()) return false;
  const cVector3d direction = b - a;
  double best = direction.lengthsq();
  bool hit = false;
  // removed slots are tested too; only a strictly closer hit replaces the previous one
  for (cTriangle &t : *m_triangleArray) {
    cVector3d p;
    double d2;
    if (!cIntersectSegmentTriangle(t, a, direction, best, p, d2)) continue;
    best = d2;
    object = t.m_parentNode;
    triangle = &t;
    point = p;
    squareDistance = d2;
    hit = true;
  }
  return hit;
}
