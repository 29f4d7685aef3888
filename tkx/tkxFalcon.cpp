#include "tkx/tkxFalcon.h"

#include "tkx/tkxErrno.h"
#include "tkx/tkxc.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
const double kPhi[3] = {kPi, 5.0 * kPi / 3.0, kPi / 2.0};
const double kCosPhi[3] = {std::cos(kPhi[0]), std::cos(kPhi[1]), std::cos(kPhi[2])};
const double kSinPhi[3] = {std::sin(kPhi[0]), std::sin(kPhi[1]), std::sin(kPhi[2])};
// the arms' directions once the mechanism is turned: what the upper arms' own
// weight acts along
const double kTurn = std::atan2(tkxFalcon::kTurnSin, tkxFalcon::kTurnCos);

constexpr double kScaleThreshold = 0.5;

bool Finite3(double a, double b, double c) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

}  // namespace

double tkxFalcon::ArmPosition(int i) { return kPhi[i]; }

int tkxFalcon::Update() {
  cbeta_ = std::cos(baseAngle);
  sbeta_ = std::sin(baseAngle);
  return tkxTranslator::Update();
}

int tkxFalcon::SetConfig(int) {
  baseAngle = 0.0;
  gripperMass = 0.0;
  additionalMass = kEffectorMass;
  ResetGravity();
  return Update();
}

bool tkxFalcon::Forward(int e0, int e1, int e2, Pose *pose) {
  const double a = kA, R = kR, b = kB;
  const int e[3] = {e0, e1, e2};
  double W[3], V[3], U[3], K[3];
  for (int i = 0; i < 3; ++i) {
    const double th = e[i] * kAnglePerCount + kAngleAtZero;
    const double c = std::cos(th), s = std::sin(th);
    pose->th[i] = th;
    pose->ct[i] = c;
    pose->st[i] = s;
    // each sphere as X² + Y² + Z² - W X - V Y - U Z + K = 0
    const double r = 2.0 * (a * c + R);
    W[i] = r * std::cos(kPhi[i]);
    V[i] = r * std::sin(kPhi[i]);
    U[i] = -2.0 * a * s;
    K[i] = 2.0 * a * R * c + (a * a - b * b + R * R);
  }
  return tkx::DeltaPlatform(W, V, U, K, pose->P);
}

void tkxFalcon::ToDevice(const double m[3], double *px, double *py, double *pz) const {
  const double X = kTurnCos * m[0] - kTurnSin * m[1];
  const double Y = kTurnSin * m[0] + kTurnCos * m[1];
  const double w = kOriginDistance + m[2];
  if (px) *px = sbeta_ * X - cbeta_ * w;
  if (py) *py = Y;
  if (pz) *pz = -cbeta_ * X - sbeta_ * w;
}

void tkxFalcon::ToMechanism(const double v[3], double out[3]) const {
  const double X = sbeta_ * v[0] - cbeta_ * v[2], Y = v[1];
  out[0] = kTurnCos * X + kTurnSin * Y;
  out[1] = -kTurnSin * X + kTurnCos * Y;
  out[2] = -cbeta_ * v[0] - sbeta_ * v[2];
}

int tkxFalcon::EncToPos(int e0, int e1, int e2, double *px, double *py, double *pz) {
  double m[3] = {0, 0, 0};
  int result = -1;
  {
    tkx::Lock lock(fwd_.lock);
    if (fwd_.e[0] == e0 && fwd_.e[1] == e1 && fwd_.e[2] == e2) {
      result = fwd_.result;
      for (int i = 0; i < 3; ++i) m[i] = fwd_.P[i];
    } else {
      Pose pose;
      result = Forward(e0, e1, e2, &pose) ? 0 : -1;
      fwd_.e[0] = e0, fwd_.e[1] = e1, fwd_.e[2] = e2;
      fwd_.result = result;
      for (int i = 0; i < 3; ++i) m[i] = fwd_.P[i] = result == 0 ? pose.P[i] : 0.0;
    }
  }
  // no position is a failure, not a position at the origin
  if (result < 0) return tkx::Fail(TKX_ERR_GEOMETRY);
  ToDevice(m, px, py, pz);
  return 0;
}

// the Falcon has no inverse model: the outputs stay as they are
int tkxFalcon::PosToEnc(double, double, double, int *, int *, int *) { return 0; }

