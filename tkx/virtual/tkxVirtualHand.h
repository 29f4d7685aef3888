// The virtual hand that holds a virtual device's end-effector: where it wants the
// effector to be, its button and gripper, and the script that moves it over time.
//
// A hand script (TKX_VIRTUAL_HAND=FILE) has one line per key point:
//   t x y z [button] [gripper] [r0 r1 r2]
// t in seconds from the device's first exchange (non-decreasing), x y z in metres
// in the device frame, button 0 or 1 (0 when left out), gripper opening in metres
// of arc at the fingertip (0 when left out), and the three angles in radians the
// hand turns an active wrist or a stylus to (all three or none; 0 when left out).
// '#' starts a comment; blank lines are skipped. Between two lines the position and
// the gripper are interpolated linearly and the button is the earlier line's; before
// the first line the hand holds the first, after the last it holds the last.
#ifndef TKX_VIRTUAL_HAND_H
#define TKX_VIRTUAL_HAND_H

#include <istream>
#include <string>
#include <vector>

namespace tkx {
namespace virt {

// what the hand does at one instant
struct HandPose {
  double target[3] = {0.0, 0.0, 0.0};  // m, device frame
  bool button = false;
  double gripper = 0.0;                // opening, m of arc at the fingertip
  double angles[3] = {0.0, 0.0, 0.0};  // wrist or stylus angles, rad
};

struct HandPoint {
  double t;
  HandPose pose;
};

class HandScript {
 public:
  // reads a whole script; on a malformed line returns false with its number
  // (from 1) in *badLine and leaves *out empty
  static bool Parse(std::istream &in, HandScript *out, int *badLine);
  // reads the file; false with a one-line reason in *error (file and line)
  static bool Load(const char *path, HandScript *out, std::string *error);

  bool Empty() const { return points_.empty(); }
  const std::vector<HandPoint> &Points() const { return points_; }
  // the pose at time t (seconds from the start); the workspace centre when empty
  HandPose At(double t) const;

 private:
  std::vector<HandPoint> points_;
};

}  // namespace virt
}  // namespace tkx

#endif
