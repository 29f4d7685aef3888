#include "tkx/virtual/tkxVirtualMechanism.h"

#include "tkx/tkxTrion.h"
#include "tkx/tkxTypes.h"

#include <cmath>

namespace tkx {
namespace virt {

namespace {

constexpr double kPi = 3.14159265358979323846;

// rotor and upper-arm inertia about each arm's axis, kg m^2: keeps the joint-space
// mass invertible wherever the lower arms line up
constexpr double kArmInertia = 5e-5;
// end stops: stiffness (N m/rad) and damping (N m s/rad)
constexpr double kStopStiffness = 20.0;
constexpr double kStopDamping = 0.2;
// braked arms, as effector damping (N s/m) scaled to each arm
constexpr double kBrakeDamping = 200.0;

double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const double a[3], const double b[3], double c[3]) {
  c[0] = a[1] * b[2] - a[2] * b[1];
  c[1] = a[2] * b[0] - a[0] * b[2];
  c[2] = a[0] * b[1] - a[1] * b[0];
}

// inverse of the matrix whose rows are r[0..2]; false when (nearly) singular
bool Inverse3(const double r[3][3], double inv[3][3]) {
  double c[3][3];
  Cross(r[1], r[2], c[0]);
  Cross(r[2], r[0], c[1]);
  Cross(r[0], r[1], c[2]);
  const double det = Dot(r[0], c[0]);
  const double scale = std::sqrt(Dot(r[0], r[0]) * Dot(r[1], r[1]) * Dot(r[2], r[2]));
  if (!(std::fabs(det) > 1e-12 * scale) || !std::isfinite(det)) return false;
  // columns of the inverse are the cofactor rows over the determinant
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) inv[i][j] = c[j][i] / det;
  return true;
}

bool Solve3(const double A[3][3], const double b[3], double x[3]) {
  double inv[3][3];
  if (!Inverse3(A, inv)) return false;
  for (int i = 0; i < 3; ++i) x[i] = Dot(inv[i], b);
  return true;
}

bool Finite(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

}  // namespace

// ---- calibration ----

TrionCalibration TrionCalibration::Factory(int systemType) {
  TrionCalibration c;
  if (systemType == 60) return Falcon();
  for (int id = 120; id <= 169; ++id) {
    const double v = tkxTrion::DefaultParam(id, systemType);
    switch (tkxTrion::StorageOf(id)) {
      case tkxTrion::Storage::Short:
        c.p[id - 120] = static_cast<int16_t>(v);
        break;
      case tkxTrion::Storage::Int:
        c.p[id - 120] = static_cast<int32_t>(v);
        break;
      // memory holds single-precision numbers
      case tkxTrion::Storage::Double:
        c.p[id - 120] = static_cast<float>(v);
        break;
    }
  }
  return c;
}

TrionCalibration TrionCalibration::Falcon() {
  // the Falcon in the same terms: arms turned by 5.47 degrees, signed commands of
  // 2982.456 counts per N m, 12160 counts a turn, 0.19 kg at the effector
  constexpr double kPi = 3.14159265358979323846;
  const double turn = std::atan2(0.09532455117500986, 0.995446246636795);
  TrionCalibration c;
  auto set = [&c](int id, double v) { c.p[id - 120] = v; };
  set(120, 4095);
  set(121, 0);
  set(122, 1);
  set(124, 1);
  set(125, 12160);
  set(126, 0.086);
  set(127, 2982.4561403508774);
  set(128, 1);
  set(129, 1);
  set(130, 0.022);
  set(131, 0.31397683987149505);
  set(132, 0.146);
  set(136, 0.06);
  set(137, 0.15);
  set(138, kPi + turn);
  set(139, 5 * kPi / 3 + turn);
  set(140, kPi / 2 + turn);
  set(142, 0.19);
  set(146, 0.46914450293607574);
  for (int i = 0; i < 3; ++i) set(147 + i, 1);
  return c;
}

// ---- kinematics ----

TrionKinematics::TrionKinematics(const TrionCalibration &cal)
    : a_(cal(136)),
      b_(cal(137)),
      R_(cal(130)),
      offset_(cal(131)),
      sign_(cal(122)),
      turn_(cal(124) * cal(125)),
      origin_(cal(132)),
      half_(cal(133) / 2.0) {
  for (int i = 0; i < 3; ++i) {
    cphi_[i] = std::cos(cal(138 + i));
    sphi_[i] = std::sin(cal(138 + i));
  }
  cbeta_ = std::cos(cal(141));
  sbeta_ = std::sin(cal(141));
}

void TrionKinematics::Elbow(int i, double theta, double E[3]) const {
  const double r = R_ + a_ * std::cos(theta);
  E[0] = r * cphi_[i];
  E[1] = r * sphi_[i];
  E[2] = -a_ * std::sin(theta);
}

bool TrionKinematics::ForwardMechanism(const double theta[3], double P[3], const double *guess) const {
  double E[3][3];
  for (int i = 0; i < 3; ++i) Elbow(i, theta[i], E[i]);
  double x[3];
  if (guess != nullptr && Finite(guess)) {
    for (int k = 0; k < 3; ++k) x[k] = guess[k];
  } else {
    // below the elbows, where the platform hangs: the iteration stays on that side
    for (int k = 0; k < 3; ++k) x[k] = (E[0][k] + E[1][k] + E[2][k]) / 3.0;
    x[2] -= b_;
  }
  // Newton on |x - E_i|^2 = b^2
  for (int iter = 0; iter < 40; ++iter) {
    double rows[3][3], f[3], dx[3];
    for (int i = 0; i < 3; ++i) {
      for (int k = 0; k < 3; ++k) rows[i][k] = 2.0 * (x[k] - E[i][k]);
      f[i] = 0.25 * Dot(rows[i], rows[i]) - b_ * b_;
    }
    if (!Solve3(rows, f, dx)) return false;
    for (int k = 0; k < 3; ++k) x[k] -= dx[k];
    if (!Finite(x)) return false;
    if (Dot(dx, dx) < 1e-30) break;
  }
  for (int i = 0; i < 3; ++i) {
    double d[3] = {x[0] - E[i][0], x[1] - E[i][1], x[2] - E[i][2]};
    if (!(std::fabs(std::sqrt(Dot(d, d)) - b_) < 1e-9)) return false;
  }
  for (int k = 0; k < 3; ++k) P[k] = x[k];
  return true;
}

bool TrionKinematics::InverseMechanism(const double P[3], double theta[3]) const {
  const double p2 = Dot(P, P);
  for (int i = 0; i < 3; ++i) {
    // the arm's constraint as A cos(theta) + B sin(theta) = C
    const double o = cphi_[i] * P[0] + sphi_[i] * P[1];
    const double A = 2.0 * a_ * (R_ - o);
    const double B = 2.0 * a_ * P[2];
    const double C = b_ * b_ - p2 + 2.0 * R_ * o - R_ * R_ - a_ * a_;
    const double rho = std::hypot(A, B);
    if (!(rho > 0.0) || !(std::fabs(C) <= rho)) return false;
    // the elbow-out branch, the one the device is built on
    double th = std::atan2(B, A) + std::acos(C / rho);
    th = std::remainder(th, 2.0 * kPi);
    theta[i] = th;
  }
  return true;
}

bool TrionKinematics::Forward(const double theta[3], double p[3]) const {
  double P[3];
  if (!ForwardMechanism(theta, P, nullptr)) return false;
  ToDevice(P, p);
  return true;
}

bool TrionKinematics::Inverse(const double p[3], double theta[3]) const {
  double P[3];
  ToMechanism(p, P);
  return InverseMechanism(P, theta);
}

void TrionKinematics::VectorToDevice(const double m[3], double d[3]) const {
  const double x = sbeta_ * m[0] - cbeta_ * m[2];
  const double z = -cbeta_ * m[0] - sbeta_ * m[2];
  d[0] = x;
  d[1] = m[1];
  d[2] = z;
}

void TrionKinematics::VectorToMechanism(const double d[3], double m[3]) const {
  // the frame change is its own inverse
  VectorToDevice(d, m);
}

void TrionKinematics::ToDevice(const double m[3], double d[3]) const {
  const double v[3] = {m[0], m[1], m[2] + origin_ + half_};
  VectorToDevice(v, d);
}

void TrionKinematics::ToMechanism(const double d[3], double m[3]) const {
  VectorToMechanism(d, m);
  m[2] -= origin_ + half_;
}

double TrionKinematics::Counts(double theta) const {
  double c = (theta - offset_) * sign_ * turn_ / (2.0 * kPi);
  if (sign_ < 0) c += turn_;
  return c;
}

// ---- the mechanism ----

Mechanism::Mechanism(int systemType) : cal_(TrionCalibration::Factory(systemType)), kin_(cal_) {
  a_ = cal_(136);
  gain_ = cal_(127) * cal_(129) / (cal_(128) * cal_(124));
  zero_ = cal_(121);
  limit_ = cal_(120);
  for (int i = 0; i < 3; ++i) {
    cphi_[i] = std::cos(cal_(138 + i));
    sphi_[i] = std::sin(cal_(138 + i));
  }
  cbeta_ = std::cos(cal_(141));
  sbeta_ = std::sin(cal_(141));
  const SystemType &type = LookUpType(systemType);
  if (type.HasWrist()) wrist_ = std::make_unique<Wrist>();
  if (type.HasStylus()) stylus_ = std::make_unique<Stylus>(type.IsLeftHanded());
  if (type.HasGripper()) pincher_ = std::make_unique<Pincher>(type.IsLeftHanded());
  SetPayload(0.0);
  // at rest where the hand rests: the workspace centre
  double P[3];
  kin_.ToMechanism(hand_.target, P);
  if (!kin_.InverseMechanism(P, th_)) th_[0] = th_[1] = th_[2] = 0.0;
  if (!kin_.ForwardMechanism(th_, P_, nullptr)) P_[0] = P_[1] = P_[2] = 0.0;
}

void Mechanism::SetMotor(int arm, int16_t command) {
  if (arm < 0 || arm > 2) return;
  motor_[arm] = command;
  driven_[arm] = true;
}

void Mechanism::SetWristMotor(int index, int16_t command) {
  if (wrist_) wrist_->SetMotor(index, command);
}

void Mechanism::SetTorqueDrive(bool torqueOn) {
  if (wrist_) wrist_->SetDrive(torqueOn);
}

void Mechanism::SetDrive(bool forceOn, bool brakesOn) {
  forceOn_ = forceOn;
  brakesOn_ = brakesOn;
  if (pincher_) pincher_->SetDrive(forceOn);
}

void Mechanism::SetHand(const HandPose &pose) {
  scripted_ = false;
  hand_ = pose;
  // the stylus is in the hand: it turns with it at once
  if (stylus_) stylus_->Follow(hand_.angles);
}

void Mechanism::SetScript(const HandScript &script) {
  script_ = script;
  scripted_ = !script.Empty();
  SampleHand();
  if (stylus_) stylus_->Follow(hand_.angles);
}

void Mechanism::SetHandSpring(double stiffness, double damping) {
  if (std::isfinite(stiffness) && stiffness >= 0.0) stiffness_ = stiffness;
  if (std::isfinite(damping) && damping >= 0.0) damping_ = damping;
}

void Mechanism::SetPayload(double kg) {
  if (std::isfinite(kg) && kg >= 0.0) payload_ = kg;
  mass_ = cal_(142) + payload_ + (cal_(143) + cal_(144) + cal_(145)) / 2.0 + (wrist_ ? wrist_->Mass() : 0.0) +
          (pincher_ ? Pincher::kMass : 0.0);
  if (!(mass_ > 1e-3)) mass_ = 1e-3;
}

void Mechanism::SampleHand() {
  if (scripted_) hand_ = script_.At(static_cast<double>(steps_) * kStep);
}

void Mechanism::Follow(double now) {
  if (!std::isfinite(now)) return;
  if (!synced_) {
    synced_ = true;
    base_ = now - static_cast<double>(steps_) * kStep;
    return;
  }
  const double elapsed = now - base_;
  const double done = static_cast<double>(steps_) * kStep;
  if (elapsed < done - kStep) {
    base_ = now - done;
    return;
  }
  const double due = std::floor(elapsed / kStep) - static_cast<double>(steps_);
  if (!(due >= 1.0)) return;
  double run = due;
  const double most = kMaxCatchUp / kStep;
  if (run > most) {
    // the time beyond the catch-up passes unsimulated, and uncounted
    base_ += (run - most) * kStep;
    run = most;
  }
  Run(static_cast<int64_t>(run));
}

void Mechanism::Advance(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0.0) return;
  carry_ += std::fmin(seconds, kMaxAdvance);
  // a hair under a whole step still counts as one, against rounding in the caller's sums
  const double n = std::floor(carry_ / kStep + 1e-6);
  if (n < 1.0) return;
  carry_ = std::fmax(0.0, carry_ - n * kStep);
  Run(static_cast<int64_t>(n));
}

