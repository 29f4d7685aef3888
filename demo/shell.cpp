#include "demo/shell.h"

#include "demo/CDemo.h"
#include "demo/CPanel.h"
#include "demo/Console.h"
#include "scene/graph/CBitmap.h"
#include "scene/graph/CCamera.h"
#include "scene/graph/CLight.h"
#include "scene/math/CMatrix3d.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "scene/tools/CTrionDevices.h"
#include "scene/graph/CWorld.h"
#include "tkx/tkxc.h"

#include <GL/glu.h>
#include <GL/glut.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>

#include <cmath>
#include <cstdlib>

// never destroyed: the program ends by exit on the GLUT thread, and releasing
// the tool then would close the device again while the device library's own
// statics are being torn down
cShellState &shell = *new cShellState();

cShellScene::cShellScene() = default;

cShellScene::~cShellScene() { clear(); }

void cShellScene::clear() {
  tool.reset();
  // off their parents first, so that each is deleted once
  if (world != nullptr) {
    world->removeChild(rootPanels.get());
    world->removeChild(planeMesh.get());
    world->removeChild(planeMesh2.get());
  }
  if (camera != nullptr) camera->m_frontOverlay.removeChild(cursor.get());
  rootPanels.reset();
  planeMesh.reset();
  planeMesh2.reset();
  cursor.reset();
  camera = nullptr;
  light = nullptr;
  message = nullptr;
  demoRoot = nullptr;
  world.reset();
}

namespace {

[[noreturn]] void ExitProcess(int status) { std::exit(status); }

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

// stops the haptic loop, waits until it has closed the device, then ends
void Quit(int status) {
  shell.shared.flagSimulationOn = false;
  while (!shell.shared.flagHasExitedSimulation) tkxSleep(0.01);
  shellExit(status);
}

// the haptic loop reads the pose and sends the tool's force unless a demo that
// drives the device itself is chosen
bool ToolDriven(cDemo *current, int chosen) {
  return current == nullptr || !current->drivesDevice() || chosen == -1;
}

void ApplyLevel(cMesh *mesh, double level) { mesh->setTransparencyLevel(static_cast<float>(level), false, true); }

// the fade planes: one rectangle across the view, in front of the panels
std::unique_ptr<cMesh> NewPlane(cWorld *world) {
  auto plane = std::make_unique<cMesh>(world);
  const cVector3d a(0.1, -1.0, -0.142352), b(0.1, 1.0, -0.142352), c(0.1, 1.0, 0.142352), d(0.1, -1.0, 0.142352);
  plane->newTriangle(a, b, c);
  plane->newTriangle(a, c, d);
  plane->computeAllNormals(false);
  return plane;
}

// the first highlighted panel becomes the chosen demo
void ChooseDemo() {
  cShellShared &shared = shell.shared;
  for (int k = 0; k < kDemoCount; ++k) {
    if (!menuPanels[k]->m_highlighted) continue;
    cDemo *chosen = shell.demos[k].get();
    shared.selection = k;
    shared.demo = chosen;
    shared.transition = cTransition::coverMenu;
    if (chosen != nullptr && chosen->drivesDevice()) {
      shared.requestGripHold = true;
      tkxSetForceAndGripperForce(0.0, 0.0, 0.0, 0.0, -1);
    }
    return;
  }
}

void ClearHighlights() {
  for (cPanel *panel : menuPanels) panel->m_highlighted = false;
}

// a detached thread, at the given SCHED_FIFO priority when realtime and allowed;
// memory is locked once a real-time priority is granted. The policy goes in the
// creation attributes: a detached thread may already be gone when its creator
// would ask for its parameters.
bool StartThread(void *(*body)(void *), int priority, bool realtime) {
  pthread_attr_t attr;
  pthread_t thread;
  if (realtime && pthread_attr_init(&attr) == 0) {
    sched_param param{};
    param.sched_priority = priority;
    bool granted = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0 &&
                   pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED) == 0 &&
                   pthread_attr_setschedpolicy(&attr, SCHED_FIFO) == 0 &&
                   pthread_attr_setschedparam(&attr, &param) == 0 && pthread_create(&thread, &attr, body, nullptr) == 0;
    pthread_attr_destroy(&attr);
    if (granted) {
      mlockall(MCL_CURRENT | MCL_FUTURE);
      return true;
    }
  }
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  const bool started = pthread_create(&thread, &attr, body, nullptr) == 0;
  pthread_attr_destroy(&attr);
  return started;
}

}  // namespace

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

