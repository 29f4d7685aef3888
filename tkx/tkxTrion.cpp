#include "tkx/tkxTrion.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxConfigSection.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxc.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// joint limits of the inverse model: arm angle, elbow angle, and the least
// opening between them
constexpr double kArmMin = -0.8045967851693859;      // -46.1 degrees
constexpr double kArmMax = 1.5725416560468908;       // 90.1 degrees
constexpr double kElbowMin = 0.6457718232379019;     // 37 degrees
constexpr double kOpeningMin = 0.10471975511965977;  // 6 degrees

// below this the lower arms no longer span space
// user torques smaller than this (counts) take no part in the common scale
constexpr double kScaleThreshold = 0.5;

const char *const kNames[tkxTrion::kLastNamedParam - tkxTrion::kFirstParam + 1] = {
    "TKX_EEPROM_TRION_MOTORVALMAX",      "TKX_EEPROM_TRION_MOTORZEROVAL",    "TKX_EEPROM_TRION_MOTORROTATIONSIGN",
    "TKX_EEPROM_TRION_MOTORVOLTMAX",     "TKX_EEPROM_TRION_MOTORREDUCTION",  "TKX_EEPROM_TRION_ENCODERINCREMENTS",
    "TKX_EEPROM_TRION_ARMCOUPLEGRAVITY", "TKX_EEPROM_TRION_DACVALUEPERVOLT", "TKX_EEPROM_TRION_MOTORNMPERAMP",
    "TKX_EEPROM_TRION_MOTORVOLTPERAMP",  "TKX_EEPROM_TRION_RADIUSRAC",       "TKX_EEPROM_TRION_ANGLEOFFSET",
    "TKX_EEPROM_TRION_ORIGINDISTANCE",   "TKX_EEPROM_TRION_WORKSPACEXSIZE",  "TKX_EEPROM_TRION_WORKSPACEYSIZE",
    "TKX_EEPROM_TRION_WORKSPACEZSIZE",   "TKX_EEPROM_TRION_LENGTHA",         "TKX_EEPROM_TRION_LENGTHB",
    "TKX_EEPROM_TRION_THETA0",           "TKX_EEPROM_TRION_THETA1",          "TKX_EEPROM_TRION_THETA2",
    "TKX_EEPROM_TRION_BASEANGLE",        "TKX_EEPROM_TRION_GRIPPERMASS",     "TKX_EEPROM_TRION_ARMBMASS0",
    "TKX_EEPROM_TRION_ARMBMASS1",        "TKX_EEPROM_TRION_ARMBMASS2",       "TKX_EEPROM_TRION_ARMANGGRAVITY",
    "TKX_EEPROM_TRION_DACSLOPE0",        "TKX_EEPROM_TRION_DACSLOPE1",       "TKX_EEPROM_TRION_DACSLOPE2",
    "TKX_EEPROM_TRION_DACOFFSET0",       "TKX_EEPROM_TRION_DACOFFSET1",      "TKX_EEPROM_TRION_DACOFFSET2",
    "TKX_EEPROM_TRION_KSPRING0",         "TKX_EEPROM_TRION_KSPRING1",        "TKX_EEPROM_TRION_KSPRING2",
    "TKX_EEPROM_TRION_RPULLEY0",         "TKX_EEPROM_TRION_RPULLEY1",        "TKX_EEPROM_TRION_RPULLEY2",
    "TKX_EEPROM_TRION_FOFFSET0",         "TKX_EEPROM_TRION_FOFFSET1",        "TKX_EEPROM_TRION_FOFFSET2",
    "TKX_EEPROM_TRION_ENCMIN0",          "TKX_EEPROM_TRION_ENCMAX0",         "TKX_EEPROM_TRION_ENCMIN1",
    "TKX_EEPROM_TRION_ENCMAX1",          "TKX_EEPROM_TRION_ENCMIN2",         "TKX_EEPROM_TRION_ENCMAX2",
};