void Mechanism::Run(int64_t steps) {
  for (int64_t k = 0; k < steps; ++k) {
    ++steps_;
    SampleHand();
    Step();
    if (wrist_) wrist_->Step(kStep, hand_.angles);
    if (stylus_) stylus_->Follow(hand_.angles);
    if (pincher_) pincher_->Step(kStep, hand_.gripper);
  }
}

void Mechanism::MotorTorques(double tau[3]) const {
  for (int i = 0; i < 3; ++i) {
    tau[i] = 0.0;
    if (!forceOn_ || !driven_[i]) continue;
    double c = static_cast<double>(motor_[i]) - zero_;
    if (c > limit_) c = limit_;
    if (c < -limit_) c = -limit_;
    // the DAC's own gain and offset, which the calibration corrects
    const double t = -((c - cal_(150 + i)) / cal_(147 + i)) / gain_;
    if (std::isfinite(t)) tau[i] = t;
  }
}

bool Mechanism::JointsToForce(const double tau[3], double F[3]) const {
  // a joint torque tau_i pushes the effector along its lower arm u_i with tau_i / (u_i . dE_i)
  F[0] = F[1] = F[2] = 0.0;
  for (int i = 0; i < 3; ++i) {
    double E[3];
    kin_.Elbow(i, th_[i], E);
    const double c = std::cos(th_[i]), s = std::sin(th_[i]);
    const double dE[3] = {-a_ * s * cphi_[i], -a_ * s * sphi_[i], -a_ * c};
    const double u[3] = {P_[0] - E[0], P_[1] - E[1], P_[2] - E[2]};
    const double d = Dot(u, dE);
    if (!(std::fabs(d) > 1e-12)) return false;
    for (int k = 0; k < 3; ++k) F[k] += tau[i] / d * u[k];
  }
  return Finite(F);
}

