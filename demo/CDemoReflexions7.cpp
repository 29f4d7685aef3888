#include "demo/CDemoReflexions7.h"

#include "demo/CDemoGrasp7.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/forces/CShapeTorus.h"
#include "scene/tools/CGenericDevice.h"
#include "scene/tools/CMeta3dofPointer.h"

namespace {

// from the gripper's finger point to the finger sphere, in the effector frame
const cVector3d kFingerSphere(0.003, -0.022, -0.007);

}  // namespace

cDemoReflexions7::cDemoReflexions7() : m_gripperOffset(0.0) {}

int cDemoReflexions7::setup(int arg) {
  if (cDemoReflexions36::setup(arg) < 0) return -1;
  m_gripperOffset = 0.0;
  for (cShapeSphere *sphere : m_sphere) {
    sphere->setShowFrame(false, false);
    sphere->setFrameSize(0.03, 1.0, false);
  }
  return 0;
}

void cDemoReflexions7::update(int) {
  if (!m_running || m_tool == nullptr) return;
  cGenericDevice *device = m_tool->getDevice();
  if (device == nullptr) return;
  cVector3d thumb, finger;
  cMatrix3d r;
  // without both points there is nothing to touch the rings with
  if (device->command(CMD_GET_GRIPPER_THUMB_POS, &thumb) != 0) return;
  if (device->command(CMD_GET_GRIPPER_FINGER_POS, &finger) != 0) return;
  device->command(CMD_GET_ROTATION_MATRIX, &r);

  const cVector3d a = thumb * m_workspaceScale;
  const cVector3d b = (finger + r * kFingerSphere) * m_workspaceScale;
  cVector3d forceA, forceB;
  contact(a, forceA, m_spherePos[0]);
  contact(b, forceB, m_spherePos[1]);
  spinRings(m_spherePos[0], forceA, m_spherePos[1], forceB);

  cVector3d force = forceA + forceB;
  double grip = cDemoGrasp7::gripperForce(a, b, forceB);
  if (m_starting) {
    // a finger may have been inside a ring when the demo opened: no kick
    if (force.length() < 0.001) m_starting = false;
    force.zero();
    grip = 0.0;
  }

  for (int i = 0; i < 2; ++i) {
    m_sphere[i]->setPos(m_spherePos[i]);
    m_sphere[i]->setRot(r);
  }
  m_ring1->setRot(m_ringRot);
  m_ring2->setRot(m_ringRot);
  double command[4] = {force.x, force.y, force.z, grip + m_gripperOffset};
  device->command(CMD_SET_FORCE_AND_GRIPPER_FORCE, command);
}