// factory defaults, one column per family of system types (the type table's
// trion defaults): polux | trion | polux.3 | trion USB | TQ-2200
constexpr double kDeg46 = 0.8028514559173915;
const double kDefaults[tkxTrion::kParamCount][5] = {
    /* 120 */ {2047, 2047, 2047, 2047, 2047},
    /* 121 */ {2048, 2048, 2048, 2048, 2048},
    /* 122 */ {1, -1, 1, 1, 1},
    /* 123 */ {2.5, 2.5, 2.5, 3, 2.5},
    /* 124 */ {15.7, 16.82, 15.57, 18.99, 15.57},
    /* 125 */ {4000, 2000, 4000, 4000, 2000},
    /* 126 */ {0.0164, 0.086, 0.0164, 0.14, 0.0164},
    /* 127 */ {819.2, 819.2, 819.2, 2048.0 / 3.0, 819.2},
    /* 128 */ {0.0438, 0.0389, 0.0438, 0.052, 0.03},
    /* 129 */ {3.0596, 1, 3.2, 1, 3.2},
    /* 130 */ {0.03975, 0.1, 0.03975, 0.08, 0.03975},
    /* 131 */ {-kPi / 2, -1.570796, -kPi / 2, -kPi / 2, -kPi / 2},
    /* 132 */ {0.077, 0.119, 0.077, 0.1249, 0.077},
    /* 133 */ {0.12, 0.3, 0.12, 0.3, 0.12},
    /* 134 */ {0.15, 0.3, 0.15, 0.3, 0.15},
    /* 135 */ {0.15, 0.3, 0.15, 0.3, 0.15},
    /* 136 */ {0.07, 0.160176, 0.07, 0.14, 0.07},
    /* 137 */ {0.146, 0.28, 0.146, 0.292, 0.146},
    /* 138 */ {kPi, kPi, kPi, kPi, kPi},
    /* 139 */ {5 * kPi / 3, 5 * kPi / 3, 5 * kPi / 3, 5 * kPi / 3, 5 * kPi / 3},
    /* 140 */ {kPi / 3, kPi / 3, kPi / 3, kPi / 3, kPi / 3},
    /* 141 */ {0, 0, 0, 0, 0},
    /* 142 */ {0.1394, 0.129, 0.1394, 0.2767, 0.1394},
    /* 143 */ {0.0524, 0.02, 0.0524, 0, 0.0524},
    /* 144 */ {0.0524, 0.02, 0.0524, 0, 0.0524},
    /* 145 */ {0.0524, 0.02, 0.0524, 0, 0.0524},
    /* 146 */ {kDeg46, 0.46914450293607574, kDeg46, 0.278, kDeg46},
    /* 147 */ {1, 1, 1, 1, 1},
    /* 148 */ {1, 1, 1, 1, 1},
    /* 149 */ {1, 1, 1, 1, 1},
    /* 150 */ {0, 0, 0, 0, 0},
    /* 151 */ {0, 0, 0, 0, 0},
    /* 152 */ {0, 0, 0, 0, 0},
    /* 153 */ {0, 0, 2665, 2666, 0},
    /* 154 */ {0, 0, 0, 0, 0},
    /* 155 */ {0, 0, 0, 0, 0},
    /* 156 */ {0, 0, 0.006725, 0.0095, 0},
    /* 157 */ {0, 0, 0.006725, 0, 0},
    /* 158 */ {0, 0, 0.006725, 0, 0},
    /* 159 */ {0, 0, 31.79, 41.4, 0},
    /* 160 */ {0, 0, 0, 0, 0},
    /* 161 */ {0, 0, 0, 0, 0},
    /* 162 */ {0, 0, 6300, 7325, 0},
    /* 163 */ {0, 0, 30100, 42540, 0},
    /* 164 */ {0, 0, 6300, 7325, 0},
    /* 165 */ {0, 0, 30100, 42540, 0},
    /* 166 */ {0, 0, 6300, 7325, 0},
    /* 167 */ {0, 0, 30100, 42540, 0},
    /* 168 */ {90.1, 0, 90.1, 90.081, 0},
    /* 169 */ {149.2, 0, 149.2, 154.162, 0},
};

