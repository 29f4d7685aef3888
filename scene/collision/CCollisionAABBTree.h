// The nodes of the AABB collision tree, and the segment-triangle test that every
// mesh collision detector shares.
#ifndef SCENE_CCOLLISIONAABBTREE_H
#define SCENE_CCOLLISIONAABBTREE_H

#include "scene/collision/CCollisionAABBBox.h"
#include "scene/math/CVector3d.h"

class cTriangle;

// the segment test against one triangle, in the mesh's local frame: the ray from a
// along direction must enter the front face (or graze it), and the hit must lie
// strictly closer to a than bestSquareDistance. On acceptance point and
// squareDistance receive the hit; on rejection they are left alone.
bool cIntersectSegmentTriangle(const cTriangle &triangle, const cVector3d &a, const cVector3d &direction,
                               double bestSquareDistance, cVector3d &point, double &squareDistance);

// node kinds, held in m_kind
enum { AABB_NODE_INTERNAL = 0, AABB_NODE_LEAF = 1 };

class cCollisionAABBNode {
 public:
  cCollisionAABBNode(int kind) : m_level(0), m_parentNode(nullptr), m_kind(kind) {}
  virtual ~cCollisionAABBNode() {}

  // recomputes m_box from what the node covers
  virtual void fitBBox() = 0;
  // draws the boxes of the nodes at the given level below this one (every level when negative)
  virtual void render(int depth) = 0;
  // the closest accepted triangle under this node; squareDistance is the bound on
  // entry and the hit's squared distance on return; outputs untouched on a miss
  virtual bool computeCollision(cVector3d &a, cVector3d &direction, cCollisionAABBBox &segmentBox, cTriangle *&triangle,
                                cVector3d &point, double &squareDistance) = 0;
  // whether the triangle of that slot lies under this node
  virtual bool contains_triangle(int index) = 0;
  // records the parent; with recursive set every descendant records its own
  virtual void setParent(cCollisionAABBNode *parent, int recursive) = 0;

  cCollisionAABBBox m_box;
  int m_level;
  cCollisionAABBNode *m_parentNode;
  int m_kind;
};

class cCollisionAABBLeaf : public cCollisionAABBNode {
 public:
  cCollisionAABBLeaf() : cCollisionAABBNode(AABB_NODE_LEAF), m_tri(nullptr) {}

  // the box spanned by the triangle's three corners
  void fitBBox() override;
  void render(int depth) override;
  bool computeCollision(cVector3d &a, cVector3d &direction, cCollisionAABBBox &segmentBox, cTriangle *&triangle,
                        cVector3d &point, double &squareDistance) override;
  bool contains_triangle(int index) override;
  void setParent(cCollisionAABBNode *parent, int recursive) override;

  // not owned
  cTriangle *m_tri;
};

class cCollisionAABBInternal : public cCollisionAABBNode {
 public:
  cCollisionAABBInternal()
      : cCollisionAABBNode(AABB_NODE_INTERNAL), m_highChild(nullptr), m_lowChild(nullptr), m_rayBoxTest(true) {}

  // the union of the two children's boxes
  void fitBBox() override;
  void render(int depth) override;
  bool computeCollision(cVector3d &a, cVector3d &direction, cCollisionAABBBox &segmentBox, cTriangle *&triangle,
                        cVector3d &point, double &squareDistance) override;
  bool contains_triangle(int index) override;
  void setParent(cCollisionAABBNode *parent, int recursive) override;

  // leaves whose box centers lie at or above the split value
  cCollisionAABBNode *m_highChild;
  // leaves below it
  cCollisionAABBNode *m_lowChild;
  // run the exact ray-box test before descending
  bool m_rayBoxTest;
};

// whether the ray from a along direction meets the box (a inside counts)
bool cRayHitsBox(const cCollisionAABBBox &box, const cVector3d &a, const cVector3d &direction);

#endif
