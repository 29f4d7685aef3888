#include "scene/collision/CCollisionAABBTree.h"

#include "scene/graph/CDraw3D.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"
#include "scene/mesh/CVertex.h"

#include <algorithm>
#include <cmath>

namespace {

// the thresholds are single-precision constants widened to double, as the
// detectors have always compared them. The parallel and degenerate tests compare
// them relative to the triangle's own size (and the segment's length), so a mesh
// scaled down to millimetres is hit exactly as the same mesh in metres: an
// absolute 1e-13 on a length^4 rejected every triangle under about 0.6 mm.
const double kParallelEpsilon = static_cast<double>(1e-14f);
const double kEpsilon = static_cast<double>(1e-13f);
const double kBarycentricLimit = 1.0000000000001;
// segments closer than this to the face's plane direction are rejected: only those
// running against the normal, or grazing the face within about 16 degrees, hit
const double kMinAngle = 1.3;

// the lines of a node that a query reads: its table pointer and its box corners
inline void Prefetch(const cCollisionAABBNode *node) {
  const char *p = reinterpret_cast<const char *>(node);
  __builtin_prefetch(p);
  __builtin_prefetch(p + 64);
  __builtin_prefetch(p + sizeof(cCollisionAABBInternal) - 1);
}

}  // namespace

bool cIntersectSegmentTriangle(const cTriangle &triangle, const cVector3d &a, const cVector3d &direction,
                               double bestSquareDistance, cVector3d &point, double &squareDistance) {
  const cMesh *mesh = triangle.m_parentNode;
  if (mesh == nullptr) return false;
  const cVector3d &v0 = mesh->m_vertexSlots[triangle.m_corner0].m_pos;
  const cVector3d &v1 = mesh->m_vertexSlots[triangle.m_corner1].m_pos;
  const cVector3d &v2 = mesh->m_vertexSlots[triangle.m_corner2].m_pos;
  const cVector3d e1 = v1 - v0;
  const cVector3d e2 = v2 - v0;
  const cVector3d n = e1.cross(e2);

  // parallel to the face: the angle's cosine, not a length^3
  // compared squared, to keep the square roots off the common path; a zero normal
  // or a zero-length segment fails here too
  const double x = n.dot(direction);
  const double nSquare = n.lengthsq();
  const double directionSquare = direction.lengthsq();
  if (!(x * x > kParallelEpsilon * kParallelEpsilon * nSquare * directionSquare)) return false;

  // the face's plane lies behind a
  const double t = (v0 - a).dot(n) / x;
  if (t + kEpsilon < 0.0) return false;

  // degenerate triangle: u is q * r2 * sin^2 of the corner's angle
  const double q = e1.dot(e1);
  const double r2 = e2.dot(e2);
  const double s2 = e1.dot(e2);
  const double u = q * r2 - s2 * s2;
  if (!(std::fabs(u) > kEpsilon * q * r2)) return false;

  // barycentric coordinates of the plane hit, with a little slack on the edges
  const cVector3d p = a + direction * t;
  const cVector3d w = p - v0;
  const double we1 = w.dot(e1);
  const double we2 = w.dot(e2);
  const double s = (we1 * r2 - we2 * s2) / u;
  const double r = (we2 * q - s2 * we1) / u;
  if (!(s >= -kEpsilon) || !(r >= -kEpsilon) || !(s + r <= kBarycentricLimit)) return false;

  // the hit must be strictly closer than the best one so far; this also bounds t
  const double d2 = (a - (v0 + e1 * s + e2 * r)).lengthsq();
  if (!(d2 < bestSquareDistance)) return false;

  // the segment must run against the face's normal or graze the face
  const double cosTheta = x / std::sqrt(nSquare * directionSquare);
  if (cosTheta > 1.0) return false;
  if (cosTheta >= -1.0 && std::acos(cosTheta) < kMinAngle) return false;

  point = p;
  squareDistance = d2;
  return true;
}

bool cRayHitsBox(const cCollisionAABBBox &box, const cVector3d &a, const cVector3d &direction) {
  // the triangle test accepts hits a hair beyond a triangle's edges, and rounding
  // can put a hit on an edge a hair outside the box: the box takes a slack far
  // larger than both, so the tree never culls a hit the scan would find
  double scale = 0.0;
  for (int i = 0; i < 3; ++i) scale = std::max(scale, std::max(std::fabs(box.m_lo[i]), std::fabs(box.m_hi[i])));
  const double pad = 1e-9 * scale;
  double lo[3], hi[3];
  for (int i = 0; i < 3; ++i) {
    lo[i] = box.m_lo[i] - pad;
    hi[i] = box.m_hi[i] + pad;
  }
  // per axis: a below the box (candidate plane at min), above it (at max), or inside
  bool inside = true;
  bool between[3];
  double plane[3];
  for (int i = 0; i < 3; ++i) {
    between[i] = false;
    plane[i] = 0.0;
    if (a[i] < lo[i]) {
      plane[i] = lo[i];
      inside = false;
    } else if (a[i] > hi[i]) {
      plane[i] = hi[i];
      inside = false;
    } else {
      between[i] = true;
    }
  }
  if (inside) return true;

  double t[3];
  for (int i = 0; i < 3; ++i) {
    t[i] = (!between[i] && direction[i] != 0.0) ? (plane[i] - a[i]) / direction[i] : -1.0;
  }
  // the farthest candidate plane is where the ray enters; an earlier axis keeps ties
  int which = 0;
  if (t[1] > t[which]) which = 1;
  if (t[2] > t[which]) which = 2;
  if (t[which] < 0.0) return false;
  for (int i = 0; i < 3; ++i) {
    if (i == which) continue;
    const double c = a[i] + t[which] * direction[i];
    if (c < lo[i] || c > hi[i]) return false;
  }
  return true;
}

