// The 30 ms display tick with its start-up and transition machines, and drawing.
#include "demo/shell.h"

#include "demo/CDemo.h"
#include "demo/CPanel.h"
#include "demo/Console.h"
#include "demo/shellParts.h"
#include "scene/graph/CBitmap.h"
#include "scene/graph/CCamera.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <GL/glu.h>
#include <GL/glut.h>

namespace {

void ApplyLevel(cMesh *mesh, double level) { mesh->setTransparencyLevel(static_cast<float>(level), false, true); }

}  // namespace

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
      quitShell(0);
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
        clearHighlights();
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
      quitShell(0);
      return;
    }
    if (shared.transition == cTransition::menu && shared.demosLoaded && shared.selection == -1) chooseHighlightedDemo();
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

// ---- drawing ----

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
