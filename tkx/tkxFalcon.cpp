#include "tkx/tkxFalcon.h"

#include "tkx/tkxErrno.h"
#include "tkx/tkxc.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
const double kPhi[3] = {kPi, 5.0 * kPi / 3.0, kPi / 2.0};
// the arms' directions once the mechanism is turned: what the upper arms' own
// weight acts along
const double kTurn = std::atan2(tkxFalcon::kTurnSin, tkxFalcon::kTurnCos);

constexpr double kSingular = 1e-12;
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
  const double a11 = W[0] - W[1], a12 = V[0] - V[1];
  const double a21 = W[0] - W[2], a22 = V[0] - V[2];
  const double det = a11 * a22 - a12 * a21;
  if (det == 0.0 || !std::isfinite(det)) return false;
  const double c1 = U[1] - U[0], d1 = K[0] - K[1];
  const double c2 = U[2] - U[0], d2 = K[0] - K[2];
  const double inv = 1.0 / det;
  const double ax = (c1 * a22 - a12 * c2) * inv, bx = (d1 * a22 - a12 * d2) * inv;
  const double ay = (a11 * c2 - a21 * c1) * inv, by = (a11 * d2 - a21 * d1) * inv;
  const double p = ax * ax + ay * ay + 1.0;
  const double q = 2.0 * (ax * bx + ay * by) - W[0] * ax - V[0] * ay - U[0];
  const double r = bx * bx + by * by - W[0] * bx - V[0] * by + K[0];
  const double disc = q * q - 4.0 * p * r;
  if (!(disc > 0.0)) return false;
  const double Z = (-q - std::sqrt(disc)) / (2.0 * p);
  pose->P[0] = ax * Z + bx;
  pose->P[1] = ay * Z + by;
  pose->P[2] = Z;
  return Finite3(pose->P[0], pose->P[1], pose->P[2]);
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
  double n[3][3], t[3][3];
  for (int i = 0; i < 3; ++i) {
    const double c = pose.ct[i], s = pose.st[i];
    const double cp = std::cos(kPhi[i]), sp = std::sin(kPhi[i]);
    const double radial = R + a * c;
    const double E[3] = {radial * cp, radial * sp, -a * s};
    double len = 0.0;
    for (int k = 0; k < 3; ++k) {
      n[i][k] = pose.P[k] - E[k];
      len += n[i][k] * n[i][k];
    }
    len = std::sqrt(len);
    if (len > 0.0)
      for (int k = 0; k < 3; ++k) n[i][k] /= len;
    t[i][0] = -s * cp;
    t[i][1] = -s * sp;
    t[i][2] = -c;
  }
  double inv[3][3];
  for (int i = 0; i < 3; ++i) {
    const double *u = n[(i + 1) % 3], *v = n[(i + 2) % 3];
    inv[i][0] = u[1] * v[2] - u[2] * v[1];
    inv[i][1] = u[2] * v[0] - u[0] * v[2];
    inv[i][2] = u[0] * v[1] - u[1] * v[0];
  }
  const double D = n[0][0] * inv[0][0] + n[0][1] * inv[0][1] + n[0][2] * inv[0][2];
  if (!(std::fabs(D) >= kSingular)) return false;

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
