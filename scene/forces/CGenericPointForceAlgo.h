// Base of the point force algorithms: turns the global position of a device's
// end point into a global force against a world.
#ifndef SCENE_CGENERICPOINTFORCEALGO_H
#define SCENE_CGENERICPOINTFORCEALGO_H

#include "scene/math/CVector3d.h"

class cWorld;

class cGenericPointForceAlgo {
 public:
  cGenericPointForceAlgo() : m_scene(nullptr) {}
  virtual ~cGenericPointForceAlgo();

  // does nothing here
  virtual void initialize(cWorld *world, const cVector3d &initialGlobalPosition);
  // the zero vector here
  virtual cVector3d computeForces(const cVector3d &deviceGlobalPosition);

  // queried scene; not owned, null until initialised
  cWorld *m_scene;
};

#endif
