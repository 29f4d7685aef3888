// The passive stylus inside a virtual device: three angles the hand turns it to,
// reported on three encoders.
//
// Its encoders are its own: each angle becomes counts of a 16-bit encoder with
// ENCRES counts per turn around the reference 32768, counting down as the angle
// grows, with the middle angle mirrored on a left-handed stylus, so the library's
// conversion from counts back to angles is checked against it. Angles beyond what
// the encoder holds stop at its end (0 or 65535) rather than wrap.
// Not thread-safe: the device that owns it serialises every call.
#ifndef TKX_VIRTUAL_STYLUS_H
#define TKX_VIRTUAL_STYLUS_H

#include <cstdint>

namespace tkx {
namespace virt {

class Stylus {
 public:
  static constexpr double kCountsPerTurn = 1200.0;
  static constexpr int32_t kReference = 32768;

  explicit Stylus(bool leftHanded) : left_(leftHanded) {}

  bool IsLeftHanded() const { return left_; }
  // the hand holds the stylus: its angles (rad) are the hand's; a non-finite angle reads 0
  void Follow(const double hand[3]);
  const double *Angles() const { return r_; }
  // the counts of angle index (0 to 2)
  int32_t Encoder(int index) const;

 private:
  bool left_;
  double r_[3] = {0.0, 0.0, 0.0};
};

}  // namespace virt
}  // namespace tkx

#endif
