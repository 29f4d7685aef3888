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

std::atomic<int> width{0}, height{0};
std::atomic<bool> flagSimulationOn{false};
std::atomic<bool> flagHasExitedSimulation{false};
std::atomic<bool> demosLoaded{false};
std::atomic<cTransition> transition{cTransition::menu};
std::atomic<int> selection{-1};
std::atomic<cDemo *> demo{nullptr};
std::atomic<cDemo *> demo0{nullptr}, demo1{nullptr}, demo2{nullptr}, demo3{nullptr}, demo4{nullptr},
    demo5{nullptr}, demo6{nullptr};
std::atomic<cDemo *> *const demoSlots[7] = {&demo0, &demo1, &demo2, &demo3, &demo4, &demo5, &demo6};

cWorld *world = nullptr;
cCamera *camera = nullptr;
cLight *light = nullptr;
cMeta3dofPointer *tool = nullptr;
cBitmap *message = nullptr;
cBitmap *cursor = nullptr;
cMesh *rootPanels = nullptr;
cMesh *planeMesh = nullptr;
cMesh *planeMesh2 = nullptr;
cMesh *demoRoot = nullptr;

double planeLevel = 0.0, planeLevel2 = 0.0;
int motionsToIgnore = 0;
cStartUpPhase startUp = cStartUpPhase::uncoverMessage;
bool panelsReady = false;
bool initCompleted = false;
cVector3d hapticCursorLastPos(0.0, 0.0, 0.0);
bool hapticCursorSwitchLast = false;
int timerUpdate = 0;
int deviceType = -2;
int deviceMode = 3;

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

cDemo *PlainDemo(int index, int) { return new cPlaceholderDemo(index); }

// the cursor position in window pixels, written by the haptic thread and put
// on the bitmap by the display tick
std::atomic<double> cursorX{0.0}, cursorY{0.0};

// tool settings that the haptic step reads, applied by the haptic thread itself
std::atomic<bool> requestGripHold{false};
std::atomic<bool> requestWorkspaceReset{false};

// stops the haptic loop, waits until it has closed the device, then ends
void Quit(int status) {
  flagSimulationOn = false;
  while (!flagHasExitedSimulation) tkxSleep(0.01);
  shellExit(status);
}

// the haptic loop reads the pose and sends the tool's force unless a demo that
// drives the device itself is chosen
bool ToolDriven(cDemo *current, int chosen) {
  return current == nullptr || !current->drivesDevice() || chosen == -1;
}

void ApplyLevel(cMesh *mesh, double level) { mesh->setTransparencyLevel(static_cast<float>(level), false, true); }

// the fade planes: one rectangle across the view, in front of the panels
cMesh *NewPlane() {
  cMesh *plane = new cMesh(world);
  const cVector3d a(0.1, -1.0, -0.142352), b(0.1, 1.0, -0.142352), c(0.1, 1.0, 0.142352), d(0.1, -1.0, 0.142352);
  plane->newTriangle(a, b, c);
  plane->newTriangle(a, c, d);
  plane->computeAllNormals(false);
  return plane;
}

