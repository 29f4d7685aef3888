// A surface's colours for OpenGL and its haptic properties (stiffness, friction).
#ifndef SCENE_CMATERIAL_H
#define SCENE_CMATERIAL_H

#include "scene/math/CColor.h"

class cMaterial {
 public:
  cMaterial();
  virtual ~cMaterial() {}

  // specular exponent, at most 128
  void setShininess(unsigned int power);
  unsigned int getShininess() const { return m_specPower; }
  // values not above 0 become 0
  void setStiffness(double k);
  double getStiffness() const { return m_springK; }
  void setStaticFriction(double mu);
  double getStaticFriction() const { return m_muStatic; }
  void setDynamicFriction(double mu);
  double getDynamicFriction() const { return m_muDynamic; }
  // level clamped to 0..1, written into the alpha of the four colours
  void setTransparencyLevel(float level);

  // colour material off, then the colours and shininess on both faces
  virtual void render();

  cColorf m_ambientColor;
  cColorf m_diffuseColor;
  cColorf m_specularColor;
  cColorf m_emissionColor;
  unsigned int m_specPower;
  // force per length unit
  double m_springK;
  double m_muStatic;
  double m_muDynamic;
};

#endif
