// The reflexions demo for devices with a gripper: the two spheres sit on the
// gripper's thumb and finger instead of the ends of a bar, turn with the
// effector, and the finger's push along the line between them goes to the
// gripper's motor.
#ifndef DEMO_CDEMOREFLEXIONS7_H
#define DEMO_CDEMOREFLEXIONS7_H

#include "demo/CDemoReflexions36.h"

class cDemoReflexions7 : public cDemoReflexions36 {
 public:
  cDemoReflexions7();

  int setup(int arg) override;
  void update(int arg) override;

  // constant added to the gripper force
  double m_gripperOffset;
};

#endif
