#include "scene/tools/CMeta3dofPointer.h"

#include "scene/tools/CTrionDevices.h"

#include <memory>
#include <utility>

cMeta3dofPointer::cMeta3dofPointer(cWorld *world, unsigned int index, bool)
    : cGeneric3dofPointer(world), m_metaKind(-1) {
  m_haptic.reset();
  auto device = std::make_unique<cTrionDevice>(index);
  // an absent device is dropped: the pointer then has none
  if (device->m_present) {
    device->open();
    m_haptic = std::move(device);
    m_metaKind = 1;
  }
}
