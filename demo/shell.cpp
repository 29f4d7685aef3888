// The shell's state, the demo factory's default and the scene built by init.
#include "demo/shell.h"

#include "demo/CDemo.h"
#include "demo/CPanel.h"
#include "demo/Console.h"
#include "demo/shellParts.h"
#include "scene/graph/CBitmap.h"
#include "scene/graph/CCamera.h"
#include "scene/graph/CLight.h"
#include "scene/graph/CWorld.h"
#include "scene/math/CMatrix3d.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "scene/tools/CTrionDevices.h"
#include "tkx/tkxc.h"

#include <cstdlib>

// never destroyed: the program ends by exit on the GLUT thread, and releasing
// the tool then would close the device again while the device library's own
// statics are being torn down
cShellState &shell = *new cShellState();

namespace {

[[noreturn]] void ExitProcess(int status) { std::exit(status); }

// a node that the shell owns comes off whichever parent holds it at the moment
// (the world, the camera's overlay, a demo's scene), so only the shell deletes it
template <typename Node>
void Release(std::unique_ptr<Node> &node) {
  if (node != nullptr && node->getParent() != nullptr) node->getParent()->removeChild(node.get());
  node.reset();
}

// stands in for a panel's demo until its class exists: it builds nothing but
// drives the device, or steps with the display, as that panel's demo will
class cPlaceholderDemo : public cDemo {
 public:
  explicit cPlaceholderDemo(int index) : m_index(index) {}
  // reflexions, grasp and dynamics
  bool drivesDevice() const override { return m_index == 0 || m_index == 2 || m_index == 6; }
  // dynamics
  bool stepsOnDisplayTick() const override { return m_index == 6; }

 private:
  int m_index;
};

// the fade planes: one rectangle across the view, in front of the panels
std::unique_ptr<cMesh> NewPlane(cWorld *world) {
  auto plane = std::make_unique<cMesh>(world);
  const cVector3d a(0.1, -1.0, -0.142352), b(0.1, 1.0, -0.142352), c(0.1, 1.0, 0.142352), d(0.1, -1.0, 0.142352);
  plane->newTriangle(a, b, c);
  plane->newTriangle(a, c, d);
  plane->computeAllNormals(false);
  return plane;
}

}  // namespace

cShellScene::cShellScene() = default;

cShellScene::~cShellScene() { clear(); }

void cShellScene::clear() {
  Release(tool);
  Release(rootPanels);
  Release(planeMesh);
  Release(planeMesh2);
  Release(cursor);
  camera = nullptr;
  light = nullptr;
  message = nullptr;
  demoRoot = nullptr;
  world.reset();
}

void (*shellExit)(int status) = ExitProcess;
std::unique_ptr<cDemo> (*demoFactory)(int index, int deviceMode) = plainDemo;

std::unique_ptr<cDemo> plainDemo(int index, int) { return std::make_unique<cPlaceholderDemo>(index); }

int deviceModeOf(int type) {
  switch (type) {
    case TKX_SYSTEM_POLUX6_RIGHT:
    case TKX_SYSTEM_POLUX6_LEFT:
    case TKX_SYSTEM_TRION6:
    case TKX_SYSTEM_TRION6_HR:
    case TKX_SYSTEM_TRION6_USB:
      return 6;
    case TKX_SYSTEM_POLUX7_RIGHT:
    case TKX_SYSTEM_POLUX7_LEFT:
      return 7;
    default:
      return 3;
  }
}

void quitShell(int status) {
  shell.shared.flagSimulationOn = false;
  while (!shell.shared.flagHasExitedSimulation) tkxSleep(0.01);
  shellExit(status);
}

// ---- scene ----

