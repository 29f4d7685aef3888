#include "demo/CDemoReflexions36.h"

#include "scene/forces/CShapeSphere.h"
#include "scene/forces/CShapeTorus.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CGenericDevice.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <cmath>

namespace {

// half the bar between the two spheres, device metres
const double kHalfBar = 0.015;
// reaction torque to spin per step, and the spin kept per step
const double kSpinGain = 1e-5;
const double kSpinDamping = 0.999;

// pushes a sphere centred at a (the rings' frame) out of one ring whose tube
// the sphere's centre must keep `reach` away from; adds the force to f
void PushOutOfRing(cVector3d &a, double ringRadius, double reach, double stiffness, cVector3d &f) {
  const double rxy = std::sqrt(a.x * a.x + a.y * a.y);
  // on the axis every point of the core circle is equally far, and farther than
  // the tube reaches: no nearest point, and no contact
  if (rxy <= 0.0) return;
  const cVector3d q(ringRadius * a.x / rxy, ringRadius * a.y / rxy, 0.0);
  const cVector3d v = a - q;
  const double d = v.length();
  // on the core circle the way out is undefined
  if (d >= reach || d <= 0.001) return;
  f += v * ((reach - d) * stiffness / d);
  a = q + v * (reach / d);
}

}  // namespace

cDemoReflexions36::cDemoReflexions36()
    : m_ringRadius1(0.105),
      m_tubeRadius1(0.027),
      m_ringRadius2(0.054),
      m_tubeRadius2(0.027),
      m_sphereRadius(0.02),
      m_sphereCount(2),
      m_contactStiffness(1000.0),
      m_workspaceScale(2.0),
      m_starting(true),
      m_running(false),
      m_ring1(nullptr),
      m_ring2(nullptr),
      m_sphere{nullptr, nullptr} {}

int cDemoReflexions36::setup(int) {
  m_scene = new cMesh(m_world);
  m_ringRadius1 = 0.105;
  m_tubeRadius1 = 0.027;
  m_ringRadius2 = 0.054;
  m_tubeRadius2 = 0.027;
  m_sphereRadius = 0.02;
  m_sphereCount = 2;
  m_spherePos[0].zero();
  m_spherePos[1].zero();
  m_ringCentre.zero();
  m_ringRot = cMatrix3d(0.0, -0.17364817766748877, 0.9848077530121095,  //
                        0.0, 0.9848077530121095, 0.17364817766748877,   //
                        -1.0, 0.0, 0.0);
  m_ringAngularVelocity.zero();
  m_contactStiffness = 1000.0;
  m_workspaceScale = 2.0;

  for (int i = 0; i < m_sphereCount; ++i) {
    m_sphere[i] = new cShapeSphere(m_sphereRadius);
    m_sphere[i]->m_surface.m_ambientColor.set(0.7f, 0.7f, 0.7f, 1.0f);
    m_sphere[i]->m_surface.m_diffuseColor.set(0.9f, 0.9f, 0.9f, 1.0f);
    m_sphere[i]->m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 1.0f);
    m_scene->addChild(m_sphere[i]);
  }
  m_ring1 = new cShapeTorus(m_tubeRadius1, m_ringRadius1);
  m_ring1->m_surface.m_ambientColor.set(0.3f, 0.3f, 0.4f, 0.7f);
  m_ring1->m_surface.m_diffuseColor.set(0.7f, 0.7f, 0.8f, 0.7f);
  m_ring2 = new cShapeTorus(m_tubeRadius2, m_ringRadius2);
  m_ring2->m_surface.m_ambientColor.set(0.4f, 0.3f, 0.4f, 0.7f);
  m_ring2->m_surface.m_diffuseColor.set(0.8f, 0.7f, 0.8f, 0.7f);
  for (cShapeTorus *ring : {m_ring1, m_ring2}) {
    ring->m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 0.7f);
    ring->m_surface.setShininess(100);
    // the spheres are seen through the rings
    ring->m_blend = true;
    ring->setPos(m_ringCentre);
    ring->setRot(m_ringRot);
    m_scene->addChild(ring);
  }
  m_scene->setPos(-0.1, 0.0, 0.0);
  m_starting = true;
  m_ready = true;
  return 0;
}