// ---- threads ----

void startThreads(bool realtime) {
  cShellShared &shared = shell.shared;
  // marked running before the threads exist: a display tick that came before
  // the haptic thread's first instruction would otherwise take the program
  // for stopped, and a loading failure could be overwritten by the start
  shared.flagHasExitedSimulation = false;
  shared.flagSimulationOn = true;
  if (!StartThread(hapticsLoop, 75, realtime)) {
    shared.flagSimulationOn = false;
    shared.flagHasExitedSimulation = true;
  }
  StartThread(initDemos, 35, realtime);
}

void *initDemos(void *) {
  if (shell.deviceType == -1) return nullptr;
  cShellScene &scene = shell.scene;
  for (int k = 0; k < kDemoCount; ++k) {
    shell.demos[k] = demoFactory(k, shell.deviceMode);
    cDemo *created = shell.demos[k].get();
    created->init(scene.world.get(), scene.demoRoot, scene.tool.get(), scene.camera);
    if (created->setup(0) < 0) {
      ConsolePrint("error: demo%d failed to load", k);
      shell.shared.flagSimulationOn = false;
      return nullptr;
    }
  }
  // the haptic thread enables the force output on seeing this: the device is
  // used and closed on that thread, so no other thread talks to it at close
  shell.shared.demosLoaded = true;
  return nullptr;
}

void *hapticsLoop(void *) {
  cShellShared &shared = shell.shared;
  cMeta3dofPointer *tool = shell.scene.tool.get();
  tool->updatePose();
  cVector3d last = tool->m_devicePosLocal;
  bool forceOutputOn = false;
  while (shared.flagSimulationOn) {
    if (!forceOutputOn && shared.demosLoaded) {
      // zero force, and 0.01 N on the gripper
      tkxEnableExpertMode();
      tkxEnableForce(1, -1);
      tkxSetForceAndGripperForce(0.0, 0.0, 0.0, 0.01, -1);
      forceOutputOn = true;
    }
    if (shared.requestGripHold.load(std::memory_order_relaxed) && shared.requestGripHold.exchange(false)) {
      tool->m_gripForceHeld = true;
    }
    if (shared.requestWorkspaceReset.load(std::memory_order_relaxed) && shared.requestWorkspaceReset.exchange(false)) {
      tool->setWorkspace(1.0, 1.0, 1.0);
    }
    if (!shared.demosLoaded) {
      tool->applyForces();
      continue;
    }
    cDemo *current = shared.demo;
    const int chosen = shared.selection;
    if (ToolDriven(current, chosen)) {
      tool->updatePose();
      if (chosen == -1) {
        // in the menu the device moves the cursor instead of feeling the scene
        tool->m_forceWorld.zero();
        const cVector3d now = tool->m_devicePosLocal;
        if (std::abs(now.x - last.x) >= 0.0001 || std::abs(now.y - last.y) >= 0.0001 ||
            std::abs(now.z - last.z) >= 0.0001) {
          const double w = shared.width, h = shared.height;
          shared.cursorX = w * 0.5 + w * now.y;
          shared.cursorY = h * 0.5 + h * now.z;
          last = now;
        }
      } else if (shared.transition == cTransition::demoRunning) {
        current->update(0);
      }
    } else if (shared.transition == cTransition::demoRunning) {
      current->update(0);
    }
    if (ToolDriven(shared.demo, shared.selection)) tool->applyForces();
  }
  tkxClose(-1);
  shared.flagHasExitedSimulation = true;
  return nullptr;
}

// ---- display tick ----