bool tkxFalcon::Torques(const double F[3], const Pose &pose, const Gravity &g, double user[3], double held[3]) const {
  const double a = kA, R = kR;
  tkx::DeltaFrames f;
  if (!tkx::DeltaArmFrames(pose, a, R, kCosPhi, kSinPhi, &f)) return false;
  const auto &n = f.n, &t = f.t, &inv = f.inv;
  const double D = f.D;

  const double G = g.active ? effectorMass * g.effective : 0.0;
  // the gravity force, from the device frame's vertical into the mechanism frame
  const double X = G * cbeta_;
  const double Gv[3] = {kTurnCos * X, -kTurnSin * X, G * sbeta_};
  const double C = kArmGravityTorque * g.factor;
  const double ca = std::cos(kArmGravityAngle), sa = std::sin(kArmGravityAngle);
  for (int i = 0; i < 3; ++i) {
    const double lambda = -(inv[i][0] * F[0] + inv[i][1] * F[1] + inv[i][2] * F[2]) / D;
    const double mu = (inv[i][0] * Gv[0] + inv[i][1] * Gv[1] + inv[i][2] * Gv[2]) / D;
    const double nt = n[i][0] * t[i][0] + n[i][1] * t[i][1] + n[i][2] * t[i][2];
    const double c = pose.ct[i], s = pose.st[i];
    double hold = a * mu * nt;
    if (g.active) {
      const double sd = s * ca - c * sa;  // sin(θ - α)
      const double cd = c * ca + s * sa;  // cos(θ - α)
      hold -= C * sd * std::cos(kPhi[i] + kTurn) * cbeta_ + C * cd * sbeta_;
    }
    user[i] = a * lambda * nt * kTorqueGain;
    held[i] = hold * kTorqueGain;
  }
  return Finite3(user[0], user[1], user[2]) && Finite3(held[0], held[1], held[2]);
}

int tkxFalcon::FrcToMot(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1, short *m2) {
  if (!Finite3(fx, fy, fz)) return tkx::Fail(TKX_ERR_GEOMETRY);
  const Gravity g = StepGravity();
  const uint64_t gen = Generation();
  short m[3] = {0, 0, 0};
  int result = -1;
  bool hit = false;
  {
    tkx::Lock lock(frc_.lock);
    if (frc_.gen == gen && frc_.e[0] == e0 && frc_.e[1] == e1 && frc_.e[2] == e2 && frc_.f[0] == fx &&
        frc_.f[1] == fy && frc_.f[2] == fz) {
      hit = true;
      result = frc_.result;
      for (int i = 0; i < 3; ++i) m[i] = frc_.m[i];
    }
  }
  if (!hit) {
    const double f[3] = {fx, fy, fz};
    double F[3];
    ToMechanism(f, F);
    Pose pose;
    double user[3], held[3];
    // an undefined position gives no command at all
    if (Forward(e0, e1, e2, &pose) && Torques(F, pose, g, user, held)) {
      const double limit = kMotorLimit;
      double c[3];
      bool inside = true;
      for (int i = 0; i < 3; ++i) {
        c[i] = std::trunc(user[i] + held[i]);
        inside = inside && c[i] >= -limit && c[i] <= limit;
      }
      if (!inside) {
        // one common scale of the user part keeps its direction
        double lo = -HUGE_VAL, hi = HUGE_VAL;
        bool any = false;
        for (int i = 0; i < 3; ++i) {
          if (!(std::fabs(user[i]) > kScaleThreshold)) continue;
          const double a1 = (limit - held[i]) / user[i];
          const double a2 = (-limit - held[i]) / user[i];
          lo = std::fmax(lo, std::fmin(a1, a2));
          hi = std::fmin(hi, std::fmax(a1, a2));
          any = true;
        }
        double s = 1.0;
        if (any && hi < 1.0 && lo < 1.0 && lo <= hi) s = hi;
        if (any && lo > 1.0 && hi > 1.0 && lo <= hi) s = lo;
        if (!(s >= 0.0)) s = 0.0;
        if (s > 1.0) s = 1.0;
        for (int i = 0; i < 3; ++i) {
          double v = std::trunc(user[i] * s + held[i]);
          if (v > limit) v = limit;
          if (v < -limit) v = -limit;
          c[i] = v;
        }
      }
      result = 0;
      for (int i = 0; i < 3; ++i) m[i] = static_cast<short>(c[i]);
    }
    tkx::Lock lock(frc_.lock);
    frc_.gen = gen;
    frc_.e[0] = e0, frc_.e[1] = e1, frc_.e[2] = e2;
    frc_.f[0] = fx, frc_.f[1] = fy, frc_.f[2] = fz;
    frc_.result = result;
    for (int i = 0; i < 3; ++i) frc_.m[i] = m[i];
  }
  if (result < 0) return tkx::Fail(TKX_ERR_GEOMETRY);
  if (m0) *m0 = m[0];
  if (m1) *m1 = m[1];
  if (m2) *m2 = m[2];
  return 0;
}
