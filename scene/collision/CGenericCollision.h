// The collision detector interface: which triangle does the segment from a to b
// enter first, and where. A node owns at most one detector; the scene graph's
// segment query calls it with the segment already in the node's local frame.
#ifndef SCENE_CGENERICCOLLISION_H
#define SCENE_CGENERICCOLLISION_H

#include "scene/graph/CMaterial.h"
#include "scene/math/CVector3d.h"

class cGenericObject;
class cTriangle;

class cGenericCollision {
 public:
  cGenericCollision() : m_drawDepth(0) {
    m_drawMaterial.m_ambientColor = cColorf(0.3f, 0.3f, 0.3f, 1.0f);
    m_drawMaterial.m_diffuseColor = cColorf(0.5f, 0.5f, 0.5f, 1.0f);
    m_drawMaterial.m_specularColor = cColorf(1.0f, 1.0f, 1.0f, 1.0f);
    m_drawMaterial.setShininess(100);
  }
  virtual ~cGenericCollision() {}

  // builds the detector's structure
  virtual void initialize() {}
  // draws the structure at m_drawDepth
  virtual void render() {}
  // the first triangle hit by the segment a..b (local frame); on entry squareDistance
  // is the caller's best so far, on a hit the squared distance from a to point
  virtual bool computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle,
                                cVector3d &point, double &squareDistance, int callNumber) {
    (void)a, (void)b, (void)object, (void)triangle, (void)point, (void)squareDistance, (void)callNumber;
    return false;
  }

  void setDisplayDepth(int depth) { m_drawDepth = depth; }
  int getDisplayDepth() const { return m_drawDepth; }

  // its ambient colour is the colour the structure is drawn in
  cMaterial m_drawMaterial;
  // level drawn by render; negative draws every level
  int m_drawDepth;
};

#endif
