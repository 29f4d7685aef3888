// A 3-DOF pointer on device 0 of the library, left closed until start().
#ifndef SCENE_CTRION3DOFPOINTER_H
#define SCENE_CTRION3DOFPOINTER_H

#include "scene/tools/CGeneric3dofPointer.h"

class cTrion3dofPointer : public cGeneric3dofPointer {
 public:
  // the index is kept for callers that pass one; the device is always index 0
  explicit cTrion3dofPointer(cWorld *world, unsigned int index = 0);
};

#endif