void cDemoReflexions36::reset(int) {
  if (!m_ready && setup(0) < 0) return;
  m_spherePos[0].zero();
  m_spherePos[1].zero();
  m_ringAngularVelocity.zero();
  m_ringCentre.zero();
  m_sphere[0]->setPos(m_spherePos[0]);
  m_sphere[1]->setPos(m_spherePos[1]);
  m_root->addChild(m_scene);
  m_world->computeGlobalPositions(true);
  m_starting = true;
  m_running = true;
}

void cDemoReflexions36::exit(int) { m_root->removeChild(m_scene); }

bool cDemoReflexions36::drivesDevice() const { return true; }

void cDemoReflexions36::contact(const cVector3d &x, cVector3d &force, cVector3d &shown) const {
  // the point in the rings' frame, whose z axis is the rings' axis
  cVector3d a = m_ringRot.transMul(x - m_ringCentre);
  cVector3d f;
  const double stiffness = m_contactStiffness / m_workspaceScale;
  if (a.lengthsq() > 1e-7) {
    PushOutOfRing(a, m_ringRadius1, m_tubeRadius1 + m_sphereRadius, stiffness, f);
    if (a.lengthsq() > 1e-7) PushOutOfRing(a, m_ringRadius2, m_tubeRadius2 + m_sphereRadius, stiffness, f);
  }
  force = m_ringRot * f;
  shown = m_ringRot * a;
}

void cDemoReflexions36::spinRings(const cVector3d &posA, const cVector3d &forceA, const cVector3d &posB,
                                  const cVector3d &forceB) {
  // the rings take the reaction of the push on each sphere
  m_ringAngularVelocity -= (posA - m_ringCentre).cross(forceA) * kSpinGain;
  m_ringAngularVelocity = (m_ringAngularVelocity - (posB - m_ringCentre).cross(forceB) * kSpinGain) * kSpinDamping;
  const double angle = m_ringAngularVelocity.length();
  if (angle <= 1e-7) return;
  const cVector3d axis = m_ringAngularVelocity / angle;
  if (axis.length() < 1e-49) return;
  m_ringRot = cMatrix3d::rotation(axis, angle) * m_ringRot;
}

void cDemoReflexions36::update(int) {
  if (!m_running || m_tool == nullptr) return;
  cGenericDevice *device = m_tool->getDevice();
  if (device == nullptr) return;
  cVector3d d;
  cMatrix3d r;
  // without a position there is nothing to touch the rings with
  if (device->command(CMD_GET_POSITION, &d) != 0) return;
  device->command(CMD_GET_ROTATION_MATRIX, &r);

  const cVector3d bar = r * cVector3d(0.0, kHalfBar, 0.0);
  const cVector3d a = (d + bar) * m_workspaceScale;
  const cVector3d b = (d - bar) * m_workspaceScale;
  cVector3d forceA, forceB;
  contact(a, forceA, m_spherePos[0]);
  contact(b, forceB, m_spherePos[1]);
  spinRings(m_spherePos[0], forceA, m_spherePos[1], forceB);

  cVector3d force = forceA + forceB;
  if (m_starting) {
    // the bar may have been inside a ring when the demo opened: no kick
    if (force.length() < 0.001) m_starting = false;
    force.zero();
  }

  m_sphere[0]->setPos(m_spherePos[0]);
  m_sphere[1]->setPos(m_spherePos[1]);
  m_ring1->setRot(m_ringRot);
  m_ring2->setRot(m_ringRot);
  device->command(CMD_SET_FORCE, &force);
}
