// Collision detection with a binary tree of axis-aligned boxes over a mesh's
// triangles, in the mesh's local frame. With neighbour queries on, the later
// queries of one proxy step test only the triangles around the last one hit.
#ifndef SCENE_CCOLLISIONAABB_H
#define SCENE_CCOLLISIONAABB_H

#include "scene/collision/CCollisionAABBTree.h"
#include "scene/collision/CGenericCollision.h"

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

// releases an array the tree built in aligned storage (see the source file): its
// objects are destroyed, then the block is freed
template <typename T>
struct cAlignedArrayDelete {
  size_t m_count = 0;
  void operator()(T *a) const {
    for (size_t i = 0; i < m_count; ++i) a[i].~T();
    std::free(a);
  }
};
template <typename T>
using cAlignedArray = std::unique_ptr<T[], cAlignedArrayDelete<T>>;

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

  cCollisionAABBNode *getRoot() const { return m_top; }
  unsigned int getLeafCount() const { return m_leafCount; }
  cTriangle *getLastHitTriangle() const { return m_lastHitTriangle; }

  // the mesh's triangle slots, not owned
  std::vector<cTriangle> *m_triangleArray;
  // one leaf per allocated triangle
  cAlignedArray<cCollisionAABBLeaf> m_leafArray;
  // the internal nodes, root first; empty with fewer than two leaves
  cAlignedArray<cCollisionAABBInternal> m_nodeArray;
  // the single leaf, or the first internal node
  cCollisionAABBNode *m_top;
  unsigned int m_leafCount;
  cTriangle *m_lastHitTriangle;
  bool m_neighborQueries;

 private:
  void release();
  bool queryNeighbors(cVector3d &a, const cVector3d &direction, double lengthSq, cGenericObject *&object,
                      cTriangle *&triangle, cVector3d &point, double &squareDistance);

  cCollisionAABB(const cCollisionAABB &) = delete;
  cCollisionAABB &operator=(const cCollisionAABB &) = delete;
};

#endif
