// The system-type table.
#include "tkx/tkxTypes.h"

#include "tkx/tkxc.h"

namespace tkx {

namespace {

constexpr double kQuarterPi = 0.7853981633974483;

using T = TranslatorModel;
using R = RotatorModel;
using D = TrionDefaults;

// clang-format off
const SystemType kTypes[] = {
  // type, reported code, name, translator, rotator, stylus offset, trion defaults, channels, flags
  {TKX_SYSTEM_NONE,          kNotReported, "none",                         T::None,   R::None,   0.0,        D::None,     8, 0},
  {TKX_SYSTEM_SIMULATOR,     kNotReported, "simulator",                    T::None,   R::None,   0.0,        D::None,     8, 0},
  {TKX_SYSTEM_TRION3,        31,           "trion.3",                      T::Trion,  R::None,   0.0,        D::Trion,    3, kNoStatus},
  {TKX_SYSTEM_POLUX,         3,            "polux",                        T::Trion,  R::None,   0.0,        D::Polux,    3, kNoStatus | kNoSprings},
  {TKX_SYSTEM_POLUX3,        33,           "polux.3",                      T::Trion,  R::None,   0.0,        D::Polux3,   3, kNoStatus},
  {TKX_SYSTEM_POLUX6_RIGHT,  34,           "polux.6 (right-hand)",         T::Trion,  R::Stylus, kQuarterPi, D::Polux3,   6, 0},
  {TKX_SYSTEM_POLUX7_RIGHT,  35,           "polux.7 (right-hand)",         T::Trion,  R::Stylus, 0.0,        D::Polux3,   7, kGripper},
  {TKX_SYSTEM_POLUX6_LEFT,   36,           "polux.6 (left-hand)",          T::Trion,  R::Stylus, kQuarterPi, D::Polux3,   6, kLeftHanded},
  {TKX_SYSTEM_POLUX7_LEFT,   37,           "polux.7 (left-hand)",          T::Trion,  R::Stylus, 0.0,        D::Polux3,   7, kGripper | kLeftHanded},
  {kSystemUnnamed,           4,            "unknown",                      T::None,   R::None,   0.0,        D::None,     8, 0},
  {TKX_SYSTEM_FALCON,        kNotReported, "Falcon",                       T::Falcon, R::None,   0.0,        D::None,     8, kMemoryless},
  {TKX_SYSTEM_TRION6,        61,           "trion.6",                      T::Trion,  R::Wrist,  0.0,        D::Trion,    6, 0},
  {TKX_SYSTEM_TRION6_HR,     62,           "trion.6 (high-resolution)",    T::Trion,  R::Wrist,  0.0,        D::Trion,    6, kHighResolution},
  {TKX_SYSTEM_TRION3_USB,    63,           "trion.3 (USB)",                T::Trion,  R::None,   0.0,        D::TrionUSB, 6, 0},
  {TKX_SYSTEM_TRION6_USB,    64,           "trion.6 (USB)",                T::Trion,  R::Wrist,  0.0,        D::TrionUSB, 6, kTorqueWithForce},
  {TKX_SYSTEM_CONTROLLER,    81,           "controller",                   T::None,   R::None,   0.0,        D::None,     8, kController},
  {TKX_SYSTEM_CONTROLLER_HR, 82,           "controller (high-resolution)", T::None,   R::None,   0.0,        D::None,     8, kController | kHighResolution | kWideEncoders},
  {TKX_SYSTEM_CUSTOM,        91,           "custom",                       T::None,   R::None,   0.0,        D::None,     8, kController},
  {TKX_SYSTEM_TQ2200,        101,          "TQ-2200",                      T::Trion,  R::None,   0.0,        D::TQ2200,   8, kWideEncoders},
};
// clang-format on

const SystemType kUnknown = {-1, kNotReported, "unknown", T::None, R::None, 0.0, D::None, 8, 0};

}  // namespace

const SystemType &LookUpType(int type) {
  for (const SystemType &t : kTypes)
    if (t.type == type) return t;
  return kUnknown;
}

const SystemType *FindReported(int code) {
  if (code == kNotReported) return nullptr;
  for (const SystemType &t : kTypes)
    if (t.reported == code) return &t;
  return nullptr;
}

const SystemType &LookUpReported(int code) {
  const SystemType *t = FindReported(code);
  return t ? *t : LookUpType(TKX_SYSTEM_CUSTOM);
}

}  // namespace tkx
