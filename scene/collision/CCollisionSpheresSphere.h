// The nodes of a sphere tree: leaves wrap one shape, internal nodes enclose
// their two children's spheres.
#ifndef SCENE_CCOLLISIONSPHERESSPHERE_H
#define SCENE_CCOLLISIONSPHERESSPHERE_H

#include "scene/math/CVector3d.h"

class cCollisionSpheresGenericShape;

class cCollisionSpheresSphere {
 public:
  cCollisionSpheresSphere() : m_parent(nullptr), m_radius(0.0), m_depth(0) {}
  virtual ~cCollisionSpheresSphere() {}

  virtual bool isLeaf() const = 0;
  // draws the spheres at the given depth below this one (every depth when negative)
  virtual void draw(int depth);

  const cVector3d &getCenter() const { return m_center; }
  double getRadius() const { return m_radius; }

  cCollisionSpheresSphere *m_parent;
  cVector3d m_center;
  double m_radius;
  int m_depth;
};

class cCollisionSpheresLeaf : public cCollisionSpheresSphere {
 public:
  cCollisionSpheresLeaf() : m_shape(nullptr) {}
  // wraps the shape: its sphere becomes the leaf's, and the shape learns its leaf
  explicit cCollisionSpheresLeaf(cCollisionSpheresGenericShape *shape) { wrap(shape); }

  void wrap(cCollisionSpheresGenericShape *shape);
  bool isLeaf() const override { return true; }

  // not owned
  cCollisionSpheresGenericShape *m_shape;
};

class cCollisionSpheresNode : public cCollisionSpheresSphere {
 public:
  cCollisionSpheresNode() : m_first(nullptr), m_second(nullptr) {}

  bool isLeaf() const override { return false; }
  void draw(int depth) override;
  // the smallest sphere around both children's, grown by 1 %
  void encloseChildren();

  cCollisionSpheresSphere *m_first;
  cCollisionSpheresSphere *m_second;
};

#endif