void Mechanism::Step() {
  const double dt = kStep;
  // the lower arms and each elbow's motion per radian
  double U[3][3], D[3], dE[3][3];
  for (int i = 0; i < 3; ++i) {
    double E[3];
    kin_.Elbow(i, th_[i], E);
    const double c = std::cos(th_[i]), s = std::sin(th_[i]);
    dE[i][0] = -a_ * s * cphi_[i];
    dE[i][1] = -a_ * s * sphi_[i];
    dE[i][2] = -a_ * c;
    for (int k = 0; k < 3; ++k) U[i][k] = P_[k] - E[k];
    D[i] = Dot(U[i], dE[i]);
  }
  // effector velocity per arm rate: U v = diag(D) omega, so J = U^-1 diag(D)
  double Uinv[3][3], J[3][3];
  if (!Inverse3(U, Uinv)) {
    om_[0] = om_[1] = om_[2] = 0.0;
    return;
  }
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 3; ++i) J[r][i] = Uinv[r][i] * D[i];

  // forces on the effector: its weight and the hand's spring
  const double G = mass_ * kGravity;
  double H[3];
  kin_.ToMechanism(hand_.target, H);
  double F[3] = {G * cbeta_, 0.0, G * sbeta_};
  for (int k = 0; k < 3; ++k) F[k] += stiffness_ * (H[k] - P_[k]);

  // joint torques: the effector forces, motors, upper-arm and elbow weight, springs, stops
  double tau[3], motors[3];
  MotorTorques(motors);
  double C[3][3] = {};
  const double coupled = cal_(126);
  const double alpha = cal_(146);
  for (int i = 0; i < 3; ++i) {
    double t = J[0][i] * F[0] + J[1][i] * F[1] + J[2][i] * F[2];
    t += motors[i];
    const double th = th_[i], s = std::sin(th), c = std::cos(th);
    const double elbowWeight = cal_(143 + i) * kGravity / 2.0 * a_;
    t -= (coupled * std::sin(th - alpha) * cphi_[i] + elbowWeight * s * cphi_[i]) * cbeta_ +
         (coupled * std::cos(th - alpha) + elbowWeight * c) * sbeta_;
    const double spring = (cal_(156 + i) * cal_(153 + i) * th + cal_(159 + i)) * cal_(156 + i);
    t += i == 0 ? -spring : spring;
    if (th > kArmMax) {
      t -= kStopStiffness * (th - kArmMax);
      C[i][i] += kStopDamping;
    } else if (th < kArmMin) {
      t -= kStopStiffness * (th - kArmMin);
      C[i][i] += kStopDamping;
    }
    if (brakesOn_ && !forceOn_) C[i][i] += kBrakeDamping * a_ * a_;
    tau[i] = t;
  }
  // joint-space mass and the hand's damper, J^T J scaled
  double M[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const double jj = J[0][i] * J[0][j] + J[1][i] * J[1][j] + J[2][i] * J[2][j];
      M[i][j] = mass_ * jj + (i == j ? kArmInertia : 0.0);
      C[i][j] += damping_ * jj;
    }
  // dampers implicit: (M + dt C) omega' = M omega + dt tau
  double A[3][3], rhs[3], om[3];
  for (int i = 0; i < 3; ++i) {
    rhs[i] = dt * tau[i];
    for (int j = 0; j < 3; ++j) {
      A[i][j] = M[i][j] + dt * C[i][j];
      rhs[i] += M[i][j] * om_[j];
    }
  }
  if (!Solve3(A, rhs, om) || !Finite(om)) {
    om_[0] = om_[1] = om_[2] = 0.0;
    return;
  }
  // dry friction takes at most its share of the effector's speed each step
  double v[3];
  for (int r = 0; r < 3; ++r) v[r] = J[r][0] * om[0] + J[r][1] * om[1] + J[r][2] * om[2];
  const double speed = std::sqrt(Dot(v, v));
  const double loss = kFriction * dt / mass_;
  const double keep = speed <= loss ? 0.0 : 1.0 - loss / speed;
  double th[3], P[3];
  for (int i = 0; i < 3; ++i) {
    om[i] *= keep;
    th[i] = th_[i] + dt * om[i];
  }
  if (!kin_.ForwardMechanism(th, P, P_)) {
    // a pose the lower arms cannot close: the arms stop where they were
    om_[0] = om_[1] = om_[2] = 0.0;
    return;
  }
  for (int k = 0; k < 3; ++k) {
    V_[k] = (P[k] - P_[k]) / dt;
    P_[k] = P[k];
  }
  for (int i = 0; i < 3; ++i) {
    th_[i] = th[i];
    om_[i] = om[i];
  }
}

