#include "scene/CTrion3dofPointer.h"

#include "scene/CTrionDevices.h"

cTrion3dofPointer::cTrion3dofPointer(cWorld *world, unsigned int) : cGeneric3dofPointer(world) {
  delete m_haptic;
  m_haptic = new cTrionDevice(0);
}
