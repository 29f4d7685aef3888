// A scene node holding deformable meshes: it steps their dynamics in fixed time
// steps, re-skins them, draws them, and answers segment queries against their
// skins through its own collision detector.
#ifndef SCENE_CDEFWORLD_H
#define SCENE_CDEFWORLD_H

#include "scene/dynamics/CDefMesh.h"
#include "scene/graph/CGenericObject.h"

#include <memory>
#include <vector>

class cDefWorld : public cGenericObject {
 public:
  cDefWorld();
  ~cDefWorld() override;

  // the world owns the meshes it is given (they are not its scene-graph
  // children: it draws and queries them itself); null for null
  cDefMesh *addDefMesh(std::unique_ptr<cDefMesh> mesh);
  size_t getNumDefMeshes() const { return m_defMeshes.size(); }
  cDefMesh *getDefMesh(size_t i) const { return i < m_defMeshes.size() ? m_defMeshes[i].get() : nullptr; }

  // steps of one time step until the simulation has advanced by interval, to
  // within half a step (at least one step); nothing for an interval that is
  // not positive; false for one that is not finite
  bool updateDynamics(double interval);
  // re-skins every mesh
  void updateSkins();

  // the meshes are not children: these reach them too
  void render(int pass) override;
  void updateGlobalPositions(bool frameOnly) override;
  void onDisplayReset(bool recursive) override;

  double m_simulationTime;
  double m_timeStep;

 private:
  std::vector<std::unique_ptr<cDefMesh>> m_defMeshes;
};

#endif
