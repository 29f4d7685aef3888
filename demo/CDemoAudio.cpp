#include "demo/CDemoAudio.h"

#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CLight.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/math/CMatrix3d.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <algorithm>
#include <cmath>

namespace {

const char *const kPlayerPath = "./resources/models/turntable.obj";
const char *const kRecordPath = "./resources/images/record.bmp";
// the turntable is tilted 20 degrees about y towards the camera
const double kTilt = 0.3490658504;
// its longest side once scaled
const double kPlayerSize = 0.35;
const double kRecordRadius = 0.12;
// fan segments around the record's centre
const int kRecordSegments = 28;
// the record lies this far above the platter's axis origin
const double kRecordHeight = 0.014;
// each haptic iteration advances the record by this time step
const double kStep = 0.001;

}  // namespace

cDemoAudio::cDemoAudio()
    : m_holder(nullptr),
      m_record(nullptr),
      m_torque(0.0),
      m_recordStiffness(350.0),
      m_angle(0.0),
      m_angularVelocity(0.0),
      m_inertia(0.01),
      m_light(nullptr) {}

bool cDemoAudio::load_player() {
  cMesh *player = new cMesh(m_world);
  if (!player->loadFromFile(kPlayerPath)) {
    delete player;
    return false;
  }
  player->computeBoundaryBox(true);
  const cVector3d extent = player->getBoundaryMax() - player->getBoundaryMin();
  const double longest = std::max(extent.x, std::max(extent.y, extent.z));
  if (longest > 0.0) player->scale(kPlayerSize / longest, true);
  player->computeBoundaryBox(true);
  player->createAABBCollisionDetector(true, false);
  player->setFrameSize(0.2, 0.2, false);
  player->setNormalsProperties(0.01, cColorf(1.0f, 0.0f, 0.0f, 1.0f), true);
  player->computeGlobalPositions(false);
  m_holder->addChild(player);
  player->rotate(cVector3d(0.0, 0.0, 1.0), 1.5707963268);
  m_scene->computeGlobalPositions(false);
  return true;
}

void cDemoAudio::load_record() {
  m_record = new cMesh(m_world);
  // a fan of triangles around the centre; the first closes on the centre itself
  cVector3d previous(0.0, 0.0, 0.0);
  for (int k = 0; k <= kRecordSegments; ++k) {
    const float theta = float(k * 2.0 * M_PI / kRecordSegments);
    const cVector3d p(kRecordRadius * double(std::sin(theta)), kRecordRadius * double(std::cos(theta)), 0.0);
    m_record->newTriangle(cVector3d(0.0, 0.0, 0.0), p, previous);
    previous = p;
  }
  for (cVertex &v : m_record->m_vertexSlots) {
    v.m_nrm.set(0.0, 0.0, 1.0);
    v.m_uv.set((kRecordRadius + v.m_pos.x) / (2.0 * kRecordRadius), (kRecordRadius + v.m_pos.y) / (2.0 * kRecordRadius),
               0.0);
  }
  m_record->computeAllNormals(true);
  m_record->computeBoundaryBox(true);

  // textures belong to the world; without the picture the disc stays plain
  cTexture2D *texture = m_world != nullptr ? m_world->newTexture() : nullptr;
  if (texture != nullptr && texture->loadFromFile(kRecordPath)) {
    m_record->setTexture(texture, false);
    m_record->useTexture(true, false);
  }
  m_record->createAABBCollisionDetector(true, false);
  m_record->setFrameSize(0.3, 0.3, false);
  m_scene->addChild(m_record);
  m_record->translate(0.0, 0.0, kRecordHeight);
  m_record->setStiffness(m_recordStiffness, true);
  m_record->setFriction(1.0, 1.0, true);
  m_angularVelocity = 0.0;
}

int cDemoAudio::setup(int) {
  m_record = nullptr;
  // an earlier attempt left its scene detached: start afresh
  if (m_scene != nullptr && m_scene->getParent() == nullptr) delete m_scene;
  m_scene = new cMesh(m_world);
  m_scene->setPos(-0.1, 0.0, -0.05);
  m_scene->rotate(cVector3d(0.0, 1.0, 0.0), kTilt);
  if (m_light == nullptr) {
    m_light = new cLight(m_world);
    m_light->setPos(0.0, 0.0, 0.2);
    m_light->setDir(0.0, 0.0, -1.0);
    m_light->setEnabled(false);
    m_root->addChild(m_light);
  }
  m_recordStiffness = 350.0;
  m_holder = new cMesh(m_world);
  m_scene->addChild(m_holder);
  m_inertia = 0.01;
  m_angle = 0.0;
  m_angularVelocity = 0.0;
  // a missing model or picture leaves the scene without it
  load_player();
  load_record();
  m_ready = true;
  return 0;
}

void cDemoAudio::reset(int) {
  if (!m_ready && setup(0) < 0) return;
  if (m_scene->getParent() != m_root) m_root->addChild(m_scene);
  // the tool hangs in the tilted scene; taken from wherever another demo left it,
  // so that no parent lists it twice
  if (m_tool->getParent() != nullptr) m_tool->getParent()->removeChild(m_tool);
  m_scene->addChild(m_tool);
  m_scene->computeGlobalPositions(false);
  m_tool->setShow(true, true);
  m_tool->setPos(-0.1, 0.0, 0.0);
  m_tool->setRadius(0.002);
  m_tool->setRenderingMode(RENDER_PROXY);
  m_tool->m_deviceColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_tool->m_proxyColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_tool->setWorkspace(0.6, 0.6, 0.6);
  m_light->setEnabled(true);
  // the proxy rides along with the turning record
  if (cProxyPointForceAlgo *proxy = m_tool->getProxy()) proxy->m_followObjectMotion = true;
  m_tool->computeForces();
  m_tool->computeForces();
  m_tool->computeForces();
  m_tool->setForcesOFF();
  m_tool->setForcesON();
}

void cDemoAudio::exit(int) {
  m_tool->setForcesOFF();
  m_root->removeChild(m_scene);
  m_scene->removeChild(m_tool);
  if (m_light != nullptr) m_light->setEnabled(false);
}

void cDemoAudio::update(int) {
  m_tool->computeForces();
  // the force in the holder's frame
  m_localForce = m_holder->getGlobalRot().transMul(m_tool->m_forceWorld);
  cProxyPointForceAlgo *proxy = m_tool->getProxy();
  if (proxy != nullptr && m_record != nullptr && proxy->getContactObject() == m_record)
    animateObject(m_localForce);
  else
    animateObject(cVector3d(0.0, 0.0, 0.0));
}

void cDemoAudio::animateObject(const cVector3d &v) {
  cProxyPointForceAlgo *proxy = m_tool->getProxy();
  if (proxy == nullptr || m_record == nullptr) return;
  m_proxyPos = proxy->getProxyGlobalPosition();
  const cVector3d centre = m_record->getGlobalPos();
  // the lever arm and the force in the record's own frame: the record is tilted,
  // so only the part of the force along its face turns it about its axis; the
  // contact pushes the record opposite to the force the tool feels
  const cMatrix3d &record = m_record->getGlobalRot();
  const cVector3d arm = record.transMul(m_proxyPos - centre);
  const cVector3d force = record.transMul(m_holder->getGlobalRot() * v);
  m_torque = arm.y * force.x - arm.x * force.y;
  m_angularVelocity += (m_torque / m_inertia) * kStep;
  const double delta = m_angularVelocity * kStep;
  m_angle += delta;
  m_record->rotate(cMatrix3d::rotation(cVector3d(0.0, 0.0, 1.0), delta));
  m_scene->computeGlobalPositions(false);
}
