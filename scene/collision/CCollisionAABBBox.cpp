#include "scene/collision/CCollisionAABBBox.h"

// out of line so the class's virtual table has one home
cCollisionAABBBox::~cCollisionAABBBox() {}
