#include "tkx/tkxWrist.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxConfigSection.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxc.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;
// tolerance of the motor range and of a requested tension that counts as none
constexpr double kTolerance = 1e-6;
// below this determinant the legs no longer span the moments
constexpr double kSingular = 1e-6;

const char *const kNames[tkxWrist::kParamCount] = {
    "TKX_EEPROM_WRIST_DACZEROVALUE",
    "TKX_EEPROM_WRIST_MOTORVALMAX",
    "TKX_EEPROM_WRIST_MOTORROTATIONSIGN",
    "TKX_EEPROM_WRIST_ENCOFFSET0",
    "TKX_EEPROM_WRIST_ENCOFFSET1",
    "TKX_EEPROM_WRIST_ENCOFFSET2",
    "TKX_EEPROM_WRIST_SPRINGINITIALLENGTH0",
    "TKX_EEPROM_WRIST_SPRINGINITIALLENGTH1",
    "TKX_EEPROM_WRIST_SPRINGINITIALLENGTH2",
    "TKX_EEPROM_WRIST_SPRINGINITIALFORCE0",
    "TKX_EEPROM_WRIST_SPRINGINITIALFORCE1",
    "TKX_EEPROM_WRIST_SPRINGINITIALFORCE2",
    "TKX_EEPROM_WRIST_SPRINGK0",
    "TKX_EEPROM_WRIST_SPRINGK1",
    "TKX_EEPROM_WRIST_SPRINGK2",
    "TKX_EEPROM_WRIST_SPRINGDD0",
    "TKX_EEPROM_WRIST_SPRINGDD1",
    "TKX_EEPROM_WRIST_SPRINGDD2",
    "TKX_EEPROM_WRIST_VOLTREFERENCE",
    "TKX_EEPROM_WRIST_MOTORVOLTMAX",
    "TKX_EEPROM_WRIST_MOTORVOLTMIN",
    "TKX_EEPROM_WRIST_MOTORREDUCTION",
    "TKX_EEPROM_WRIST_MOTORVOLTPERAMP",
    "TKX_EEPROM_WRIST_MOTORNMPERAMP",
    "TKX_EEPROM_WRIST_PULLEYRADIUS",
    "TKX_EEPROM_WRIST_ENCODERINCREMENTS",
    "TKX_EEPROM_WRIST_DACVALUEPERVOLT",
    "TKX_EEPROM_WRIST_ANGLE",
    "TKX_EEPROM_WRIST_WRISTMASS",
    "TKX_EEPROM_WRIST_ENCPRESET0",
    "TKX_EEPROM_WRIST_ENCPRESET1",
    "TKX_EEPROM_WRIST_ENCPRESET2",
    "TKX_EEPROM_WRIST_MOTREST0",
    "TKX_EEPROM_WRIST_MOTREST1",
    "TKX_EEPROM_WRIST_MOTREST2",
    "TKX_EEPROM_WRIST_MOTCALIB0",
    "TKX_EEPROM_WRIST_MOTCALIB1",
    "TKX_EEPROM_WRIST_MOTCALIB2",
};

// factory defaults, the same for every type with this wrist; 226 follows 218
const double kDefaults[tkxWrist::kParamCount] = {
    /* 200 */ 2048,   4095,   -1,   1210,   304,    1069,  0.041,      0.041, 0.041, 0.0172,
    /* 210 */ 0.0172, 0.0172, 200,  200,    200,    0.003, 0.006,      0.006, 2.5,   1.7,
    /* 220 */ 0.1,    1.0,    1.0,  0.0235, 0.0034, 4000,  2047 / 2.5, 0,     0.45,  5300,
    /* 230 */ 5300,   5300,   2048, 2048,   2048,   3000,  3000,       3000,
};

bool InRange(int id) { return id >= tkxWrist::kFirstParam && id <= tkxWrist::kLastParam; }

// toward zero, and within what a 16-bit integer holds; not a number gives 0
short Short(double v) {
  if (!(v == v)) return 0;
  if (v >= 32767.0) return 32767;
  if (v <= -32768.0) return -32768;
  return static_cast<short>(v);
}

