#include "scene/forces/CPotentialFieldForceAlgo.h"

#include "scene/graph/CWorld.h"

void cPotentialFieldForceAlgo::initialize(cWorld *world, const cVector3d &initialGlobalPosition) {
  (void)initialGlobalPosition;
  m_scene = world;
}

cVector3d cPotentialFieldForceAlgo::computeForces(const cVector3d &deviceGlobalPosition) {
  cVector3d sum;
  if (m_scene == nullptr) return sum;
  // each child takes the position in the world frame and converts it itself
  const unsigned int n = m_scene->getNumChildren();
  for (unsigned int i = 0; i < n; ++i) sum += m_scene->getChild(i)->computeForces(deviceGlobalPosition);
  return sum;
}
