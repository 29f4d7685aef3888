#include "scene/dynamics/CDefWorldCollision.h"

#include "scene/dynamics/CDefWorld.h"

bool cDefWorldCollision::computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle,
                                          cVector3d &point, double &squareDistance, int callNumber) {
  if (m_defWorld == nullptr) return false;
  bool hit = false;
  double best = 0.0;
  cVector3d start = a;
  // each mesh answers on its own; only a strictly nearer hit replaces the last,
  // so a farther mesh later in the list cannot hide a nearer one
  for (size_t i = 0; i < m_defWorld->getNumDefMeshes(); ++i) {
    cVector3d from = a;
    cGenericObject *o = nullptr;
    cTriangle *t = nullptr;
    cVector3d p;
    double d = squareDistance;
    if (!m_defWorld->getDefMesh(i)->computeCollisionDetection(from, b, o, t, p, d, false, callNumber)) continue;
    if (hit && !(d < best)) continue;
    hit = true;
    best = d;
    object = o;
    triangle = t;
    point = p;
    start = from;
  }
  if (hit) {
    squareDistance = best;
    a = start;
  }
  return hit;
}
