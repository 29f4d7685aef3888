#include "tkx/virtual/tkxVirtualPincher.h"

#include <cmath>

namespace tkx {
namespace virt {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

void Pincher::SetMotor(int16_t command) {
  motor_ = command;
  driven_ = true;
}

void Pincher::SetHandSpring(double stiffness, double damping) {
  if (std::isfinite(stiffness) && stiffness >= 0.0) stiffness_ = stiffness;
  if (std::isfinite(damping) && damping >= 0.0) damping_ = damping;
}

double Pincher::Torque() const {
  if (!forceOn_ || !driven_) return 0.0;
  const double command = std::fmin(std::fmax(static_cast<double>(motor_), 0.0), kMotorMax);
  return (command - kMotorZero - kDacOffset) / (kDacSlope * kCountsPerNewtonMetre);
}

double Pincher::TargetOf(double opening) {
  const double want = std::isfinite(opening) ? opening / kFingerRadius : 0.0;
  return std::fmin(std::fmax(want, -kAngleMax), 2.0 * kAngleMax);
}

void Pincher::Step(double dt, double opening) {
  if (!(dt > 0.0)) return;
  target_ = TargetOf(opening);
  // spring and damper implicit, so any grip the test sets stays stable:
  // (I + dt c + dt^2 k) w' = I w + dt (tau - k (angle - target))
  const double k = stiffness_, c = damping_;
  const double rate = (kInertia * rate_ + dt * (Torque() - k * (angle_ - target_))) / (kInertia + dt * c + dt * dt * k);
  rate_ = rate;
  angle_ += dt * rate;
  // the finger stops at the thumb and at its open stop
  if (angle_ < 0.0) {
    angle_ = 0.0;
    if (rate_ < 0.0) rate_ = 0.0;
  } else if (angle_ > kAngleMax) {
    angle_ = kAngleMax;
    if (rate_ > 0.0) rate_ = 0.0;
  }
}

int32_t Pincher::Encoder() const {
  const double perRadian = kCountsPerTurn * kReduction / (2.0 * kPi);
  const int32_t counts = static_cast<int32_t>(std::lround(angle_ * perRadian));
  return left_ ? kReference - counts : kReference + counts;
}

}  // namespace virt
}  // namespace tkx
