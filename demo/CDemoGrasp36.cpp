#include "demo/CDemoGrasp36.h"

#include "scene/forces/CShapeBlock.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/math/CMatrix3d.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CGenericDevice.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <cmath>

namespace {

const char *const kWaterPath = "./resources/images/water.bmp";
const char *const kSandPath = "./resources/images/sand.bmp";
// the device's workspace is magnified this much into the scene
const double kWorkspaceScale = 3.0;
const double kPi = 3.14159265358979323846;

const cVector3d kBubblePos(0.0, 0.1, 0.1);
const cVector3d kSandPos(0.0, -0.1, -0.1);
const cVector3d kBreathPos(0.0, -0.1, 0.1);
const cVector3d kSoftPos(0.0, 0.1, -0.1);

void SetColours(cMaterial &m, float ambient, float diffuse, float alpha) {
  m.m_ambientColor.set(ambient, ambient, ambient, alpha);
  m.m_diffuseColor.set(diffuse, diffuse, diffuse, alpha);
  m.m_specularColor.set(1.0f, 1.0f, 1.0f, alpha);
}

// 30 degrees about y, then 30 degrees about z
void Tilt(cGenericObject *object) {
  object->rotate(cVector3d(0.0, 1.0, 0.0), kPi / 6.0);
  object->rotate(cVector3d(0.0, 0.0, 1.0), kPi / 6.0);
}

bool LoadTexture(cWorld *world, cShapeSphere *shape, const char *path) {
  cTexture2D *texture = world->newTexture();
  if (texture == nullptr || !texture->loadFromFile(path)) return false;
  shape->m_tex = texture;
  return true;
}

}  // namespace

cDemoGrasp36::cDemoGrasp36()
    : m_proxySphere(nullptr),
      m_bubble(nullptr),
      m_sand(nullptr),
      m_breathBlock(nullptr),
      m_softBlock(nullptr),
      m_proxyRadius(0.012),
      m_bubbleStiffness(1000.0),
      m_bubbleRadius(0.05),
      m_bubbleMaxForce(4.0),
      m_bubbleIntact(true),
      m_sandStiffness(1000.0),
      m_sandRadius(0.05),
      m_sandStretch(0.001),
      m_breathBase(0.06),
      m_breathWidth(0.15),
      m_breathRate(3.0),
      m_breathCounter(0),
      m_breathHeight(0.06),
      m_breathStiffness(900.0),
      m_softSize(0.065),
      m_softStiffness(300.0),
      m_starting(true) {}

cVector3d cDemoGrasp36::computeForce(const cVector3d &p1, double r1, const cVector3d &p2, double r2, double k) {
  const cVector3d d = p1 - p2;
  const double length = d.length();
  if (length < 1e-7 || length > r1 + r2) return cVector3d();
  return d * ((r1 + r2 - length) * k / length);
}

void cDemoGrasp36::configure() {
  m_proxyRadius = 0.012;
  m_bubbleStiffness = 1000.0;
  m_bubbleRadius = 0.05;
  m_bubbleMaxForce = 4.0;
  m_sandStiffness = 1000.0;
  m_sandRadius = 0.05;
  m_sandStretch = 0.001;
  m_breathBase = 0.06;
  m_breathWidth = 0.15;
  m_breathRate = 3.0;
  m_breathStiffness = 900.0;
  m_softSize = 0.065;
  m_softStiffness = 300.0;
}

int cDemoGrasp36::setup(int) {
  // a failed earlier attempt left its detached scene behind
  if (m_scene != nullptr && m_scene->getParent() == nullptr) delete m_scene;
  m_scene = new cMesh(m_world);
  m_scene->setPos(-0.1, 0.0, 0.0);

  configure();
  m_breathCounter = 0;
  m_breathHeight = m_breathBase;

  m_proxySphere = new cShapeSphere(m_proxyRadius);
  SetColours(m_proxySphere->m_surface, 0.5f, 0.8f, 1.0f);
  m_scene->addChild(m_proxySphere);

  // the spheres' contact is computed by the demo, not by their material
  m_bubble = new cShapeSphere(m_bubbleRadius);
  m_bubble->m_surface.m_ambientColor.set(0.0f, 0.0f, 0.3f, 0.7f);
  m_bubble->m_surface.m_diffuseColor.set(0.0f, 0.0f, 0.7f, 0.7f);
  m_bubble->m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 0.7f);
  m_bubble->m_surface.setShininess(100);
  m_bubble->setPos(kBubblePos);
  m_scene->addChild(m_bubble);

  m_sand = new cShapeSphere(m_sandRadius);
  SetColours(m_sand->m_surface, 0.5f, 0.8f, 0.7f);
  m_sand->setPos(kSandPos);
  m_scene->addChild(m_sand);

  m_breathBlock = new cShapeBlock(m_breathBase, m_breathBase, m_breathBase);
  m_breathBlock->m_surface.m_ambientColor.set(0.4f, 0.5f, 0.4f, 0.7f);
  m_breathBlock->m_surface.m_diffuseColor.set(0.7f, 0.8f, 0.7f, 0.7f);
  m_breathBlock->m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 0.7f);
  m_breathBlock->m_surface.setStiffness(m_breathStiffness);
  m_breathBlock->setPos(kBreathPos);
  Tilt(m_breathBlock);
  m_scene->addChild(m_breathBlock);

  m_softBlock = new cShapeBlock(m_softSize, m_softSize, m_softSize);
  m_softBlock->m_surface.m_ambientColor.set(0.4f, 0.4f, 0.5f, 0.7f);
  m_softBlock->m_surface.m_diffuseColor.set(0.7f, 0.7f, 0.8f, 0.7f);
  m_softBlock->m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 0.7f);
  m_softBlock->m_surface.setStiffness(m_softStiffness);
  m_softBlock->setPos(kSoftPos);
  Tilt(m_softBlock);
  m_scene->addChild(m_softBlock);

  for (cShapeSphere *s : {m_bubble, m_sand}) s->m_blend = true;
  for (cShapeBlock *b : {m_breathBlock, m_softBlock}) b->m_blend = true;

  if (!LoadTexture(m_world, m_bubble, kWaterPath) || !LoadTexture(m_world, m_sand, kSandPath)) return -1;

  m_ready = true;
  return 0;
}

