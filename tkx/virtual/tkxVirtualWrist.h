// The active wrist inside a virtual device: a moving part turned by the hand
// through a rotational spring-damper and by three cables against three springs,
// reporting its three leg lengths as encoder counts.
//
// Its geometry is its own: the leg lengths come straight from the orientation
// (each leg from its base point to its turned moving point), so the library's
// closed-form solution from lengths back to angles is checked against it.
//
// The state is the three wrist angles (the library's convention: the moving part
// turned by Rx(gamma) Ry(beta) Rz(alpha), reported as alpha, beta, -gamma with the
// calibration's mounting angle mixed in) and their rates, with one inertia about
// each. While torque output is on and every wrist motor has been commanded, the
// cable tensions of the commands and the calibrated springs act on the moving part;
// otherwise only the hand does.
// Not thread-safe: the device that owns it serialises every call.
#ifndef TKX_VIRTUAL_WRIST_H
#define TKX_VIRTUAL_WRIST_H

#include <cstdint>

namespace tkx {
namespace virt {

// the wrist's calibration numbers, by parameter identifier (200 to 237), at the
// precision the device's memory stores them
struct WristCalibration {
  double p[38] = {};
  double operator()(int id) const { return id >= 200 && id <= 237 ? p[id - 200] : 0.0; }
  static WristCalibration Factory();
};

class Wrist {
 public:
  // the hand's rotational spring-damper, by default
  static constexpr double kHandStiffness = 0.5;  // N m/rad
  static constexpr double kHandDamping = 0.005;  // N m s/rad
  static constexpr double kInertia = 2e-4;       // kg m^2 about each axis

  Wrist();

  double Mass() const { return cal_(228); }
  void SetMotor(int index, int16_t command);
  void SetDrive(bool torqueOn) { torqueOn_ = torqueOn; }
  // the hand's grip on the moving part: N m/rad and N m s/rad, each at least 0
  void SetHandSpring(double stiffness, double damping) {
    if (stiffness >= 0.0) stiffness_ = stiffness;
    if (damping >= 0.0) damping_ = damping;
  }
  // one step of dt seconds toward the hand's angles (rad)
  void Step(double dt, const double hand[3]);
  // the leg lengths of the present orientation as counts
  int32_t Encoder(int index) const;
  const double *Angles() const { return r_; }
  // the torque (N m, about the three wrist angles) the cables and springs give now
  void Torque(double t[3]) const;

 private:
  // the moving part's rotation for wrist angles r
  void Rotation(const double r[3], double Q[3][3]) const;

  WristCalibration cal_;
  double L_[3] = {};
  double r_[3] = {}, w_[3] = {};
  int16_t motor_[3] = {0, 0, 0};
  bool driven_[3] = {false, false, false};
  bool torqueOn_ = false;
  double stiffness_ = kHandStiffness, damping_ = kHandDamping;
};

}  // namespace virt
}  // namespace tkx

#endif
