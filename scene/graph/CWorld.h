// The root node of a scene: owns its textures, keeps its light sources and the
// background colour, and is the entry point of segment queries.
#ifndef SCENE_CWORLD_H
#define SCENE_CWORLD_H

#include "scene/graph/CGenericObject.h"
#include "scene/math/CColor.h"

#include <memory>
#include <vector>

class cLight;
class cTexture2D;

// at most this many lights, one per OpenGL light
constexpr int KORA_MAX_LIGHTS = 8;

class cWorld : public cGenericObject {
 public:
  cWorld();
  // deletes the children, then the textures
  ~cWorld() override;

  // the closest hit over the children, starting from 1e49; squareDistance holds the
  // distance itself (not squared) on return, 3.162277660168379e24 for a miss
  bool computeCollisionDetection(cVector3d &a, const cVector3d &b, cGenericObject *&object, cTriangle *&triangle,
                                 cVector3d &point, double &squareDistance, bool visibleOnly, int callNumber) override;
  // lighting, depth test and colour material on; the lights set themselves up
  void render(int pass) override;
  // null when index is out of range
  virtual cLight *getLightSource(int index);

  // each channel clamped to 0..1, alpha 1
  void setBackgroundColor(float r, float g, float b);
  void setBackgroundColor(const cColorf &colour);
  const cColorf &getBackgroundColor() const { return m_clearColor; }

  // false when 8 lights are registered; else the light takes the lowest free GL light
  bool addLightSource(cLight *light);
  bool removeLightSource(cLight *light);
  int getNumLightSources() const { return static_cast<int>(m_lightList.size()); }

  cTexture2D *newTexture();
  // ownership passes to the world; null and textures already held are ignored
  void addTexture(cTexture2D *texture);
  // ownership passes back to the caller
  bool removeTexture(cTexture2D *texture);
  bool deleteTexture(cTexture2D *texture);
  void deleteAllTextures();
  unsigned int getNumTextures() const { return static_cast<unsigned int>(m_textureList.size()); }

  // model-view matrix read back at the start of each render
  double m_viewMatrixGL[16];
  cColorf m_clearColor;
  std::vector<std::unique_ptr<cTexture2D>> m_textureList;
  // registered lights, not owned
  std::vector<cLight *> m_lightList;
  bool m_lightsOn;
};

#endif
