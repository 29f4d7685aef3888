// A scene node that ties one haptic device to the scene through an
// update-compute-apply cycle run once per haptic step.
#ifndef SCENE_CGENERICTOOL_H
#define SCENE_CGENERICTOOL_H

#include "scene/graph/CGenericObject.h"
#include "scene/math/CColor.h"

#include <atomic>

class cGenericTool : public cGenericObject {
 public:
  cGenericTool() : m_switch0(0) {}
  ~cGenericTool() override = default;

  using cGenericObject::computeForces;

  // ---- the haptic cycle ----
  // read the device's pose and buttons
  virtual void updatePose() {}
  // compute the force against the world
  virtual void computeForces() {}
  // send the force to the device
  virtual void applyForces() {}

  // ---- device control: 0 on success, -1 on failure (always here) ----
  virtual int start() { return -1; }
  virtual int stop() { return -1; }
  virtual int initialize(bool resetEncoders = false) {
    (void)resetEncoders;
    return -1;
  }
  virtual int setForcesON() { return -1; }
  virtual int setForcesOFF() { return -1; }

  // a tool draws itself through its subclass
  void render(int pass) override { (void)pass; }

  // the device's first button; written by the haptic thread, read by others
  std::atomic<int> m_switch0;
  cColorf m_deviceColor;
  cColorf m_proxyColor;
  cColorf m_pressedColor;
  cColorf m_lineColor;
};

#endif
