// Collision detection with a tree of axis-aligned boxes over a mesh's triangles,
// in the mesh's local frame. With neighbour queries on, the later queries of one
// proxy step test only the triangles around the last one hit.
//
// The tree is eight wide and flat: each node holds its children's boxes in single
// precision, rounded outward and padded, so a query tests four boxes at once; it
// is split by the surface-area heuristic. The boxes only prune: a subtree is
// skipped only when its entry point lies strictly beyond the best hit so far, and
// every surviving triangle is tested in double precision with the scan's own
// test. Equal distances go to the lowest slot, so the answer is the scan's.
#ifndef SCENE_CCOLLISIONAABB_H
#define SCENE_CCOLLISIONAABB_H

#include "scene/collision/CCollisionAABBBox.h"
#include "scene/collision/CCollisionAABBTree.h"
#include "scene/collision/CGenericCollision.h"
#include "scene/collision/CHugePageAllocator.h"

#include <cstdint>
#include <vector>

// the tree's arrays: large ones on huge pages, as queries read them at random
using cCollisionAABBNodes = std::vector<cCollisionAABBNode, cHugePageAllocator<cCollisionAABBNode>>;
using cCollisionAABBTriangles = std::vector<cCollisionAABBTriangle, cHugePageAllocator<cCollisionAABBTriangle>>;
using cCollisionAABBFilters = std::vector<cCollisionAABBFilter, cHugePageAllocator<cCollisionAABBFilter>>;

class cMesh;

class cCollisionAABB : public cGenericCollision {
 public:
  cCollisionAABB(std::vector<cTriangle> *triangles, bool useNeighbors);
  ~cCollisionAABB() override;

  // (re)builds the tree over the allocated triangles
  void initialize() override;
  // the boxes at m_drawDepth as wire boxes in the ambient colour of m_drawMaterial
  void render() override;
  // callNumber > 1 answers from the last hit triangle's neighbours when they exist;
  // callNumber -1 leaves the cached triangle alone
  bool computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle, cVector3d &point,
                        double &squareDistance, int callNumber) override;

  // threads for the builds of large trees (0, the default: as many as the machine
  // has, up to four); the tree is the same with any number
  static void setBuildThreads(unsigned int threads);
  // whether queries test a node's eight boxes at once with the machine's 8-wide
  // vectors and fused multiply-adds (the default where it has them) or four at a
  // time; both give the same answers. Returns whether the 8-wide descent is now in use.
  static bool setWideQueries(bool wide);

  // whether the last build left a tree (some triangle was allocated)
  bool hasTree() const { return m_leafCount > 0; }
  unsigned int getLeafCount() const { return m_leafCount; }
  cTriangle *getLastHitTriangle() const { return m_lastHitTriangle; }
  // levels of nodes below the root box (0 without nodes)
  int getDepth() const { return m_depth; }

  // the mesh's triangle slots, not owned
  std::vector<cTriangle> *m_triangleArray;
  // the nodes, root first, each before its subtree; empty without a tree, or when
  // the mesh is too large for single-precision boxes (then every query scans)
  cCollisionAABBNodes m_nodes;
  // the triangles that can be hit (allocated and not degenerate), leaf by leaf
  cCollisionAABBTriangles m_triangles;
  // the same in single precision, and three zeroed past the end so four can always
  // be read at once; empty when the mesh is too large for it
  cCollisionAABBFilters m_filters;
  // the union of the triangles' boxes, drawn at depth 0
  cCollisionAABBBox m_rootBox;
  // number of allocated triangles at the last build
  unsigned int m_leafCount;
  // the parent all the triangles had at the build, when they had one and the same;
  // null otherwise
  cMesh *m_sharedParent;
  cTriangle *m_lastHitTriangle;
  bool m_neighborQueries;

 private:
  void release();
  void renderNode(uint32_t index, int depth) const;
  bool queryNeighbors(cVector3d &a, const cVector3d &direction, double lengthSq, cGenericObject *&object,
                      cTriangle *&triangle, cVector3d &point, double &squareDistance);
  // the closest hit of the segment, ties to the lowest slot; index into m_triangles
  bool queryTree(const cVector3d &a, const cVector3d &direction, double lengthSq, uint32_t &hitIndex, cVector3d &point,
                 double &squareDistance) const;
  // the same answer by testing every triangle, for segments or meshes out of the
  // boxes' single-precision range
  bool queryScan(const cVector3d &a, const cVector3d &direction, double lengthSq, uint32_t &hitIndex, cVector3d &point,
                 double &squareDistance) const;

  // the padding of every box: far above the test's slack and rounding
  double m_pad;
  int m_depth;

  cCollisionAABB(const cCollisionAABB &) = delete;
  cCollisionAABB &operator=(const cCollisionAABB &) = delete;
};

#endif
