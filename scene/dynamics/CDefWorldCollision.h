// The collision detector of a deformable world: a segment query against the
// skins of all its deformable meshes.
#ifndef SCENE_CDEFWORLDCOLLISION_H
#define SCENE_CDEFWORLDCOLLISION_H

#include "scene/collision/CGenericCollision.h"

class cDefWorld;

class cDefWorldCollision : public cGenericCollision {
 public:
  // not owned: the world owns this detector
  explicit cDefWorldCollision(cDefWorld *world) : m_defWorld(world) {}

  // the nearest hit among the meshes (the world's frame)
  bool computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle, cVector3d &point,
                        double &squareDistance, int callNumber) override;

  cDefWorld *m_defWorld;
};

#endif
