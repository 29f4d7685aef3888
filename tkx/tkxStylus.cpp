#include "tkx/tkxStylus.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxConfigSection.h"
#include "tkx/tkxErrno.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// the handle's rest turn about its own axis when the axes are not offset
constexpr double kRestTurn = kPi / 6.0;

const char *const kNames[tkxStylus::kParamCount] = {
    "TKX_EEPROM_STYLUS_ENCRES",  "TKX_EEPROM_STYLUS_MASS",    "TKX_EEPROM_STYLUS_AXISOFFSET",
    "TKX_EEPROM_STYLUS_ENCMIN0", "TKX_EEPROM_STYLUS_ENCMAX0", "TKX_EEPROM_STYLUS_ENCMIN1",
    "TKX_EEPROM_STYLUS_ENCMAX1", "TKX_EEPROM_STYLUS_ENCMIN2", "TKX_EEPROM_STYLUS_ENCMAX2",
};

struct Row {
  double def, lower, upper;
};

// factory defaults and advisory bounds: an encoder of at least 100 counts per
// turn, a handle of at most a kilogram, encoder limits within 16 bits
const Row kRows[tkxStylus::kParamCount] = {
    /* 300 ENCRES */ {1200, 100, 32767},
    /* 301 MASS */ {0, 0, 1},
    /* 302 AXISOFFSET */ {0, 0, 0},
    /* 303 ENCMIN0 */ {32500, 0, 65535},
    /* 304 ENCMAX0 */ {33000, 0, 65535},
    /* 305 ENCMIN1 */ {32500, 0, 65535},
    /* 306 ENCMAX1 */ {33000, 0, 65535},
    /* 307 ENCMIN2 */ {32500, 0, 65535},
    /* 308 ENCMAX2 */ {33000, 0, 65535},
};

bool InRange(int id) { return id >= tkxStylus::kFirstParam && id <= tkxStylus::kLastParam; }

// toward zero, within what the storage holds; not a number gives 0
int Whole(double v, double lo, double hi) {
  if (!(v == v)) return 0;
  if (v <= lo) return static_cast<int>(lo);
  if (v >= hi) return static_cast<int>(hi);
  return static_cast<int>(v);
}

// the memory order: the 16-bit value, the double, the 32-bit values
template <typename F>
void ForEachInMemoryOrder(F f) {
  f(300);
  f(301);
  for (int id = 303; id <= 308; ++id) f(id);
}

}  // namespace

// ---- tables ----

double tkxStylus::DefaultParam(int id) { return InRange(id) ? kRows[id - kFirstParam].def : 0.0; }
double tkxStylus::LowerParam(int id) { return InRange(id) ? kRows[id - kFirstParam].lower : 0.0; }
double tkxStylus::UpperParam(int id) { return InRange(id) ? kRows[id - kFirstParam].upper : 0.0; }
const char *tkxStylus::ParamName(int id) { return InRange(id) ? kNames[id - kFirstParam] : "undefined"; }

tkxStylus::Storage tkxStylus::StorageOf(int id) {
  if (id == 300) return Storage::Short;
  if (id == kMassParam || id == kAxisOffsetParam) return Storage::Double;
  return Storage::Int;
}

bool tkxStylus::Acceptable(int id, double value) {
  return InRange(id) && id != kAxisOffsetParam && std::isfinite(value) && value >= LowerParam(id) &&
         value <= UpperParam(id);
}

// ---- construction and parameters ----

tkxStylus::tkxStylus(double axisOffset) : axisOffset_(std::isfinite(axisOffset) ? axisOffset : 0.0) { SetConfig(0); }

void tkxStylus::Store(int id, double value) {
  if (id == 300)
    encres_ = Whole(value, -32768.0, 32767.0);
  else if (id == kMassParam)
    mass = value;
  else if (id > kAxisOffsetParam && id <= kLastParam)
    enc_[id - 303] = Whole(value, -2147483648.0, 2147483647.0);
}

double tkxStylus::GetParam(int id) {
  if (id == 300) return encres_;
  if (id == kMassParam) return mass;
  if (id > kAxisOffsetParam && id <= kLastParam) return enc_[id - 303];
  // the axis offset included: it is not a parameter
  return 0.0;
}

const char *tkxStylus::GetParamName(int id) { return ParamName(id); }

int tkxStylus::SetParam(int id, double value) {
  if (!InRange(id) || id == kAxisOffsetParam || !std::isfinite(value)) return -1;
  Store(id, value);
  return id == 300 ? Update() : 0;
}

int tkxStylus::Update() {
  k_ = 2.0 * kPi / encres_;
  c_ = std::cos(axisOffset_);
  s_ = std::sin(axisOffset_);
  return 0;
}

int tkxStylus::SetConfig(int) {
  for (int id = kFirstParam; id <= kLastParam; ++id)
    if (id != kAxisOffsetParam) Store(id, DefaultParam(id));
  return Update();
}

// a passive stylus has nothing to calibrate
int tkxStylus::Calibrate(tkxCom *) { return 0; }

