#include "scene/collision/CCollisionSpheres.h"

#include "scene/collision/CCollisionAABBTree.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"
#include "scene/mesh/CVertex.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

// the state of one build: the cursors into this tree's arrays, so that two trees
// build independently
struct cCollisionSpheres::Build {
  cCollisionSpheres &tree;
  std::vector<unsigned int> order;
  unsigned int nextInternal;
  unsigned int nextLeaf;

  cCollisionSpheresSphere *child(unsigned int first, unsigned int count, cCollisionSpheresNode *parent) {
    if (count == 1) {
      cCollisionSpheresLeaf &leaf = tree.m_leaves[nextLeaf++];
      leaf.wrap(&tree.m_shapes[order[first]]);
      leaf.m_parent = parent;
      leaf.m_depth = parent->m_depth + 1;
      return &leaf;
    }
    const unsigned int index = nextInternal++;
    cCollisionSpheresNode &node = tree.m_nodes[index];
    node.m_parent = parent;
    node.m_depth = parent->m_depth + 1;
    construct(node, index, first, count);
    return &node;
  }

  // node over count >= 2 shapes of order from first
  void construct(cCollisionSpheresNode &node, unsigned int index, unsigned int first, unsigned int count) {
    // split across the widest spread of the centres; y and then z win only when strictly wider
    cVector3d lo(1e10, 1e10, 1e10), hi(-1e10, -1e10, -1e10);
    for (unsigned int i = first; i < first + count; ++i) {
      const cVector3d &c = tree.m_shapes[order[i]].getCenter();
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], c[k]);
        hi[k] = std::max(hi[k], c[k]);
      }
    }
    int axis = 0;
    if (hi.y - lo.y > hi.x - lo.x) axis = 1;
    if (hi.z - lo.z > hi[axis] - lo[axis]) axis = 2;
    tree.m_splits[index] = static_cast<signed char>(axis);

    // the lower half of the centres on that axis goes first; only the halves matter,
    // so a selection does what a full sort would. Equal centres keep triangle order.
    const unsigned int half = count / 2;
    const auto &shapes = tree.m_shapes;
    auto below = [&shapes, axis](unsigned int p, unsigned int q) {
      const double cp = shapes[p].getCenter()[axis], cq = shapes[q].getCenter()[axis];
      return cp < cq || (cp == cq && p < q);
    };
    std::nth_element(order.begin() + first, order.begin() + first + half, order.begin() + first + count, below);

    node.m_first = child(first, half, &node);
    node.m_second = child(first + half, count - half, &node);
    node.encloseChildren();
  }
};

namespace {

// whether the segment a + t dir (0 <= t <= 1) passes within radius of center
inline bool SegmentMeetsSphere(const cVector3d &a, const cVector3d &dir, double lengthSq, const cVector3d &center,
                               double radius) {
  const cVector3d toCenter = center - a;
  double t = lengthSq > 0.0 ? toCenter.dot(dir) / lengthSq : 0.0;
  t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
  return (toCenter - dir * t).lengthsq() <= radius * radius;
}

// the closest accepted triangle under node for the line, strictly below squareDistance
bool Descend(const cCollisionSpheresNode &node, cCollisionSpheresLine &line, double lengthSq, double slack,
             cGenericObject *&object, cTriangle *&triangle, cVector3d &point, double &squareDistance) {
  // spheres touching within 1e-10 count as overlapping (compared squared)
  const double reach = node.m_radius + line.getRadius() + 1e-10;
  if ((node.m_center - line.getCenter()).lengthsq() >= reach * reach) return false;
  // a long segment's sphere overlaps most of the tree: the segment itself must pass
  // through the node's sphere, and reach it before the best hit so far. The nodes'
  // 1 % margin covers the rounding, so no hit is lost.
  const cVector3d &a = line.getStart(), &dir = line.getDirection();
  if (!SegmentMeetsSphere(a, dir, lengthSq, node.m_center, node.m_radius)) return false;
  const double fromStartSq = (node.m_center - a).lengthsq(), r2 = node.m_radius * node.m_radius;
  if (fromStartSq > r2) {
    const double gap = std::sqrt(fromStartSq) - node.m_radius;
    if (gap * gap >= squareDistance) return false;
  }
  bool hit = false;
  // the second child must beat the first's hit strictly, so the first wins ties
  for (const cCollisionSpheresSphere *c : {node.m_first, node.m_second}) {
    if (c->isLeaf()) {
      // a leaf's sphere is tight: the slack covers hits on the triangle's edges
      // and at the segment's start, which the triangle test lets through by 1e-13
      if (!SegmentMeetsSphere(a, dir, lengthSq, c->m_center, c->m_radius * (1.0 + 1e-9) + slack)) continue;
      cCollisionSpheresGenericShape *shape = static_cast<const cCollisionSpheresLeaf *>(c)->m_shape;
      if (shape != nullptr && shape->computeCollision(&line, object, triangle, point, squareDistance)) hit = true;
    } else if (Descend(*static_cast<const cCollisionSpheresNode *>(c), line, lengthSq, slack, object, triangle, point,
                       squareDistance)) {
      hit = true;
    }
  }
  return hit;
}

}  // namespace

