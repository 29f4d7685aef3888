// A solid axis-aligned box centred on the node's origin; its field pushes a point
// out through the nearest face.
#ifndef SCENE_CSHAPEBLOCK_H
#define SCENE_CSHAPEBLOCK_H

#include "scene/forces/CGenericPotentialField.h"

class cShapeBlock : public cGenericPotentialField {
 public:
  // edge lengths along x, y and z, kept as absolute values
  cShapeBlock(const double &sizeX, const double &sizeY, const double &sizeZ);
  ~cShapeBlock() override {}

  cVector3d computeLocalForce(const cVector3d &localPosition) override;
  void renderShape(int pass) override;
  void updateBoundaryBox() override;
  // edges scaled componentwise
  void scaleObject(const cVector3d &factors) override;

  // x, y and z edge lengths
  cVector3d m_edges;
};

#endif
