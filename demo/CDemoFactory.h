// The program's demos by panel index and device mode. A panel whose demo is not
// built yet gets the shell's placeholder, which drives the device as that
// panel's demo will.
#ifndef DEMO_CDEMOFACTORY_H
#define DEMO_CDEMOFACTORY_H

#include "demo/CDemo.h"

#include <memory>

// panel indices of the menu, left to right
enum cDemoPanel {
  DEMO_PANEL_REFLEXIONS = 0,
  DEMO_PANEL_NANO = 1,
  DEMO_PANEL_GRASP = 2,
  DEMO_PANEL_AUDIO = 3,
  DEMO_PANEL_CONTACT = 4,
  DEMO_PANEL_TEXTURES = 5,
  DEMO_PANEL_DYNAMICS = 6,
};

std::unique_ptr<cDemo> createDemo(int index, int deviceMode);

#endif
