#include "demo/CDemoNano.h"

#include "scene/graph/CWorld.h"
#include "scene/mesh/CImageHeightField.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

namespace {

const char *const kPicturePath = "./resources/images/nano.bmp";
// a white pixel rises a tenth of the picture's side before scaling
const double kHeight = 0.1;
const double kSize = 0.4;
const double kStiffness = 600.0;
// turned 40 degrees about y so the relief is seen at a slant
const double kTurn = -0.6981317008;

}  // namespace

cDemoNano::cDemoNano() : m_relief(nullptr), m_stiffness(kStiffness) {}

int cDemoNano::setup(int) {
  // an earlier attempt that failed left its scene detached: start afresh
  if (m_scene != nullptr && m_scene->getParent() == nullptr) delete m_scene;
  m_scene = new cMesh(m_world);
  m_relief = new cMesh(m_world);
  m_scene->addChild(m_relief);
  m_relief->setPos(-0.1, 0.0, 0.0);
  m_relief->rotate(cVector3d(0.0, 1.0, 0.0), kTurn);
  m_relief->setShow(true, true);
  if (!cImageHeightField::create(m_relief, kPicturePath, kHeight, kSize)) return -1;
  m_stiffness = kStiffness;
  m_ready = true;
  return 0;
}

void cDemoNano::reset(int) {
  if (!m_ready && setup(0) < 0) return;
  // a demo left while it hid the tool (a carry) must not hide it here
  m_tool->setShow(true, true);
  m_tool->setPos(-0.1, 0.0, 0.0);
  m_tool->setRadius(0.004);
  m_tool->setWorkspace(0.6, 0.6, 0.6);
  m_tool->setRenderingMode(RENDER_PROXY);
  m_tool->m_deviceColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_tool->m_proxyColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_tool->setToolFrame(true, 0.05);
  m_relief->setStiffness(m_stiffness, false);
  m_root->addChild(m_scene);
  m_root->addChild(m_tool);
  m_world->computeGlobalPositions(true);
  m_tool->computeForces();
  m_tool->setForcesOFF();
  m_tool->setForcesON();
}

void cDemoNano::exit(int) {
  m_root->removeChild(m_scene);
  m_root->removeChild(m_tool);
  m_tool->setForcesOFF();
}

void cDemoNano::update(int) { m_tool->computeForces(); }
