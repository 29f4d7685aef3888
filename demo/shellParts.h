// What the shell's own source files share; not for the program or the tests.
#ifndef DEMO_SHELLPARTS_H
#define DEMO_SHELLPARTS_H

// stops the haptic loop, waits until it has closed the device, then ends
void quitShell(int status);
// the first highlighted panel becomes the chosen demo
void chooseHighlightedDemo();
void clearHighlights();

#endif
