// A solid sphere around the node's origin whose field pushes points out radially.
#ifndef SCENE_CSHAPESPHERE_H
#define SCENE_CSHAPESPHERE_H

#include "scene/forces/CGenericPotentialField.h"

class cShapeSphere : public cGenericPotentialField {
 public:
  // the radius is kept as an absolute value
  explicit cShapeSphere(const double &radius);
  ~cShapeSphere() override {}

  cVector3d computeLocalForce(const cVector3d &localPosition) override;
  void renderShape(int pass) override;
  void updateBoundaryBox() override;
  // the radius follows factors.x
  void scaleObject(const cVector3d &factors) override;

  double getRadius() const { return m_sphereRadius; }

  double m_sphereRadius;
};

#endif
