#include "tkx/tkxPincher.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxConfigSection.h"
#include "tkx/tkxErrno.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

const char *const kNames[tkxPincher::kParamCount] = {
    "TKX_EEPROM_PINCHER_ENCRES",        "TKX_EEPROM_PINCHER_REDUCTION",       "TKX_EEPROM_PINCHER_MOTORVALMAX",
    "TKX_EEPROM_PINCHER_MOTORZEROVAL",  "TKX_EEPROM_PINCHER_MOTORVOLTMAX",    "TKX_EEPROM_PINCHER_DACVALUEPERVOLT",
    "TKX_EEPROM_PINCHER_MOTORNMPERAMP", "TKX_EEPROM_PINCHER_MOTORVOLTPERAMP", "TKX_EEPROM_PINCHER_PIVOTANGLEY",
    "TKX_EEPROM_PINCHER_PIVOTANGLEZ",   "TKX_EEPROM_PINCHER_PIVOTOFFSETX",    "TKX_EEPROM_PINCHER_PIVOTOFFSETZ",
    "TKX_EEPROM_PINCHER_FINGERRADIUS",  "TKX_EEPROM_PINCHER_ANGLEMIN",        "TKX_EEPROM_PINCHER_ANGLEMAX",
    "TKX_EEPROM_PINCHER_THUMBX",        "TKX_EEPROM_PINCHER_THUMBY",          "TKX_EEPROM_PINCHER_THUMBZ",
    "TKX_EEPROM_PINCHER_ENCMIN",        "TKX_EEPROM_PINCHER_ENCMAX",          "TKX_EEPROM_PINCHER_DACSLOPE",
    "TKX_EEPROM_PINCHER_DACOFFSET",
};

struct Row {
  double def, lower, upper;
};

// factory defaults and advisory bounds; the bounds keep the angle per count and
// the torque gain finite and positive, and the motor values within the DAC's
// 12 bits
const Row kRows[tkxPincher::kParamCount] = {
    /* 400 ENCRES */ {4000, 100, 32767},
    /* 401 REDUCTION */ {14.29, 1, 100},
    /* 402 MOTORVALMAX */ {2047, 1, 4095},
    /* 403 MOTORZEROVAL */ {2048, 0, 4095},
    /* 404 MOTORVOLTMAX */ {2.5, 0, 50},
    /* 405 DACVALUEPERVOLT */ {819.2, 1, 10000},
    /* 406 MOTORNMPERAMP */ {0.0438, 1e-4, 10},
    /* 407 MOTORVOLTPERAMP */ {3.2, 1e-3, 1000},
    /* 408 PIVOTANGLEY */ {kPi / 2, -kPi, kPi},
    /* 409 PIVOTANGLEZ */ {0.6108652381980153, -kPi, kPi},
    /* 410 PIVOTOFFSETX */ {0.0525, -0.5, 0.5},
    /* 411 PIVOTOFFSETZ */ {0, -0.5, 0.5},
    /* 412 FINGERRADIUS */ {0.0525, 0, 0.5},
    /* 413 ANGLEMIN */ {2.157226955464991, -kTwoPi, kTwoPi},
    /* 414 ANGLEMAX */ {2.6633724385433464, -kTwoPi, kTwoPi},
    /* 415 THUMBX */ {0, -0.5, 0.5},
    /* 416 THUMBY */ {-0.02, -0.5, 0.5},
    /* 417 THUMBZ */ {0, -0.5, 0.5},
    /* 418 ENCMIN */ {32000, 0, 65535},
    /* 419 ENCMAX */ {35000, 0, 65535},
    /* 420 DACSLOPE */ {1.0, 0.01, 100},
    /* 421 DACOFFSET */ {0, -4095, 4095},
};

bool InRange(int id) { return id >= tkxPincher::kFirstParam && id <= tkxPincher::kLastParam; }

// toward zero, within what the storage holds; not a number gives 0
double Whole(double v, double lo, double hi) {
  if (!(v == v)) return 0.0;
  if (v <= lo) return lo;
  if (v >= hi) return hi;
  return std::trunc(v);
}

// the memory order: the 16-bit values, the 32-bit ones, then the doubles
template <typename F>
void ForEachInMemoryOrder(F f) {
  f(400);
  f(403);
  f(402);
  f(418);
  f(419);
  f(401);
  for (int id = 404; id <= 417; ++id) f(id);
  f(420);
  f(421);
}

}  // namespace

// ---- tables ----

double tkxPincher::DefaultParam(int id) { return InRange(id) ? kRows[id - kFirstParam].def : 0.0; }
double tkxPincher::LowerParam(int id) { return InRange(id) ? kRows[id - kFirstParam].lower : 0.0; }
double tkxPincher::UpperParam(int id) { return InRange(id) ? kRows[id - kFirstParam].upper : 0.0; }
const char *tkxPincher::ParamName(int id) { return InRange(id) ? kNames[id - kFirstParam] : "undefined"; }

tkxPincher::Storage tkxPincher::StorageOf(int id) {
  if (id == 400 || id == 402 || id == 403) return Storage::Short;
  if (id == 418 || id == 419) return Storage::Int;
  return Storage::Double;
}

bool tkxPincher::Acceptable(int id, double value) {
  return InRange(id) && std::isfinite(value) && value >= LowerParam(id) && value <= UpperParam(id);
}

// ---- construction and parameters ----

tkxPincher::tkxPincher() {
  mass = kMass;
  for (int id = kFirstParam; id <= kLastParam; ++id) Store(id, DefaultParam(id));
  Update();
}

