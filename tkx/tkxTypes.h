// The system types: one row per type a device can report, with the models the
// library builds for it, its per-type peculiarities and the shape of its USB
// replies. Every per-type decision asks this table, so a new type is one row.
#ifndef TKX_TYPES_H
#define TKX_TYPES_H

namespace tkx {

// a type the protocol knows (reported as code 4) that has no model name
constexpr int kSystemUnnamed = 39;
// the reported code of a type no device reports itself
constexpr int kNotReported = -1;

enum class TranslatorModel { None, Trion, Falcon };
// the wrist is active (its motors take torques); the stylus only reads angles
enum class RotatorModel { None, Wrist, Stylus };
// which set of the trion's factory defaults a type takes
enum class TrionDefaults { None, Polux, Trion, Polux3, TrionUSB, TQ2200 };

enum TypeFlag : unsigned {
  kGripper = 1u << 0,          // actuated gripper (pincher) on encoder 6 and motor 3
  kLeftHanded = 1u << 1,       // rotator and gripper built for the left hand
  kHighResolution = 1u << 2,   // finer encoders (the trion counts 2000 per turn)
  kController = 1u << 3,       // a bare controller: its mechanism is declared after open
  kTorqueWithForce = 1u << 4,  // the status reports the torque output with the force output
  kMemoryless = 1u << 5,       // keeps no calibration in device memory
  kNoSprings = 1u << 6,        // a trion without spring compensation
  kWideEncoders = 1u << 7,     // 24-bit encoders in 4-byte reply fields
  kNoStatus = 1u << 8,         // replies carry encoders only, no status and buttons
};

struct SystemType {
  int type;          // TKX_SYSTEM_*
  int reported;      // the code a USB device reports for it, or kNotReported
  const char *name;  // model name
  TranslatorModel translator;
  RotatorModel rotator;
  double stylusOffset;  // the stylus's axis offset angle (rad)
  TrionDefaults trion;
  int channels;    // encoder channels in USB replies
  unsigned flags;  // TypeFlag

  bool Has(TypeFlag f) const { return (flags & f) != 0; }
  bool HasWrist() const { return rotator == RotatorModel::Wrist; }
  bool HasStylus() const { return rotator == RotatorModel::Stylus; }
  bool HasGripper() const { return Has(kGripper); }
  bool IsLeftHanded() const { return Has(kLeftHanded); }
};

// the row of a system type; a number without a row gets one named "unknown"
// that builds nothing
const SystemType &LookUpType(int type);
// the row claiming a code a USB device reports, or null
const SystemType *FindReported(int code);
// the same, where a code no row claims stands for a custom device
const SystemType &LookUpReported(int code);

}  // namespace tkx

#endif