cCollisionSpheres::cCollisionSpheres(std::vector<cTriangle> *triangles, bool useNeighbors)
    : m_triangleArray(triangles), m_root(nullptr), m_lastHitTriangle(nullptr), m_neighborQueries(useNeighbors) {}

cCollisionSpheres::~cCollisionSpheres() = default;

void cCollisionSpheres::release() {
  m_root = nullptr;
  m_nodes.clear();
  m_nodes.shrink_to_fit();
  m_leaves.clear();
  m_leaves.shrink_to_fit();
  m_shapes.clear();
  m_shapes.shrink_to_fit();
  m_splits.clear();
}

void cCollisionSpheres::initialize() {
  release();
  m_lastHitTriangle = nullptr;
  if (m_triangleArray == nullptr) return;

  std::vector<cTriangle> &tris = *m_triangleArray;
  unsigned int count = 0;
  for (const cTriangle &t : tris) {
    if (t.m_inUse && t.m_parentNode != nullptr) ++count;
  }
  if (count == 0) return;

  // out of memory: no tree, and every query misses
  try {
    m_shapes.reserve(count);
    m_leaves.resize(count);
    m_nodes.resize(count - 1);
    m_splits.assign(count - 1, -1);
    Build build{*this, std::vector<unsigned int>(count), 0, 0};

    // removed triangles get no leaf, so they are never hit
    for (cTriangle &t : tris) {
      if (!t.m_inUse || t.m_parentNode == nullptr) continue;
      const std::vector<cVertex> &v = t.m_parentNode->m_vertexSlots;
      m_shapes.emplace_back(v[t.m_corner0].m_pos, v[t.m_corner1].m_pos, v[t.m_corner2].m_pos, &t);
    }
    for (unsigned int i = 0; i < count; ++i) build.order[i] = i;

    if (count == 1) {
      m_leaves[0].wrap(&m_shapes[0]);
      m_root = &m_leaves[0];
      return;
    }
    build.nextInternal = 1;
    build.construct(m_nodes[0], 0, 0, count);
    m_root = &m_nodes[0];
  } catch (const std::bad_alloc &) {
    release();
  }
}

void cCollisionSpheres::render() {
  if (m_root == nullptr) return;
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  glEnable(GL_LIGHTING);
  glLineWidth(1.0f);
  m_drawMaterial.render();
  m_root->draw(m_drawDepth);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
}

bool cCollisionSpheres::queryNeighbors(cVector3d &a, const cVector3d &direction, double lengthSq,
                                       cGenericObject *&object, cTriangle *&triangle, cVector3d &point,
                                       double &squareDistance) {
  cTriangle *best = nullptr;
  double bound = lengthSq;
  for (cTriangle *t : *m_lastHitTriangle->m_adjacent) {
    if (t == nullptr) {
      std::printf("Oops... invalid neighbor\n");
      continue;
    }
    cVector3d p;
    double d2;
    if (!cIntersectSegmentTriangle(*t, a, direction, bound, p, d2)) continue;
    bound = d2;
    if (best == nullptr || d2 < squareDistance) {
      best = t;
      point = p;
      squareDistance = d2;
    }
  }
  m_lastHitTriangle = best;
  if (best == nullptr) return false;
  triangle = best;
  object = best->m_parentNode;
  return true;
}

bool cCollisionSpheres::computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle,
                                         cVector3d &point, double &squareDistance, int callNumber) {
  const cVector3d direction = b - a;
  const double lengthSq = direction.lengthsq();

  if (m_root == nullptr) {
    if (callNumber != -1) m_lastHitTriangle = nullptr;
    return false;
  }

  // the later queries of a proxy step look only around the last triangle hit
  if (m_neighborQueries && callNumber > 1 && m_lastHitTriangle != nullptr && m_lastHitTriangle->m_adjacent != nullptr &&
      !m_lastHitTriangle->m_adjacent->empty()) {
    return queryNeighbors(a, direction, lengthSq, object, triangle, point, squareDistance);
  }

  cCollisionSpheresLine line(a, b);
  double best = lengthSq;
  cGenericObject *hitObject = nullptr;
  cTriangle *hitTri = nullptr;
  cVector3d hitPoint;
  bool hit;
  if (m_root->isLeaf()) {
    cCollisionSpheresGenericShape *shape = static_cast<cCollisionSpheresLeaf *>(m_root)->m_shape;
    hit = shape != nullptr && shape->computeCollision(&line, hitObject, hitTri, hitPoint, best);
  } else {
    const double slack = 1e-12 * (1.0 + std::sqrt(lengthSq));
    hit = Descend(*static_cast<cCollisionSpheresNode *>(m_root), line, lengthSq, slack, hitObject, hitTri, hitPoint,
                  best);
  }
  squareDistance = best;
  if (hit) {
    object = hitObject;
    triangle = hitTri;
    point = hitPoint;
  }
  // call number -1 queries without touching the neighbour cache
  if (callNumber != -1) m_lastHitTriangle = hit ? hitTri : nullptr;
  return hit;
}