void tkxPincher::Store(int id, double value) {
  switch (StorageOf(id)) {
    case Storage::Short:
      value = Whole(value, -32768.0, 32767.0);
      break;
    case Storage::Int:
      value = Whole(value, -2147483648.0, 2147483647.0);
      break;
    case Storage::Double:
      break;
  }
  P(id) = value;
}

double tkxPincher::GetParam(int id) { return InRange(id) ? P(id) : 0.0; }

const char *tkxPincher::GetParamName(int id) { return ParamName(id); }

int tkxPincher::SetParam(int id, double value) {
  // a value that is no number would make every conversion undefined
  if (!InRange(id) || !std::isfinite(value)) return -1;
  Store(id, value);
  switch (id) {
    case 400:
    case 401:
    case 405:
    case 406:
    case 407:
      return Update();
    default:
      return 0;
  }
}

int tkxPincher::Update() {
  k_ = kTwoPi / (P(400) * P(401));
  gain_ = P(405) * P(407) / (P(406) * P(401));
  return 0;
}

int tkxPincher::SetConfig(int) {
  for (int id = kFirstParam; id <= kLastParam; ++id) Store(id, DefaultParam(id));
  return Update();
}

// nothing to calibrate: the finger's reference is the encoder's reset value
int tkxPincher::Calibrate(tkxCom *) { return 0; }

// ---- device memory ----

int tkxPincher::ConfigToMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  ForEachInMemoryOrder([&](int id) { tkx::StoreParam(com, id, StorageOf(id), P(id)); });
  return 0;
}

int tkxPincher::ConfigFromMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  ForEachInMemoryOrder([&](int id) {
    // a read that delivers nothing, or a value out of bounds (blank or
    // corrupted memory), leaves the value in force
    const double v = tkx::LoadParam(com, id, StorageOf(id), P(id));
    if (Acceptable(id, v)) Store(id, v);
  });
  return Update();
}

// ---- configuration file section ----

int tkxPincher::ConfigToFile(std::ofstream &out) {
  return tkx::WriteConfigSection(
      out, "[pincher]", kFirstParam, kLastParam, [](int id) { return ParamName(id); },
      [this](int id) { return P(id); });
}

int tkxPincher::ConfigFromFile(std::ifstream &in) {
  double values[kParamCount];
  if (tkx::ReadConfigSection(
          in, "[pincher]", kFirstParam, kLastParam, [](int id) { return ParamName(id); }, values) < 0)
    return -1;
  // a value out of bounds is refused: the one in force stays
  for (int id = kFirstParam; id <= kLastParam; ++id)
    if (Acceptable(id, values[id - kFirstParam])) Store(id, values[id - kFirstParam]);
  return Update();
}

// ---- conversions ----

int tkxPincher::EncToRot(int enc, double *angle) {
  if (angle) *angle = (static_cast<double>(enc) - kEncoderReference) * k_;
  return 0;
}

int tkxPincher::RotToEnc(double angle, int *enc) {
  const double counts = std::trunc(angle / k_) + kEncoderReference;
  // an angle that is no number, or one beyond any encoder, has no count
  if (!(counts >= -2147483648.0 && counts <= 2147483647.0)) return tkx::Fail(TKX_ERR_GEOMETRY);
  if (enc) *enc = static_cast<int>(counts);
  return 0;
}

int tkxPincher::MotToTrq(short mot, double *torque) {
  if (torque) *torque = (mot - P(403) - P(421)) / (P(420) * gain_);
  return 0;
}

bool tkxPincher::Command(double torque, short *mot) const {
  const double zero = P(403);
  short out = static_cast<short>(zero);
  bool ok = std::isfinite(torque);
  if (ok) {
    // in floating point and limited before the conversion: a large torque
    // would overflow any integer on the way
    double v = zero + std::trunc(torque * gain_ * P(420) + P(421));
    const double hi = zero + P(402);
    if (!(v == v)) v = zero;
    if (v > hi) v = hi;
    if (v < 0.0) v = 0.0;
    out = static_cast<short>(v);
  }
  if (mot) *mot = out;
  return ok;
}

int tkxPincher::TrqToMot(double torque, short *mot) {
  // no command from a torque that is no number: the motor keeps what it has
  return Command(torque, mot) ? 0 : tkx::Fail(TKX_ERR_GEOMETRY);
}

// the finger's length is the lever: a force that is no number gives no torque
int tkxPincher::FrcToMot(double force, short *mot) { return TrqToMot(force * P(412), mot); }

namespace {

void Rotate(const double R[3][3], const double v[3], double *x, double *y, double *z) {
  if (x) *x = R[0][0] * v[0] + R[0][1] * v[1] + R[0][2] * v[2];
  if (y) *y = R[1][0] * v[0] + R[1][1] * v[1] + R[1][2] * v[2];
  if (z) *z = R[2][0] * v[0] + R[2][1] * v[1] + R[2][2] * v[2];
}

}  // namespace

int tkxPincher::EncToThumb(double R[3][3], double *x, double *y, double *z) {
  const double t[3] = {P(415), leftHanded ? -P(416) : P(416), P(417)};
  Rotate(R, t, x, y, z);
  return 0;
}

int tkxPincher::EncToFinger(int enc, double R[3][3], double *x, double *y, double *z) {
  // a left-handed gripper is the mirror image, its encoder counting the other way
  const double psi = leftHanded ? -P(409) : P(409);
  const double beta = leftHanded ? -P(414) : P(414);
  const double phi = beta - (static_cast<double>(enc) - kEncoderReference) * k_;
  const double f[3] = {P(412) * std::cos(psi + phi) + P(410) * std::cos(psi),
                       P(412) * std::sin(psi + phi) + P(410) * std::sin(psi), P(411)};
  Rotate(R, f, x, y, z);
  return 0;
}
