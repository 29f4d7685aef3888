#include "scene/collision/CCollisionAABB.h"

#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"
#include "scene/mesh/CVertex.h"

#include <GL/gl.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

// the build's arrays are large and touched once each, so first-touch page faults
// dominate a big build: arrays of 2 MiB and more ask for huge pages
constexpr size_t kHugePage = size_t(2) << 20;

// raw storage for count objects of T, or null when memory runs out
template <typename T>
T *AllocateArray(size_t count) {
  const size_t bytes = sizeof(T) * (count > 0 ? count : 1);
  const size_t align = bytes >= kHugePage ? kHugePage : 64;
  const size_t rounded = (bytes + align - 1) / align * align;
  void *mem = std::aligned_alloc(align, rounded);
  if (mem != nullptr && align == kHugePage) madvise(mem, rounded, MADV_HUGEPAGE);
  return static_cast<T *>(mem);
}

// count objects of T in aligned storage, or null when memory runs out
template <typename T>
cAlignedArray<T> NewArray(size_t count) {
  T *a = AllocateArray<T>(count);
  if (a == nullptr) return nullptr;
  for (size_t i = 0; i < count; ++i) new (&a[i]) T();
  return cAlignedArray<T>(a, cAlignedArrayDelete<T>{count});
}

// one allocated triangle during the build: its box and its slot. The partitions
// move these small records instead of the leaves, which are filled once the order
// is final.
struct BuildItem {
  cVector3d lo;
  cVector3d hi;
  unsigned int slot;
};

// the state of one build; the internal nodes are handed out in construction order
// (depth first, low subtree before high subtree)
struct BuildContext {
  BuildItem *items;
  cCollisionAABBLeaf *leaves;
  cCollisionAABBInternal *nodes;
  unsigned int nextFreeNode;
};

inline void Grow(cVector3d &lo, cVector3d &hi, const BuildItem &item) {
  lo.x = std::min(lo.x, item.lo.x);
  lo.y = std::min(lo.y, item.lo.y);
  lo.z = std::min(lo.z, item.lo.z);
  hi.x = std::max(hi.x, item.hi.x);
  hi.y = std::max(hi.y, item.hi.y);
  hi.z = std::max(hi.z, item.hi.z);
}

// the union of the boxes of count items
void UnionOf(const BuildItem *items, unsigned int count, cVector3d &lo, cVector3d &hi) {
  lo.set(1e50, 1e50, 1e50);
  hi.set(-1e50, -1e50, -1e50);
  for (unsigned int i = 0; i < count; ++i) Grow(lo, hi, items[i]);
}

// builds node over count items from first; lo and hi are the union of their boxes
void BuildInternal(BuildContext &ctx, cCollisionAABBInternal &node, unsigned int count, unsigned int first, int depth,
                   const cVector3d &lo, const cVector3d &hi) {
  node.m_level = depth;
  cCollisionAABBBox &box = node.m_box;
  box.setBounds(lo, hi);

  // split across the longest side; ties prefer x, then y
  const cVector3d &ext = box.m_halfSize;
  int axis = 2;
  if (ext.x >= ext.y && ext.x >= ext.z) {
    axis = 0;
  } else if (ext.y >= ext.x && ext.y >= ext.z) {
    axis = 1;
  }
  const double split = box.m_mid[axis];

  // leaves whose center lies below the split value move to the front; the others
  // are swapped with the last unprocessed leaf. Each leaf is examined once, so the
  // two sides' boxes are gathered on the way.
  BuildItem *items = ctx.items + first;
  cVector3d lowLo(1e50, 1e50, 1e50), lowHi(-1e50, -1e50, -1e50);
  cVector3d highLo = lowLo, highHi = lowHi;
  unsigned int i = 0, end = count;
  while (i < end) {
    const double center = (items[i].lo[axis] + items[i].hi[axis]) / 2.0;
    if (center < split) {
      Grow(lowLo, lowHi, items[i]);
      ++i;
    } else {
      Grow(highLo, highHi, items[i]);
      --end;
      std::swap(items[i], items[end]);
    }
  }
  unsigned int below = i;
  if (below == 0 || below == count) {
    // no split: half the leaves on each side, as they now lie
    below = count / 2;
    UnionOf(items, below, lowLo, lowHi);
    UnionOf(items + below, count - below, highLo, highHi);
  }

  if (below < 2) {
    ctx.leaves[first].m_level = depth + 1;
    ctx.leaves[first].m_parentNode = &node;
    node.m_lowChild = &ctx.leaves[first];
  } else {
    cCollisionAABBInternal &low = ctx.nodes[ctx.nextFreeNode++];
    low.m_parentNode = &node;
    node.m_lowChild = &low;
    BuildInternal(ctx, low, below, first, depth + 1, lowLo, lowHi);
  }

  const unsigned int above = count - below;
  if (above == 1) {
    ctx.leaves[first + below].m_level = depth + 1;
    ctx.leaves[first + below].m_parentNode = &node;
    node.m_highChild = &ctx.leaves[first + below];
  } else {
    cCollisionAABBInternal &high = ctx.nodes[ctx.nextFreeNode++];
    high.m_parentNode = &node;
    node.m_highChild = &high;
    BuildInternal(ctx, high, above, first + below, depth + 1, highLo, highHi);
  }
}

