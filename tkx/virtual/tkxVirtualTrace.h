// The per-exchange trace of the virtual devices (TKX_VIRTUAL_TRACE): one text line
// per encoder read or motor command a device answers, with the simulated time, the
// hand, the effector, the motor force and the gripper. The exchange only copies a
// fixed-size record into a preallocated ring; the trace's own thread formats and
// writes the file, so no exchange allocates or waits for it.
//
// Columns, after a header line starting with '#':
//   t device button hand_x hand_y hand_z effector_x effector_y effector_z
//   force_x force_y force_z gripper gripper_hand gripper_torque
// seconds of simulated time since the device's first exchange (the hand script's
// clock), the device's number (a Falcon's is negated), metres and newtons in the
// device frame, the finger's angle and the angle the hand pulls it toward (rad)
// and the gripper motor's torque (N m); "nan" on devices without a gripper.
// Records the ring could not take (a host exchanging far faster than the writer
// drains) are counted on a "# lost N records" line.
#ifndef TKX_VIRTUAL_TRACE_H
#define TKX_VIRTUAL_TRACE_H

#include "tkx/virtual/tkxVirtualMechanism.h"

#include <cstdint>

namespace tkx {
namespace virt {
namespace detail {

// true once a trace file is open; a relaxed load, cheap enough for the exchange path
bool TraceEnabled();
// copies one exchange's state into the ring; never allocates, never blocks
void TraceExchange(int device, const MechanismState &state);
// writes every record taken so far (not for exchanges)
void TraceFlush();
// starts run(arg) on a detached thread, as the log's and the trace's writers are;
// false when no thread could be made
bool StartDetachedThread(void *(*run)(void *), void *arg);

}  // namespace detail

namespace testing {

// starts the trace on this file (truncating it), as TKX_VIRTUAL_TRACE does, or
// moves it there; false when the file cannot be opened
bool StartTrace(const char *path);
// writes every record taken so far
void FlushTrace();
// records lost so far because the ring was full
uint64_t TraceLost();

}  // namespace testing
}  // namespace virt
}  // namespace tkx

#endif
