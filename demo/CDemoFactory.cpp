#include "demo/CDemoFactory.h"

#include "demo/CDemoAudio.h"
#include "demo/CDemoContact3.h"
#include "demo/CDemoContact67.h"
#include "demo/CDemoDynamics.h"
#include "demo/CDemoGrasp36.h"
#include "demo/CDemoGrasp7.h"
#include "demo/CDemoNano.h"
#include "demo/CDemoReflexions36.h"
#include "demo/CDemoReflexions7.h"
#include "demo/CDemoTextures.h"
#include "demo/shell.h"

std::unique_ptr<cDemo> createDemo(int index, int deviceMode) {
  switch (index) {
    case DEMO_PANEL_REFLEXIONS:
      // with a gripper the spheres sit on the thumb and the finger
      if (deviceMode == 7) return std::make_unique<cDemoReflexions7>();
      return std::make_unique<cDemoReflexions36>();
    case DEMO_PANEL_GRASP:
      if (deviceMode == 7) return std::make_unique<cDemoGrasp7>();
      return std::make_unique<cDemoGrasp36>();
    case DEMO_PANEL_CONTACT:
      // with a wrist or a stylus the tool model turns with the device
      if (deviceMode == 6 || deviceMode == 7) return std::make_unique<cDemoContact67>();
      return std::make_unique<cDemoContact3>();
    case DEMO_PANEL_NANO:
      return std::make_unique<cDemoNano>();
    case DEMO_PANEL_AUDIO:
      return std::make_unique<cDemoAudio>();
    case DEMO_PANEL_TEXTURES:
      return std::make_unique<cDemoTextures>();
    case DEMO_PANEL_DYNAMICS:
      return std::make_unique<cDemoDynamics>();
    default:
      return plainDemo(index, deviceMode);
  }
}
