// One vertex slot of a mesh: local and world position, normal, texture
// coordinates and colour. Vertex arrays point straight into these slots.
#ifndef SCENE_CVERTEX_H
#define SCENE_CVERTEX_H

#include "scene/math/CColor.h"
#include "scene/math/CVector3d.h"

class cVertex {
 public:
  cVertex() : cVertex(0.0, 0.0, 0.0, 0) {}
  cVertex(double x, double y, double z, unsigned int slot);

  void setPos(const cVector3d &pos) { m_pos = pos; }
  void setPos(double x, double y, double z) { m_pos.set(x, y, z); }
  const cVector3d &getPos() const { return m_pos; }
  const cVector3d &getGlobalPos() const { return m_worldPos; }
  void translate(const cVector3d &offset) { m_pos += offset; }
  void setNormal(const cVector3d &nrm) { m_nrm = nrm; }
  void setNormal(double x, double y, double z) { m_nrm.set(x, y, z); }
  const cVector3d &getNormal() const { return m_nrm; }
  void setTexCoord(double s, double t) { m_uv.set(s, t, 0.0); }
  const cVector3d &getTexCoord() const { return m_uv; }
  void setColor(const cColorb &rgba) { m_rgba = rgba; }
  const cColorb &getColor() const { return m_rgba; }
  unsigned int getIndex() const { return m_slot; }
  bool allocated() const { return m_inUse; }

  // local frame
  cVector3d m_pos;
  // world frame, valid after a full global-pose update
  cVector3d m_worldPos;
  // local frame
  cVector3d m_nrm;
  // x = s, y = t
  cVector3d m_uv;
  cColorb m_rgba;
  // own index in the mesh's vertex array
  unsigned int m_slot;
  bool m_inUse;
  // triangles that contributed to the last normal computation
  int m_faceCount;
};

#endif