void cDemoGrasp36::reset(int) {
  if (!m_ready && setup(0) < 0) return;
  m_bubbleIntact = true;
  m_bubble->setShow(true, false);
  m_bubble->m_sphereRadius = m_bubbleRadius;
  m_bubble->updateBoundaryBox();
  m_sand->m_sphereRadius = m_sandRadius;
  m_sand->updateBoundaryBox();
  m_softBlock->m_edges.set(m_softSize, m_softSize, m_softSize);
  m_softBlock->updateBoundaryBox();
  // the block shows the size its first step gives it: a jump from the base
  // cube would push a proxy that entered inside it
  int next = m_breathCounter;
  m_breathHeight = stepBreath(next);
  m_breathBlock->m_edges.set(m_breathWidth, m_breathHeight, m_breathWidth);
  m_breathBlock->updateBoundaryBox();
  m_root->addChild(m_scene);
  m_world->computeGlobalPositions(true);
  m_starting = true;
}

void cDemoGrasp36::exit(int) { m_root->removeChild(m_scene); }

double cDemoGrasp36::stepBreath(int &counter) const {
  counter += 1;
  if (counter > 2600 || counter < 0) {
    counter = 0;
    return m_breathBase;
  }
  // grows over 800 steps
  if (counter > 0 && counter < 800) return (counter * m_breathRate + 4000.0) * m_breathBase / 4000.0;
  // shrinks three times as fast
  if (counter >= 800 && counter < 1600) {
    const int c = counter;
    counter += 2;
    return (m_breathRate * 1600.0 + 4000.0 - m_breathRate * c) * m_breathBase / 4000.0;
  }
  // rests
  return m_breathBase;
}

cVector3d cDemoGrasp36::sandForce(const cVector3d &p, cVector3d &anchor) const {
  const cVector3d contact = computeForce(p, m_proxyRadius, kSandPos, m_sandRadius, m_sandStiffness);
  if (contact.length() < 1e-6) anchor = p;
  if ((anchor - p).length() > m_sandStretch) anchor = p;
  return (anchor - p) * m_sandStiffness;
}

void cDemoGrasp36::update(int) {
  cGenericDevice *device = m_tool == nullptr ? nullptr : m_tool->getDevice();
  if (device == nullptr) return;
  cVector3d thumb, finger;
  cMatrix3d frame;
  device->command(CMD_GET_GRIPPER_THUMB_POS, &thumb);
  const bool read = device->command(CMD_GET_GRIPPER_FINGER_POS, &finger) == DEVICE_OK;
  device->command(CMD_GET_ROTATION_MATRIX, &frame);
  if (!read) {
    // without a position no force can be right: send none
    cVector3d zero;
    device->command(CMD_SET_FORCE, &zero);
    return;
  }
  const cVector3d p = finger * kWorkspaceScale;
  m_proxySphere->setPos(p);

  // bubble: pops on the step its force passes the limit, and forms again only
  // once the proxy is outside it (its centre gives no force but is inside)
  const cVector3d bubble = computeForce(p, m_proxyRadius, kBubblePos, m_bubbleRadius, m_bubbleStiffness);
  cVector3d water;
  if (m_bubbleIntact) {
    water = bubble;
    if (bubble.length() > m_bubbleMaxForce) m_bubbleIntact = false;
  }
  m_bubble->setShow(m_bubbleIntact, false);
  if (bubble.length() < 1e-7 && (p - kBubblePos).length() >= 1e-7) m_bubbleIntact = true;

  // soft block: shrinks under load
  const cVector3d soft = m_softBlock->computeForces(p);
  const double side = std::fabs(m_softSize * (500.0 - soft.length()) / 500.0);
  m_softBlock->m_edges.set(side, side, side);
  m_softBlock->updateBoundaryBox();

  // breathing block
  m_breathHeight = stepBreath(m_breathCounter);
  m_breathBlock->m_edges.set(std::fabs(m_breathWidth), std::fabs(m_breathHeight), std::fabs(m_breathWidth));
  m_breathBlock->updateBoundaryBox();
  const cVector3d breath = m_breathBlock->computeForces(p);

  // sand: no wall, only a short spring whose anchor jumps to the proxy when
  // stretched past its length
  const cVector3d sand = sandForce(p, m_sandAnchor);

  cVector3d force = water + soft + breath + sand;
  if (m_starting) {
    // held at zero until the user is out of every shape
    if (force.length() < 0.001) m_starting = false;
    force.zero();
  }
  device->command(CMD_SET_FORCE, &force);
}
