#include "demo/CDemoContact67.h"

#include "scene/tools/CMeta3dofPointer.h"

// the orientation the tool read from the device on its last updatePose
bool cDemoContact67::toolFrame(const cVector3d &, cMatrix3d &m) {
  m = m_tool->m_deviceRotLocal;
  return true;
}
