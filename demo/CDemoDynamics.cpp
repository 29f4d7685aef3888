#include "demo/CDemoDynamics.h"

#include "scene/dynamics/CDefWorld.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/graph/CMacrosGL.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CGenericDevice.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <memory>

namespace {

const char *const kBoxPath = "./resources/models/box.3ds";
const char *const kShadowPath = "./resources/images/shadow.bmp";
// the device's workspace is magnified this much into the scene
const double kWorkspaceScale = 6.5;
// share of a node's contact force that pushes the node
const double kReaction = 0.1;
// the sheet is stepped by one haptic iteration's worth whatever the loop rate
const double kStepInterval = 0.0025;

}  // namespace

cDemoDynamics::cDemoDynamics()
    : m_defWorld(nullptr),
      m_defMesh(nullptr),
      m_nodes(),
      m_proxy(nullptr),
      m_proxyRadius(0.1),
      m_nodeRadius(0.05),
      m_contactStiffness(40.0),
      m_starting(true) {}

cVector3d cDemoDynamics::computeForce(const cVector3d &p1, double r1, const cVector3d &p2, double r2, double k) {
  const cVector3d d = p1 - p2;
  const double length = d.length();
  if (length < 1e-7 || length > r1 + r2) return cVector3d();
  return d * ((r1 + r2 - length) * k / length);
}

int cDemoDynamics::setup(int) {
  // a failed earlier attempt left its detached scene behind
  if (m_scene != nullptr && m_scene->getParent() == nullptr) delete m_scene;
  m_scene = new cMesh(m_world);
  m_defWorld = nullptr;
  m_defMesh = nullptr;

  m_proxyRadius = 0.1;
  m_proxy = new cShapeSphere(m_proxyRadius);
  m_proxy->m_surface.m_ambientColor.set(0.4f, 0.4f, 0.4f, 0.7f);
  m_proxy->m_surface.m_diffuseColor.set(0.7f, 0.7f, 0.7f, 0.7f);
  m_proxy->m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 0.7f);
  m_proxy->m_surface.setShininess(100);
  m_scene->addChild(m_proxy);
  m_contactStiffness = 40.0;

  m_defWorld = new cDefWorld();
  m_scene->addChild(m_defWorld);
  m_scene->setPos(-1.5, 0.0, -0.1);
  m_scene->rotate(cVector3d(0.0, 1.0, 0.0), 0.5235987756);
  // the world keeps its single-precision step of 0.0025
  default_node_kDampingPos = 0.1;
  default_node_kDampingRot = 0.1;

  m_defMesh = m_defWorld->addDefMesh(std::make_unique<cDefMesh>(m_world));
  m_defMesh->initialise();
  if (!m_defMesh->loadFromFile(kBoxPath)) return -1;
  cMaterial skin;
  skin.m_ambientColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  skin.m_diffuseColor.set(0.6f, 0.6f, 0.6f, 1.0f);
  skin.setShininess(100);
  m_defMesh->setMaterial(skin, true);

  cTexture2D *texture = m_world->newTexture();
  if (texture == nullptr || !texture->loadFromFile(kShadowPath)) return -1;
  texture->setEnvironmentMode(GL_DECAL);
  texture->setSphericalMappingEnabled(true);
  m_defMesh->setTexture(texture, true);
  m_defMesh->setTransparencyLevel(0.7f, true, true);
  m_defMesh->enableTransparency(true, true);
  m_defMesh->setTransparencyRenderMode(true, true);

  // the nodes created next take these
  default_node_radius = 0.05;
  default_node_kDampingPos = 0.4;
  default_node_kDampingRot = 0.1;
  default_node_mass = 0.06;
  default_node_gravity.set(0.0, 0.0, -1.0);
  default_node_useGravity = true;
  default_node_showFrame = false;
  default_node_color = cColorf(0.6f, 0.6f, 0.0f, 1.0f);
  m_nodeRadius = 0.05;

  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) m_nodes[j][i] = m_defMesh->newNode(cVector3d(-0.45 + 0.1 * j, 0.1 * i - 0.43, 0.0));

  default_link_color = cColorf(0.2f, 0.2f, 1.0f, 1.0f);
  m_nodes[0][0]->m_fixed = true;
  m_nodes[0][9]->m_fixed = true;
  m_nodes[9][0]->m_fixed = true;
  m_nodes[9][9]->m_fixed = true;

  // every cell adds its four edges: an inner edge carries two links
  for (int i = 0; i < 9; ++i)
    for (int j = 0; j < 9; ++j) {
      m_defMesh->newLink(m_nodes[j][i], m_nodes[j + 1][i]);
      m_defMesh->newLink(m_nodes[j][i + 1], m_nodes[j + 1][i + 1]);
      m_defMesh->newLink(m_nodes[j][i], m_nodes[j][i + 1]);
      m_defMesh->newLink(m_nodes[j + 1][i], m_nodes[j + 1][i + 1]);
    }

  m_defMesh->connectVerticesToSkeleton(false);
  m_defMesh->createBruteForceCollisionDetector(true, false);
  m_defWorld->updateDynamics(0.02);
  m_defWorld->updateSkins();
  m_defMesh->computeAllNormals(true);
  m_ready = true;
  return 0;
}

void cDemoDynamics::reset(int) {
  if (!m_ready && setup(0) < 0) return;
  m_root->addChild(m_scene);
  m_world->computeGlobalPositions(true);
  m_starting = true;
}

void cDemoDynamics::exit(int) {
  if (m_scene != nullptr) m_root->removeChild(m_scene);
}

void cDemoDynamics::update(int) {
  cGenericDevice *device = m_tool == nullptr ? nullptr : m_tool->getDevice();
  if (device == nullptr || !m_ready) return;
  cVector3d d;
  if (device->command(CMD_GET_POSITION, &d) != DEVICE_OK) {
    // without a position no force can be right: send none
    double zero[4] = {0.0, 0.0, 0.0, 0.0};
    device->command(CMD_SET_FORCE_AND_GRIPPER_FORCE, zero);
    return;
  }
  const cVector3d p = d * kWorkspaceScale;
  m_proxy->setPos(p);

  // each node is pushed by its own contact only; the device feels them all
  cVector3d force;
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 10; ++j) {
      cDefNode *node = m_nodes[j][i];
      const cVector3d f = computeForce(p, m_proxyRadius, node->m_pos, m_nodeRadius, m_contactStiffness);
      force += f;
      node->m_externalForce = f * -kReaction;
    }

  m_defWorld->updateDynamics(kStepInterval);

  if (m_starting) {
    // held at zero until the proxy is out of the sheet
    if (force.length() < 0.001) m_starting = false;
    force.zero();
  }
  double command[4] = {force.x, force.y, force.z, 0.0};
  device->command(CMD_SET_FORCE_AND_GRIPPER_FORCE, command);
}

void cDemoDynamics::updateDynamics(int) {
  if (!m_ready) return;
  m_defWorld->updateSkins();
  m_defMesh->computeAllNormals(true);
}
