// hapticdemo: the demonstration program. Started from the folder that holds
// ./resources; it opens the first haptic device, shows the menu full screen and
// runs the chosen demo.
#include "demo/CDemoFactory.h"
#include "demo/Console.h"
#include "demo/shell.h"

#include <GL/glut.h>

#include <cstdio>

int main(int argc, char **argv) {
  // lines reach a pipe as they are printed
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  ConsolePrint("TKX API 3.1 haptic demonstrations");
  ConsolePrint("Copyright Tessaro. All rights reserved.");
  ConsolePrint("%s", "");
  ConsolePrint("%s", "");

  glutInit(&argc, argv);
  glutInitWindowSize(800, 512);
  glutInitWindowPosition(0, 0);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow(argv[0]);
  glutDisplayFunc(draw);
  glutKeyboardFunc(key);
  glutMouseFunc(mouseClick);
  glutMotionFunc(mouseMove);
  glutPassiveMotionFunc(mouseMove);
  glutReshapeFunc(rezizeWindow);
  glutSetWindowTitle("Tessaro - TKX API 3.1");
  glutCreateMenu(setOther);
  glutAddMenuEntry("Full Screen", 1);
  glutAddMenuEntry("Window Display", 2);
  glutAttachMenu(GLUT_RIGHT_BUTTON);

  demoFactory = createDemo;
  if (init() < 0) {
    ConsolePrint("error: initialization failed");
    shellExit(-1);
  }
  startThreads(true);

  glutFullScreen();
  glutTimerFunc(30, updateDisplay, 0);
  glutMainLoop();
  return 0;
}