void shellTick() {
  cShellShared &shared = shell.shared;
  cShellScene &scene = shell.scene;
  cShellGui &gui = shell.gui;
  cWorld *world = scene.world.get();
  cBitmap *cursor = scene.cursor.get();
  cBitmap *message = scene.message;
  cMesh *planeMesh = scene.planeMesh.get();
  cMesh *planeMesh2 = scene.planeMesh2.get();
  cMesh *rootPanels = scene.rootPanels.get();

  cursor->setPos(shared.cursorX, shared.cursorY, 0.0);
  message->setPos((shared.width - message->m_picture.getWidth()) * 0.5,
                  (shared.height - message->m_picture.getHeight()) * 0.5, 0.0);

  if (!gui.initCompleted) {
    if (!shared.flagSimulationOn) {
      Quit(0);
      return;
    }
    if (gui.startUp == cStartUpPhase::coverMessage) {
      // the black plane comes back over the message
      gui.planeLevel2 += 0.02;
      if (gui.planeLevel2 >= 1.0) {
        gui.planeLevel2 = 1.0;
        gui.startUp = cStartUpPhase::uncoverMessage;
        if (shared.demosLoaded && !gui.panelsReady) {
          message->setShow(false, true);
          gui.startUp = cStartUpPhase::revealMenu;
        }
      }
      ApplyLevel(planeMesh2, gui.planeLevel2);
    } else if (gui.startUp == cStartUpPhase::uncoverMessage) {
      // the black plane uncovers the message
      gui.planeLevel2 -= 0.02;
      if (gui.planeLevel2 <= 0.0) {
        gui.planeLevel = 0.0;
        gui.planeLevel2 = 0.0;
        gui.startUp = cStartUpPhase::coverMessage;
      }
      ApplyLevel(planeMesh2, gui.planeLevel2);
    } else if (gui.startUp == cStartUpPhase::revealMenu) {
      // the menu appears under the fade plane
      ApplyLevel(planeMesh2, 0.0);
      gui.planeLevel += 0.07;
      if (gui.planeLevel >= 1.0) {
        world->addChild(rootPanels);
        gui.startUp = cStartUpPhase::over;
        shared.transition = cTransition::uncoverMenu;
        gui.panelsReady = true;
        gui.planeLevel = 1.0;
        scene.camera->m_frontOverlay.addChild(cursor);
        world->removeChild(planeMesh2);
        gui.initCompleted = true;
      }
      ApplyLevel(planeMesh, gui.planeLevel);
    }
  } else {
    if (shared.selection == -1) {
      for (cPanel *panel : menuPanels) panel->update();
      if (gui.timerUpdate <= 120) {
        ++gui.timerUpdate;
      } else {
        ClearHighlights();
        gui.timerUpdate = 1;
      }
    }
    // each phase that ends hands over to the next within the same tick
    if (shared.transition == cTransition::coverMenu) {
      // fade over the menu, then the demo takes its place
      cursor->setShow(false, true);
      gui.planeLevel += 0.07;
      if (gui.planeLevel >= 1.0) {
        gui.planeLevel = 1.0;
        shared.transition = cTransition::uncoverDemo;
        world->removeChild(rootPanels);
        shared.demo.load()->reset(0);
      }
      ApplyLevel(planeMesh, gui.planeLevel);
    }
    if (shared.transition == cTransition::uncoverDemo) {
      gui.planeLevel -= 0.07;
      if (gui.planeLevel <= 0.0) {
        gui.planeLevel = 0.0;
        shared.transition = cTransition::demoRunning;
        world->removeChild(planeMesh);
      }
      ApplyLevel(planeMesh, gui.planeLevel);
    }
    if (shared.transition == cTransition::leaveDemo) {
      if (shared.demo != nullptr) shared.demo.load()->close(0);
      for (cPanel *panel : menuPanels) panel->resetRotation();
      world->addChild(planeMesh);
      shared.transition = cTransition::coverDemo;
      gui.planeLevel = 0.0;
    }
    if (shared.transition == cTransition::coverDemo) {
      // fade over the demo, then the menu comes back
      scene.tool->setForcesOFF();
      gui.planeLevel += 0.07;
      if (gui.planeLevel >= 1.0) {
        gui.planeLevel = 1.0;
        shared.transition = cTransition::uncoverMenu;
        world->addChild(rootPanels);
        shared.demo.load()->exit(0);
        shared.requestWorkspaceReset = true;
      }
      ApplyLevel(planeMesh, gui.planeLevel);
    }
    if (shared.transition == cTransition::uncoverMenu) {
      gui.planeLevel -= 0.07;
      if (gui.planeLevel <= 0.0) {
        gui.planeLevel = 0.0;
        shared.transition = cTransition::menu;
        shared.selection = -1;
        cursor->setShow(true, true);
      }
      ApplyLevel(planeMesh, gui.planeLevel);
    }
    cDemo *current = shared.demo;
    if (current != nullptr && current->stepsOnDisplayTick()) current->updateDynamics(0);
  }

  // the device cursor hovers like the mouse
  const cVector3d at = cursor->getPos();
  if ((at - gui.hapticCursorLastPos).length() > 1.0) {
    mouseMove(static_cast<int>(at.x), static_cast<int>(at.y));
    gui.hapticCursorLastPos = at;
  }

  // the device switch clicks on its press edge only
  const bool pressed = scene.tool->m_gripSwitch || scene.tool->m_switch0 != 0;
  if (!pressed) {
    gui.hapticCursorSwitchLast = false;
  } else if (!gui.hapticCursorSwitchLast) {
    if (shell.deviceType == -1) {
      Quit(0);
      return;
    }
    if (shared.transition == cTransition::menu && shared.demosLoaded && shared.selection == -1) ChooseDemo();
    gui.hapticCursorSwitchLast = true;
  }
}

