#include "tkx/virtual/tkxVirtualWrist.h"

#include "tkx/tkxWrist.h"

#include <cmath>

namespace tkx {
namespace virt {

namespace {

constexpr double kPi = 3.14159265358979323846;

// leg points on the base and on the moving part, spring points likewise (m)
constexpr double kBaseLeg[3][3] = {{0, 0.0134, -0.0512}, {-0.00275, 0.0402, -0.0487}, {-0.00275, -0.0402, -0.0487}};
constexpr double kMovingLeg[3][3] = {{0, 0.025, 0}, {-0.025, 0, 0}, {-0.025, 0, 0}};
constexpr double kBaseSpring[3][3] = {{-0.0015, -0.019, -0.061}, {0.007, 0.031, -0.05}, {0.007, -0.031, -0.05}};
constexpr double kMovingSpring[3][3] = {{0, -0.025, 0}, {0.025, 0, 0}, {0.025, 0, 0}};

void Turn(const double Q[3][3], const double v[3], double out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = Q[i][0] * v[0] + Q[i][1] * v[1] + Q[i][2] * v[2];
}

double Norm(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// leg i's length with the moving part turned by Q
double LegLength(const double Q[3][3], int i) {
  double b[3], d[3];
  Turn(Q, kMovingLeg[i], b);
  for (int c = 0; c < 3; ++c) d[c] = kBaseLeg[i][c] - b[c];
  return Norm(d);
}

// the moment about the centre of a pull f from the moving point p toward the base point q
void AddPull(const double p[3], const double q[3], double f, double M[3]) {
  double u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
  const double n = Norm(u);
  if (!(n > 0.0)) return;
  for (double &c : u) c *= f / n;
  M[0] += p[1] * u[2] - p[2] * u[1];
  M[1] += p[2] * u[0] - p[0] * u[2];
  M[2] += p[0] * u[1] - p[1] * u[0];
}

}  // namespace

WristCalibration WristCalibration::Factory() {
  WristCalibration c;
  for (int id = 200; id <= 237; ++id) {
    const double v = tkxWrist::DefaultParam(id);
    c.p[id - 200] = tkxWrist::IsShort(id) ? static_cast<int16_t>(v) : static_cast<double>(static_cast<float>(v));
  }
  return c;
}

Wrist::Wrist() : cal_(WristCalibration::Factory()) {
  const double I[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int i = 0; i < 3; ++i) L_[i] = LegLength(I, i);
}

void Wrist::SetMotor(int index, int16_t command) {
  if (index < 0 || index > 2) return;
  motor_[index] = command;
  driven_[index] = true;
}

void Wrist::Rotation(const double r[3], double Q[3][3]) const {
  const double ck = std::cos(cal_(227)), sk = std::sin(cal_(227));
  const double a = ck * r[0] + sk * r[2], b = r[1] - cal_(227), g = sk * r[0] - ck * r[2];
  // Rx(g) Ry(b) Rz(a), multiplied out
  const double Rx[3][3] = {{1, 0, 0}, {0, std::cos(g), -std::sin(g)}, {0, std::sin(g), std::cos(g)}};
  const double Ry[3][3] = {{std::cos(b), 0, std::sin(b)}, {0, 1, 0}, {-std::sin(b), 0, std::cos(b)}};
  const double Rz[3][3] = {{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}};
  double T[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) T[i][j] += Ry[i][k] * Rz[k][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      Q[i][j] = 0.0;
      for (int k = 0; k < 3; ++k) Q[i][j] += Rx[i][k] * T[k][j];
    }
}

void Wrist::Torque(double t[3]) const {
  t[0] = t[1] = t[2] = 0.0;
  if (!torqueOn_ || !driven_[0] || !driven_[1] || !driven_[2]) return;
  double Q[3][3];
  Rotation(r_, Q);
  double M[3] = {0, 0, 0};
  const double newtonPerVolt = cal_(223) / cal_(224);
  const double countsPerVolt = 2047.0 / cal_(218);
  for (int i = 0; i < 3; ++i) {
    const double command = std::fmin(std::fmax(static_cast<double>(motor_[i]), 0.0), cal_(201));
    const double tension = (command - cal_(200)) / countsPerVolt * newtonPerVolt;
    double p[3], s[3];
    Turn(Q, kMovingLeg[i], p);
    AddPull(p, kBaseLeg[i], tension, M);
    Turn(Q, kMovingSpring[i], s);
    const double d[3] = {kBaseSpring[i][0] - s[0], kBaseSpring[i][1] - s[1], kBaseSpring[i][2] - s[2]};
    const double force = (Norm(d) - cal_(206 + i) - cal_(215 + i)) * cal_(212 + i) + cal_(209 + i);
    AddPull(s, kBaseSpring[i], force, M);
  }
  // the moment in the moving part's axes, then mixed as the angles are
  double ax[3];
  for (int i = 0; i < 3; ++i) ax[i] = Q[0][i] * M[0] + Q[1][i] * M[1] + Q[2][i] * M[2];
  const double ck = std::cos(cal_(227)), sk = std::sin(cal_(227));
  t[0] = ck * ax[2] + sk * ax[0];
  t[1] = ax[1];
  t[2] = sk * ax[2] - ck * ax[0];
}

void Wrist::Step(double dt, const double hand[3]) {
  double t[3];
  Torque(t);
  for (int i = 0; i < 3; ++i) {
    const double target = std::isfinite(hand[i]) ? hand[i] : 0.0;
    const double acc = (t[i] - stiffness_ * (r_[i] - target) - damping_ * w_[i]) / kInertia;
    w_[i] += dt * acc;
    r_[i] += dt * w_[i];
    // the moving part stops at its end stops
    if (std::fabs(r_[i]) > 1.2) {
      r_[i] = std::copysign(1.2, r_[i]);
      w_[i] = 0.0;
    }
  }
}

int32_t Wrist::Encoder(int index) const {
  if (index < 0 || index > 2) return 0;
  double Q[3][3];
  Rotation(r_, Q);
  const double perCount = cal_(202) * 2.0 * kPi / cal_(225) * cal_(224);
  // legs 0 and 2 shorten as their counts grow, leg 1 lengthens
  const double sign = index == 1 ? 1.0 : -1.0;
  const double c = cal_(203 + index) + sign * (LegLength(Q, index) - L_[index]) / perCount;
  return std::isfinite(c) ? static_cast<int32_t>(std::lround(c)) : 0;
}

}  // namespace virt
}  // namespace tkx