// ---- leaf ----

void cCollisionAABBLeaf::fitBBox() {
  m_box.setEmpty();
  if (m_tri != nullptr && m_tri->m_parentNode != nullptr) {
    const std::vector<cVertex> &v = m_tri->m_parentNode->m_vertexSlots;
    m_box.enclose(v[m_tri->m_corner0].m_pos);
    m_box.enclose(v[m_tri->m_corner1].m_pos);
    m_box.enclose(v[m_tri->m_corner2].m_pos);
  }
  m_box.updateMidAndHalfSize();
}

void cCollisionAABBLeaf::render(int depth) {
  if (depth < 0 || depth == m_level) {
    cDrawWireBox(m_box.m_lo.x, m_box.m_hi.x, m_box.m_lo.y, m_box.m_hi.y, m_box.m_lo.z, m_box.m_hi.z);
  }
}

bool cCollisionAABBLeaf::computeCollision(cVector3d &a, cVector3d &direction, cCollisionAABBBox &segmentBox,
                                          cTriangle *&triangle, cVector3d &point, double &squareDistance) {
  (void)segmentBox;
  if (m_tri == nullptr) return false;
  if (!cIntersectSegmentTriangle(*m_tri, a, direction, squareDistance, point, squareDistance)) return false;
  triangle = m_tri;
  return true;
}

bool cCollisionAABBLeaf::contains_triangle(int index) {
  return m_tri != nullptr && static_cast<int>(m_tri->m_slot) == index;
}

void cCollisionAABBLeaf::setParent(cCollisionAABBNode *parent, int recursive) {
  (void)recursive;
  m_parentNode = parent;
}

// ---- internal node ----

void cCollisionAABBInternal::fitBBox() {
  m_box.setEmpty();
  if (m_highChild != nullptr) m_box.enclose(m_highChild->m_box);
  if (m_lowChild != nullptr) m_box.enclose(m_lowChild->m_box);
  m_box.updateMidAndHalfSize();
}

void cCollisionAABBInternal::render(int depth) {
  if (depth < 0 || depth == m_level) {
    cDrawWireBox(m_box.m_lo.x, m_box.m_hi.x, m_box.m_lo.y, m_box.m_hi.y, m_box.m_lo.z, m_box.m_hi.z);
  }
  // nothing deeper to draw once the wanted level is passed
  if (depth >= 0 && m_level >= depth) return;
  if (m_highChild != nullptr) m_highChild->render(depth);
  if (m_lowChild != nullptr) m_lowChild->render(depth);
}

bool cCollisionAABBInternal::computeCollision(cVector3d &a, cVector3d &direction, cCollisionAABBBox &segmentBox,
                                              cTriangle *&triangle, cVector3d &point, double &squareDistance) {
  if (!m_box.overlaps(segmentBox)) return false;
  // both children are visited next: start loading them while the ray test runs
  Prefetch(m_highChild);
  Prefetch(m_lowChild);
  if (m_rayBoxTest && !cRayHitsBox(m_box, a, direction)) return false;

  // each child starts from the same bound; the high child keeps equal distances
  cTriangle *highTri = nullptr, *lowTri = nullptr;
  cVector3d highPoint, lowPoint;
  double highSq = squareDistance, lowSq = squareDistance;
  const bool highHit = m_highChild->computeCollision(a, direction, segmentBox, highTri, highPoint, highSq);
  const bool lowHit = m_lowChild->computeCollision(a, direction, segmentBox, lowTri, lowPoint, lowSq);
  if (highHit && (!lowHit || !(lowSq < highSq))) {
    triangle = highTri;
    point = highPoint;
    squareDistance = highSq;
    return true;
  }
  if (lowHit) {
    triangle = lowTri;
    point = lowPoint;
    squareDistance = lowSq;
    return true;
  }
  return false;
}

bool cCollisionAABBInternal::contains_triangle(int index) {
  return (m_highChild != nullptr && m_highChild->contains_triangle(index)) ||
         (m_lowChild != nullptr && m_lowChild->contains_triangle(index));
}

void cCollisionAABBInternal::setParent(cCollisionAABBNode *parent, int recursive) {
  m_parentNode = parent;
  if (!recursive) return;
  if (m_highChild != nullptr) m_highChild->setParent(this, recursive);
  if (m_lowChild != nullptr) m_lowChild->setParent(this, recursive);
}
