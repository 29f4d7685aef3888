// A scene-graph node whose force is a penalty field: the deeper a point lies
// inside the shape, the harder it is pushed out. Shapes derive from it.
#ifndef SCENE_CGENERICPOTENTIALFIELD_H
#define SCENE_CGENERICPOTENTIALFIELD_H

#include "scene/graph/CGenericObject.h"
#include "scene/graph/CMaterial.h"
#include "scene/math/CVector3d.h"

class cTexture2D;

class cGenericPotentialField : public cGenericObject {
 public:
  cGenericPotentialField();
  ~cGenericPotentialField() override {}

  // position in the parent frame; the shape's own force plus its children's,
  // returned in the parent frame and kept in m_lastFieldForce
  cVector3d computeForces(const cVector3d &position) override;
  // culling per pass, then renderShape
  void render(int pass) override;

  // force at a point of the shape's own frame; none for the base
  virtual cVector3d computeLocalForce(const cVector3d &localPosition) {
    (void)localPosition;
    return cVector3d();
  }
  // the shape's geometry for one pass; nothing for the base
  virtual void renderShape(int pass) { (void)pass; }

  // when transparent, draw back and front faces in separate passes
  bool m_twoPassBlend;
  bool m_blend;
  // cull back faces when opaque
  bool m_cullBack;
  // written on the haptic thread, read by the graphics thread
  cVector3d m_lastFieldForce;
  // appearance; its stiffness scales the field
  cMaterial m_surface;
  // not owned
  cTexture2D *m_tex;

 protected:
  // blending and depth writes, material and texture before a shape draws
  void beginShape();
  // leaves texturing and blending off, depth writes and colour material on
  void endShape();
};

#endif