// counts from the reference, taken within half a 16-bit turn of it: a 16-bit
// counter that passed below zero reads 65536 high, and no leg reaches that far
double Counts(int e, double offset) {
  long long d = static_cast<long long>(e) - static_cast<long long>(offset);
  d = ((d + 32768) % 65536 + 65536) % 65536 - 32768;
  return static_cast<double>(d);
}

bool Finite3(double a, double b, double c) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

void Apply(const double M[3][3], const double v[3], double out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = M[i][0] * v[0] + M[i][1] * v[1] + M[i][2] * v[2];
}

}  // namespace

const double tkxWrist::kA[3][3] = {{0, 0.0134, -0.0512}, {-0.00275, 0.0402, -0.0487}, {-0.00275, -0.0402, -0.0487}};
const double tkxWrist::kB[3][3] = {{0, 0.025, 0}, {-0.025, 0, 0}, {-0.025, 0, 0}};
const double tkxWrist::kS[3][3] = {{-0.0015, -0.019, -0.061}, {0.007, 0.031, -0.05}, {0.007, -0.031, -0.05}};
const double tkxWrist::kT[3][3] = {{0, -0.025, 0}, {0.025, 0, 0}, {0.025, 0, 0}};

// ---- tables ----

double tkxWrist::DefaultParam(int id) { return InRange(id) ? kDefaults[id - kFirstParam] : 0.0; }
// no wrist parameter is adjusted in the field: its bounds are its default
double tkxWrist::LowerParam(int id) { return DefaultParam(id); }
double tkxWrist::UpperParam(int id) { return DefaultParam(id); }

const char *tkxWrist::ParamName(int id) { return InRange(id) ? kNames[id - kFirstParam] : "undefined"; }

bool tkxWrist::IsShort(int id) { return (id >= 200 && id <= 205) || (id >= 229 && id <= 237); }

// ---- construction and parameters ----

tkxWrist::tkxWrist() {
  for (int id = kFirstParam; id <= kLastParam; ++id) Store(id, DefaultParam(id));
  Update();
}

void tkxWrist::Store(int id, double value) {
  if (IsShort(id)) value = Short(value);
  P(id) = value;
  if (id == kMassParam) mass = value;
  gen_.fetch_add(1, std::memory_order_relaxed);
}

double tkxWrist::GetParam(int id) {
  if (!InRange(id)) return 0.0;
  if (id == kMassParam) return mass;
  return P(id);
}

int tkxWrist::SetParam(int id, double value) {
  if (!InRange(id)) return -1;
  Store(id, value);
  return Update();
}

const char *tkxWrist::GetParamName(int id) { return ParamName(id); }

int tkxWrist::Update() {
  P(kMassParam) = mass;
  for (int i = 0; i < 3; ++i) {
    double d[3];
    for (int c = 0; c < 3; ++c) d[c] = kA[i][c] - kB[i][c];
    L_[i] = std::sqrt(Dot(d, d));
  }
  a0sq_ = Dot(kA[0], kA[0]);
  a1sq_ = Dot(kA[1], kA[1]);
  b0sq_ = Dot(kB[0], kB[0]);
  b1sq_ = Dot(kB[1], kB[1]);
  ck_ = std::cos(P(227));
  sk_ = std::sin(P(227));
  k_ = P(202) * 2.0 * kPi / P(225);
  P(kDacValuePerVoltParam) = 2047.0 / P(218);
  tensionPerVolt_ = P(223) / P(224);
  gen_.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

int tkxWrist::SetConfig(int) {
  for (int id = kFirstParam; id <= kLastParam; ++id) Store(id, DefaultParam(id));
  return Update();
}

// the device calibrates its wrist by itself when told to
int tkxWrist::Calibrate(tkxCom *) { return 0; }

// ---- device memory ----

namespace {

// the memory order: the 16-bit values first, then the doubles
template <typename F>
void ForEachInMemoryOrder(F f) {
  for (int id = 200; id <= 205; ++id) f(id);
  for (int id = 229; id <= 237; ++id) f(id);
  for (int id = 206; id <= 228; ++id) f(id);
}

}  // namespace

int tkxWrist::ConfigToMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  ForEachInMemoryOrder([&](int id) {
    if (IsShort(id))
      com->SetParam(id, static_cast<short>(GetParam(id)));
    else
      com->SetParam(id, GetParam(id));
  });
  return 0;
}

