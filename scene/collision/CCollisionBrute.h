// Collision detection by testing every triangle slot: the default detector of
// every mesh, linear in the number of triangles.
#ifndef SCENE_CCOLLISIONBRUTE_H
#define SCENE_CCOLLISIONBRUTE_H

#include "scene/collision/CGenericCollision.h"

#include <vector>

class cCollisionBrute : public cGenericCollision {
 public:
  explicit cCollisionBrute(std::vector<cTriangle> *triangles) : m_triangleArray(triangles) {}

  void initialize() override {}
  void render() override {}
  // every slot, removed or not; the closest accepted triangle wins, the first in
  // array order among equal distances; callNumber is not used
  bool computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle, cVector3d &point,
                        double &squareDistance, int callNumber) override;

  // the mesh's triangle slots, not owned
  std::vector<cTriangle> *m_triangleArray;
};

#endif
