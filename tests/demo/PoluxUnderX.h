// A virtual polux.7 as the gui tests hold it: the stylus turned so the effector
// frame is the device's, the gripper's open and shut settings, and where the
// pinch gripper's finger and thumb lie around the effector.
#ifndef TESTS_DEMO_POLUXUNDERX_H
#define TESTS_DEMO_POLUXUNDERX_H

#include "HandUnderX.h"

#include <cmath>

namespace underx {
namespace polux {

// the stylus angle that undoes the unoffset stylus's 30 degree rest turn
const double kR2 = -0.5235987755982988;
// the gripper wide open (the finger's 0.6 rad stop) and shut, in metres of arc at
// the 52.5 mm finger
const double kOpen = 0.6 * 0.0525, kShut = 0.0;

// the finger point relative to the effector with the finger opened by angle a,
// as the pinch gripper's geometry gives it (right hand, effector frame)
inline cVec Finger(double a) {
  const double psi = 0.6108652381980153, beta = 2.6633724385433464, r = 0.0525, x = 0.0525;
  const double phi = beta - a;
  return {r * std::cos(psi + phi) + x * std::cos(psi), r * std::sin(psi + phi) + x * std::sin(psi), 0.0};
}
const cVec kThumb(0.0, -0.02, 0.0);

}  // namespace polux
}  // namespace underx

#endif