int tkxWrist::ConfigFromMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  ForEachInMemoryOrder([&](int id) {
    // a read that delivers nothing leaves the value in force
    const double now = GetParam(id);
    double v = now;
    if (IsShort(id)) {
      short s = static_cast<short>(now);
      com->GetParam(id, &s);
      v = s;
    } else {
      com->GetParam(id, &v);
      if (!std::isfinite(v)) v = now;
    }
    Store(id, v);
  });
  return Update();
}

// ---- configuration file section ----

int tkxWrist::ConfigToFile(std::ofstream &out) {
  return tkx::WriteConfigSection(
      out, "[wrist]", kFirstParam, kLastParam, [](int id) { return ParamName(id); },
      [this](int id) { return GetParam(id); });
}

int tkxWrist::ConfigFromFile(std::ifstream &in) {
  double values[kParamCount];
  if (tkx::ReadConfigSection(
          in, "[wrist]", kFirstParam, kLastParam, [](int id) { return ParamName(id); }, values) < 0)
    return -1;
  for (int id = kFirstParam; id <= kLastParam; ++id) Store(id, values[id - kFirstParam]);
  return Update();
}

// ---- kinematics ----

bool tkxWrist::Angles(int e0, int e1, int e2, double r[3]) const {
  const double kr = k_ * P(224);
  const double l0 = L_[0] - Counts(e0, P(203)) * kr;
  const double l1 = L_[1] + Counts(e1, P(204)) * kr;
  const double l2 = L_[2] - Counts(e2, P(205)) * kr;
  // the moving point shared by legs 1 and 2: its height from their difference,
  // then the sphere about the centre and the plane of leg 1
  const double a1x = kA[1][0], a1y = kA[1][1], a1z = kA[1][2];
  const double t = (l2 * l2 - l1 * l1) / (4.0 * a1y);
  const double w = (a1sq_ + b1sq_ - l1 * l1) / 2.0 - a1y * t;
  const double p = a1x * a1x / (a1z * a1z) + 1.0;
  const double q = -2.0 * a1x * w / (a1z * a1z);
  const double c = w * w / (a1z * a1z) + t * t - b1sq_;
  const double disc = q * q - 4.0 * p * c;
  if (!(disc >= 0.0)) return false;
  const double x1 = (-q - std::sqrt(disc)) / (2.0 * p);
  const double z1 = (w - a1x * x1) / a1z;
  // the moving point of leg 0: its sphere, its leg and its distance to the first
  const double a0x = kA[0][0], a0y = kA[0][1], a0z = kA[0][2];
  double d01[3];
  for (int i = 0; i < 3; ++i) d01[i] = kB[1][i] - kB[0][i];
  const double D01 = Dot(d01, d01);
  const double g = (a0sq_ + b0sq_ - l0 * l0) / 2.0;
  const double v = (x1 * x1 + b0sq_ + t * t + z1 * z1 - D01) / 2.0 - g * z1 / a0z;
  const double F = x1 - a0x * z1 / a0z;
  const double E = a0y * z1 / a0z - t;
  const double C = -a0y - E * a0x / F;
  const double gp = g - a0x * v / F;
  const double H = E * E / (F * F) + 1.0 + C * C / (a0z * a0z);
  const double G = 2.0 * E * v / (F * F) + 2.0 * C * gp / (a0z * a0z);
  const double cp = v * v / (F * F) + gp * gp / (a0z * a0z) - b0sq_;
  const double disc2 = G * G - 4.0 * H * cp;
  if (!(disc2 >= 0.0)) return false;
  const double y2 = (std::sqrt(disc2) - G) / (2.0 * H);
  const double x2 = (E * y2 + v) / F;
  const double z2 = (C * y2 + gp) / a0z;
  // the angles from the two moving points and their normal
  const double P1[3] = {x1, t, z1}, P2[3] = {x2, y2, z2};
  double n[3];
  Cross(P2, P1, n);
  const double M = Dot(n, n);
  const double u = -x1 / std::sqrt(b1sq_);
  const double s = x2 / std::sqrt(b0sq_);
  const double beta = std::atan((n[0] / std::sqrt(M)) / std::sqrt(u * u + s * s));
  const double gamma = std::atan(-n[1] / n[2]);
  const double alpha = std::atan(-s / u);
  r[0] = ck_ * alpha + sk_ * gamma;
  r[1] = beta + P(227);
  r[2] = sk_ * alpha - ck_ * gamma;
  // undefined angles are no angles
  return Finite3(r[0], r[1], r[2]);
}

