// The nodes of the AABB collision tree, and the segment-triangle test that every
// mesh collision detector shares.
#ifndef SCENE_CCOLLISIONAABBTREE_H
#define SCENE_CCOLLISIONAABBTREE_H

#include "scene/collision/CCollisionAABBBox.h"
#include "scene/math/CVector3d.h"

#include <cmath>
#include <cstdint>

class cTriangle;

// the segment test against one triangle, in the mesh's local frame: the ray from a
// along direction must enter the front face (or graze it), and the hit must lie
// strictly closer to a than bestSquareDistance. On acceptance point and
// squareDistance receive the hit; on rejection they are left alone.
bool cIntersectSegmentTriangle(const cTriangle &triangle, const cVector3d &a, const cVector3d &direction,
                               double bestSquareDistance, cVector3d &point, double &squareDistance);

// the thresholds are single-precision constants widened to double, as the
// detectors have always compared them. The parallel and degenerate tests compare
// them relative to the triangle's own size (and the segment's length), so a mesh
// scaled down to millimetres is hit exactly as the same mesh in metres: an
// absolute 1e-13 on a length^4 rejected every triangle under about 0.6 mm.
constexpr double kCollisionParallelEpsilon = static_cast<double>(1e-14f);
constexpr double kCollisionEpsilon = static_cast<double>(1e-13f);
constexpr double kCollisionBarycentricLimit = 1.0000000000001;
// segments closer than this to the face's plane direction are rejected: only those
// running against the normal, or grazing the face within about 16 degrees, hit
constexpr double kCollisionMinAngle = 1.3;

// whether no segment can ever hit the triangle with edges e1, e2: a zero, tiny or
// non-finite u fails the degenerate test of every query
inline bool cCollisionTriangleIsDegenerate(const cVector3d &e1, const cVector3d &e2) {
  const double q = e1.dot(e1);
  const double r2 = e2.dot(e2);
  const double s2 = e1.dot(e2);
  const double u = q * r2 - s2 * s2;
  return !(std::fabs(u) > kCollisionEpsilon * q * r2);
}

// the test itself on corner v0 and edges e1 = v1 - v0, e2 = v2 - v0, for a segment
// from a along direction (directionSquare its squared length). Accepts a hit up to
// and including boundSquareDistance; callers decide strictness and ties. Every
// detector runs this one body, so their answers agree to the last bit.
__attribute__((always_inline)) inline bool cCollisionSegmentTriangle(const cVector3d &v0, const cVector3d &e1,
                                                                     const cVector3d &e2, const cVector3d &a,
                                                                     const cVector3d &direction, double directionSquare,
                                                                     double boundSquareDistance, cVector3d &point,
                                                                     double &squareDistance) {
  const cVector3d n = e1.cross(e2);

  // parallel to the face: the angle's cosine, not a length^3
  // compared squared, to keep the square roots off the common path; a zero normal
  // or a zero-length segment fails here too
  const double x = n.dot(direction);
  const double nSquare = n.lengthsq();
  if (!(x * x > kCollisionParallelEpsilon * kCollisionParallelEpsilon * nSquare * directionSquare)) return false;

  // the face's plane lies behind a
  const double t = (v0 - a).dot(n) / x;
  if (t + kCollisionEpsilon < 0.0) return false;

  // degenerate triangle: u is q * r2 * sin^2 of the corner's angle
  const double q = e1.dot(e1);
  const double r2 = e2.dot(e2);
  const double s2 = e1.dot(e2);
  const double u = q * r2 - s2 * s2;
  if (!(std::fabs(u) > kCollisionEpsilon * q * r2)) return false;

  // barycentric coordinates of the plane hit, with a little slack on the edges
  const cVector3d p = a + direction * t;
  const cVector3d w = p - v0;
  const double we1 = w.dot(e1);
  const double we2 = w.dot(e2);
  const double s = (we1 * r2 - we2 * s2) / u;
  const double r = (we2 * q - s2 * we1) / u;
  if (!(s >= -kCollisionEpsilon) || !(r >= -kCollisionEpsilon) || !(s + r <= kCollisionBarycentricLimit)) return false;

  // the hit must not lie beyond the bound; this also bounds t
  const double d2 = (a - (v0 + e1 * s + e2 * r)).lengthsq();
  if (!(d2 <= boundSquareDistance)) return false;

  // the segment must run against the face's normal or graze the face. A segment
  // against the normal (x < 0) has a negative cosine, whose angle is beyond 1.3
  // rad; and below 0.26 the angle is beyond acos(0.26) = 1.3078: acos only near
  // the threshold
  if (x > 0.0) {
    const double cosTheta = x / std::sqrt(nSquare * directionSquare);
    if (cosTheta > 1.0) return false;
    if (cosTheta >= 0.26 && std::acos(cosTheta) < kCollisionMinAngle) return false;
  }

  point = p;
  squareDistance = d2;
  return true;
}

// one triangle of the tree, in the order the leaves list them: its corner and edges
// as they were at the build, and its slot (which decides ties, as in the scan)
struct cCollisionAABBTriangle {
  cVector3d m_v0;
  cVector3d m_e1;
  cVector3d m_e2;
  cTriangle *m_tri;
  unsigned int m_slot;
};

// the same triangle in single precision, for the query's first rejection, which
// lets a triangle go only when the exact test surely fails it. Lane 3 of the
// corner holds the magnitude of its largest coordinate, lane 3 of the first edge
// that of the edges' largest coordinate: the rounding bounds grow with both
struct alignas(16) cCollisionAABBFilter {
  float m_v0[4];
  float m_e1[4];
  float m_e2[4];
};

// a node of the eight-wide tree: the boxes of its up to eight children, single
// precision rounded outward and padded, laid out axis by axis so one query tests
// four at once; and per child a reference: an internal node's index, or a leaf's
// first triangle and count, or empty
struct alignas(64) cCollisionAABBNode {
  static constexpr int kWidth = 8;
  // m_box[0..2][c]: child c's minimum on x, y, z; m_box[3..5][c]: its maximum
  float m_box[6][kWidth];
  uint32_t m_child[kWidth];
  // the node's depth, the root's 0
  int m_level;
  // children in use: the first m_count
  int m_count;

  static constexpr uint32_t kEmpty = 0xffffffffu;
  static constexpr uint32_t kLeafFlag = 0x80000000u;
  static constexpr uint32_t kMaxLeafSize = 8;
  static constexpr uint32_t kMaxTriangles = 1u << 28;

  static uint32_t leaf(uint32_t first, uint32_t count) { return kLeafFlag | ((count - 1) << 28) | first; }
  static bool isLeaf(uint32_t ref) { return (ref & kLeafFlag) != 0; }
  static uint32_t leafFirst(uint32_t ref) { return ref & (kMaxTriangles - 1); }
  static uint32_t leafCount(uint32_t ref) { return ((ref >> 28) & 7u) + 1; }
};

#endif
