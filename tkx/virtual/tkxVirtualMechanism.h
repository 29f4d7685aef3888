// The mechanism inside a virtual three-arm device: three motor-driven upper arms,
// each carrying a lower arm of fixed length to a common end-effector, simulated
// with a fixed internal step so that encoders, motor commands, gravity, springs
// and a virtual hand behave as on the real device.
//
// Its kinematics are its own: the effector point comes from Newton's method on the
// three sphere constraints and each arm angle from its own constraint, so that the
// library's closed-form model and this one check each other.
//
// Physics, in the mechanism frame the calibration describes:
// - the state is the three arm angles and their rates; the effector point follows;
// - a motor command c (DAC counts) turns its arm with the torque
//   -(clamp(c - MOTORZEROVAL, +-MOTORVALMAX) - DACOFFSET) / DACSLOPE / K, K being the
//   type's DAC counts per N m (DACVALUEPERVOLT x MOTORVOLTPERAMP / (MOTORNMPERAMP x
//   MOTORREDUCTION)); the motors push only while force output is on;
// - gravity (9.81 m/s^2, along -z of the device frame) acts on the effector mass
//   (GRIPPERMASS, the active wrist's or the pinch gripper's mass, plus any payload)
//   with half of each lower arm, on the other half of each lower arm at its elbow,
//   and on each upper arm as ARMCOUPLEGRAVITY at ARMANGGRAVITY; the springs of
//   KSPRING, RPULLEY and FOFFSET pull as calibrated;
// - the hand is a spring-damper pulling the effector toward its target;
// - a little dry friction at the effector (kFriction) lets a balanced mechanism rest;
//   braked arms (brakes on, force output off) are strongly damped;
// - end stops hold each arm angle within kArmMin..kArmMax.
// The effector carries, by type, an active wrist (tkxVirtualWrist.h), or a stylus
// (tkxVirtualStylus.h) and maybe a pinch gripper (tkxVirtualPincher.h), all moved by
// the same hand.
// Not thread-safe: the device that owns it serialises every call.
#ifndef TKX_VIRTUAL_MECHANISM_H
#define TKX_VIRTUAL_MECHANISM_H

#include "tkx/virtual/tkxVirtualHand.h"
#include "tkx/virtual/tkxVirtualPincher.h"
#include "tkx/virtual/tkxVirtualStylus.h"
#include "tkx/virtual/tkxVirtualWrist.h"

#include <cstdint>
#include <memory>

namespace tkx {
namespace virt {

// the calibration numbers of the three-arm mechanism, by parameter identifier
// (120 to 169), as the device ships them in its memory
struct TrionCalibration {
  double p[50] = {};
  double operator()(int id) const { return id >= 120 && id <= 169 ? p[id - 120] : 0.0; }
  // the factory values of a system type at the precision its memory stores them
  static TrionCalibration Factory(int systemType);
  // the Falcon's fixed mechanism (type 60), which no device memory holds
  static TrionCalibration Falcon();
};

class TrionKinematics {
 public:
  explicit TrionKinematics(const TrionCalibration &cal);

  // effector point for three arm angles (rad), device frame, m; false when the
  // three spheres do not meet
  bool Forward(const double theta[3], double p[3]) const;
  // arm angles that put the effector at p (device frame); false when out of reach
  bool Inverse(const double p[3], double theta[3]) const;

  // the same in the mechanism frame; guess, when given, starts the iteration
  bool ForwardMechanism(const double theta[3], double P[3], const double *guess) const;
  bool InverseMechanism(const double P[3], double theta[3]) const;
  void Elbow(int arm, double theta, double E[3]) const;
  void ToDevice(const double m[3], double d[3]) const;
  void ToMechanism(const double d[3], double m[3]) const;
  // directions only (no origin shift)
  void VectorToDevice(const double m[3], double d[3]) const;
  void VectorToMechanism(const double d[3], double m[3]) const;

  // encoder counts of an arm angle, before truncation: the library's convention,
  // with encoders that count down reporting the angle one turn on
  double Counts(double theta) const;
  double CountsPerTurn() const { return turn_; }

 private:
  double a_, b_, R_, offset_, sign_, turn_, origin_, half_;
  double cphi_[3], sphi_[3], cbeta_, sbeta_;
};

// the mechanism's state as seen from outside, device frame
struct MechanismState {
  double time = 0.0;          // simulated seconds since the first exchange
  double effector[3] = {};    // m
  double velocity[3] = {};    // m/s
  double arms[3] = {};        // rad
  double motorForce[3] = {};  // N: what the motor torques push the effector with
  HandPose hand;              // what the hand does now
  double stiffness = 0.0;     // N/m
  double damping = 0.0;       // N s/m
  // the pinch gripper, on the types that have one
  bool hasGripper = false;
  double gripperAngle = 0.0;   // rad from closed
  double gripperHand = 0.0;    // rad, the angle the hand pulls the finger toward
  double gripperTorque = 0.0;  // N m of the motor, opening positive
  // the stylus, on the types that have one
  bool hasStylus = false;
  double stylusAngles[3] = {};  // rad
};

class Mechanism {
 public:
  static constexpr double kStep = 1e-4;        // s, the fixed internal step
  static constexpr double kMaxCatchUp = 1.0;   // s simulated at most per exchange
  static constexpr double kMaxAdvance = 60.0;  // s simulated at most per Advance
  static constexpr double kArmMin = -0.785;    // rad, end stops
  static constexpr double kArmMax = 1.571;
  static constexpr double kFriction = 0.02;        // N, dry friction at the effector
  static constexpr double kHandStiffness = 200.0;  // N/m
  static constexpr double kHandDamping = 2.0;      // N s/m
  static constexpr double kGravity = 9.81;

