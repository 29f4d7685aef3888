#include "demo/CDemoContact3.h"

#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CMaterial.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <cmath>

namespace {

const char *const kToothPath = "./resources/models/tooth.3ds";
const char *const kToolPath = "./resources/models/fraise.3ds";
// the tooth is modelled in file units of about a quarter metre, the burr in millimetres
const double kToothScale = 0.0006;
const double kToolScale = 0.001;
// a carried tooth is held this much further from the proxy than when grabbed
const double kGrabClearance = 0.01;

cVector3d Normalized(const cVector3d &v) {
  cVector3d n = v;
  n.normalize();
  return n;
}

}  // namespace

cDemoContact3::cDemoContact3()
    : m_toolHolder(nullptr), m_toolModel(nullptr), m_tooth(nullptr), m_stiffness(2000.0), m_grabReady(false) {}

int cDemoContact3::setup(int) {
  m_scene = new cMesh(m_world);
  m_tooth = new cMesh(m_world);
  if (!m_tooth->loadFromFile(kToothPath)) {
    delete m_tooth;
    m_tooth = nullptr;
    return -1;
  }
  m_scene->addChild(m_tooth);
  m_tooth->scale(kToothScale, true);
  m_tooth->createAABBCollisionDetector(true, false);
  // the crown and roots are touched; the second object is an outline drawn in wire
  if (m_tooth->getNumChildren() < 2 || m_tooth->getChild(1) == nullptr) return -1;
  static_cast<cMesh *>(m_tooth->getChild(1))->setWireMode(true, true);

  m_stiffness = 2000.0;
  cMaterial material;
  material.m_ambientColor.set(0.5f, 0.5f, 0.5f, 1.0f);
  material.m_diffuseColor.set(0.8f, 0.8f, 0.8f, 1.0f);
  material.m_specularColor.set(1.0f, 1.0f, 1.0f, 1.0f);

  m_toolHolder = new cMesh(m_world);
  m_toolModel = new cMesh(m_world);
  m_scene->addChild(m_toolHolder);
  m_toolHolder->addChild(m_toolModel);
  m_toolModel->setFrameSize(0.05, 0.05, false);
  if (!m_toolModel->loadFromFile(kToolPath)) return -1;
  m_toolModel->scale(kToolScale, true);
  // a marker showing the tool's frame only
  cMesh *marker = new cMesh(m_world);
  marker->setShowFrame(true, false);
  marker->setFrameSize(0.03, 0.03, false);
  marker->setPos(0.0, 0.0, 0.01);
  m_toolModel->addChild(marker);
  // the proxy never touches its own tool
  m_toolHolder->deleteCollisionDetector(true);
  m_toolModel->setMaterial(material, true);
  m_toolModel->computeAllNormals(true);

  m_ready = true;
  return 0;
}

void cDemoContact3::reset(int) {
  if (!m_ready && setup(0) < 0) return;
  m_tool->setShow(true, true);
  m_tooth->setShow(true, true);
  m_tool->setPos(-0.1, 0.0, 0.0);
  m_tooth->setPos(-0.1, 0.0, 0.0);
  m_tooth->setRot(cMatrix3d());
  m_grabReady = false;
  m_tool->setRadius(0.002);
  m_tool->setWorkspace(0.4, 0.4, 0.4);
  m_tool->setRenderingMode(RENDER_PROXY);
  m_tool->m_deviceColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_tool->m_proxyColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_root->addChild(m_scene);
  m_root->addChild(m_tool);
  m_world->computeGlobalPositions(true);
  m_tooth->setStiffness(m_stiffness, true);
  m_tool->computeForces();
  m_tool->setForcesOFF();
  m_tool->setForcesON();
}

void cDemoContact3::close(int) {
  m_toolHolder->setShow(false, true);
  m_tooth->setShow(false, true);
}

void cDemoContact3::exit(int) {
  m_root->removeChild(m_scene);
  m_root->removeChild(m_tool);
  m_tool->setForcesOFF();
}

// the tool's x axis from the tooth towards the proxy; the reference axis for the
// second column is z, or y when the direction lies along z (either pole: a proxy
// straight below the tooth would otherwise give a zero cross product)
bool cDemoContact3::toolFrame(const cVector3d &p, cMatrix3d &m) {
  const cVector3d v = p - m_tooth->getPos();
  const double length = v.length();
  if (length < 0.001) return false;
  const cVector3d a = v / length;
  const double pole = std::fabs(a.z);
  const cVector3d b = (pole > 1.0 || std::acos(pole) <= 0.001) ? Normalized(cVector3d(a.z, 0.0, -a.x))
                                                               : Normalized(cVector3d(-a.y, a.x, 0.0));
  const cVector3d c = Normalized(a.cross(b));
  m.setCols(a, b, c);
  return true;
}

void cDemoContact3::update(int) {
  cProxyPointForceAlgo *proxy = m_tool->getProxy();
  if (proxy == nullptr) return;
  const cVector3d p = proxy->getProxyGlobalPosition();
  cMatrix3d m;
  if (!toolFrame(p, m)) return;
  m_toolHolder->setPos(p);
  m_toolHolder->setRot(m);

  // a switch still held from the press that opened the demo grabs nothing: the
  // grab reference is only good once a released step has taken it
  const bool released = m_tool->m_switch0 == 0;
  if (released) m_grabReady = true;
  if (released || !m_grabReady) {
    // released: a new reference, so a grab starts from the current relative pose
    m_grabProxyPos = p;
    m_grabFrame = m;
    m_grabToothPos = m_tooth->getPos();
    m_grabToothRot = m_tooth->getRot();
    cVector3d d = m_grabToothPos - p;
    const double length = d.length();
    if (length > 0.0) d += d * (kGrabClearance / length);
    m_grabOffset = m.transpose() * d;
    m_grabRot = m.transpose() * m_grabToothRot;
    m_tooth->setHapticEnabled(true, true);
    m_tool->setShow(true, true);
    m_toolHolder->setShow(true, true);
  } else {
    // held: the tooth rides on the tool frame and exerts no contact force
    m_tool->setShow(false, true);
    m_toolHolder->setShow(false, true);
    m_tooth->setPos(p + m * m_grabOffset);
    m_tooth->setRot(m * m_grabRot);
    m_world->computeGlobalPositions(true);
    m_tooth->setHapticEnabled(false, true);
  }
  m_tool->computeForces();
}
