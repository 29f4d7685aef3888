// The program's tool: a 3-DOF pointer bound to one device of the library,
// opened at construction when the device is there.
#ifndef SCENE_CMETA3DOFPOINTER_H
#define SCENE_CMETA3DOFPOINTER_H

#include "scene/tools/CGeneric3dofPointer.h"

class cMeta3dofPointer : public cGeneric3dofPointer {
 public:
  // the last argument is kept for callers that pass a wait flag; it is unused
  cMeta3dofPointer(cWorld *world, unsigned int index = 0, bool waitForDevice = false);

  // -1 without a device, 1 for a device of the library
  int m_metaKind;
};

#endif
