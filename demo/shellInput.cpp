// Keyboard, mouse and pop-up menu callbacks, and the choice of a demo.
#include "demo/shell.h"

#include "demo/CDemo.h"
#include "demo/CPanel.h"
#include "demo/shellParts.h"
#include "tkx/tkxc.h"

#include <GL/glut.h>

void chooseHighlightedDemo() {
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

void clearHighlights() {
  for (cPanel *panel : menuPanels) panel->m_highlighted = false;
}

void key(unsigned char pressed, int, int) {
  cShellShared &shared = shell.shared;
  if (shell.deviceType == -1) {
    quitShell(0);
    return;
  }
  if (pressed != 27) return;
  if (shared.selection != -1) {
    cDemo *current = shared.demo;
    if (current != nullptr && shared.transition == cTransition::demoRunning) {
      // set after the transition: a step that still saw the demo running ends
      // before the haptic thread takes the request
      shared.transition = cTransition::leaveDemo;
      if (current->drivesDevice()) shared.requestZeroForce = true;
    }
    return;
  }
  quitShell(0);
}

void mouseClick(int, int state, int, int) {
  cShellShared &shared = shell.shared;
  if (shell.deviceType == -1) {
    quitShell(0);
    return;
  }
  if (shared.transition == cTransition::menu && state == GLUT_DOWN && shared.demosLoaded && shared.selection == -1)
    chooseHighlightedDemo();
}

void mouseMove(int x, int) {
  cShellGui &gui = shell.gui;
  if (gui.motionsToIgnore > 0) {
    --gui.motionsToIgnore;
    return;
  }
  gui.timerUpdate = 0;
  clearHighlights();
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
