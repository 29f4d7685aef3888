#include "scene/tools/CMeta3dofPointer.h"

#include "scene/tools/CTrionDevices.h"

cMeta3dofPointer::cMeta3dofPointer(cWorld *world, unsigned int index, bool) : cGeneric3dofPointer(world), m_metaKind(-1) {
  delete m_haptic;
  m_haptic = nullptr;
  cTrionDevice *device = new cTrionDevice(index);
  if (device->m_present) {
    device->open();
    m_haptic = device;
    m_metaKind = 1;
  } else {
    delete device;
  }
}
