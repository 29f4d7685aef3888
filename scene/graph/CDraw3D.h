// Immediate-mode drawing routines: they draw in the current colour and matrix.
#ifndef SCENE_CDRAW3D_H
#define SCENE_CDRAW3D_H

#include "scene/math/CVector3d.h"

// multiplies the current matrix by the frame placed at eye with its -z axis toward
// target (f = target - eye, s = f x up, u = s x f); it positions geometry, it is
// not a viewing transform
void cLookAt(const cVector3d &eye, const cVector3d &target, const cVector3d &up);

// a filled sphere with smooth normals
void cDrawSphere(double radius, unsigned int slices, unsigned int stacks);

// the 12 edges of the box as lines
void cDrawWireBox(double xMin, double xMax, double yMin, double yMax, double zMin, double zMax);

// a solid arrow from `from` to `to`: shaft over the first 75 %, cone over the rest
void cDrawArrow(const cVector3d &from, const cVector3d &to, double radius);

// the local x, y and z axes as solid arrows of length size; with setupMaterial the
// colour material and filled polygons are switched on first
void cDrawFrame(double size, double thickness, bool setupMaterial);
void cDrawFrame(double size, bool setupMaterial);

#endif