// the column of a type's defaults; -1 for a type without this mechanism
int Column(int sysType) {
  switch (tkx::LookUpType(sysType).trion) {
    case tkx::TrionDefaults::Polux:
      return 0;
    case tkx::TrionDefaults::Trion:
      return 1;
    case tkx::TrionDefaults::Polux3:
      return 2;
    case tkx::TrionDefaults::TrionUSB:
      return 3;
    case tkx::TrionDefaults::TQ2200:
      return 4;
    case tkx::TrionDefaults::None:
      break;
  }
  return -1;
}

bool InRange(int id) { return id >= tkxTrion::kFirstParam && id <= tkxTrion::kLastParam; }

// parameters whose change reaches the derived values
bool Derived(int id) {
  return id == 122 || id == 124 || id == 125 || (id >= 127 && id <= 130) || (id >= 136 && id <= 145);
}

// toward zero, and within what a 32-bit integer holds; not a number gives 0
int Whole(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

bool Finite3(double a, double b, double c) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

}  // namespace

// ---- tables ----

bool tkxTrion::IsTrionType(int sysType) { return Column(sysType) >= 0; }

double tkxTrion::DefaultParam(int id, int sysType) {
  const int col = Column(sysType);
  if (col < 0 || !InRange(id)) return 0.0;
  // the right-hand polux.6 has springs of its own
  if (sysType == TKX_SYSTEM_POLUX6_RIGHT && id == 153) return 1918;
  if (sysType == TKX_SYSTEM_POLUX6_RIGHT && id == 159) return 16.52;
  return kDefaults[id - kFirstParam][col];
}

namespace {

// fixed bounds of the adjustable parameters; false where the default is both
bool FixedBound(int id, int sysType, double *lower, double *upper) {
  const tkx::TrionDefaults family = tkx::LookUpType(sysType).trion;
  const bool polux = family == tkx::TrionDefaults::Polux3;
  const bool usb = family == tkx::TrionDefaults::TrionUSB;
  if (!polux && !usb) return false;
  switch (id) {
    case 126:
      *lower = 0, *upper = 10;
      return true;
    case 142:
      *lower = 0, *upper = polux ? 0.5 : 1;
      return true;
    case 146:
      *lower = 0, *upper = kPi / 2;
      return true;
    case 147:
    case 148:
    case 149:
      *lower = 0.5, *upper = 2;
      return true;
    case 150:
    case 151:
    case 152:
      *lower = -500, *upper = 500;
      return true;
    case 153:
      *lower = polux ? 1500 : 0, *upper = 3000;
      return true;
    case 159:
      *lower = 0, *upper = 60;
      return true;
    default:
      return false;
  }
}

}  // namespace

double tkxTrion::LowerParam(int id, int sysType) {
  double lo, hi;
  return FixedBound(id, sysType, &lo, &hi) ? lo : DefaultParam(id, sysType);
}

double tkxTrion::UpperParam(int id, int sysType) {
  double lo, hi;
  return FixedBound(id, sysType, &lo, &hi) ? hi : DefaultParam(id, sysType);
}

const char *tkxTrion::ParamName(int id) {
  if (id < kFirstParam || id > kLastNamedParam) return "undefined";
  return kNames[id - kFirstParam];
}

tkxTrion::Storage tkxTrion::StorageOf(int id) {
  if (id >= 120 && id <= 122) return Storage::Short;
  if (id >= 162 && id <= 167) return Storage::Int;
  return Storage::Double;
}

// ---- construction and parameters ----

tkxTrion::tkxTrion() {
  for (double &v : p_) v = 0.0;
  Update();
}

