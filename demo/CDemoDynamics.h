// The dynamics demo: a deformable sheet of 10 x 10 mass nodes joined by
// springs, pinned at its corners and sagging under gravity, skinned with a thin
// slab. A large proxy sphere follows the device; the demo pushes the nodes it
// touches, steps the sheet on the haptic thread, commands the contact force
// itself, and refreshes the skin on every display tick.
#ifndef DEMO_CDEMODYNAMICS_H
#define DEMO_CDEMODYNAMICS_H

#include "demo/CDemo.h"
#include "scene/math/CVector3d.h"

#include <atomic>

class cDefMesh;
class cDefNode;
class cDefWorld;
class cShapeSphere;

class cDemoDynamics : public cDemo {
 public:
  cDemoDynamics();

  int setup(int arg) override;
  void reset(int arg) override;
  void exit(int arg) override;
  void update(int arg) override;
  // the skin follows the nodes
  void updateDynamics(int arg) override;
  bool drivesDevice() const override { return true; }
  bool stepsOnDisplayTick() const override { return true; }

  // the penalty force pushing sphere 1 (centre p1, radius r1) out of sphere 2
  // with stiffness k; zero apart or when the centres coincide
  static cVector3d computeForce(const cVector3d &p1, double r1, const cVector3d &p2, double r2, double k);

  // child of m_scene; owned by it
  cDefWorld *m_defWorld;
  // owned by m_defWorld
  cDefMesh *m_defMesh;
  // m_nodes[j][i] at (-0.45 + 0.1 j, 0.1 i - 0.43, 0); owned by m_defMesh
  cDefNode *m_nodes[10][10];
  // child of m_scene; owned by it
  cShapeSphere *m_proxy;
  double m_proxyRadius;
  // contact radius of a node
  double m_nodeRadius;
  double m_contactStiffness;
  // the force stays zero from reset until the proxy is clear of the sheet;
  // set by reset on the GLUT thread
  std::atomic<bool> m_starting;
};

#endif
