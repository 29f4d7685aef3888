// A scene-graph node that drives one OpenGL light; it registers itself with its
// world, which hands it a light number.
#ifndef SCENE_CLIGHT_H
#define SCENE_CLIGHT_H

#include "scene/graph/CGenericObject.h"
#include "scene/math/CColor.h"

class cWorld;

// m_glLight of a light no world has registered
constexpr int KORA_LIGHT_UNASSIGNED = 9999;

class cLight : public cGenericObject {
 public:
  // registers with world when it is not null
  explicit cLight(cWorld *world);
  // leaves its world's light list
  ~cLight() override;

  // ignored when |dir|^2 < 1e-4; the first column of the rotation becomes dir
  void setDir(const cVector3d &dir);
  void setDir(double x, double y, double z);
  cVector3d getDir() const { return m_rot.col(0); }
  // exactly 180 (no spot) or 0..90; anything else stores 180
  void setCutOffAngle(const float &angle);
  float getCutOffAngle() const { return m_spotCutoff; }
  void setEnabled(bool on) { m_lit = on; }
  bool getEnabled() const { return m_lit; }
  void setDirectionalLight(bool directional) { m_atInfinity = directional; }
  bool getDirectionalLight() const { return m_atInfinity; }

  // sets up its OpenGL light from its global pose, or disables it
  void renderLightSource();

  cColorf m_ambientColor;
  cColorf m_diffuseColor;
  cColorf m_specularColor;
  // GL_LIGHT0 + i once registered
  int m_glLight;
  cWorld *m_homeWorld;
  float m_attenuation0;
  float m_attenuation1;
  float m_attenuation2;
  float m_spotPower;
  // degrees; 180 = not a spot light
  float m_spotCutoff;
  bool m_lit;
  // position taken as a direction (w = 0)
  bool m_atInfinity;
};

#endif