void tkxTrion::InvalidateAll() {
  kinGen_.fetch_add(1, std::memory_order_relaxed);
  Invalidate();
}

void tkxTrion::Store(int id, double value) {
  switch (StorageOf(id)) {
    case Storage::Short:
      value = static_cast<short>(Whole(value));
      break;
    case Storage::Int:
      value = Whole(value);
      break;
    case Storage::Double:
      break;
  }
  // the base angle and the gripper mass live in the translator base
  if (id == 141) baseAngle = value;
  if (id == 142) gripperMass = value;
  P(id) = value;
  InvalidateAll();
}

double tkxTrion::GetParam(int id) {
  if (!InRange(id)) return 0.0;
  if (id == 141) return baseAngle;
  if (id == 142) return gripperMass;
  return P(id);
}

int tkxTrion::SetParam(int id, double value) {
  if (!InRange(id)) return -1;
  Store(id, value);
  return Derived(id) ? Update() : 0;
}

const char *tkxTrion::GetParamName(int id) { return ParamName(id); }
double tkxTrion::GetDefaultParam(int id, int sysType) { return DefaultParam(id, sysType); }
double tkxTrion::GetLowerParam(int id, int sysType) { return LowerParam(id, sysType); }
double tkxTrion::GetUpperParam(int id, int sysType) { return UpperParam(id, sysType); }

int tkxTrion::Update() {
  P(141) = baseAngle;
  P(142) = gripperMass;
  countsPerTurn_ = P(124) * P(125);
  anglePerCount_ = P(122) * kTwoPi / countsPerTurn_;
  gain_ = P(127) * P(129) / (P(128) * P(124));
  for (int i = 0; i < 3; ++i) {
    cphi_[i] = std::cos(P(138 + i));
    sphi_[i] = std::sin(P(138 + i));
  }
  cbeta_ = std::cos(baseAngle);
  sbeta_ = std::sin(baseAngle);
  calpha_ = std::cos(P(146));
  salpha_ = std::sin(P(146));
  const double a = P(136), b = P(137), R = P(130);
  twoAR_ = 2.0 * a * R;
  abr_ = a * a - b * b + R * R;
  InvalidateAll();
  return tkxTranslator::Update();
}

int tkxTrion::SetConfig(int sysType) {
  for (int id = kFirstParam; id <= kLastParam; ++id) Store(id, DefaultParam(id, sysType));
  ResetGravity();
  return Update();
}

// ---- device memory ----

int tkxTrion::ConfigToMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  for (int id = kFirstParam; id <= kLastNamedParam; ++id) tkx::StoreParam(com, id, StorageOf(id), GetParam(id));
  return 0;
}

int tkxTrion::ConfigFromMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  // a read that delivers nothing leaves the value in force
  for (int id = kFirstParam; id <= kLastNamedParam; ++id)
    Store(id, tkx::LoadParam(com, id, StorageOf(id), GetParam(id)));
  return Update();
}

// ---- configuration file section ----

int tkxTrion::ConfigToFile(std::ofstream &out) {
  return tkx::WriteConfigSection(
      out, "[trion]", kFirstParam, kLastNamedParam, [](int id) { return ParamName(id); },
      [this](int id) { return GetParam(id); });
}

int tkxTrion::ConfigFromFile(std::ifstream &in) {
  double values[kLastNamedParam - kFirstParam + 1];
  if (tkx::ReadConfigSection(
          in, "[trion]", kFirstParam, kLastNamedParam, [](int id) { return ParamName(id); }, values) < 0)
    return -1;
  for (int id = kFirstParam; id <= kLastNamedParam; ++id) Store(id, values[id - kFirstParam]);
  return Update();
}

// ---- kinematics ----

