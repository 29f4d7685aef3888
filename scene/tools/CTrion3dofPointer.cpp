#include "scene/tools/CTrion3dofPointer.h"

#include "scene/tools/CTrionDevices.h"

#include <memory>

cTrion3dofPointer::cTrion3dofPointer(cWorld *world, unsigned int) : cGeneric3dofPointer(world) {
  m_haptic.reset();
  m_haptic = std::make_unique<cTrionDevice>(0);
}
