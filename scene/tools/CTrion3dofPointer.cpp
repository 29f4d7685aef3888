#include "scene/tools/CTrion3dofPointer.h"

#include "scene/tools/CTrionDevices.h"

cTrion3dofPointer::cTrion3dofPointer(cWorld *world, unsigned int) : cGeneric3dofPointer(world) {
  delete m_haptic;
  m_haptic = new cTrionDevice(0);
}