bool tkxTrion::Forward(int e0, int e1, int e2, Pose *pose) const {
  const double a = P(136), R = P(130), offset = P(131);
  const int e[3] = {e0, e1, e2};
  double W[3], V[3], U[3], K[3];
  for (int i = 0; i < 3; ++i) {
    const double th = e[i] * anglePerCount_ + offset;
    const double c = std::cos(th), s = std::sin(th);
    pose->th[i] = th;
    pose->ct[i] = c;
    pose->st[i] = s;
    // each sphere as X² + Y² + Z² - W X - V Y - U Z + K = 0
    const double r = 2.0 * (a * c + R);
    W[i] = r * cphi_[i];
    V[i] = r * sphi_[i];
    U[i] = -2.0 * a * s;
    K[i] = twoAR_ * c + abr_;
  }
  return tkx::DeltaPlatform(W, V, U, K, pose->P);
}

void tkxTrion::ToDevice(const double m[3], double *px, double *py, double *pz) const {
  const double w = P(132) + m[2] + P(133) / 2.0;
  if (px) *px = sbeta_ * m[0] - cbeta_ * w;
  if (py) *py = m[1];
  if (pz) *pz = -cbeta_ * m[0] - sbeta_ * w;
}

int tkxTrion::EncToPos(int e0, int e1, int e2, double *px, double *py, double *pz) {
  const uint64_t gen = kinGen_.load(std::memory_order_relaxed);
  double m[3] = {0, 0, 0};
  int result = -1;
  bool hit = false;
  {
    tkx::Lock lock(fwd_.lock);
    if (fwd_.gen == gen && fwd_.e[0] == e0 && fwd_.e[1] == e1 && fwd_.e[2] == e2) {
      hit = true;
      result = fwd_.result;
      for (int i = 0; i < 3; ++i) m[i] = fwd_.P[i];
    }
  }
  if (!hit) {
    Pose pose;
    result = Forward(e0, e1, e2, &pose) ? 0 : -1;
    tkx::Lock lock(fwd_.lock);
    fwd_.gen = gen;
    fwd_.e[0] = e0, fwd_.e[1] = e1, fwd_.e[2] = e2;
    fwd_.result = result;
    if (result == 0)
      for (int i = 0; i < 3; ++i) m[i] = fwd_.P[i] = pose.P[i];
  }
  // no position is a failure, not a position at the origin
  if (result < 0) return tkx::Fail(TKX_ERR_GEOMETRY);
  ToDevice(m, px, py, pz);
  return 0;
}

int tkxTrion::PosToEnc(double px, double py, double pz, int *e0, int *e1, int *e2) {
  const uint64_t gen = kinGen_.load(std::memory_order_relaxed);
  int e[3] = {0, 0, 0};
  bool written = false;
  int result = -1;
  bool hit = false;
  {
    tkx::Lock lock(inv_.lock);
    if (inv_.gen == gen && inv_.p[0] == px && inv_.p[1] == py && inv_.p[2] == pz) {
      hit = true;
      result = inv_.result;
      written = inv_.written;
      for (int i = 0; i < 3; ++i) e[i] = inv_.e[i];
    }
  }
  if (!hit) {
    const double a = P(136), b = P(137), R = P(130);
    const double X = sbeta_ * px - cbeta_ * pz;
    const double Y = py;
    const double Z = -cbeta_ * px - sbeta_ * pz - P(132) - P(133) / 2.0;
    double th[3];
    bool reachable = true;
    for (int i = 0; i < 3 && reachable; ++i) {
      // the point seen in the plane of arm i
      const double o = cphi_[i] * X + sphi_[i] * Y;
      const double dx = cphi_[i] * o - X, dy = sphi_[i] * o - Y;
      const double rho2 = b * b - (dx * dx + dy * dy);
      const double L = std::sqrt((o - R) * (o - R) + Z * Z);
      if (!(rho2 >= 0.0) || !(L > 0.0)) {
        reachable = false;
        break;
      }
      const double rho = std::sqrt(rho2);
      const double psi = std::acos((a * a + L * L - rho2) / (2.0 * a * L));
      th[i] = kPi / 2 - std::asin((o - R) / L) - psi;
      const double elbow = std::acos((a * a + rho2 - L * L) / (2.0 * a * rho));
      // written so that a value that is not a number is refused as well
      reachable = th[i] >= kArmMin && th[i] <= kArmMax && elbow >= kElbowMin && elbow - th[i] >= kOpeningMin;
    }
    if (reachable) {
      const double sign = P(122), turn = countsPerTurn_;
      for (int i = 0; i < 3 && reachable; ++i) {
        double v = (th[i] - P(131)) * sign * turn / kTwoPi;
        // encoders that count downwards report the angle one or more turns on
        if (sign < 0 && !(v > 0.0) && turn > 0.0 && std::isfinite(turn)) v += (std::floor(-v / turn) + 1.0) * turn;
        if (!(v > -2147483648.0 && v < 2147483648.0))
          reachable = false;
        else
          e[i] = static_cast<int>(v);
      }
    }
    written = reachable;
    result = reachable && e[0] > 0 && e[1] > 0 && e[2] > 0 ? 0 : -1;
    tkx::Lock lock(inv_.lock);
    inv_.gen = gen;
    inv_.p[0] = px, inv_.p[1] = py, inv_.p[2] = pz;
    inv_.written = written;
    inv_.result = result;
    if (written)
      for (int i = 0; i < 3; ++i) inv_.e[i] = e[i];
  }
  if (written) {
    if (e0) *e0 = e[0];
    if (e1) *e1 = e[1];
    if (e2) *e2 = e[2];
  }
  return result < 0 ? tkx::Fail(TKX_ERR_GEOMETRY) : 0;
}

