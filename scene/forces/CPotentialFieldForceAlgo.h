// The point force algorithm of analytic shapes: the sum of the field forces that
// the world's sub-trees give at the device position.
#ifndef SCENE_CPOTENTIALFIELDFORCEALGO_H
#define SCENE_CPOTENTIALFIELDFORCEALGO_H

#include "scene/forces/CGenericPointForceAlgo.h"

class cPotentialFieldForceAlgo : public cGenericPointForceAlgo {
 public:
  cPotentialFieldForceAlgo() {}
  ~cPotentialFieldForceAlgo() override {}

  // keeps the world; the position is not needed
  void initialize(cWorld *world, const cVector3d &initialGlobalPosition) override;
  // zero without a world or with an empty one
  cVector3d computeForces(const cVector3d &deviceGlobalPosition) override;
};

#endif
