#include "scene/graph/CWorld.h"

#include "scene/graph/CLight.h"
#include "scene/graph/CTexture2D.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kNoHit = 1e49;

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

}  // namespace

cWorld::cWorld() : m_clearColor(0.0f, 0.0f, 0.0f, 1.0f), m_lightsOn(true) {
  for (double &v : m_viewMatrixGL) v = 0.0;
}

cWorld::~cWorld() {
  deleteAllChildren();
  deleteAllTextures();
  // lights that outlive the world must not reach back into it
  for (cLight *light : m_lightList) light->m_homeWorld = nullptr;
  m_lightList.clear();
}

bool cWorld::computeCollisionDetection(cVector3d &a, const cVector3d &b, cGenericObject *&object, cTriangle *&triangle,
                                       cVector3d &point, double &squareDistance, bool visibleOnly, int callNumber) {
  const cVector3d aLocal = m_rot.transMul(a - m_pos);
  const cVector3d bLocal = m_rot.transMul(b - m_pos);
  double best = kNoHit;
  const bool hit = queryChildren(a, aLocal, bLocal, object, triangle, point, best, visibleOnly, callNumber);
  squareDistance = std::sqrt(best);
  return hit;
}

void cWorld::render(int pass) {
  (void)pass;
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glGetDoublev(GL_MODELVIEW_MATRIX, m_viewMatrixGL);
  if (m_lightsOn) {
    glEnable(GL_LIGHTING);
    for (cLight *light : m_lightList) light->renderLightSource();
  }
}

cLight *cWorld::getLightSource(int index) {
  if (index < 0 || index >= static_cast<int>(m_lightList.size())) return nullptr;
  return m_lightList[index];
}

void cWorld::setBackgroundColor(float r, float g, float b) {
  m_clearColor = cColorf(Clamp01(r), Clamp01(g), Clamp01(b), 1.0f);
}

void cWorld::setBackgroundColor(const cColorf &colour) { m_clearColor = colour; }

bool cWorld::addLightSource(cLight *light) {
  if (light == nullptr || static_cast<int>(m_lightList.size()) >= KORA_MAX_LIGHTS) return false;
  for (int i = 0; i < KORA_MAX_LIGHTS; ++i) {
    const int gl = GL_LIGHT0 + i;
    const bool used =
        std::any_of(m_lightList.begin(), m_lightList.end(), [gl](const cLight *l) { return l->m_glLight == gl; });
    if (!used) {
      light->m_glLight = gl;
      break;
    }
  }
  m_lightList.push_back(light);
  return true;
}

bool cWorld::removeLightSource(cLight *light) {
  auto it = std::find(m_lightList.begin(), m_lightList.end(), light);
  if (it == m_lightList.end()) return false;
  m_lightList.erase(it);
  return true;
}

namespace {

// where the world holds texture, or end
std::vector<std::unique_ptr<cTexture2D>>::iterator Find(std::vector<std::unique_ptr<cTexture2D>> &list,
                                                        const cTexture2D *texture) {
  return std::find_if(list.begin(), list.end(),
                      [texture](const std::unique_ptr<cTexture2D> &held) { return held.get() == texture; });
}

}  // namespace

cTexture2D *cWorld::newTexture() {
  m_textureList.push_back(std::make_unique<cTexture2D>());
  return m_textureList.back().get();
}

void cWorld::addTexture(cTexture2D *texture) {
  // a texture listed twice would be deleted twice
  if (texture == nullptr || Find(m_textureList, texture) != m_textureList.end()) return;
  m_textureList.emplace_back(texture);
}

bool cWorld::removeTexture(cTexture2D *texture) {
  auto it = Find(m_textureList, texture);
  if (it == m_textureList.end()) return false;
  it->release();
  m_textureList.erase(it);
  return true;
}

bool cWorld::deleteTexture(cTexture2D *texture) {
  auto it = Find(m_textureList, texture);
  if (it == m_textureList.end()) return false;
  m_textureList.erase(it);
  return true;
}

void cWorld::deleteAllTextures() { m_textureList.clear(); }
