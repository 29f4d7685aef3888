#include "scene/tools/CGeneric3dofPointer.h"

#include "scene/forces/CPotentialFieldForceAlgo.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CDraw3D.h"
#include "scene/graph/CMacrosGL.h"

#include <cmath>
#include <utility>

namespace {

// the drawn sphere's radius in single precision, as the tool has always used it
const double kDefaultSphereSize = static_cast<double>(0.05f);
// the proxy is a thousandth of the drawn sphere (in single precision)
const double kProxyScale = static_cast<double>(0.001f);

// the gripper as a button: a soft spring while closing toward the threshold,
// a stiffer one past it, where the button counts as pressed
constexpr double kGripOpen = 0.05;
constexpr double kGripThreshold = 0.047;
constexpr double kGripSoftStiffness = 800.0;
constexpr double kGripHardStiffness = 600.0;

// forces start flowing once the computed force is below 1 mN
constexpr double kSmallForceSq = 1e-6;

}  // namespace

cGeneric3dofPointer::cGeneric3dofPointer(cWorld *world)
    : m_holdUntilSmall(true),
      m_halfExtent(0.1, 0.1, 0.1),
      m_gripGap(0.04),
      m_gripForce(0.0),
      m_gripForceHeld(true),
      m_gripAsSwitch(true),
      m_gripSwitch(false),
      m_sphereSize(kDefaultSphereSize),
      m_scene(world),
      m_drawDeviceAxes(false),
      m_deviceAxesSize(0.2),
      m_drawMode(RENDER_PROXY_AND_DEVICE),
      m_normalizedMapping(true),
      m_forcesRequested(true),
      m_forcesFlowing(false) {
  auto owned = std::make_unique<cProxyPointForceAlgo>();
  cProxyPointForceAlgo *proxy = owned.get();
  m_forceAlgorithms.reserve(2);
  m_forceAlgorithms.push_back(std::move(owned));
  m_forceAlgorithms.push_back(std::make_unique<cPotentialFieldForceAlgo>());
  proxy->initialize(world, cVector3d(0.0, 0.0, 0.0));
  m_haptic = std::make_unique<cGenericDevice>();

  m_deviceColor.set(1.0f, 0.2f, 0.0f, 1.0f);
  m_proxyColor.set(0.8f, 0.6f, 0.0f, 1.0f);
  m_pressedColor.set(1.0f, 0.1f, 0.0f, 1.0f);
  m_lineColor.set(0.7f, 0.7f, 0.7f, 1.0f);

  for (std::atomic<double> &e : m_shownDeviceRot) e.store(0.0, std::memory_order_relaxed);
  PublishPose();
  proxy->m_proxySphereRadius = m_sphereSize * kProxyScale;
}

cGeneric3dofPointer::~cGeneric3dofPointer() {
  if (m_haptic != nullptr) m_haptic->close();
}

void cGeneric3dofPointer::setDevice(cGenericDevice *device) {
  if (device != m_haptic.get()) m_haptic.reset(device);
}

// ---- the haptic cycle ----

void cGeneric3dofPointer::updatePose() {
  if (m_haptic == nullptr) return;
  cVector3d p;
  const int r = m_haptic->command(m_normalizedMapping ? CMD_GET_NORMALIZED_POSITION : CMD_GET_POSITION, &p);

  cVector3d thumb, finger;
  m_haptic->command(CMD_GET_GRIPPER_THUMB_POS, &thumb);
  m_haptic->command(CMD_GET_GRIPPER_FINGER_POS, &finger);
  m_gripGap = thumb.distance(finger);

  if (r != 0) return;
  m_devicePosLocal = m_normalizedMapping ? p.elementMul(m_halfExtent) : p;
  m_devicePosWorld = m_worldRot * m_devicePosLocal + m_worldPos;
  m_haptic->command(CMD_GET_ROTATION_MATRIX, &m_deviceRotLocal);
  m_deviceRotWorld = m_deviceRotLocal * m_worldRot;
  if (!m_gripAsSwitch.load(std::memory_order_relaxed)) {
    int button = 0;
    if (m_haptic->command(CMD_GET_BUTTON, &button) == 0) m_switch0.store(button, std::memory_order_relaxed);
  }
  m_haptic->command(CMD_GET_VELOCITY, &m_deviceVelLocal);
  m_deviceVelWorld = m_worldRot * m_deviceVelLocal;
  PublishPose();
}

void cGeneric3dofPointer::computeForces() {
  cVector3d sum;
  for (const auto &algo : m_forceAlgorithms)
    if (algo != nullptr) sum += algo->computeForces(m_devicePosWorld);
  m_forceWorld = sum;
  PublishPose();
}

void cGeneric3dofPointer::applyForces() {
  if (m_haptic == nullptr) return;
  m_forceLocal = m_worldRot.transMul(m_forceWorld);

  if (m_gripAsSwitch.load(std::memory_order_relaxed)) {
    const double m = m_gripGap;
    double grip = 0.0;
    if (m > kGripThreshold && m < kGripOpen) {
      m_gripSwitch.store(false, std::memory_order_relaxed);
      m_switch0.store(0, std::memory_order_relaxed);
      grip = std::fabs(m - kGripOpen) * kGripSoftStiffness;
    } else if (m < kGripThreshold) {
      m_gripSwitch.store(true, std::memory_order_relaxed);
      m_switch0.store(1, std::memory_order_relaxed);
      grip = std::fabs(m - kGripOpen) * kGripHardStiffness;
    } else {
      m_gripSwitch.store(false, std::memory_order_relaxed);
      m_switch0.store(0, std::memory_order_relaxed);
    }
    m_gripForce = grip;
  }
  // a gripper that starts closed would snap open: hold its force at zero until
  // the gripper has been open once
  if (m_gripForceHeld) {
    if (m_gripForce > 0.0)
      m_gripForce = 0.0;
    else
      m_gripForceHeld = false;
  }

  // after forces are switched on, wait for a small computed force so the
  // device does not jump
  if (!m_holdUntilSmall)
    m_forcesFlowing.store(true, std::memory_order_relaxed);
  else if (!m_forcesFlowing.load(std::memory_order_relaxed) && m_forceLocal.lengthsq() < kSmallForceSq)
    m_forcesFlowing.store(true, std::memory_order_relaxed);

  const bool send =
      m_forcesRequested.load(std::memory_order_relaxed) && m_forcesFlowing.load(std::memory_order_relaxed);
  double out[4] = {0.0, 0.0, 0.0, m_gripForce};
  if (send) {
    out[0] = m_forceLocal.x;
    out[1] = m_forceLocal.y;
    out[2] = m_forceLocal.z;
  }
  m_haptic->command(CMD_SET_FORCE_AND_GRIPPER_FORCE, out);
}

