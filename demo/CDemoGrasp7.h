// The grasp demo for devices with a gripper: a proxy sphere on the thumb and one
// on the finger meet the same four shapes as with one proxy, larger and softer
// to suit two fingers. The bubble pops only when squeezed between them, and the
// finger's push along the thumb-to-finger line goes to the gripper's motor.
#ifndef DEMO_CDEMOGRASP7_H
#define DEMO_CDEMOGRASP7_H

#include "demo/CDemoGrasp36.h"

class cDemoGrasp7 : public cDemoGrasp36 {
 public:
  cDemoGrasp7();

  int setup(int arg) override;
  void update(int arg) override;

  // the gripper force for finger force ff at q with the thumb at t: ff's
  // component along the line from the thumb to the finger, positive opening
  static double gripperForce(const cVector3d &t, const cVector3d &q, const cVector3d &ff);

  // the thumb's proxy sphere (m_proxySphere is the finger's); owned by m_scene
  cShapeSphere *m_thumbSphere;
  // the thumb's anchor in the sand (m_sandAnchor is the finger's)
  cVector3d m_thumbSandAnchor;
  // constant added to the gripper force
  double m_gripperOffset;

 protected:
  void configure() override;
};

#endif
