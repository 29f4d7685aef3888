#include "demo/CDemoGrasp7.h"

#include "scene/forces/CShapeBlock.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/graph/CWorld.h"
#include "scene/math/CMatrix3d.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CGenericDevice.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <cmath>

namespace {

const double kWorkspaceScale = 3.0;
// from the gripper's finger point to where the finger's pad touches, in the
// effector frame
const cVector3d kFingerPad(0.003, -0.026, -0.007);

// a proxy at p with force f from the bubble at centre c is clear of it
bool Outside(const cVector3d &p, const cVector3d &f, const cVector3d &c) {
  return f.length() < 1e-7 && (p - c).length() >= 1e-7;
}

}  // namespace

cDemoGrasp7::cDemoGrasp7() : m_thumbSphere(nullptr), m_gripperOffset(0.0) { configure(); }

void cDemoGrasp7::configure() {
  cDemoGrasp36::configure();
  m_proxyRadius = 0.018;
  m_bubbleMaxForce = 3.0;
  m_sandRadius = 0.08;
  m_breathStiffness = 700.0;
  m_softSize = 0.11;
  m_softStiffness = 600.0;
  m_gripperOffset = 0.0;
}

int cDemoGrasp7::setup(int arg) {
  if (cDemoGrasp36::setup(arg) < 0) return -1;
  m_thumbSphere = new cShapeSphere(m_proxyRadius);
  m_thumbSphere->m_surface = m_proxySphere->m_surface;
  m_scene->addChild(m_thumbSphere);
  return 0;
}

double cDemoGrasp7::gripperForce(const cVector3d &t, const cVector3d &q, const cVector3d &ff) {
  const cVector3d d = q - t;
  const double length = d.length();
  if (length <= 1e-5) return 0.0;
  return ff.dot(d / length);
}

void cDemoGrasp7::update(int) {
  cGenericDevice *device = m_tool == nullptr ? nullptr : m_tool->getDevice();
  if (device == nullptr || m_thumbSphere == nullptr) return;
  cVector3d thumb, finger;
  cMatrix3d frame;
  const bool thumbRead = device->command(CMD_GET_GRIPPER_THUMB_POS, &thumb) == DEVICE_OK;
  const bool fingerRead = device->command(CMD_GET_GRIPPER_FINGER_POS, &finger) == DEVICE_OK;
  device->command(CMD_GET_ROTATION_MATRIX, &frame);
  double command[4] = {0.0, 0.0, 0.0, 0.0};
  if (!thumbRead || !fingerRead) {
    // without both points no force can be right: send none
    device->command(CMD_SET_FORCE_AND_GRIPPER_FORCE, command);
    return;
  }
  const cVector3d t = thumb * kWorkspaceScale;
  const cVector3d q = (finger + frame * kFingerPad) * kWorkspaceScale;
  m_thumbSphere->setPos(t);
  m_proxySphere->setPos(q);

  // bubble: pops only when squeezed, both fingers pushing past the limit; forms
  // again once both are outside it (a centre gives no force but is inside)
  const cVector3d bubblePos = m_bubble->getPos();
  const cVector3d bt = computeForce(t, m_proxyRadius, bubblePos, m_bubbleRadius, m_bubbleStiffness);
  const cVector3d bf = computeForce(q, m_proxyRadius, bubblePos, m_bubbleRadius, m_bubbleStiffness);
  cVector3d waterT, waterF;
  if (m_bubbleIntact) {
    waterT = bt;
    waterF = bf;
    if (bt.length() > m_bubbleMaxForce && bf.length() > m_bubbleMaxForce) m_bubbleIntact = false;
  }
  m_bubble->setShow(m_bubbleIntact, false);
  if (Outside(t, bt, bubblePos) && Outside(q, bf, bubblePos)) m_bubbleIntact = true;

  // soft block: shrinks under the load of both fingers
  const cVector3d softT = m_softBlock->computeForces(t);
  const cVector3d softF = m_softBlock->computeForces(q);
  const double side = std::fabs(m_softSize * (500.0 - (softT.length() + softF.length())) / 500.0);
  m_softBlock->m_edges.set(side, side, side);
  m_softBlock->updateBoundaryBox();

  // breathing block
  m_breathHeight = stepBreath(m_breathCounter);
  m_breathBlock->m_edges.set(std::fabs(m_breathWidth), std::fabs(m_breathHeight), std::fabs(m_breathWidth));
  m_breathBlock->updateBoundaryBox();
  const cVector3d breathT = m_breathBlock->computeForces(t);
  const cVector3d breathF = m_breathBlock->computeForces(q);

  // sand: a stick spring of its own on each finger
  const cVector3d sandT = sandForce(t, m_thumbSandAnchor);
  const cVector3d sandF = sandForce(q, m_sandAnchor);

  cVector3d ft = waterT + softT + breathT + sandT;
  cVector3d ff = waterF + softF + breathF + sandF;
  if (m_starting) {
    // held at zero until neither finger is in a shape, as with one proxy
    if (ft.length() < 0.001 && ff.length() < 0.001) m_starting = false;
    ft.zero();
    ff.zero();
  }
  const cVector3d force = ft + ff;
  command[0] = force.x;
  command[1] = force.y;
  command[2] = force.z;
  command[3] = gripperForce(t, q, ff) + m_gripperOffset;
  device->command(CMD_SET_FORCE_AND_GRIPPER_FORCE, command);
}