int tkxTrion::EncToJacobian(int, int, int, double[3][3]) { return 0; }

// ---- forces ----

bool tkxTrion::Torques(const double F[3], const Pose &pose, const Gravity &g, double user[3], double held[3]) const {
  const double a = P(136), R = P(130);
  tkx::DeltaFrames f;
  if (!tkx::DeltaArmFrames(pose, a, R, cphi_, sphi_, &f)) return false;
  const auto &n = f.n, &t = f.t, &inv = f.inv;
  const double D = f.D;

  const double lowerArms = P(143) + P(144) + P(145);
  const double G = g.active ? (lowerArms / 2.0 + effectorMass) * g.effective : 0.0;
  const double Gv[3] = {G * cbeta_, 0.0, G * sbeta_};
  const double C = P(126) * g.factor;
  for (int i = 0; i < 3; ++i) {
    const double lambda = -(inv[i][0] * F[0] + inv[i][1] * F[1] + inv[i][2] * F[2]) / D;
    const double mu = (inv[i][0] * Gv[0] + inv[i][1] * Gv[1] + inv[i][2] * Gv[2]) / D;
    const double nt = n[i][0] * t[i][0] + n[i][1] * t[i][1] + n[i][2] * t[i][2];
    const double th = pose.th[i], c = pose.ct[i], s = pose.st[i];
    double spring = (P(156 + i) * P(153 + i) * th + P(159 + i)) * P(156 + i);
    if (i == 0) spring = -spring;
    double hold = a * mu * nt + spring;
    if (g.active) {
      const double M = P(143 + i) * (g.effective / 2.0) * a;
      const double sd = s * calpha_ - c * salpha_;  // sin(θ - α)
      const double cd = c * calpha_ + s * salpha_;  // cos(θ - α)
      hold -= (C * sd * cphi_[i] + M * s * cphi_[i]) * cbeta_ + (C * cd + M * c) * sbeta_;
    }
    user[i] = a * lambda * nt * gain_;
    held[i] = hold * gain_;
  }
  return Finite3(user[0], user[1], user[2]) && Finite3(held[0], held[1], held[2]);
}

