// What a hand-driven program test feels: the virtual log's mechanism reports
// (effector, hand target and motor force once a second), the samples held at a
// hand target, and the screenshots kept as the test's artefacts.
#ifndef TESTS_DEMO_FELTUNDERX_H
#define TESTS_DEMO_FELTUNDERX_H

#include "HandUnderX.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace underx {

struct cVec {
  double x = 0, y = 0, z = 0;
  cVec() = default;
  cVec(double ax, double ay, double az) : x(ax), y(ay), z(az) {}
  cVec operator+(const cVec &o) const { return {x + o.x, y + o.y, z + o.z}; }
  cVec operator-(const cVec &o) const { return {x - o.x, y - o.y, z - o.z}; }
  cVec operator*(double k) const { return {x * k, y * k, z * k}; }
  double Length() const { return std::sqrt(x * x + y * y + z * z); }
};

// one line of the virtual log's mechanism report
struct Sample {
  cVec effector, hand, force;
  // a gripper's finger angle, the angle the hand pulls it to (rad), and its
  // motor's torque (N m, opening positive); NaN on devices without one
  double gripper = NAN, gripperHand = NAN, gripperTorque = NAN;
};

inline std::vector<Sample> ReadMechanism(const std::string &log) {
  std::vector<Sample> samples;
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    const size_t at = line.find("mechanism: effector ");
    if (at == std::string::npos) continue;
    Sample s;
    if (std::sscanf(line.c_str() + at,
                    "mechanism: effector %lf %lf %lf m, hand %lf %lf %lf m, motor force %lf %lf %lf N", &s.effector.x,
                    &s.effector.y, &s.effector.z, &s.hand.x, &s.hand.y, &s.hand.z, &s.force.x, &s.force.y,
                    &s.force.z) != 9)
      continue;
    const size_t grip = line.find(", gripper ", at);
    if (grip != std::string::npos)
      std::sscanf(line.c_str() + grip, ", gripper %lf rad (hand %lf rad), gripper torque %lf", &s.gripper,
                  &s.gripperHand, &s.gripperTorque);
    samples.push_back(s);
  }
  return samples;
}

class HapticDemoFelt : public HapticDemoHand {
 protected:
  // artefacts go to TEST_ARTEFACTS/<folder>
  explicit HapticDemoFelt(const char *folder) : folder_(folder) {}

  std::vector<Sample> Samples() const { return ReadMechanism(ReadFile(dir_ + "/bus.log")); }

  // a grid of the view's middle from the last screenshot, and the share of it
  // that changed visibly between two grids: what moved on the screen
  std::vector<int> Middle() const {
    std::vector<int> v;
    for (int y = y0_ + h_ / 4; y < y0_ + h_ * 3 / 4; y += 3)
      for (int x = x0_ + w_ / 2 - h_ / 4; x < x0_ + w_ / 2 + h_ / 4; x += 3) {
        int r, g, b;
        Pixel(x, y, &r, &g, &b);
        v.push_back(r + g + b);
      }
    return v;
  }
  static double Changed(const std::vector<int> &a, const std::vector<int> &b) {
    if (a.empty() || a.size() != b.size()) return 1.0;
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
      if (std::abs(a[i] - b[i]) > 30) ++n;
    return static_cast<double>(n) / a.size();
  }

  // the samples from index `from` on logged while the hand held still at target,
  // after the first of each hold (the effector may still be settling)
  std::vector<Sample> HeldAt(const cVec &target, size_t from = 0) const {
    const std::vector<Sample> all = Samples();
    std::vector<Sample> held;
    bool first = true;
    for (size_t i = from; i < all.size(); ++i) {
      if ((all[i].hand - target).Length() > 2e-4) {
        first = true;
        continue;
      }
      if (!first) held.push_back(all[i]);
      first = false;
    }
    return held;
  }

  static Sample Mean(const std::vector<Sample> &held) {
    Sample m;
    m.gripper = m.gripperHand = m.gripperTorque = 0.0;
    for (const Sample &s : held) {
      const double w = 1.0 / held.size();
      m.effector = m.effector + s.effector * w;
      m.hand = m.hand + s.hand * w;
      m.force = m.force + s.force * w;
      m.gripper += s.gripper * w;
      m.gripperHand += s.gripperHand * w;
      m.gripperTorque += s.gripperTorque * w;
    }
    return m;
  }

  // the mean of the samples held at target; fails when there are none
  ::testing::AssertionResult MeanAt(const cVec &target, Sample *mean) const {
    const std::vector<Sample> held = HeldAt(target);
    if (held.empty())
      return ::testing::AssertionFailure()
             << "no sample held at " << target.x << ", " << target.y << ", " << target.z << " m";
    *mean = Mean(held);
    return ::testing::AssertionSuccess();
  }

  // waits until the log shows the hand held at target for a second
  bool WaitUntilHeldAt(const cVec &target, double timeout) {
    return WaitFor([&] { return !HeldAt(target).empty(); }, timeout);
  }

  // the screen as a PNG among the test's artefacts
  void KeepScreen(const std::string &name) {
    const std::string dir = std::string(TEST_ARTEFACTS "/") + folder_;
    Shell("mkdir -p '" + dir + "' && xwd -root -silent | convert xwd:- '" + dir + "/" + name + ".png'");
  }

 private:
  const char *folder_;
};

}  // namespace underx

#endif