void updateDisplay(int) {
  shellTick();
  cShellGui &gui = shell.gui;
  if (gui.windowedRetries > 0) {
    --gui.windowedRetries;
    if (glutGet(GLUT_WINDOW_WIDTH) != 512 || glutGet(GLUT_WINDOW_HEIGHT) != 512) {
      glutReshapeWindow(512, 512);
    } else {
      gui.windowedRetries = 0;
    }
  }
  glutPostRedisplay();
  glutTimerFunc(30, updateDisplay, 0);
}

// ---- GLUT callbacks ----

void draw() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  drawScene();
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR) ConsolePrint("Error:  %s", reinterpret_cast<const char *>(gluErrorString(error)));
  glutSwapBuffers();
}

void drawScene() {
  const cColorf &background = shell.scene.world->getBackgroundColor();
  glClearColor(background.r, background.g, background.b, background.a);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  shell.scene.camera->renderView(shell.shared.width, shell.shared.height, CAMERA_RENDER_MONO);
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR) ConsolePrint("Error:  %s", reinterpret_cast<const char *>(gluErrorString(error)));
}

void key(unsigned char pressed, int, int) {
  cShellShared &shared = shell.shared;
  if (shell.deviceType == -1) {
    Quit(0);
    return;
  }
  if (pressed != 27) return;
  if (shared.selection != -1) {
    if (shared.demo != nullptr && shared.transition == cTransition::demoRunning)
      shared.transition = cTransition::leaveDemo;
    return;
  }
  Quit(0);
}

void mouseClick(int, int state, int, int) {
  cShellShared &shared = shell.shared;
  if (shell.deviceType == -1) {
    Quit(0);
    return;
  }
  if (shared.transition == cTransition::menu && state == GLUT_DOWN && shared.demosLoaded && shared.selection == -1)
    ChooseDemo();
}

void mouseMove(int x, int) {
  cShellGui &gui = shell.gui;
  if (gui.motionsToIgnore > 0) {
    --gui.motionsToIgnore;
    return;
  }
  gui.timerUpdate = 0;
  ClearHighlights();
  // columns of the on-screen panel width (height / 5) centred on the window
  const double a = x - shell.shared.width * 0.5;
  const double b = shell.shared.height / 5.0;
  for (int k = 0; k < kDemoCount; ++k) {
    if ((k - 3.5) * b < a && a < (k - 2.5) * b) menuPanels[k]->m_highlighted = true;
  }
}

void rezizeWindow(int w, int h) {
  shell.shared.width = w;
  shell.shared.height = h;
  glViewport(0, 0, w, h);
}

void setOther(int entry) {
  if (entry == 1) {
    shell.gui.windowedRetries = 0;
    glutFullScreen();
  } else if (entry == 2) {
    glutReshapeWindow(512, 512);
    shell.gui.windowedRetries = 10;
  }
  glutPostRedisplay();
}
