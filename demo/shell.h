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
#ifndef DEMO_SHELL_H
#define DEMO_SHELL_H

#include "scene/math/CVector3d.h"

#include <atomic>

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

// ---- state shared between threads ----
extern std::atomic<int> width, height;
// the haptic loop keeps running while set
extern std::atomic<bool> flagSimulationOn;
// the haptic loop has ended and closed the device
extern std::atomic<bool> flagHasExitedSimulation;
// all seven demos set up
extern std::atomic<bool> demosLoaded;
// transition state and chosen panel (-1 in the menu)
extern std::atomic<cTransition> transition;
extern std::atomic<int> selection;
extern std::atomic<cDemo *> demo;
extern std::atomic<cDemo *> demo0, demo1, demo2, demo3, demo4, demo5, demo6;
// demo0 ... demo6 by index
extern std::atomic<cDemo *> *const demoSlots[7];

// ---- the scene (built by init, never destroyed) ----
extern cWorld *world;
extern cCamera *camera;
extern cLight *light;
extern cMeta3dofPointer *tool;
extern cBitmap *message;
extern cBitmap *cursor;
extern cMesh *rootPanels;
extern cMesh *planeMesh;
extern cMesh *planeMesh2;
extern cMesh *demoRoot;

// ---- GLUT-thread state ----
extern double planeLevel, planeLevel2;
// pointer motions still to ignore
extern int motionsToIgnore;
extern cStartUpPhase startUp;
extern bool panelsReady;
extern bool initCompleted;
extern cVector3d hapticCursorLastPos;
extern bool hapticCursorSwitchLast;
extern int timerUpdate;
// set by init before the threads start
extern int deviceType;
extern int deviceMode;

// how the process ends; tests replace it to observe the status
extern void (*shellExit)(int status);
// creates a demo for a panel index and device mode; tests replace it
extern cDemo *(*demoFactory)(int index, int deviceMode);

// device type code to 3, 6 or 7 degrees of freedom
int deviceModeOf(int type);

// builds the scene; 0 on success, -1 after printing why
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
