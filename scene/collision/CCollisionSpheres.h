// Collision detection with a binary tree of bounding spheres over a mesh's
// triangles, in the mesh's local frame. A query wraps the segment in a sphere
// and descends the tree where the spheres overlap. With neighbour queries on,
// the later queries of one proxy step test only the triangles around the last
// one hit, as the AABB tree does.
#ifndef SCENE_CCOLLISIONSPHERES_H
#define SCENE_CCOLLISIONSPHERES_H

#include "scene/collision/CCollisionSpheresGeometry.h"
#include "scene/collision/CCollisionSpheresSphere.h"
#include "scene/collision/CGenericCollision.h"

#include <vector>

class cCollisionSpheres : public cGenericCollision {
 public:
  cCollisionSpheres(std::vector<cTriangle> *triangles, bool useNeighbors);
  ~cCollisionSpheres() override;

  // (re)builds the tree over the allocated triangles
  void initialize() override;
  // the spheres at m_drawDepth, blended, in m_drawMaterial
  void render() override;
  // callNumber > 1 answers from the last hit triangle's neighbours when they exist;
  // callNumber -1 leaves the cached triangle alone
  bool computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle, cVector3d &point,
                        double &squareDistance, int callNumber) override;

  cCollisionSpheresSphere *getRoot() const { return m_root; }
  unsigned int getLeafCount() const { return static_cast<unsigned int>(m_leaves.size()); }
  cTriangle *getLastHitTriangle() const { return m_lastHitTriangle; }
  // the split axis of each internal node as it was built (0 x, 1 y, 2 z)
  int getSplitAxis(unsigned int node) const { return node < m_splits.size() ? m_splits[node] : -1; }

  // the mesh's triangle slots, not owned
  std::vector<cTriangle> *m_triangleArray;
  // one shape and one leaf per allocated triangle, in triangle order
  std::vector<cCollisionSpheresTri> m_shapes;
  std::vector<cCollisionSpheresLeaf> m_leaves;
  // the internal nodes, root first; empty with fewer than two leaves
  std::vector<cCollisionSpheresNode> m_nodes;
  cCollisionSpheresSphere *m_root;
  cTriangle *m_lastHitTriangle;
  bool m_neighborQueries;

 private:
  struct Build;
  void release();
  bool queryNeighbors(cVector3d &a, const cVector3d &direction, double lengthSq, cGenericObject *&object,
                      cTriangle *&triangle, cVector3d &point, double &squareDistance);

  std::vector<signed char> m_splits;

  cCollisionSpheres(const cCollisionSpheres &) = delete;
  cCollisionSpheres &operator=(const cCollisionSpheres &) = delete;
};

#endif
