// The shapes a sphere tree wraps: a mesh triangle with its small bounding sphere,
// and the query segment with the sphere around it.
#ifndef SCENE_CCOLLISIONSPHERESGEOMETRY_H
#define SCENE_CCOLLISIONSPHERESGEOMETRY_H

#include "scene/math/CVector3d.h"

class cGenericObject;
class cTriangle;
class cCollisionSpheresLeaf;

class cCollisionSpheresGenericShape {
 public:
  cCollisionSpheresGenericShape() : m_radius(0.0), m_sphere(nullptr) {}
  virtual ~cCollisionSpheresGenericShape() {}

  virtual const cVector3d &getCenter() const { return m_center; }
  virtual double getRadius() const { return m_radius; }
  // the closest accepted hit between this shape and other, strictly below
  // squareDistance; outputs untouched on a miss
  virtual bool computeCollision(cCollisionSpheresGenericShape *other, cGenericObject *&object, cTriangle *&triangle,
                                cVector3d &point, double &squareDistance) = 0;

  cCollisionSpheresLeaf *getSphere() const { return m_sphere; }
  void setSphere(cCollisionSpheresLeaf *sphere) { m_sphere = sphere; }

 protected:
  cVector3d m_center;
  double m_radius;
  cCollisionSpheresLeaf *m_sphere;
};

// the segment a..b
class cCollisionSpheresLine : public cCollisionSpheresGenericShape {
 public:
  cCollisionSpheresLine(const cVector3d &a, const cVector3d &b);

  bool computeCollision(cCollisionSpheresGenericShape *other, cGenericObject *&object, cTriangle *&triangle,
                        cVector3d &point, double &squareDistance) override;

  const cVector3d &getStart() const { return m_start; }
  const cVector3d &getDirection() const { return m_direction; }

 private:
  cVector3d m_start;
  cVector3d m_direction;
};

// a triangle of the mesh, its corners as they were when the tree was built
class cCollisionSpheresTri : public cCollisionSpheresGenericShape {
 public:
  cCollisionSpheresTri() : m_triangle(nullptr) {}
  cCollisionSpheresTri(const cVector3d &c0, const cVector3d &c1, const cVector3d &c2, cTriangle *triangle);

  // other must be a line
  bool computeCollision(cCollisionSpheresGenericShape *other, cGenericObject *&object, cTriangle *&triangle,
                        cVector3d &point, double &squareDistance) override;

  cTriangle *getTriangle() const { return m_triangle; }
  const cVector3d &getCorner(int i) const { return m_corner[i]; }

 private:
  cVector3d m_corner[3];
  cTriangle *m_triangle;
};

// the smallest of: the circumsphere, and the spheres about the corners and edge
// midpoints that reach every corner (a right triangle gets its hypotenuse's
// midpoint). The circumcentre's parameter is rounded to single precision.
void cTriangleSphere(const cVector3d &c0, const cVector3d &c1, const cVector3d &c2, cVector3d &center, double &radius);

#endif