int tkxWrist::EncToRot(int e0, int e1, int e2, double *r0, double *r1, double *r2) {
  const uint64_t gen = gen_.load(std::memory_order_relaxed);
  double r[3] = {0, 0, 0};
  int result = -1;
  bool hit = false;
  {
    tkx::Lock lock(rot_.lock);
    if (rot_.gen == gen && rot_.e[0] == e0 && rot_.e[1] == e1 && rot_.e[2] == e2) {
      hit = true;
      result = rot_.result;
      for (int i = 0; i < 3; ++i) r[i] = rot_.r[i];
    }
  }
  if (!hit) {
    result = Angles(e0, e1, e2, r) ? 0 : -1;
    tkx::Lock lock(rot_.lock);
    rot_.gen = gen;
    rot_.e[0] = e0, rot_.e[1] = e1, rot_.e[2] = e2;
    rot_.result = result;
    for (int i = 0; i < 3; ++i) rot_.r[i] = r[i];
  }
  if (result < 0) return tkx::Fail(TKX_ERR_GEOMETRY);
  if (r0) *r0 = r[0];
  if (r1) *r1 = r[1];
  if (r2) *r2 = r[2];
  return 0;
}

int tkxWrist::EncToMatrix(int e0, int e1, int e2, double R[3][3]) {
  double r[3];
  if (EncToRot(e0, e1, e2, &r[0], &r[1], &r[2]) < 0) return -1;
  const double c0 = std::cos(r[0]), s0 = std::sin(r[0]);
  const double c1 = std::cos(r[1]), s1 = std::sin(r[1]);
  const double c2 = std::cos(r[2]), s2 = std::sin(r[2]);
  // Rz(r2) Ry(r1) Rx(r0)
  R[0][0] = c2 * c1, R[0][1] = c2 * s1 * s0 - s2 * c0, R[0][2] = c2 * s1 * c0 + s2 * s0;
  R[1][0] = s2 * c1, R[1][1] = s2 * s1 * s0 + c2 * c0, R[1][2] = s2 * s1 * c0 - c2 * s0;
  R[2][0] = -s1, R[2][1] = c1 * s0, R[2][2] = c1 * c0;
  return 0;
}

