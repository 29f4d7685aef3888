#include "scene/dynamics/CDefWorld.h"

#include "scene/dynamics/CDefWorldCollision.h"

#include <cmath>

cDefWorld::cDefWorld() : m_simulationTime(0.0), m_timeStep(static_cast<double>(0.0025f)) {
  setCollisionDetector(new cDefWorldCollision(this));
}

cDefWorld::~cDefWorld() = default;

cDefMesh *cDefWorld::addDefMesh(std::unique_ptr<cDefMesh> mesh) {
  if (mesh == nullptr) return nullptr;
  m_defMeshes.push_back(std::move(mesh));
  return m_defMeshes.back().get();
}

bool cDefWorld::updateDynamics(double interval) {
  if (!std::isfinite(interval) || !(m_timeStep > 0.0)) return false;
  if (interval <= 0.0) return true;
  // the step is the single-precision 0.0025, a hair short of it: counting whole
  // steps to within half a step keeps an interval of one step to one step
  double advanced = 0.0;
  do {
    for (auto &m : m_defMeshes) m->clearForces();
    for (auto &m : m_defMeshes) m->computeForces();
    for (auto &m : m_defMeshes) m->computeNextPose(m_timeStep);
    for (auto &m : m_defMeshes) m->applyNextPose();
    m_simulationTime += m_timeStep;
    advanced += m_timeStep;
  } while (advanced < interval - 0.5 * m_timeStep);
  return true;
}

void cDefWorld::updateSkins() {
  for (auto &m : m_defMeshes) m->updateVertexPosition();
}

void cDefWorld::render(int pass) {
  for (auto &m : m_defMeshes) m->renderSceneGraph(pass);
}

void cDefWorld::updateGlobalPositions(bool frameOnly) {
  for (auto &m : m_defMeshes) m->computeGlobalPositions(frameOnly, m_worldPos, m_worldRot);
}

void cDefWorld::onDisplayReset(bool recursive) {
  for (auto &m : m_defMeshes) m->onDisplayReset(true);
  cGenericObject::onDisplayReset(recursive);
}