void cGeneric3dofPointer::PublishPose() {
  m_shownDevicePos.store(m_devicePosLocal);
  for (int i = 0; i < 9; ++i) m_shownDeviceRot[i].store(m_deviceRotLocal.m[i / 3][i % 3], std::memory_order_relaxed);
  cProxyPointForceAlgo *proxy = getProxy();
  if (proxy != nullptr) m_shownProxyPos.store(proxy->getProxyGlobalPosition());
}

// ---- device control ----

int cGeneric3dofPointer::initialize(bool resetEncoders) {
  if (m_haptic == nullptr) return -1;
  if (m_haptic->open() != 0) return -1;
  if (m_haptic->initialize(resetEncoders) != 0) return -1;
  updatePose();
  if (m_haptic->close() != 0) return -1;
  for (const auto &algo : m_forceAlgorithms)
    if (algo != nullptr) algo->initialize(m_scene, m_devicePosWorld);
  PublishPose();
  return 0;
}

int cGeneric3dofPointer::start() { return m_haptic != nullptr ? m_haptic->open() : -1; }

int cGeneric3dofPointer::stop() { return m_haptic != nullptr ? m_haptic->close() : -1; }

int cGeneric3dofPointer::setForcesON() {
  if (!m_forcesRequested.load(std::memory_order_relaxed)) {
    m_forcesFlowing.store(false, std::memory_order_relaxed);
    m_forcesRequested.store(true, std::memory_order_relaxed);
  }
  return 0;
}

int cGeneric3dofPointer::setForcesOFF() {
  m_forcesRequested.store(false, std::memory_order_relaxed);
  return 0;
}

// ---- settings ----

cVector3d cGeneric3dofPointer::getWorkspaceScaleFactors() {
  double radius = 0.0;
  if (m_haptic == nullptr || m_haptic->command(CMD_GET_WORKSPACE_RADIUS_MM, &radius) != 0) return cVector3d();
  return cVector3d(radius / m_halfExtent.x, radius / m_halfExtent.y, radius / m_halfExtent.z);
}

void cGeneric3dofPointer::setRadius(const double &radius) {
  m_sphereSize = radius;
  cProxyPointForceAlgo *proxy = getProxy();
  if (proxy != nullptr) proxy->m_proxySphereRadius = radius * kProxyScale;
}

cProxyPointForceAlgo *cGeneric3dofPointer::getProxy() {
  for (const auto &algo : m_forceAlgorithms) {
    cProxyPointForceAlgo *proxy = dynamic_cast<cProxyPointForceAlgo *>(algo.get());
    if (proxy != nullptr) return proxy;
  }
  return nullptr;
}

// ---- drawing ----

void cGeneric3dofPointer::render(int pass) {
  if (pass != RENDER_PASS_OPAQUE && pass != RENDER_PASS_ALL) return;
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);

  const bool pressed = (m_switch0.load(std::memory_order_relaxed) & 1) != 0;
  const cVector3d device = m_shownDevicePos.load();
  const bool hasProxy = getProxy() != nullptr;
  cVector3d proxyLocal;
  if (hasProxy) proxyLocal = m_worldRot.transMul(m_shownProxyPos.load() - m_worldPos);

  if (hasProxy && m_drawMode != RENDER_DEVICE) {
    glColor4fv((pressed ? m_pressedColor : m_proxyColor).data());
    glPushMatrix();
    glTranslated(proxyLocal.x, proxyLocal.y, proxyLocal.z);
    cDrawSphere(m_sphereSize, 16, 16);
    glPopMatrix();
  }
  if (m_drawMode == RENDER_PROXY) return;

  glColor4fv((pressed ? m_pressedColor : m_deviceColor).data());
  glPushMatrix();
  glTranslated(device.x, device.y, device.z);
  cDrawSphere(m_sphereSize, 16, 16);
  glPopMatrix();

  if (m_drawDeviceAxes) {
    cMatrix3d rot;
    for (int i = 0; i < 9; ++i) rot.m[i / 3][i % 3] = m_shownDeviceRot[i].load(std::memory_order_relaxed);
    double gl[16];
    cGLMatrixFromPose(gl, device, rot);
    glPushMatrix();
    glMultMatrixd(gl);
    cDrawFrame(m_deviceAxesSize, true);
    glPopMatrix();
  }

  if (hasProxy && m_drawMode == RENDER_PROXY_AND_DEVICE) {
    glDisable(GL_LIGHTING);
    glLineWidth(1.0f);
    glColor4fv(m_lineColor.data());
    glBegin(GL_LINES);
    glVertex3d(device.x, device.y, device.z);
    glVertex3d(proxyLocal.x, proxyLocal.y, proxyLocal.z);
    glEnd();
    glEnable(GL_LIGHTING);
  }
}
