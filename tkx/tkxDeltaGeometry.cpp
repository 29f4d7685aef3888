#include "tkx/tkxDeltaGeometry.h"

#include <cmath>

namespace tkx {

namespace {
constexpr double kSingular = 1e-12;
}

bool DeltaPlatform(const double W[3], const double V[3], const double U[3], const double K[3], double P[3]) {
  // spheres 0-1 and 0-2 give X and Y as linear functions of Z
  const double a11 = W[0] - W[1], a12 = V[0] - V[1];
  const double a21 = W[0] - W[2], a22 = V[0] - V[2];
  const double det = a11 * a22 - a12 * a21;
  if (det == 0.0 || !std::isfinite(det)) return false;
  const double c1 = U[1] - U[0], d1 = K[0] - K[1];
  const double c2 = U[2] - U[0], d2 = K[0] - K[2];
  const double inv = 1.0 / det;
  const double ax = (c1 * a22 - a12 * c2) * inv, bx = (d1 * a22 - a12 * d2) * inv;
  const double ay = (a11 * c2 - a21 * c1) * inv, by = (a11 * d2 - a21 * d1) * inv;
  // and sphere 0 a quadratic in Z, whose lower root is the platform
  const double p = ax * ax + ay * ay + 1.0;
  const double q = 2.0 * (ax * bx + ay * by) - W[0] * ax - V[0] * ay - U[0];
  const double r = bx * bx + by * by - W[0] * bx - V[0] * by + K[0];
  const double disc = q * q - 4.0 * p * r;
  if (!(disc > 0.0)) return false;
  const double Z = (-q - std::sqrt(disc)) / (2.0 * p);
  P[0] = ax * Z + bx;
  P[1] = ay * Z + by;
  P[2] = Z;
  return std::isfinite(P[0]) && std::isfinite(P[1]) && std::isfinite(P[2]);
}

bool DeltaArmFrames(const DeltaPose &pose, double a, double R, const double cphi[3], const double sphi[3],
                    DeltaFrames *f) {
  for (int i = 0; i < 3; ++i) {
    const double c = pose.ct[i], s = pose.st[i];
    const double radial = R + a * c;
    const double E[3] = {radial * cphi[i], radial * sphi[i], -a * s};
    double len = 0.0;
    for (int k = 0; k < 3; ++k) {
      f->n[i][k] = pose.P[k] - E[k];
      len += f->n[i][k] * f->n[i][k];
    }
    len = std::sqrt(len);
    if (len > 0.0)
      for (int k = 0; k < 3; ++k) f->n[i][k] /= len;
    f->t[i][0] = -s * cphi[i];
    f->t[i][1] = -s * sphi[i];
    f->t[i][2] = -c;
  }
  for (int i = 0; i < 3; ++i) {
    const double *u = f->n[(i + 1) % 3], *v = f->n[(i + 2) % 3];
    f->inv[i][0] = u[1] * v[2] - u[2] * v[1];
    f->inv[i][1] = u[2] * v[0] - u[0] * v[2];
    f->inv[i][2] = u[0] * v[1] - u[1] * v[0];
  }
  f->D = f->n[0][0] * f->inv[0][0] + f->n[0][1] * f->inv[0][1] + f->n[0][2] * f->inv[0][2];
  return std::fabs(f->D) >= kSingular;
}

}  // namespace tkx