// the first highlighted panel becomes the chosen demo
void ChooseDemo() {
  for (int k = 0; k < 7; ++k) {
    if (!menuPanels[k]->m_highlighted) continue;
    cDemo *chosen = *demoSlots[k];
    selection = k;
    demo = chosen;
    transition = cTransition::coverMenu;
    if (chosen != nullptr && chosen->drivesDevice()) {
      requestGripHold = true;
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
cDemo *(*demoFactory)(int index, int deviceMode) = PlainDemo;

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
  motionsToIgnore = kIgnoredFirstMotions;
  selection = -1;
  transition = cTransition::menu;
  demo = nullptr;

  world = new cWorld();
  world->setBackgroundColor(0.0f, 0.0f, 0.0f);

  // looking along -x: +y to the right, +z up
  camera = new cCamera(world);
  world->addChild(camera);
  camera->setClippingPlanes(0.01, 10.0);
  camera->set(cVector3d(0.55, 0.0, 0.0), cVector3d(0.0, 0.0, 0.0), cVector3d(0.0, 0.0, 1.0));
  camera->setFieldViewAngle(40.0);
  camera->enableMultipassTransparency(true);

  light = new cLight(world);
  light->setEnabled(true);
  light->setPos(1.0, 0.0, 0.0);
  light->setDir(-1.0, 0.0, 0.0);
  camera->addChild(light);

  tool = new cMeta3dofPointer(world, 0, false);
  tool->setPos(0.0, 0.0, 0.0);
  tool->setWorkspace(1.0, 1.0, 1.0);
  tool->setToolFrame(true, 0.1);
  tool->setRadius(0.01);

  message = new cBitmap();
  camera->m_backOverlay.addChild(message);

  cTrionDevice *device = dynamic_cast<cTrionDevice *>(tool->getDevice());
  deviceType = device == nullptr ? -1 : device->getDeviceType();
  deviceMode = deviceModeOf(deviceType);
  const char *messagePath =
      deviceType == -1 ? "./resources/images/msgError.bmp" : "./resources/images/msgLoading.bmp";
  if (message->m_picture.loadFromFile(messagePath) < 0) {
    ConsolePrint("failed to load %s", messagePath);
    return -1;
  }

  // on 7-DOF devices closing the gripper is the user switch
  tool->m_gripAsSwitch = deviceMode == 7;

  flagSimulationOn = false;
  flagHasExitedSimulation = true;

  rootPanels = new cMesh(world);
  if (buildPanels(world, rootPanels) < 0) return -1;

  planeMesh = NewPlane();
  planeMesh->useMaterial(true, false);
  planeMesh->enableTransparency(true, false);
  planeMesh->setTransparencyLevel(0.0f, false, false);
  world->addChild(planeMesh);
  planeLevel = 0.0;

  planeMesh2 = NewPlane();
  planeMesh2->m_surface.m_ambientColor.set(0.0f, 0.0f, 0.0f, 1.0f);
  planeMesh2->m_surface.m_diffuseColor.set(0.0f, 0.0f, 0.0f, 1.0f);
  planeMesh2->m_surface.m_specularColor.set(0.0f, 0.0f, 0.0f, 1.0f);
  planeMesh2->enableTransparency(true, false);
  planeMesh2->setTransparencyLevel(1.0f, false, false);
  world->addChild(planeMesh2);
  planeLevel2 = 1.0;

  // the demos' scenes hang here; created now rather than by the loading thread
  // so the world's child list never changes under the renderer
  demoRoot = new cMesh(world);
  world->addChild(demoRoot);

  tool->initialize(false);
  tool->start();
  tool->computeGlobalPositions(true, cVector3d(0.0, 0.0, 0.0), cIdentity3d());
  tool->setForcesON();

  cursor = new cBitmap();
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
  // marked running before the threads exist: a display tick that came before
  // the haptic thread's first instruction would otherwise take the program
  // for stopped, and a loading failure could be overwritten by the start
  flagHasExitedSimulation = false;
  flagSimulationOn = true;
  if (!StartThread(hapticsLoop, 75, realtime)) {
    flagSimulationOn = false;
    flagHasExitedSimulation = true;
  }
  StartThread(initDemos, 35, realtime);
}

void *initDemos(void *) {
  if (deviceType == -1) return nullptr;
  for (int k = 0; k < 7; ++k) {
    cDemo *created = demoFactory(k, deviceMode);
    *demoSlots[k] = created;
    created->init(world, demoRoot, tool, camera);
    if (created->setup(0) < 0) {
      ConsolePrint("error: demo%d failed to load", k);
      flagSimulationOn = false;
      return nullptr;
    }
  }
  // the haptic thread enables the force output on seeing this: the device is
  // used and closed on that thread, so no other thread talks to it at close
  demosLoaded = true;
  return nullptr;
}

void *hapticsLoop(void *) {
  tool->updatePose();
  cVector3d last = tool->m_devicePosLocal;
  bool forceOutputOn = false;
  while (flagSimulationOn) {
    if (!forceOutputOn && demosLoaded) {
      // zero force, and 0.01 N on the gripper
      tkxEnableExpertMode();
      tkxEnableForce(1, -1);
      tkxSetForceAndGripperForce(0.0, 0.0, 0.0, 0.01, -1);
      forceOutputOn = true;
    }
    if (requestGripHold.load(std::memory_order_relaxed) && requestGripHold.exchange(false)) {
      tool->m_gripForceHeld = true;
    }
    if (requestWorkspaceReset.load(std::memory_order_relaxed) && requestWorkspaceReset.exchange(false)) {
      tool->setWorkspace(1.0, 1.0, 1.0);
    }
    if (!demosLoaded) {
      tool->applyForces();
      continue;
    }
    cDemo *current = demo;
    const int chosen = selection;
    if (ToolDriven(current, chosen)) {
      tool->updatePose();
      if (chosen == -1) {
        // in the menu the device moves the cursor instead of feeling the scene
        tool->m_forceWorld.zero();
        const cVector3d now = tool->m_devicePosLocal;
        if (std::abs(now.x - last.x) >= 0.0001 || std::abs(now.y - last.y) >= 0.0001 ||
            std::abs(now.z - last.z) >= 0.0001) {
          const double w = width, h = height;
          cursorX = w * 0.5 + w * now.y;
          cursorY = h * 0.5 + h * now.z;
          last = now;
        }
      } else if (transition == cTransition::demoRunning) {
        current->update(0);
      }
    } else if (transition == cTransition::demoRunning) {
      current->update(0);
    }
    if (ToolDriven(demo, selection)) tool->applyForces();
  }
  tkxClose(-1);
  flagHasExitedSimulation = true;
  return nullptr;
}

// ---- display tick ----

void shellTick() {
  cursor->setPos(cursorX, cursorY, 0.0);
  message->setPos((width - message->m_picture.getWidth()) * 0.5, (height - message->m_picture.getHeight()) * 0.5,
                  0.0);

  if (!initCompleted) {
    if (!flagSimulationOn) {
      Quit(0);
      return;
    }
    if (startUp == cStartUpPhase::coverMessage) {
      // the black plane comes back over the message
      planeLevel2 += 0.02;
      if (planeLevel2 >= 1.0) {
        planeLevel2 = 1.0;
        startUp = cStartUpPhase::uncoverMessage;
        if (demosLoaded && !panelsReady) {
          message->setShow(false, true);
          startUp = cStartUpPhase::revealMenu;
        }
      }
      ApplyLevel(planeMesh2, planeLevel2);
    } else if (startUp == cStartUpPhase::uncoverMessage) {
      // the black plane uncovers the message
      planeLevel2 -= 0.02;
      if (planeLevel2 <= 0.0) {
        planeLevel = 0.0;
        planeLevel2 = 0.0;
        startUp = cStartUpPhase::coverMessage;
      }
      ApplyLevel(planeMesh2, planeLevel2);
    } else if (startUp == cStartUpPhase::revealMenu) {
      // the menu appears under the fade plane
      ApplyLevel(planeMesh2, 0.0);
      planeLevel += 0.07;
      if (planeLevel >= 1.0) {
        world->addChild(rootPanels);
        startUp = cStartUpPhase::over;
        transition = cTransition::uncoverMenu;
        panelsReady = true;
        planeLevel = 1.0;
        camera->m_frontOverlay.addChild(cursor);
        world->removeChild(planeMesh2);
        initCompleted = true;
      }
      ApplyLevel(planeMesh, planeLevel);
    }
  } else {
    if (selection == -1) {
      for (cPanel *panel : menuPanels) panel->update();
      if (timerUpdate <= 120) {
        ++timerUpdate;
      } else {
        ClearHighlights();
        timerUpdate = 1;
      }
    }
    if (transition == cTransition::coverMenu) {
      // fade over the menu, then the demo takes its place
      cursor->setShow(false, true);
      planeLevel += 0.07;
      if (planeLevel >= 1.0) {
        planeLevel = 1.0;
        transition = cTransition::uncoverDemo;
        world->removeChild(rootPanels);
        demo.load()->reset(0);
      }
      ApplyLevel(planeMesh, planeLevel);
    }
    if (transition == cTransition::uncoverDemo) {
      planeLevel -= 0.07;
      if (planeLevel <= 0.0) {
        planeLevel = 0.0;
        transition = cTransition::demoRunning;
        world->removeChild(planeMesh);
      }
      ApplyLevel(planeMesh, planeLevel);
    }
    if (transition == cTransition::leaveDemo) {
      if (demo != nullptr) demo.load()->close(0);
      for (cPanel *panel : menuPanels) panel->resetRotation();
      world->addChild(planeMesh);
      transition = cTransition::coverDemo;
      planeLevel = 0.0;
    }
    if (transition == cTransition::coverDemo) {
      // fade over the demo, then the menu comes back
      tool->setForcesOFF();
      planeLevel += 0.07;
      if (planeLevel >= 1.0) {
        planeLevel = 1.0;
        transition = cTransition::uncoverMenu;
        world->addChild(rootPanels);
        demo.load()->exit(0);
        requestWorkspaceReset = true;
      }
      ApplyLevel(planeMesh, planeLevel);
    }
    if (transition == cTransition::uncoverMenu) {
      planeLevel -= 0.07;
      if (planeLevel <= 0.0) {
        planeLevel = 0.0;
        transition = cTransition::menu;
        selection = -1;
        cursor->setShow(true, true);
      }
      ApplyLevel(planeMesh, planeLevel);
    }
    cDemo *current = demo;
    if (current != nullptr && current->stepsOnDisplayTick()) current->updateDynamics(0);
  }

  // the device cursor hovers like the mouse
  const cVector3d at = cursor->getPos();
  if ((at - hapticCursorLastPos).length() > 1.0) {
    mouseMove(static_cast<int>(at.x), static_cast<int>(at.y));
    hapticCursorLastPos = at;
  }

  // the device switch clicks on its press edge only
  const bool pressed = tool->m_gripSwitch || tool->m_switch0 != 0;
  if (!pressed) {
    hapticCursorSwitchLast = false;
  } else if (!hapticCursorSwitchLast) {
    if (deviceType == -1) {
      Quit(0);
      return;
    }
    if (transition == cTransition::menu && demosLoaded && selection == -1) ChooseDemo();
    hapticCursorSwitchLast = true;
  }
}

namespace {
// ticks left to get the 512 x 512 window: leaving full screen restores the old
// size after a reshape asked in the same breath, so the size is asked again
int windowedRetries = 0;
}  // namespace

void updateDisplay(int) {
  shellTick();
  if (windowedRetries > 0) {
    --windowedRetries;
    if (glutGet(GLUT_WINDOW_WIDTH) != 512 || glutGet(GLUT_WINDOW_HEIGHT) != 512) {
      glutReshapeWindow(512, 512);
    } else {
      windowedRetries = 0;
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
  const cColorf &background = world->getBackgroundColor();
  glClearColor(background.r, background.g, background.b, background.a);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  camera->renderView(width, height, CAMERA_RENDER_MONO);
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR) ConsolePrint("Error:  %s", reinterpret_cast<const char *>(gluErrorString(error)));
}

void key(unsigned char pressed, int, int) {
  if (deviceType == -1) {
    Quit(0);
    return;
  }
  if (pressed != 27) return;
  if (selection != -1) {
    if (demo != nullptr && transition == cTransition::demoRunning) transition = cTransition::leaveDemo;
    return;
  }
  Quit(0);
}

void mouseClick(int, int state, int, int) {
  if (deviceType == -1) {
    Quit(0);
    return;
  }
  if (transition == cTransition::menu && state == GLUT_DOWN && demosLoaded && selection == -1) ChooseDemo();
}

void mouseMove(int x, int) {
  if (motionsToIgnore > 0) {
    --motionsToIgnore;
    return;
  }
  timerUpdate = 0;
  ClearHighlights();
  // columns of the on-screen panel width (height / 5) centred on the window
  const double a = x - width * 0.5;
  const double b = height / 5.0;
  for (int k = 0; k < 7; ++k) {
    if ((k - 3.5) * b < a && a < (k - 2.5) * b) menuPanels[k]->m_highlighted = true;
  }
}

void rezizeWindow(int w, int h) {
  width = w;
  height = h;
  glViewport(0, 0, w, h);
}

void setOther(int entry) {
  if (entry == 1) {
    windowedRetries = 0;
    glutFullScreen();
  } else if (entry == 2) {
    glutReshapeWindow(512, 512);
    windowedRetries = 10;
  }
  glutPostRedisplay();
}
