// A solid ring in the node's x-y plane around its z axis; its field pushes a
// point out of the tube, away from the ring's centre circle.
#ifndef SCENE_CSHAPETORUS_H
#define SCENE_CSHAPETORUS_H

#include "scene/forces/CGenericPotentialField.h"

class cShapeTorus : public cGenericPotentialField {
 public:
  // inner: the tube's radius; outer: the centre circle's radius; absolute values kept
  cShapeTorus(const double &innerRadius, const double &outerRadius);
  ~cShapeTorus() override {}

  cVector3d computeLocalForce(const cVector3d &localPosition) override;
  void renderShape(int pass) override;
  void updateBoundaryBox() override;
  // both radii follow factors.x
  void scaleObject(const cVector3d &factors) override;

  double m_tubeRadius;
  double m_ringRadius;
};

#endif