// the squared distance bound and the box of the segment a..b, clamped to +-1e50
void SegmentBox(const cVector3d &a, const cVector3d &b, cCollisionAABBBox &box) {
  for (int k = 0; k < 3; ++k) {
    box.m_lo[k] = std::min(std::max(std::min(a[k], b[k]), -1e50), 1e50);
    box.m_hi[k] = std::min(std::max(std::max(a[k], b[k]), -1e50), 1e50);
  }
  box.updateMidAndHalfSize();
}

}  // namespace

cCollisionAABB::cCollisionAABB(std::vector<cTriangle> *triangles, bool useNeighbors)
    : m_triangleArray(triangles),
      m_top(nullptr),
      m_leafCount(0),
      m_lastHitTriangle(nullptr),
      m_neighborQueries(useNeighbors) {}

cCollisionAABB::~cCollisionAABB() { release(); }

void cCollisionAABB::release() {
  m_top = nullptr;
  m_nodeArray.reset();
  m_leafArray.reset();
  m_leafCount = 0;
}

void cCollisionAABB::initialize() {
  release();
  m_lastHitTriangle = nullptr;
  if (m_triangleArray == nullptr) return;

  std::vector<cTriangle> &tris = *m_triangleArray;
  unsigned int count = 0;
  for (const cTriangle &t : tris) {
    if (t.m_inUse) ++count;
  }
  if (count == 0) return;

  // out of memory: no tree, and every query misses; the items are plain records
  // that the loop below fills, so their storage is left unconstructed
  const cAlignedArray<BuildItem> itemArray(AllocateArray<BuildItem>(count));
  cAlignedArray<cCollisionAABBLeaf> leaves = NewArray<cCollisionAABBLeaf>(count);
  cAlignedArray<cCollisionAABBInternal> nodes = count > 1 ? NewArray<cCollisionAABBInternal>(count) : nullptr;
  if (itemArray == nullptr || leaves == nullptr || (count > 1 && nodes == nullptr)) return;
  BuildItem *items = itemArray.get();

  // the boxes of the allocated triangles, in triangle order, as the leaves fit them
  unsigned int n = 0;
  for (size_t s = 0; s < tris.size(); ++s) {
    const cTriangle &t = tris[s];
    if (!t.m_inUse) continue;
    BuildItem &item = items[n++];
    item.slot = static_cast<unsigned int>(s);
    item.lo.set(1e50, 1e50, 1e50);
    item.hi.set(-1e50, -1e50, -1e50);
    if (t.m_parentNode == nullptr) continue;
    const std::vector<cVertex> &v = t.m_parentNode->m_vertexSlots;
    for (const unsigned int c : {t.m_corner0, t.m_corner1, t.m_corner2}) {
      const cVector3d &p = v[c].m_pos;
      for (int k = 0; k < 3; ++k) {
        if (p[k] < item.lo[k]) item.lo[k] = p[k];
        if (p[k] > item.hi[k]) item.hi[k] = p[k];
      }
    }
  }

  m_leafCount = count;
  m_leafArray = std::move(leaves);
  m_nodeArray = std::move(nodes);
  if (count == 1) {
    m_top = &m_leafArray[0];
  } else {
    // one node more than a binary tree over count leaves needs
    BuildContext ctx{items, m_leafArray.get(), m_nodeArray.get(), 1};
    cVector3d lo, hi;
    UnionOf(items, count, lo, hi);
    BuildInternal(ctx, m_nodeArray[0], count, 0, 0, lo, hi);
    m_top = &m_nodeArray[0];
  }

  // the leaves take the triangles in their final order
  for (unsigned int i = 0; i < count; ++i) {
    m_leafArray[i].m_tri = &tris[items[i].slot];
    m_leafArray[i].m_box.setBounds(items[i].lo, items[i].hi);
  }
  // every node below the root recorded its parent as it was built
  m_top->setParent(nullptr, 0);
}

void cCollisionAABB::render() {
  if (m_top == nullptr) return;
  glDisable(GL_LIGHTING);
  glLineWidth(1.0f);
  glColor4fv(m_drawMaterial.m_ambientColor.data());
  m_top->render(m_drawDepth);
  glEnable(GL_LIGHTING);
}

bool cCollisionAABB::queryNeighbors(cVector3d &a, const cVector3d &direction, double lengthSq, cGenericObject *&object,
                                    cTriangle *&triangle, cVector3d &point, double &squareDistance) {
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

bool cCollisionAABB::computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle,
                                      cVector3d &point, double &squareDistance, int callNumber) {
  cVector3d direction = b - a;
  const double lengthSq = direction.lengthsq();

  // the later queries of a proxy step look only around the last triangle hit
  if (m_neighborQueries && callNumber > 1 && m_top != nullptr && m_lastHitTriangle != nullptr &&
      m_lastHitTriangle->m_adjacent != nullptr) {
    return queryNeighbors(a, direction, lengthSq, object, triangle, point, squareDistance);
  }

  if (m_top == nullptr) {
    if (callNumber != -1) m_lastHitTriangle = nullptr;
    return false;
  }

  cCollisionAABBBox segmentBox;
  SegmentBox(a, b, segmentBox);
  squareDistance = lengthSq;
  cTriangle *hitTri = nullptr;
  const bool hit = m_top->computeCollision(a, direction, segmentBox, hitTri, point, squareDistance);
  if (hit) {
    triangle = hitTri;
    object = hitTri->m_parentNode;
  }
  // call number -1 queries without touching the neighbour cache
  if (callNumber != -1) m_lastHitTriangle = hit ? hitTri : nullptr;
  return hit;
}