  // the mechanism of a three-arm system type (tkxTrion::IsTrionType)
  explicit Mechanism(int systemType);

  const TrionKinematics &Kinematics() const { return kin_; }

  // ---- inputs ----
  // the last motor command per arm; an arm never commanded gives no torque
  void SetMotor(int arm, int16_t command);
  void SetDrive(bool forceOn, bool brakesOn);
  // the hand: a fixed pose (dropping any script), or a script from the first exchange
  void SetHand(const HandPose &pose);
  void SetScript(const HandScript &script);
  void SetHandSpring(double stiffness, double damping);
  // extra mass carried by the effector, kg
  void SetPayload(double kg);
  // the active wrist's motors (index 0 to 2); ignored without a wrist
  void SetWristMotor(int index, int16_t command);
  void SetTorqueDrive(bool torqueOn);
  // the pinch gripper's motor; ignored without a gripper
  void SetGripperMotor(int16_t command) {
    if (pincher_) pincher_->SetMotor(command);
  }

  // ---- time ----
  // runs fixed steps up to the host's time now (s): the first call only sets the
  // start; a gap longer than kMaxCatchUp counts as kMaxCatchUp (simulated time then
  // trails the host's); a clock that goes back restarts the count from there
  void Follow(double now);
  // runs the steps that fit in seconds more of simulated time (at most kMaxAdvance;
  // the part of a step left over carries to the next call)
  void Advance(double seconds);
  // the next Follow starts the count afresh from its time
  void Resync() { synced_ = false; }

  // ---- outputs ----
  // encoder of an arm: truncated counts plus the shift left by presets
  int32_t Encoder(int arm) const;
  // makes the arm's encoder read value from now on, as the counter's preset does
  void Preset(int arm, int32_t value);
  // the pinch gripper's encoder (the closed reference without a gripper)
  int32_t GripperEncoder() const { return pincher_ ? pincher_->Encoder() : Pincher::kReference; }
  const Pincher *GetPincher() const { return pincher_.get(); }
  // the hand's rotational spring-damper on the finger; ignored without a gripper
  void SetGripperHandSpring(double stiffness, double damping) {
    if (pincher_) pincher_->SetHandSpring(stiffness, damping);
  }
  // the stylus, when the type has one
  const Stylus *GetStylus() const { return stylus_.get(); }
  int32_t StylusEncoder(int index) const { return stylus_ ? stylus_->Encoder(index) : Stylus::kReference; }
  bool HandButton() const { return hand_.button; }
  // the active wrist, when the type has one
  const Wrist *GetWrist() const { return wrist_.get(); }
  int32_t WristEncoder(int index) const { return wrist_ ? wrist_->Encoder(index) : 0; }
  // the hand's rotational spring-damper on the wrist; ignored without a wrist
  void SetWristHandSpring(double stiffness, double damping) {
    if (wrist_) wrist_->SetHandSpring(stiffness, damping);
  }
  MechanismState State() const;

 private:
  void Run(int64_t steps);
  void Step();
  // arm torques (N m) of the motors at the current inputs
  void MotorTorques(double tau[3]) const;
  // effector force (mechanism frame) that joint torques tau balance at the pose, via
  // the lower arms; false at a singular pose
  bool JointsToForce(const double tau[3], double F[3]) const;
  void SampleHand();

  TrionCalibration cal_;
  TrionKinematics kin_;
  // derived from the calibration
  double a_, gain_, zero_, limit_, mass_, payload_ = 0.0;
  double cphi_[3], sphi_[3], cbeta_, sbeta_;

  // state: arm angles, their rates, the effector point and velocity (mechanism frame)
  double th_[3] = {}, om_[3] = {};
  double P_[3] = {}, V_[3] = {};
  int32_t shift_[3] = {0, 0, 0};

  int16_t motor_[3] = {0, 0, 0};
  bool driven_[3] = {false, false, false};
  bool forceOn_ = false, brakesOn_ = false;

  std::unique_ptr<Wrist> wrist_;
  std::unique_ptr<Stylus> stylus_;
  std::unique_ptr<Pincher> pincher_;

  HandPose hand_;
  HandScript script_;
  bool scripted_ = false;
  double stiffness_ = kHandStiffness, damping_ = kHandDamping;

  bool synced_ = false;
  double base_ = 0.0;   // host time of step 0
  int64_t steps_ = 0;   // steps run (or skipped) since the start
  double carry_ = 0.0;  // manual time not yet stepped
};

}  // namespace virt
}  // namespace tkx

#endif
