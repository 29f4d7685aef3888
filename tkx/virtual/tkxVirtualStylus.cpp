#include "tkx/virtual/tkxVirtualStylus.h"

#include <cmath>

namespace tkx {
namespace virt {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

void Stylus::Follow(const double hand[3]) {
  for (int i = 0; i < 3; ++i) r_[i] = std::isfinite(hand[i]) ? hand[i] : 0.0;
}

int32_t Stylus::Encoder(int index) const {
  if (index < 0 || index > 2) return 0;
  // the left hand's stylus turns its middle joint the other way
  const double angle = left_ && index == 1 ? -r_[index] : r_[index];
  const double c = std::round(static_cast<double>(kReference) - angle * kCountsPerTurn / (2.0 * kPi));
  // a 16-bit counter, held at its ends
  if (!(c > 0.0)) return 0;
  if (c > 65535.0) return 65535;
  return static_cast<int32_t>(c);
}

}  // namespace virt
}  // namespace tkx
