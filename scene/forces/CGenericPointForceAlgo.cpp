#include "scene/forces/CGenericPointForceAlgo.h"

cGenericPointForceAlgo::~cGenericPointForceAlgo() {}

void cGenericPointForceAlgo::initialize(cWorld *world, const cVector3d &initialGlobalPosition) {
  (void)world;
  (void)initialGlobalPosition;
}

cVector3d cGenericPointForceAlgo::computeForces(const cVector3d &deviceGlobalPosition) {
  (void)deviceGlobalPosition;
  return cVector3d();
}
