// The program shell: the fixed scene, the haptic and loading threads, the 30 ms
// display tick with its start-up and transition machines, and the input
// callbacks. main() only opens the window and wires GLUT to these functions, so
// tests can build the scene, run the threads and step the tick without a window.
//
// Threads: the GLUT thread runs init, the tick and the callbacks; the haptic
// thread runs hapticsLoop; the loading thread runs initDemos. What crosses
// threads is an atomic flag, integer or pointer; the cursor position travels as
// two atomics applied to the bitmap by the tick; tool settings that the haptic
// step reads are handed to the haptic thread as requests.
//
// All of the shell's state is in the one object `shell`, grouped by who may
// touch it: shared between threads, set by init, the scene, the demos, and the
// GLUT thread's own.
#ifndef DEMO_SHELL_H
#define DEMO_SHELL_H

#include "scene/math/CVector3d.h"

#include <array>
#include <atomic>
#include <memory>

class cBitmap;
class cCamera;
class cDemo;
class cLight;
class cMesh;
class cMeta3dofPointer;
class cWorld;

// the start-up machine, run by the display tick until the menu first shows: the
// message blinks under the black plane until the demos are loaded
enum class cStartUpPhase {
  uncoverMessage,  // the black plane fading out; the first phase
  coverMessage,    // the black plane fading back in; the menu may follow
  revealMenu,      // the menu coming in under the fade plane
  over,            // the transition machine has taken over
};

// the transition machine between the menu and a demo, run once start-up is over
enum class cTransition {
  menu,         // panels and cursor shown, clicks accepted
  coverMenu,    // the fade plane covering the menu; the demo is reset under it
  uncoverDemo,  // the fade plane uncovering the demo
  demoRunning,  // the haptic thread steps the demo; Escape leaves
  leaveDemo,    // Escape: the demo closes, and the same tick goes on covering it
  coverDemo,    // the fade plane covering the demo, tool forces off
  uncoverMenu,  // the fade plane uncovering the menu
};

// pointer motions ignored after init
constexpr int kIgnoredFirstMotions = 5;

// the demos, one per menu panel, indexed like the panels
constexpr int kDemoCount = 7;

// What crosses threads, each a whole atomic word. The GLUT thread writes the
// transition, the selection and the current demo, which the haptic thread reads
// every iteration; no ordering between them is relied on, except that
// demosLoaded is set only once every demo is stored and set up, and that
// requestZeroForce is set only once the transition has left demoRunning.
struct cShellShared {
  std::atomic<int> width{0}, height{0};
  // the haptic loop keeps running while set
  std::atomic<bool> flagSimulationOn{false};
  // the haptic loop has ended and closed the device
  std::atomic<bool> flagHasExitedSimulation{false};
  // all seven demos set up
  std::atomic<bool> demosLoaded{false};
  std::atomic<cTransition> transition{cTransition::menu};
  // the chosen panel, -1 in the menu
  std::atomic<int> selection{-1};
  // the current (or last chosen) demo, one of cShellState::demos
  std::atomic<cDemo *> demo{nullptr};
  // the cursor in window pixels, written by the haptic thread and put on the
  // bitmap by the tick
  std::atomic<double> cursorX{0.0}, cursorY{0.0};
  // tool settings that the haptic step reads, applied by the haptic thread
  std::atomic<bool> requestGripHold{false};
  std::atomic<bool> requestWorkspaceReset{false};
  // a demo that drove the device is being left: the haptic thread commands zero
  // force after the demo's last step, which would otherwise stay on the motors
  // through the fade
  std::atomic<bool> requestZeroForce{false};
};

// The scene built by init. The shell owns the roots; a node added to another
// with addChild belongs to that parent. The panels' root, the fade planes, the
// cursor and the tool move in and out of the world, the camera's overlay or a
// demo's scene, so the shell keeps them and takes them off their parent before
// releasing them.
struct cShellScene {
  cShellScene();
  cShellScene(const cShellScene &) = delete;
  cShellScene &operator=(const cShellScene &) = delete;
  ~cShellScene();
  // releases everything, leaving an empty scene
  void clear();

  std::unique_ptr<cWorld> world;
  // attached only by the demos that show it
  std::unique_ptr<cMeta3dofPointer> tool;
  std::unique_ptr<cMesh> rootPanels;
  std::unique_ptr<cMesh> planeMesh;
  std::unique_ptr<cMesh> planeMesh2;
  std::unique_ptr<cBitmap> cursor;
  // held by the graph: the camera by the world, the light by the camera, the
  // message by the camera's back overlay, the demos' root by the world
  cCamera *camera = nullptr;
  cLight *light = nullptr;
  cBitmap *message = nullptr;
  cMesh *demoRoot = nullptr;
};

// state of the GLUT thread alone: the tick, the callbacks and init
struct cShellGui {
  cStartUpPhase startUp = cStartUpPhase::uncoverMessage;
  // transparency of the fade plane and of the black start-up plane
  double planeLevel = 0.0, planeLevel2 = 0.0;
  // pointer motions still to ignore
  int motionsToIgnore = 0;
  // the menu has been shown once
  bool panelsReady = false;
  bool initCompleted = false;
  // the device cursor at the last hover, and the switch at the previous tick
  cVector3d hapticCursorLastPos{0.0, 0.0, 0.0};
  bool hapticCursorSwitchLast = false;
  // ticks since the last pointer motion
  int timerUpdate = 0;
  // ticks left to get the 512 x 512 window: leaving full screen restores the
  // old size after a reshape asked in the same breath, so the size is asked again
  int windowedRetries = 0;
};

struct cShellState {
  cShellShared shared;
  // set by init before the threads start, read-only after
  int deviceType = -2;
  int deviceMode = 3;
  cShellScene scene;
  // built by the loading thread, which stores them all before demosLoaded;
  // other threads look at them only after that, or through shared.demo. After
  // the scene, so released before it: they point into it.
  std::array<std::unique_ptr<cDemo>, kDemoCount> demos;
  cShellGui gui;
};

// the one shell; it lasts as long as the process
extern cShellState &shell;

// how the process ends; tests replace it to observe the status
extern void (*shellExit)(int status);
// creates the demo of a panel index for a device mode; the shell owns what it
// returns. The demo classes plug in by replacing it before init, as tests do.
extern std::unique_ptr<cDemo> (*demoFactory)(int index, int deviceMode);
// the factory's default: a demo that builds nothing but drives the device, or
// steps with the display, as the demo of that panel does
std::unique_ptr<cDemo> plainDemo(int index, int deviceMode);

// device type code to 3, 6 or 7 degrees of freedom
int deviceModeOf(int type);

// builds the scene, releasing an earlier one and its demos; 0 on success, -1
// after printing why
int init();
// starts the haptic thread, then the loading thread; with realtime they ask
// for SCHED_FIFO 75 and 35 and lock memory once granted (failures ignored)
void startThreads(bool realtime);
// thread bodies
void *hapticsLoop(void *);
void *initDemos(void *);

// the body of the display tick, without the redisplay and the re-arming
void shellTick();
// the GLUT timer callback: shellTick, redisplay, again in 30 ms
void updateDisplay(int value);

// ---- GLUT callbacks ----
void draw();
void drawScene();
void key(unsigned char key, int x, int y);
void mouseClick(int button, int state, int x, int y);
void mouseMove(int x, int y);
void rezizeWindow(int w, int h);
void setOther(int entry);

#endif