int tkxTrion::ArmTorques(double fx, double fy, double fz, int e0, int e1, int e2, double user[3], double held[3]) {
  const Gravity g = CurrentGravity();
  const double F[3] = {sbeta_ * fx - cbeta_ * fz, fy, -cbeta_ * fx - sbeta_ * fz};
  Pose pose;
  double u[3], h[3];
  if (!Finite3(fx, fy, fz) || !Forward(e0, e1, e2, &pose) || !Torques(F, pose, g, u, h))
    return tkx::Fail(TKX_ERR_GEOMETRY);
  for (int i = 0; i < 3; ++i) {
    if (user) user[i] = u[i];
    if (held) held[i] = h[i];
  }
  return 0;
}

int tkxTrion::FrcToMot(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1, short *m2) {
  if (!Finite3(fx, fy, fz)) return tkx::Fail(TKX_ERR_GEOMETRY);
  // the fade moves on first, so a repeated request still advances it
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
    const double F[3] = {sbeta_ * fx - cbeta_ * fz, fy, -cbeta_ * fx - sbeta_ * fz};
    Pose pose;
    double user[3], held[3];
    if (Forward(e0, e1, e2, &pose) && Torques(F, pose, g, user, held)) {
      const double limit = P(120), zero = P(121);
      const double slope[3] = {P(147), P(148), P(149)};
      const double offset[3] = {P(150), P(151), P(152)};
      double c[3];
      bool inside = true;
      for (int i = 0; i < 3; ++i) {
        c[i] = std::trunc((user[i] + held[i]) * slope[i] + offset[i]);
        inside = inside && c[i] >= -limit && c[i] <= limit;
      }
      // a calibration that gives no number must not reach the motors as a limit
      bool usable = true;
      for (int i = 0; i < 3; ++i) usable = usable && std::isfinite(held[i] * slope[i] + offset[i]);
      if (!inside) {
        // one common scale of the user part keeps its direction
        double lo = -HUGE_VAL, hi = HUGE_VAL;
        bool any = false;
        for (int i = 0; i < 3; ++i) {
          if (!(std::fabs(user[i]) > kScaleThreshold)) continue;
          const double a1 = ((limit - offset[i]) / slope[i] - held[i]) / user[i];
          const double a2 = ((-limit - offset[i]) / slope[i] - held[i]) / user[i];
          lo = std::fmax(lo, std::fmin(a1, a2));
          hi = std::fmin(hi, std::fmax(a1, a2));
          any = true;
        }
        double s = 1.0;
        if (any && hi < 1.0 && lo < 1.0 && lo <= hi) s = hi;
        if (any && lo > 1.0 && hi > 1.0 && lo <= hi) s = lo;
        // never reversed, never amplified
        if (!(s >= 0.0)) s = 0.0;
        if (s > 1.0) s = 1.0;
        for (int i = 0; i < 3; ++i) {
          double v = std::trunc((user[i] * s + held[i]) * slope[i] + offset[i]);
          usable = usable && std::isfinite(v);
          if (v > limit) v = limit;
          if (v < -limit) v = -limit;
          c[i] = v;
        }
      }
      if (usable) {
        result = 0;
        for (int i = 0; i < 3; ++i) m[i] = static_cast<short>(Whole(c[i] + zero));
      }
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

int tkxTrion::JointTrqToMot(double t0, double t1, double t2, short *m0, short *m1, short *m2) {
  if (!Finite3(t0, t1, t2)) return tkx::Fail(TKX_ERR_GEOMETRY);
  const double t[3] = {t0, t1, t2};
  const double limit = P(120), zero = P(121);
  short m[3];
  for (int i = 0; i < 3; ++i) {
    double v = std::trunc(t[i] * gain_ * P(147 + i) + P(150 + i));
    if (!std::isfinite(v)) return tkx::Fail(TKX_ERR_GEOMETRY);
    if (v > limit) v = limit;
    if (v < -limit) v = -limit;
    m[i] = static_cast<short>(Whole(v + zero));
  }
  if (m0) *m0 = m[0];
  if (m1) *m1 = m[1];
  if (m2) *m2 = m[2];
  return 0;
}