// ---- device memory ----

int tkxStylus::ConfigToMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  ForEachInMemoryOrder([&](int id) { tkx::StoreParam(com, id, StorageOf(id), GetParam(id)); });
  return 0;
}

int tkxStylus::ConfigFromMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  ForEachInMemoryOrder([&](int id) {
    // a read that delivers nothing, or a value out of bounds (blank or
    // corrupted memory), leaves the value in force
    const double v = tkx::LoadParam(com, id, StorageOf(id), GetParam(id));
    if (Acceptable(id, v)) Store(id, v);
  });
  return Update();
}

// ---- configuration file section ----

int tkxStylus::ConfigToFile(std::ofstream &out) {
  return tkx::WriteConfigSection(
      out, "[stylus]", kFirstParam, kLastParam, [](int id) { return ParamName(id); },
      [this](int id) { return GetParam(id); });
}

int tkxStylus::ConfigFromFile(std::ifstream &in) {
  double values[kParamCount];
  if (tkx::ReadConfigSection(
          in, "[stylus]", kFirstParam, kLastParam, [](int id) { return ParamName(id); }, values) < 0)
    return -1;
  // the axis offset's line is read and ignored; a value out of bounds is
  // refused and the one in force stays
  for (int id = kFirstParam; id <= kLastParam; ++id)
    if (Acceptable(id, values[id - kFirstParam])) Store(id, values[id - kFirstParam]);
  return Update();
}

// ---- conversions ----

void tkxStylus::Angles(int e0, int e1, int e2, double r[3]) const {
  const int e[3] = {e0, e1, e2};
  for (int i = 0; i < 3; ++i) r[i] = -k_ * (static_cast<double>(e[i]) - kEncoderReference);
  // the left-hand handle's middle axis turns the other way
  if (leftHanded) r[1] = -r[1];
}

int tkxStylus::EncToRot(int e0, int e1, int e2, double *r0, double *r1, double *r2) {
  double r[3];
  Angles(e0, e1, e2, r);
  if (r0) *r0 = r[0];
  if (r1) *r1 = r[1];
  if (r2) *r2 = r[2];
  return 0;
}

// counts of the opposite sign to EncToRot's angles: the encoders' own sense
int tkxStylus::RotToEnc(double r0, double r1, double r2, int *e0, int *e1, int *e2) {
  const double r[3] = {r0, leftHanded ? -r1 : r1, r2};
  double c[3];
  for (int i = 0; i < 3; ++i) {
    c[i] = std::trunc(r[i] / k_) + kEncoderReference;
    // an angle that is no number, or one beyond any encoder, has no count
    if (!(c[i] >= -2147483648.0 && c[i] <= 2147483647.0)) return tkx::Fail(TKX_ERR_GEOMETRY);
  }
  if (e0) *e0 = static_cast<int>(c[0]);
  if (e1) *e1 = static_cast<int>(c[1]);
  if (e2) *e2 = static_cast<int>(c[2]);
  return 0;
}

int tkxStylus::EncToMatrix(int e0, int e1, int e2, double R[3][3]) {
  double r[3];
  Angles(e0, e1, e2, r);
  const double c0 = std::cos(r[0]), s0 = std::sin(r[0]);
  const double c1 = std::cos(r[1]), s1 = std::sin(r[1]);
  if (axisOffset_ == 0.0) {
    // Rx(r0) Ry(r1) Rz(r2 + rest turn), the turn mirrored for the left hand
    const double t2 = r[2] + (leftHanded ? -kRestTurn : kRestTurn);
    const double c2 = std::cos(t2), s2 = std::sin(t2);
    const double p = -c0 * s1 * c2 + s0 * s2, q = c0 * s1 * s2 + s0 * c2;
    R[0][0] = c1 * c2, R[0][1] = -c1 * s2, R[0][2] = s1;
    R[1][0] = s0 * s1 * c2 + c0 * s2, R[1][1] = -s0 * s1 * s2 + c0 * c2, R[1][2] = -s0 * c1;
    R[2][0] = p, R[2][1] = q, R[2][2] = c0 * c1;
    return 0;
  }
  // Ry(offset) Rx(r0) Ry(r1) Rz(r2) Ry(-pi/2): the same handle on tilted axes
  const double c2 = std::cos(r[2]), s2 = std::sin(r[2]);
  const double q = c0 * s1 * s2 + s0 * c2, p = -c0 * s1 * c2 + s0 * s2;
  const double C = c_, S = s_;
  R[0][0] = C * s1 + S * c0 * c1, R[0][1] = -C * c1 * s2 + S * q, R[0][2] = -C * c1 * c2 - S * p;
  R[1][0] = -s0 * c1, R[1][1] = -s0 * s1 * s2 + c0 * c2, R[1][2] = -s0 * s1 * c2 - c0 * s2;
  R[2][0] = C * c0 * c1 - S * s1, R[2][1] = S * c1 * s2 + C * q, R[2][2] = S * c1 * c2 - C * p;
  return 0;
}