int32_t Mechanism::Encoder(int arm) const {
  if (arm < 0 || arm > 2) return 0;
  const double c = std::floor(kin_.Counts(th_[arm]));
  const double v = c + static_cast<double>(shift_[arm]);
  if (!(v > -2147483648.0 && v < 2147483647.0)) return 0;
  return static_cast<int32_t>(v);
}

void Mechanism::Preset(int arm, int32_t value) {
  if (arm < 0 || arm > 2) return;
  const double c = std::floor(kin_.Counts(th_[arm]));
  const double s = static_cast<double>(value) - c;
  shift_[arm] = s > -2147483648.0 && s < 2147483647.0 ? static_cast<int32_t>(s) : 0;
}

MechanismState Mechanism::State() const {
  MechanismState s;
  s.time = static_cast<double>(steps_) * kStep;
  kin_.ToDevice(P_, s.effector);
  kin_.VectorToDevice(V_, s.velocity);
  for (int i = 0; i < 3; ++i) s.arms[i] = th_[i];
  double tau[3], F[3];
  MotorTorques(tau);
  if (JointsToForce(tau, F)) kin_.VectorToDevice(F, s.motorForce);
  s.hand = hand_;
  s.stiffness = stiffness_;
  s.damping = damping_;
  if (pincher_) {
    s.hasGripper = true;
    s.gripperAngle = pincher_->Angle();
    s.gripperHand = Pincher::TargetOf(hand_.gripper);
    s.gripperTorque = pincher_->Torque();
  }
  if (stylus_) {
    s.hasStylus = true;
    for (int i = 0; i < 3; ++i) s.stylusAngles[i] = stylus_->Angles()[i];
  }
  return s;
}

}  // namespace virt
}  // namespace tkx
