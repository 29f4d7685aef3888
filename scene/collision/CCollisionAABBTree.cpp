#include "scene/collision/CCollisionAABBTree.h"

#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"
#include "scene/mesh/CVertex.h"

bool cIntersectSegmentTriangle(const cTriangle &triangle, const cVector3d &a, const cVector3d &direction,
                               double bestSquareDistance, cVector3d &point, double &squareDistance) {
  const cMesh *mesh = triangle.m_parentNode;
  if (mesh == nullptr) return false;
  const cVector3d &v0 = mesh->m_vertexSlots[triangle.m_corner0].m_pos;
  const cVector3d &v1 = mesh->m_vertexSlots[triangle.m_corner1].m_pos;
  const cVector3d &v2 = mesh->m_vertexSlots[triangle.m_corner2].m_pos;
  cVector3d p;
  double d2;
  if (!cCollisionSegmentTriangle(v0, v1 - v0, v2 - v0, a, direction, direction.lengthsq(), bestSquareDistance, p, d2))
    return false;
  // only a strictly closer hit is accepted
  if (!(d2 < bestSquareDistance)) return false;
  point = p;
  squareDistance = d2;
  return true;
}
