// The servo clock of a virtual device: when it takes its next packet.
#pragma once

namespace tkx {
namespace virt {

// how far, in periods, a host may lag and still be answered on the old grid: a sleep
// that wakes late is made up by answering the next packets at once, so the average
// rate holds on a machine whose timers overshoot. A longer stall restarts the grid.
constexpr double kPaceCatchUpPeriods = 16.0;

// The slot of the next packet, given the slot after the last one (`next`, updated)
// and the time now. Slots lie a period apart; a slot already past is served at once.
inline double NextPaceSlot(double &next, double now, double period) {
  if (next < now - kPaceCatchUpPeriods * period) next = now;
  const double at = next;
  next = at + period;
  return at;
}

}  // namespace virt
}  // namespace tkx
