// The pinch gripper inside a virtual device: a finger turning about its pivot
// against a fixed thumb, held by the hand through a rotational spring-damper and
// pushed by its motor, reporting its angle on an encoder.
//
// The state is the finger's angle from the closed position (rad, 0 when closed,
// growing as it opens) and its rate, with one inertia about the pivot and end stops
// at 0 and kAngleMax. The hand's gripper opening (m of arc at the finger's radius)
// is the angle it pulls the finger toward. While force output is on and the motor
// has been commanded, the command gives a torque through the motor's own constants:
// (command - zero - DAC offset) / (DAC slope x counts per N m), the command limited
// to the DAC's 0 to 4095; a positive torque opens the finger. The encoder counts
// ENCRES per motor turn through the reduction, from 32768 when closed: up as the
// finger opens, and down on a left-handed gripper, the mirror image of the right
// one, whose finger turns the other way about the same encoder.
// Not thread-safe: the device that owns it serialises every call.
#ifndef TKX_VIRTUAL_PINCHER_H
#define TKX_VIRTUAL_PINCHER_H

#include <cstdint>

namespace tkx {
namespace virt {

class Pincher {
 public:
  static constexpr double kFingerRadius = 0.0525;  // m, pivot to fingertip
  static constexpr double kAngleMax = 0.6;         // rad, the open end stop
  static constexpr double kMass = 0.1;             // kg, carried by the effector
  static constexpr double kInertia = 5e-6;         // kg m^2 about the pivot
  // the hand's grip, by default: firm enough that a closed hand holds the finger
  // shut against the spring of a gripper used as a button (3.5 N at the fingertip
  // turns it 0.03 rad, 1.6 mm), and the finger settles on a step of the hand's
  // opening within a few ms (1100 rad/s, damping ratio 0.95); 1 N at the fingertip
  // (0.0525 N m) turns it 0.009 rad against the hand
  static constexpr double kHandStiffness = 6.0;   // N m/rad
  static constexpr double kHandDamping = 0.0104;  // N m s/rad
  // the motor and its encoder
  static constexpr double kCountsPerTurn = 4000.0;
  static constexpr double kReduction = 14.29;
  static constexpr double kCountsPerNewtonMetre = 819.2 * 3.2 / (0.0438 * 14.29);
  static constexpr double kDacSlope = 1.0;
  static constexpr double kDacOffset = 0.0;
  static constexpr double kMotorZero = 2048.0;
  static constexpr double kMotorMax = 4095.0;
  static constexpr int32_t kReference = 32768;

  explicit Pincher(bool leftHanded = false) : left_(leftHanded) {}

  bool IsLeftHanded() const { return left_; }
  // the motor's last command; a motor never commanded gives no torque
  void SetMotor(int16_t command);
  void SetDrive(bool forceOn) { forceOn_ = forceOn; }
  // the hand's grip on the finger: N m/rad and N m s/rad, each finite and at least 0
  void SetHandSpring(double stiffness, double damping);
  double Stiffness() const { return stiffness_; }
  double Damping() const { return damping_; }
  // one step of dt seconds toward the hand's opening (m of arc)
  void Step(double dt, double opening);

  double Angle() const { return angle_; }    // rad from closed
  double Rate() const { return rate_; }      // rad/s
  double Target() const { return target_; }  // rad, what the hand last pulled toward
  // the angle the hand pulls toward for an opening (m of arc): the hand squeezes or
  // spreads at most kAngleMax past either stop; a non-finite opening is closed
  static double TargetOf(double opening);
  // the motor's torque now (N m, opening positive)
  double Torque() const;
  int32_t Encoder() const;

 private:
  bool left_;
  double angle_ = 0.0, rate_ = 0.0, target_ = 0.0;
  int16_t motor_ = 0;
  bool driven_ = false;
  bool forceOn_ = false;
  double stiffness_ = kHandStiffness, damping_ = kHandDamping;
};

}  // namespace virt
}  // namespace tkx

#endif