void tkxWrist::AtAngles(const double r[3], Moments *mo) const {
  const double a = ck_ * r[0] + sk_ * r[2], b = r[1] - P(227), g = sk_ * r[0] - ck_ * r[2];
  const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b), cg = std::cos(g),
               sg = std::sin(g);
  // Rx(g) Ry(b) Rz(a)
  double(&Q)[3][3] = mo->Q;
  Q[0][0] = cb * ca, Q[0][1] = -cb * sa, Q[0][2] = sb;
  Q[1][0] = cg * sa + sg * sb * ca, Q[1][1] = cg * ca - sg * sb * sa, Q[1][2] = -sg * cb;
  Q[2][0] = sg * sa - cg * sb * ca, Q[2][1] = sg * ca + cg * sb * sa, Q[2][2] = cg * cb;
  for (int c = 0; c < 3; ++c) mo->f[c] = 0.0;
  for (int i = 0; i < 3; ++i) {
    double pb[3], u[3];
    Apply(Q, kB[i], pb);
    for (int c = 0; c < 3; ++c) u[c] = kA[i][c] - pb[c];
    const double lu = std::sqrt(Dot(u, u));
    for (int c = 0; c < 3; ++c) u[c] /= lu;
    Cross(pb, u, mo->m[i]);
    double pt[3], sv[3], n[3];
    Apply(Q, kT[i], pt);
    for (int c = 0; c < 3; ++c) sv[c] = kS[i][c] - pt[c];
    const double ls = std::sqrt(Dot(sv, sv));
    for (int c = 0; c < 3; ++c) sv[c] /= ls;
    Cross(pt, sv, n);
    const double F = (ls - P(206 + i) - P(215 + i)) * P(212 + i) + P(209 + i);
    for (int c = 0; c < 3; ++c) mo->f[c] += F * n[c];
  }
  // columns are the leg arms: A T = moment
  const double(&m)[3][3] = mo->m;
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[2][1] * m[1][2]) -
                     m[1][0] * (m[0][1] * m[2][2] - m[2][1] * m[0][2]) +
                     m[2][0] * (m[0][1] * m[1][2] - m[1][1] * m[0][2]);
  mo->regular = std::fabs(det) > kSingular && std::isfinite(det);
  if (!mo->regular) return;
  // inverse of A, A[r][c] = m[c][r]: the rows of the inverse are cross products of the arms
  double r0[3], r1[3], r2[3];
  Cross(m[1], m[2], r0);
  Cross(m[2], m[0], r1);
  Cross(m[0], m[1], r2);
  for (int c = 0; c < 3; ++c) {
    mo->inv[0][c] = r0[c] / det;
    mo->inv[1][c] = r1[c] / det;
    mo->inv[2][c] = r2[c] / det;
  }
}

int tkxWrist::RotToEnc(double r0, double r1, double r2, int *e0, int *e1, int *e2) {
  if (!Finite3(r0, r1, r2)) return tkx::Fail(TKX_ERR_GEOMETRY);
  const double r[3] = {r0, r1, r2};
  Moments mo;
  AtAngles(r, &mo);
  double l[3];
  for (int i = 0; i < 3; ++i) {
    double pb[3], d[3];
    Apply(mo.Q, kB[i], pb);
    for (int c = 0; c < 3; ++c) d[c] = kA[i][c] - pb[c];
    l[i] = std::sqrt(Dot(d, d));
  }
  const double kr = k_ * P(224);
  const double c0 = P(203) - (l[0] - L_[0]) / kr;
  const double c1 = P(204) + (l[1] - L_[1]) / kr;
  const double c2 = P(205) - (l[2] - L_[2]) / kr;
  if (!Finite3(c0, c1, c2) || std::fabs(c0) > 2e9 || std::fabs(c1) > 2e9 || std::fabs(c2) > 2e9)
    return tkx::Fail(TKX_ERR_GEOMETRY);
  if (e0) *e0 = static_cast<int>(std::lround(c0));
  if (e1) *e1 = static_cast<int>(std::lround(c1));
  if (e2) *e2 = static_cast<int>(std::lround(c2));
  return 0;
}

int tkxWrist::MotToTrq(short m0, short m1, short m2, int e0, int e1, int e2, double *t0, double *t1, double *t2) {
  double r[3];
  if (EncToRot(e0, e1, e2, &r[0], &r[1], &r[2]) < 0) return -1;
  Moments mo;
  AtAngles(r, &mo);
  const short mot[3] = {m0, m1, m2};
  // cables and springs together make the moment on the moving part
  double M[3] = {mo.f[0], mo.f[1], mo.f[2]};
  for (int i = 0; i < 3; ++i) {
    const double T = (mot[i] - P(200)) / P(kDacValuePerVoltParam) * tensionPerVolt_;
    for (int c = 0; c < 3; ++c) M[c] += T * mo.m[i][c];
  }
  // back into the wrist's axes: (gamma, beta, alpha) = Q^T M
  double ax[3];
  for (int i = 0; i < 3; ++i) ax[i] = mo.Q[0][i] * M[0] + mo.Q[1][i] * M[1] + mo.Q[2][i] * M[2];
  const double tg = ax[0], tb = ax[1], ta = ax[2];
  if (t0) *t0 = ck_ * ta + sk_ * tg;
  if (t1) *t1 = tb;
  if (t2) *t2 = sk_ * ta - ck_ * tg;
  return 0;
}