int init() {
  cShellShared &shared = shell.shared;
  cShellScene &scene = shell.scene;
  shell.gui.motionsToIgnore = kIgnoredFirstMotions;
  shared.selection = -1;
  shared.transition = cTransition::menu;
  shared.demo = nullptr;
  // the demos of an earlier scene point into it
  for (auto &earlier : shell.demos) earlier.reset();
  scene.clear();

  scene.world = std::make_unique<cWorld>();
  cWorld *world = scene.world.get();
  world->setBackgroundColor(0.0f, 0.0f, 0.0f);

  // looking along -x: +y to the right, +z up
  cCamera *camera = new cCamera(world);
  scene.camera = camera;
  world->addChild(camera);
  camera->setClippingPlanes(0.01, 10.0);
  camera->set(cVector3d(0.55, 0.0, 0.0), cVector3d(0.0, 0.0, 0.0), cVector3d(0.0, 0.0, 1.0));
  camera->setFieldViewAngle(40.0);
  camera->enableMultipassTransparency(true);

  cLight *light = new cLight(world);
  scene.light = light;
  light->setEnabled(true);
  light->setPos(1.0, 0.0, 0.0);
  light->setDir(-1.0, 0.0, 0.0);
  camera->addChild(light);

  scene.tool = std::make_unique<cMeta3dofPointer>(world, 0, false);
  cMeta3dofPointer *tool = scene.tool.get();
  tool->setPos(0.0, 0.0, 0.0);
  tool->setWorkspace(1.0, 1.0, 1.0);
  tool->setToolFrame(true, 0.1);
  tool->setRadius(0.01);

  cBitmap *message = new cBitmap();
  scene.message = message;
  camera->m_backOverlay.addChild(message);

  cTrionDevice *device = dynamic_cast<cTrionDevice *>(tool->getDevice());
  shell.deviceType = device == nullptr ? -1 : device->getDeviceType();
  shell.deviceMode = deviceModeOf(shell.deviceType);
  const char *messagePath =
      shell.deviceType == -1 ? "./resources/images/msgError.bmp" : "./resources/images/msgLoading.bmp";
  if (message->m_picture.loadFromFile(messagePath) < 0) {
    ConsolePrint("failed to load %s", messagePath);
    return -1;
  }

  // on 7-DOF devices closing the gripper is the user switch
  tool->m_gripAsSwitch = shell.deviceMode == 7;

  shared.flagSimulationOn = false;
  shared.flagHasExitedSimulation = true;

  scene.rootPanels = std::make_unique<cMesh>(world);
  if (buildPanels(world, scene.rootPanels.get()) < 0) return -1;

  scene.planeMesh = NewPlane(world);
  cMesh *planeMesh = scene.planeMesh.get();
  planeMesh->useMaterial(true, false);
  planeMesh->enableTransparency(true, false);
  planeMesh->setTransparencyLevel(0.0f, false, false);
  world->addChild(planeMesh);
  shell.gui.planeLevel = 0.0;

  scene.planeMesh2 = NewPlane(world);
  cMesh *planeMesh2 = scene.planeMesh2.get();
  planeMesh2->m_surface.m_ambientColor.set(0.0f, 0.0f, 0.0f, 1.0f);
  planeMesh2->m_surface.m_diffuseColor.set(0.0f, 0.0f, 0.0f, 1.0f);
  planeMesh2->m_surface.m_specularColor.set(0.0f, 0.0f, 0.0f, 1.0f);
  planeMesh2->enableTransparency(true, false);
  planeMesh2->setTransparencyLevel(1.0f, false, false);
  world->addChild(planeMesh2);
  shell.gui.planeLevel2 = 1.0;

  // the demos' scenes hang here; created now rather than by the loading thread
  // so the world's child list never changes under the renderer
  scene.demoRoot = new cMesh(world);
  world->addChild(scene.demoRoot);

  tool->initialize(false);
  tool->start();
  tool->computeGlobalPositions(true, cVector3d(0.0, 0.0, 0.0), cIdentity3d());
  tool->setForcesON();

  scene.cursor = std::make_unique<cBitmap>();
  cBitmap *cursor = scene.cursor.get();
  cursor->m_blend = true;
  if (cursor->m_picture.loadFromFile("./resources/images/cursor.bmp") < 0) {
    ConsolePrint("failed to load ./resources/images/cursor.bmp");
    return -1;
  }
  cursor->m_picture.replace(cColorb(0, 0, 0, 255), cColorb(0, 0, 0, 0));
  return 0;
}
