// The haptic loop, the loading thread and their start.
#include "demo/shell.h"

#include "demo/CDemo.h"
#include "demo/Console.h"
#include "demo/shellParts.h"
#include "scene/tools/CGenericDevice.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "tkx/tkxc.h"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>

#include <cmath>

namespace {

// the haptic loop reads the pose and sends the tool's force unless a demo that
// drives the device itself is chosen
bool ToolDriven(cDemo *current, int chosen) { return current == nullptr || !current->drivesDevice() || chosen == -1; }

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
    if (shared.requestZeroForce.load(std::memory_order_relaxed) && shared.requestZeroForce.exchange(false)) {
      // zero force and zero gripper force, after the left demo's last command
      double zero[4] = {0.0, 0.0, 0.0, 0.0};
      cGenericDevice *device = tool->getDevice();
      if (device != nullptr) device->command(CMD_SET_FORCE_AND_GRIPPER_FORCE, zero);
    }
  }
  tkxClose(-1);
  shared.flagHasExitedSimulation = true;
  return nullptr;
}