int tkxWrist::TrqToMot(double t0, double t1, double t2, int e0, int e1, int e2, short *m0, short *m1, short *m2) {
  const uint64_t gen = gen_.load(std::memory_order_relaxed);
  short out[3] = {0, 0, 0};
  int result = -1;
  bool hit = false;
  {
    tkx::Lock lock(mot_.lock);
    if (mot_.gen == gen && mot_.e[0] == e0 && mot_.e[1] == e1 && mot_.e[2] == e2 && mot_.t[0] == t0 &&
        mot_.t[1] == t1 && mot_.t[2] == t2) {
      hit = true;
      result = mot_.result;
      for (int i = 0; i < 3; ++i) out[i] = mot_.m[i];
    }
  }
  if (!hit) {
    double r[3];
    // nothing derived from undefined angles or torques reaches the motors
    if (!Finite3(t0, t1, t2) || EncToRot(e0, e1, e2, &r[0], &r[1], &r[2]) < 0) return tkx::Fail(TKX_ERR_GEOMETRY);
    Moments mo;
    AtAngles(r, &mo);
    const double ta = ck_ * t0 + sk_ * t2, tb = t1, tg = sk_ * t0 - ck_ * t2;
    const double axes[3] = {tg, tb, ta};
    double M[3];
    Apply(mo.Q, axes, M);
    double req[3] = {0, 0, 0}, hold[3] = {0, 0, 0};
    if (mo.regular) {
      double Mr[3], Ms[3];
      Apply(mo.inv, M, Mr);
      Apply(mo.inv, mo.f, Ms);
      for (int i = 0; i < 3; ++i) {
        req[i] = Mr[i] / tensionPerVolt_;
        hold[i] = -Ms[i] / tensionPerVolt_;
      }
    }
    const double lo = P(220), hi = P(219);
    // the least scale of the request in [0, 1] that leaves every motor in range,
    // or failing that the one that leaves them least out of it: a torque the
    // motors cannot give is limited, never reversed nor amplified
    auto excess = [&](double s) {
      double e = 0.0;
      for (int i = 0; i < 3; ++i) {
        const double v = hold[i] + s * req[i];
        e += v < lo - kTolerance ? lo - v : v > hi + kTolerance ? v - hi : 0.0;
      }
      return e;
    };
    double scale = 1.0;
    double best = excess(1.0);
    if (best > 0.0) {
      double cand[8] = {0.0};
      int n = 1;
      for (int i = 0; i < 3; ++i) {
        if (std::fabs(req[i]) <= kTolerance) continue;
        cand[n++] = (lo - hold[i]) / req[i];
        cand[n++] = (hi - hold[i]) / req[i];
      }
      for (int j = 0; j < n; ++j) {
        const double s = cand[j];
        if (!(s >= 0.0 && s <= 1.0)) continue;
        const double e = excess(s);
        if (e < best - 1e-12 || (std::fabs(e - best) <= 1e-12 && s > scale)) best = e, scale = s;
      }
    }
    const double dpv = P(kDacValuePerVoltParam);
    for (int i = 0; i < 3; ++i) {
      double v = hold[i] + scale * req[i];
      if (!(v >= lo)) v = lo;
      if (v > hi) v = hi;
      double d = std::trunc(v * dpv) + P(200);
      if (!(d >= 0.0)) d = 0.0;
      if (d > P(201)) d = P(201);
      out[i] = static_cast<short>(d);
    }
    result = 0;
    tkx::Lock lock(mot_.lock);
    mot_.gen = gen;
    mot_.e[0] = e0, mot_.e[1] = e1, mot_.e[2] = e2;
    mot_.t[0] = t0, mot_.t[1] = t1, mot_.t[2] = t2;
    for (int i = 0; i < 3; ++i) mot_.m[i] = out[i];
    mot_.result = result;
  }
  if (m0) *m0 = out[0];
  if (m1) *m1 = out[1];
  if (m2) *m2 = out[2];
  return result;
}
