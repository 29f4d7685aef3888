// The reflexions demo for 3- and 6-DOF devices: two concentric rings pivot
// freely about their common centre and are spun by two small spheres at the
// ends of a short bar held by the device. The contact forces push the spheres
// out of the rings and go to the device; their reaction torques spin the rings,
// which slowly come to rest. The demo reads the device and sends the force
// itself.
#ifndef DEMO_CDEMOREFLEXIONS36_H
#define DEMO_CDEMOREFLEXIONS36_H

#include "demo/CDemo.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

#include <atomic>

class cShapeSphere;
class cShapeTorus;

class cDemoReflexions36 : public cDemo {
 public:
  cDemoReflexions36();

  int setup(int arg) override;
  void reset(int arg) override;
  void exit(int arg) override;
  void update(int arg) override;
  bool drivesDevice() const override;

  // a sphere centred at x (scaled scene units, local to the scene) against both
  // rings: the force on it, and where it is shown once pushed onto the surfaces
  void contact(const cVector3d &x, cVector3d &force, cVector3d &shown) const;
  // one step of the rings' spin from the contacts of spheres A and B: the
  // reaction torques, the damping, and the turn
  void spinRings(const cVector3d &posA, const cVector3d &forceA, const cVector3d &posB, const cVector3d &forceB);

  double m_ringRadius1, m_tubeRadius1;
  double m_ringRadius2, m_tubeRadius2;
  double m_sphereRadius;
  int m_sphereCount;
  // shown positions of spheres A and B
  cVector3d m_spherePos[2];
  // the rings' pivot
  cVector3d m_ringCentre;
  // orientation shared by both rings; kept between visits
  cMatrix3d m_ringRot;
  // rotation per step: axis times angle, radians
  cVector3d m_ringAngularVelocity;
  double m_contactStiffness;
  // device metres to scene units
  double m_workspaceScale;
  // zero force until the contact forces have come down after a reset
  std::atomic<bool> m_starting;
  // set by reset; a step before the first reset does nothing
  std::atomic<bool> m_running;

  cShapeTorus *m_ring1;
  cShapeTorus *m_ring2;
  cShapeSphere *m_sphere[2];
};

#endif
