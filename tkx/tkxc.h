/* tkx: access to force-feedback devices.
 *
 * Conventions shared by every per-device entry:
 *  - the last argument is a device ID: a negative value (pass -1) selects the
 *    current slot (tkxSetDevice, tkxOpenID), 0..3 select that slot; 4 and above
 *    are refused with TKX_ERR_NO_DEVICE (entries that cannot return -1 still set
 *    that code, as their comments say);
 *  - int results: -1 on failure with the calling thread's error code set
 *    (tkxErrnoLocation, tkxErrorGetLastStr), 0 on success; success never clears
 *    the code. A few failures return -1 and leave the code as it was: each
 *    entry's comment names them ("code unchanged"), and a caller that needs a
 *    reason must not read the code after them;
 *  - the entries whose comment says "may return 1" return 1 instead of 0 when an
 *    encoder read they made was answered from the time guard's cache rather than
 *    by a device exchange; 1 is a success. No other entry returns 1 for that;
 *  - read entries zero their outputs (identity for frames) before anything else,
 *    so the outputs hold defined values on failure; pointer outputs may be null,
 *    and a null one is skipped;
 *  - arrays an entry reads from (tkxSetMot, tkxPreset) may not be null: a null
 *    one fails with TKX_ERR_UNDOCUMENTED, after the expert gate and before the
 *    slot is looked at;
 *  - a slot with no open device fails with TKX_ERR_NO_DEVICE unless the comment
 *    says otherwise;
 *  - a device that lacks the mechanism part an entry needs (the arm, the wrist,
 *    the gripper) fails with TKX_ERR_NOT_AVAILABLE, or with -1 and the code
 *    unchanged where the comment says so. This version builds the three-arm
 *    model and the active wrist (TKX_SYSTEM_TRION6, _TRION6_HR, _TRION6_USB)
 *    only: no stylus or gripper model yet, so a device with those answers as
 *    one without them;
 *  - TKX_ERR_COMMUNICATION: a USB transfer failed, or its reply was short or
 *    garbled. TKX_ERR_NOT_READY: the slot's channel is closed, which it stays
 *    after a failed tkxControllerSetDevice, until tkxClose;
 *  - expert entries fail with TKX_ERR_EXPERT_DISABLED while expert mode is off,
 *    before anything else is checked.
 * Units: metres, radians (degrees in the Deg entries), newtons, newton-metres,
 * kilograms, seconds. Encoders and motor commands are raw device integers.
 *
 * Threads: calls on one slot may come from several threads at once. Every device
 * exchange and cache check holds the slot's communication lock (recursive, with
 * priority inheritance, so a low-priority holder delays the haptic thread by at
 * most one exchange); the three-arm model locks its conversion caches and its
 * gravity compensation, the velocity estimator has its own lock, and the last
 * requested force and torque are atomic. Exceptions, which must run while no
 * other thread calls into the same slot because they change or read unlocked
 * what the others use: tkxSetTimeGuard, tkxSetStandardGravity,
 * tkxSetEffectorMass, tkxSetDeviceAngleRad/Deg, tkxReadConfigFromFile,
 * tkxControllerSetDevice, tkxSetOperatingMode and tkxGetEncoder; and
 * tkxGetComFreq, which one thread at a time may call on a slot.
 * tkxOpen, tkxOpenID and tkxClose take no lock and create or delete the slot's
 * channel and models: no other call may overlap them on that slot (a call that
 * overlaps tkxClose can use a freed object), and they and tkxGetDeviceCount must
 * not overlap one another on any slot, since they share the bus registry's
 * counters; calls on the other slots may go on meanwhile. The error code is per
 * thread. Expert mode and the current slot are process-wide, not per thread: a
 * thread that calls tkxSetDevice or tkxOpenID changes what ID -1 means for every
 * thread, so threads should pass explicit IDs or fix the current slot before
 * they start. tkxKbHit and tkxKbGet are for one thread. */
#ifndef TKX_TKXC_H
#define TKX_TKXC_H

#include <stdbool.h>
#include <stdint.h>

#include "tkxError.h"

#ifdef __cplusplus
#define TKX_ID_DEFAULT = -1
extern "C" {
#else
#define TKX_ID_DEFAULT
#endif

#define TKX_API_MAJOR 3
#define TKX_API_MINOR 2
#define TKX_API_RELEASE 2
#define TKX_API_REVISION "1466"

/* System types: the number a device reports, which fixes its mechanism. */
enum {
  TKX_SYSTEM_NONE = 0,
  TKX_SYSTEM_SIMULATOR = 11,
  TKX_SYSTEM_TRION3 = 31,
  TKX_SYSTEM_POLUX = 32,
  TKX_SYSTEM_POLUX3 = 33,
  TKX_SYSTEM_POLUX6_RIGHT = 34,
  TKX_SYSTEM_POLUX7_RIGHT = 35,
  TKX_SYSTEM_POLUX6_LEFT = 36,
  TKX_SYSTEM_POLUX7_LEFT = 37,
  TKX_SYSTEM_FALCON = 60,
  TKX_SYSTEM_TRION6 = 61,
  TKX_SYSTEM_TRION6_HR = 62,
  TKX_SYSTEM_TRION3_USB = 63,
  TKX_SYSTEM_TRION6_USB = 64,
  TKX_SYSTEM_CONTROLLER = 81,
  TKX_SYSTEM_CONTROLLER_HR = 82,
  TKX_SYSTEM_CUSTOM = 91,
  TKX_SYSTEM_TQ2200 = 101,
};

/* Entries of the status array filled by tkxGetStatus, each 0 or 1. Most mirror
 * one bit of the status byte the device reports. */
enum {
  TKX_STATUS_RESERVED0 = 0, /* always 1 after a successful tkxGetStatus */
  TKX_STATUS_RESERVED1 = 1, /* always 1 after a successful tkxGetStatus */
  TKX_STATUS_RESERVED2 = 2, /* always 1 after a successful tkxGetStatus */
  /* status bit 2 clear: the encoders are not valid yet, and encoder reads answer
   * the reset pose stored in the device (on devices whose encoder replies carry
   * the status); tkxWaitForReset waits for this to clear */
  TKX_STATUS_ENCODERS_INVALID = 3,
  TKX_STATUS_BUTTON_EMULATED = 4, /* status bit 3: the button is emulated (tkxEmulateButton) */
  /* status bit 0: force output on (tkxEnableForce); tkxGetForce reports the last
   * requested force only while this is set */
  TKX_STATUS_FORCE_ON = 5,
  TKX_STATUS_BRAKES_ON = 6, /* status bit 1: brakes applied (tkxSetBrakes, tkxStop) */
  /* status bit 5: torque output on; on TKX_SYSTEM_TRION6_USB status bit 0, since
   * that device switches its wrist's torque with its force output */
  TKX_STATUS_TORQUE_ON = 7,
  TKX_STATUS_BIT6 = 8, /* status bit 6; always 1 on TKX_SYSTEM_TRION6_USB */
  TKX_STATUS_BIT4 = 9, /* status bit 4 */
  /* gravity compensation requested on (tkxSetGravityCompensation); always 0 on a
   * device without the three-arm model */
  TKX_STATUS_GRAVITY_ON = 10,
  TKX_STATUS_TIME_GUARD_ON = 11,      /* the slot's time guard is on (tkxSetTimeGuard) */
  TKX_STATUS_WRIST_UNCALIBRATED = 12, /* status bit 7: the wrist must be calibrated (tkxCalibrateWrist) */
  TKX_STATUS_COUNT = 13
};

/* ---- device selection, open and close ---------------------------------- */

/* Counts the attached devices and returns their number; the count that
 * tkxSetDevice checks against. The USB bus is searched once, at the library's
 * start-up, and searched again only after the last device opened in the process
 * has been closed: a device attached in between is not counted. Never fails; the
 * error code is left unchanged. */
int tkxGetDeviceCount(void);

/* Makes ID the current slot, which a negative ID addresses from then on, in every
 * thread. The slot need not be open. Returns 0.
 * Errors: TKX_ERR_NO_DEVICE unless 0 <= ID < the count returned by the last
 * tkxGetDeviceCount (0 before the first call, so that every ID is refused until
 * then) and ID < 4. */
int tkxSetDevice(signed char ID);

/* The current slot (0 until tkxSetDevice or tkxOpenID changes it). Never fails. */
int tkxGetDeviceID(void);

/* Opens the first free device into slot 0 and returns its index; returns 0 when
 * slot 0 is already open, whatever device it holds. Does not change the current
 * slot. Opening loads the calibration from the device's memory; a device whose
 * memory holds no valid calibration header is given the factory calibration,
 * which is written to it. The time guard starts on, at 0.5 ms.
 * A failed open leaves the slot unbound: calls on it fail with
 * TKX_ERR_NO_DEVICE, and the next open tries the device again.
 * Errors: TKX_ERR_NO_DEVICE (no device counted, or none free, or another slot
 * holds it), TKX_ERR_COMMUNICATION (also when the device's type or calibration
 * header cannot be read: its memory is then left as it is),
 * TKX_ERR_OUT_OF_MEMORY, TKX_ERR_AUTOCONFIG
 * (the factory calibration could not be set up: a line naming the support
 * address is printed on standard output). */
int tkxOpen(void);

/* Opens device index into slot index, as tkxOpen does for slot 0, closing first
 * whatever other device the slot holds, and on success makes the slot current.
 * Returns index, or 0 when the slot already holds that device.
 * Errors: as tkxOpen. Code unchanged: index outside 0..3 (nothing is touched),
 * or index not below the count of attached devices. */
int tkxOpenID(signed char index);

/* Applies the brakes and releases the slot's device and models. Always 0, also
 * for a slot that is not open; the current slot stays as it was. An ID of 4 or
 * more closes nothing and sets TKX_ERR_NO_DEVICE. */
int tkxClose(signed char ID TKX_ID_DEFAULT);

/* ---- queries ------------------------------------------------------------ */

/* The system type of the device last opened in the slot (or declared through
 * tkxControllerSetDevice); kept after tkxClose, 0 for a slot never opened. Never
 * fails; an ID of 4 or more answers 0 and sets TKX_ERR_NO_DEVICE. */
int tkxGetSystemType(signed char ID TKX_ID_DEFAULT);

/* Model name of the slot's system type (as tkxGetSystemType): "none" for 0,
 * "unknown" for a type the library does not know. Never null; the text lives as
 * long as the process. An ID of 4 or more answers "none" and sets
 * TKX_ERR_NO_DEVICE. */
const char *tkxGetSystemName(signed char ID TKX_ID_DEFAULT);

/* True when the slot's open device has a left-handed wrist or stylus; false for
 * a closed slot. An ID of 4 or more answers false and sets TKX_ERR_NO_DEVICE. */
bool tkxIsLeftHanded(signed char ID TKX_ID_DEFAULT);

/* Writes the serial number read from the device's memory at the last open of the
 * slot (kept after tkxClose) to *serial (may be null); returns 0 when it is not 0.
 * Code unchanged: -1 when the serial number is 0 (slot never opened, device
 * without one, or a device given the factory calibration).
 * Errors: TKX_ERR_NO_DEVICE for an ID of 4 or more only. */
int tkxGetSerialNumber(uint16_t *serial, signed char ID TKX_ID_DEFAULT);

/* Asks the device for its firmware version (3.2 for firmware 32) into *version
 * (may be null).
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetVersion(double *version, signed char ID TKX_ID_DEFAULT);

/* Writes 3, 2, 2 and 1466 to the four outputs (each may be null) and returns 1466.
 * Never fails; the error code is left unchanged. */
int tkxGetAPIVersion(int *major, int *minor, int *release, int *revision);

/* Fills the status array (TKX_STATUS_* entries, each 0 or 1; all 0 on failure)
 * from the device's status byte, which repeated calls share for the time guard's
 * period and which encoder replies refresh. status may be null. Returns 0, also
 * when the byte came from the cache.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetStatus(int status[TKX_STATUS_COUNT], signed char ID TKX_ID_DEFAULT);

/* The bit value of button index (0..7) when it is pressed (button 2 gives 4), 0
 * when it is released or index is outside 0..7. The button byte is shared for
 * 2 ms while the time guard is on; encoder and status replies refresh it.
 * Errors: TKX_ERR_NO_DEVICE. A failed read answers 0, as released, and sets
 * TKX_ERR_COMMUNICATION or TKX_ERR_NOT_READY: clear the code first to tell. */
int tkxGetButton(int index, signed char ID TKX_ID_DEFAULT);

/* Motor-command exchanges (force, torque and motor commands answered by the
 * device) per second, in thousands (kHz), since the previous call on the slot or
 * since the device was opened; 0.0 for a slot that is not open or when no time
 * has passed. Never fails; an ID of 4 or more answers 0.0 and sets
 * TKX_ERR_NO_DEVICE. */
double tkxGetComFreq(signed char ID TKX_ID_DEFAULT);

/* Writes the arm's base angle (rad; the turn of the whole mechanism about the
 * vertical axis, tkxSetDeviceAngleRad) to *angle (may be null); -1.0 without the
 * three-arm model, also for a slot that is not open. Always returns 0; an ID of 4
 * or more also sets TKX_ERR_NO_DEVICE. */
int tkxGetDeviceAngleRad(double *angle, signed char ID TKX_ID_DEFAULT);

/* tkxGetDeviceAngleRad in degrees (-57.3 without the three-arm model). Always
 * returns 0; an ID of 4 or more also sets TKX_ERR_NO_DEVICE. */
int tkxGetDeviceAngleDeg(double *angle, signed char ID TKX_ID_DEFAULT);

/* Writes the effector mass (kg) that the gravity compensation carries to *mass
 * (may be null); 0.0 without the three-arm model, also for a slot that is not
 * open. Always returns 0; an ID of 4 or more also sets TKX_ERR_NO_DEVICE. */
int tkxGetEffectorMass(double *mass, signed char ID TKX_ID_DEFAULT);

/* ---- position, orientation and velocity ------------------------------- */

/* Reads the arm's encoders and writes the effector's position (m); each output
 * may be null. Feeds the velocity estimator. While the device reports its
 * encoders not valid the position is that of the reset pose. Never returns 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no arm), TKX_ERR_GEOMETRY
 * (the encoders give no position), TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetPosition(double *px, double *py, double *pz, signed char ID TKX_ID_DEFAULT);

/* Reads the wrist's or stylus's encoders and writes the three orientation angles
 * (rad); each output may be null. The active wrist's angles turn its moving part
 * by Rz(og) Ry(ob) Rx(oa), as tkxGetOrientationFrame gives it. May return 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no wrist or stylus),
 * TKX_ERR_GEOMETRY (the wrist's encoders give no orientation), the model's
 * conversion errors, TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetOrientationRad(double *oa, double *ob, double *og, signed char ID TKX_ID_DEFAULT);

/* tkxGetOrientationRad with the angles in degrees; each output may be null. May
 * return 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no wrist or stylus), the
 * model's conversion errors, TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetOrientationDeg(double *oa, double *ob, double *og, signed char ID TKX_ID_DEFAULT);

/* Position (m) and orientation (rad) together: the orientation part on a device
 * with a wrist or stylus, the position part on one with an arm; the part a device
 * lacks stays 0. Each output may be null. Feeds the velocity estimator. May
 * return 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (neither arm nor wrist),
 * TKX_ERR_GEOMETRY, the wrist model's conversion errors, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetPositionAndOrientationRad(double *px, double *py, double *pz, double *oa, double *ob, double *og,
                                    signed char ID TKX_ID_DEFAULT);

/* tkxGetPositionAndOrientationRad with the angles in degrees; each output may be
 * null. May return 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (neither arm nor wrist),
 * TKX_ERR_GEOMETRY, the wrist model's conversion errors, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetPositionAndOrientationDeg(double *px, double *py, double *pz, double *oa, double *ob, double *og,
                                    signed char ID TKX_ID_DEFAULT);

/* Writes the wrist's or stylus's orientation as a rotation matrix (identity
 * first; matrix may be null) and returns the model's result (0).
 * Errors: TKX_ERR_NO_DEVICE, the model's conversion errors, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. Code unchanged: no wrist or stylus (the matrix stays the
 * identity). */
int tkxGetOrientationFrame(double matrix[3][3], signed char ID TKX_ID_DEFAULT);

/* Position (m) and orientation matrix together; without a wrist or stylus the
 * matrix stays the identity. Each output may be null. Feeds the velocity
 * estimator. May return 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no arm, even with a wrist),
 * TKX_ERR_GEOMETRY, the wrist model's conversion errors, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetPositionAndOrientationFrame(double *px, double *py, double *pz, double matrix[3][3],
                                      signed char ID TKX_ID_DEFAULT);

/* Reads the arm's encoders and writes the arm's Jacobian (zeros first; may be
 * null), returning the model's result. The three-arm model does not compute it:
 * on those devices the call returns 0 and the matrix stays all zeros.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no arm),
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetJacobian(double jacobian[3][3], signed char ID TKX_ID_DEFAULT);

/* Reads the position as tkxGetPosition does, feeds it to the velocity estimator
 * and writes the estimated velocity (m/s): the change between the newest sample
 * and the newest one older than the window, over their time apart. Each output may
 * be null. For one window after the open (or tkxConfigLinearVelocity) the samples
 * the estimator starts with, at the origin, take part.
 * Errors: as tkxGetPosition. Code unchanged: -1 with a zero velocity when the
 * samples it would use carry the same time (as with a window holding fewer than
 * two samples). */
int tkxGetLinearVelocity(double *vx, double *vy, double *vz, signed char ID TKX_ID_DEFAULT);

/* Restarts the slot's velocity estimator with a window of windowMs milliseconds
 * holding rate samples per second (the open sets 20 ms at 5000, and sets them
 * again at the next open). A window that holds fewer than two samples leaves
 * tkxGetLinearVelocity failing. Returns 0, also for a slot that is not open.
 * Errors: TKX_ERR_NO_DEVICE for an ID of 4 or more only. */
int tkxConfigLinearVelocity(int windowMs, int rate, signed char ID TKX_ID_DEFAULT);

/* Reads all encoders and writes the gripper's opening angle (rad; angle may be
 * null). Never returns 1.
 * Errors: TKX_ERR_NO_DEVICE, the gripper model's conversion errors,
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. Code unchanged: no gripper. */
int tkxGetGripperAngleRad(double *angle, signed char ID TKX_ID_DEFAULT);

/* tkxGetGripperAngleRad in degrees (angle may be null). Never returns 1.
 * Errors: TKX_ERR_NO_DEVICE, the gripper model's conversion errors,
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. Code unchanged: no gripper. */
int tkxGetGripperAngleDeg(double *angle, signed char ID TKX_ID_DEFAULT);

/* Position (m) of the gripper's thumb tip: the effector position plus the
 * thumb's offset turned by the wrist, from one read of all encoders; feeds the
 * velocity estimator. Each output may be null. On a device with an arm but
 * without a gripper or a wrist it is tkxGetPosition. May return 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY, the models' conversion errors,
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. Code unchanged: no arm. */
int tkxGetGripperThumbPos(double *px, double *py, double *pz, signed char ID TKX_ID_DEFAULT);

/* Position (m) of the gripper's finger tip, as tkxGetGripperThumbPos for the
 * thumb, with the finger's offset following the gripper's opening (encoder 6).
 * Each output may be null. May return 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY, the models' conversion errors,
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. Code unchanged: no arm. */
int tkxGetGripperFingerPos(double *px, double *py, double *pz, signed char ID TKX_ID_DEFAULT);

/* ---- forces, torques and gravity -------------------------------------- */

/* Reads the arm's encoders and commands the force (N) on the effector, with the
 * gravity compensation added; a force beyond the motors' limits is scaled down
 * along its direction. The force is remembered for tkxGetForce before the
 * command is sent. Never returns 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no arm), TKX_ERR_GEOMETRY (no
 * pose for the encoders, or a force that is not a number),
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxSetForce(double fx, double fy, double fz, signed char ID TKX_ID_DEFAULT);

/* Writes the force (N) last requested on the slot (by any thread; kept across
 * close and reopen) while the device reports its force output on, zeros while it
 * is off: no measurement is made. Each output may be null. Needs no arm.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetForce(double *fx, double *fy, double *fz, signed char ID TKX_ID_DEFAULT);

/* Reads the wrist's encoders and commands the torque (N·m, about the three
 * orientation angles) on the wrist; only devices with an active wrist
 * (TKX_SYSTEM_TRION6, _TRION6_HR, _TRION6_USB) take it. A torque beyond what the
 * cables can give is scaled down, never reversed or amplified. Remembered for
 * tkxGetTorque before the command is sent. Never returns 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no active wrist, or no wrist
 * model), TKX_ERR_GEOMETRY (the encoders give no orientation, or a torque that is
 * not a number; nothing is sent), TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxSetTorque(double ta, double tb, double tg, signed char ID TKX_ID_DEFAULT);

/* Writes the torque (N·m) last requested while the device reports its torque
 * output on (TKX_STATUS_TORQUE_ON), zeros while it is off. Each output may be
 * null.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (not an active-wrist type),
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetTorque(double *ta, double *tb, double *tg, signed char ID TKX_ID_DEFAULT);

/* Commands the torque on an active wrist (other devices ignore it), then the force
 * on the arm (when there is one), each after reading its encoders; stops at the
 * first failure, after which the wrist may already hold its new torque. Both
 * values are remembered once every step has succeeded. May return 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (neither arm nor wrist),
 * TKX_ERR_GEOMETRY, the wrist model's conversion errors, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxSetForceAndTorque(double fx, double fy, double fz, double ta, double tb, double tg,
                         signed char ID TKX_ID_DEFAULT);

/* tkxGetForce and tkxGetTorque in one status read; each output may be null.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (neither arm nor wrist),
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxGetForceAndTorque(double *fx, double *fy, double *fz, double *ta, double *tb, double *tg,
                         signed char ID TKX_ID_DEFAULT);

/* The force (N) as tkxSetForce, and on a device with an actuated gripper the
 * gripper's force fg (N) on motor 3, all in one motor command; without a gripper
 * fg is ignored. The force is remembered before the command is sent. Never
 * returns 1. A value that is not a finite number (fg too, with or without a
 * gripper) is refused with TKX_ERR_GEOMETRY before any exchange.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no arm), TKX_ERR_GEOMETRY,
 * the gripper model's conversion errors, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxSetForceAndGripperForce(double fx, double fy, double fz, double fg, signed char ID TKX_ID_DEFAULT);

/* As tkxSetForceAndGripperForce, with the gripper's torque tg (N·m) in place of
 * its force. Never returns 1.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (no arm), TKX_ERR_GEOMETRY,
 * the gripper model's conversion errors, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxSetForceAndGripperTorque(double fx, double fy, double fz, double tg, signed char ID TKX_ID_DEFAULT);

/* Commands the gripper's force (N) alone, on motor 3.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (not a finite number: nothing is
 * sent), the gripper model's conversion errors,
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. Code unchanged: no gripper. */
int tkxSetGripperForce(double fg, signed char ID TKX_ID_DEFAULT);

/* Commands the gripper's torque (N·m) alone, on motor 3.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (not a finite number: nothing is
 * sent), the gripper model's conversion errors,
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. Code unchanged: no gripper. */
int tkxSetGripperTorque(double tg, signed char ID TKX_ID_DEFAULT);

/* 1 switches the gravity compensation on, anything else off; the change fades in
 * or out over 0.25 s of the following force commands. It starts on at every open.
 * Errors: TKX_ERR_NO_DEVICE. Code unchanged: no arm. */
int tkxSetGravityCompensation(int on, signed char ID TKX_ID_DEFAULT);

/* Sets the gravity (m/s²; 9.81 from each open) that the compensation acts against.
 * Errors: TKX_ERR_NO_DEVICE. Code unchanged: no arm. */
int tkxSetStandardGravity(double gravity, signed char ID TKX_ID_DEFAULT);

/* Sets the effector mass (kg) that the gravity compensation carries, until the
 * next open. Returns 0, also for a slot that is not open or a device without an
 * arm, where it does nothing.
 * Errors: TKX_ERR_NO_DEVICE for an ID of 4 or more only. */
int tkxSetEffectorMass(double mass, signed char ID TKX_ID_DEFAULT);

/* Sets the arm's base angle: the turn (rad) of the whole mechanism about the
 * vertical axis, which positions and forces are expressed against.
 * Errors: TKX_ERR_NO_DEVICE. Code unchanged: no arm. */
int tkxSetDeviceAngleRad(double angle, signed char ID TKX_ID_DEFAULT);

/* tkxSetDeviceAngleRad with the angle in degrees.
 * Errors: TKX_ERR_NO_DEVICE. Code unchanged: no arm. */
int tkxSetDeviceAngleDeg(double angle, signed char ID TKX_ID_DEFAULT);

/* 1 applies the brakes, anything else releases them.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxSetBrakes(int on, signed char ID TKX_ID_DEFAULT);

/* Commands a zero force as tkxSetForce does and, once that has succeeded, applies
 * the brakes.
 * Errors: as tkxSetForce (then the brakes are left alone). */
int tkxStop(signed char ID TKX_ID_DEFAULT);

/* Sends the device its reset command (tkxWaitForReset also waits for it).
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxReset(signed char ID TKX_ID_DEFAULT);

/* Sends the device its wrist's reset command.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxResetWrist(signed char ID TKX_ID_DEFAULT);

/* Sends the reset command, then polls the status every 0.5 ms until the device
 * reports its encoders valid; timeoutMs <= 0 waits for ever.
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_TIMEOUT (more than timeoutMs ms passed),
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY (each ends the wait at once). */
int tkxWaitForReset(int timeoutMs, signed char ID TKX_ID_DEFAULT);

/* ---- expert entries ----------------------------------------------------
 * Each fails first with TKX_ERR_EXPERT_DISABLED while expert mode is off. */

/* Switches the device's force output on (non-zero) or off (0).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxEnableForce(unsigned char on, signed char ID TKX_ID_DEFAULT);

/* Sets the time guard's period in whole seconds: reads within that time of the
 * previous successful exchange are answered from its cache (after a failed one
 * the next read asks the device). 0 switches the guard off, a negative period
 * selects the default 0.5 ms; no positive value gives less than a second. The
 * button byte is always shared for 2 ms. No device exchange.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE. */
int tkxSetTimeGuard(int period, signed char ID TKX_ID_DEFAULT);

/* Sets the device's velocity threshold (a raw device value).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxSetVelocityThreshold(unsigned char threshold, signed char ID TKX_ID_DEFAULT);

/* Asks the device for its velocity threshold into *threshold (may be null).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetVelocityThreshold(unsigned char *threshold, signed char ID TKX_ID_DEFAULT);

/* Switches the device's button emulation on (non-zero) or off (0).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxEmulateButton(unsigned char on, signed char ID TKX_ID_DEFAULT);

/* Sends the device its wrist-calibration command (the open does so by itself for
 * an active wrist that reports TKX_STATUS_WRIST_UNCALIBRATED).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxCalibrateWrist(signed char ID TKX_ID_DEFAULT);

/* Sets the device's operating mode; the device answers the mode now in force,
 * which tkxGetOperatingMode reports.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxSetOperatingMode(unsigned char mode, signed char ID TKX_ID_DEFAULT);

/* Writes the operating mode the device last reported (at the open or to
 * tkxSetOperatingMode) to *mode (may be null); no device exchange.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE. */
int tkxGetOperatingMode(unsigned char *mode, signed char ID TKX_ID_DEFAULT);

/* Sets the device's encoder counters of the channels in mask (bit c: channel c)
 * to encoders[c].
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_UNDOCUMENTED (a null array, checked
 * before the device, which is left alone), TKX_ERR_NO_DEVICE,
 * TKX_ERR_NOT_AVAILABLE (a device family without presets),
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxPreset(int encoders[8], unsigned char mask, signed char ID TKX_ID_DEFAULT);

/* Reads all encoders into the slot's own encoder store (which no entry reports).
 * May return 1.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxUpdateEncoders(signed char ID TKX_ID_DEFAULT);

/* Reads the encoders of the channels in mask (bit c: channel c) into encoders[c]
 * (zeros first; the array may be null); channels outside mask or beyond the
 * device's stay 0. May return 1.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetEnc(int encoders[8], unsigned char mask, signed char ID TKX_ID_DEFAULT);

/* The value of encoder index (0..7), 0 for a channel the device does not have;
 * never the cache flag. The devices with 24-bit encoders (TKX_SYSTEM_CONTROLLER_HR,
 * TKX_SYSTEM_TQ2200) report signed values, where -1 cannot be told from a failure
 * except by the error code.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_INDEX_RANGE (index outside 0..7,
 * checked before the device), TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetEncoder(int index, signed char ID TKX_ID_DEFAULT);

/* Reads the arm's encoders (channels 0-2); each output may be null. May return 1.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetTrionEncoders(int *e0, int *e1, int *e2, signed char ID TKX_ID_DEFAULT);

/* Reads the wrist's encoders (channels 3-5; 0 on devices without them); each
 * output may be null. May return 1.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetWristEncoders(int *e3, int *e4, int *e5, signed char ID TKX_ID_DEFAULT);

/* Reads all encoders and writes the gripper's (channel 6; 0 on devices without
 * it) to *enc (may be null). May return 1.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxGetGripperEncoder(int *enc, signed char ID TKX_ID_DEFAULT);

/* Sends raw motor commands to the channels in mask (bit c: motors[c]) below the
 * device's channel count, in one exchange. Never returns 1.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_UNDOCUMENTED (a null array, checked
 * before the device, to which nothing is sent), TKX_ERR_NO_DEVICE,
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxSetMot(short motors[8], unsigned char mask, signed char ID TKX_ID_DEFAULT);

/* Sends one raw motor command to channel index (0..7); the device sends no
 * reply.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_INDEX_RANGE (index outside 0..7,
 * checked before the device, to which nothing is sent), TKX_ERR_NO_DEVICE,
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxSetMotor(int index, short value, signed char ID TKX_ID_DEFAULT);

/* tkxSetMotor for the gripper's motor, channel 3.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxSetGripperMotor(short value, signed char ID TKX_ID_DEFAULT);

/* Sends raw motor commands to the arm's motors (channels 0-2) in one exchange.
 * Never returns 1.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxSetTrionMotor(short m0, short m1, short m2, signed char ID TKX_ID_DEFAULT);

/* Sends raw motor commands to the wrist's motors (channels 3-5) in one exchange.
 * Never returns 1.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (a
 * device without an active wrist), TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. */
int tkxSetWristMotor(short m3, short m4, short m5, signed char ID TKX_ID_DEFAULT);

/* Converts torques (N·m) on the arm's three joints to motor commands, clipped to
 * the motors' limits, and sends them, with no gravity compensation.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (a torque
 * that is not a number), TKX_ERR_NOT_AVAILABLE (a model without the conversion),
 * TKX_ERR_COMMUNICATION, TKX_ERR_NOT_READY. Code unchanged: no arm. */
int tkxSetTrionJointTorque(double t0, double t1, double t2, signed char ID TKX_ID_DEFAULT);

/* Sends the device a brake mask (bit meanings are the device's).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (a
 * device family without selectable brakes), TKX_ERR_COMMUNICATION,
 * TKX_ERR_NOT_READY. */
int tkxSetBrk(unsigned char mask, signed char ID TKX_ID_DEFAULT);

/* The conversions below use the slot's mechanism models, with their current
 * calibration; they make no device exchange. Their outputs are zeroed first and
 * may be null. A slot without the model (as one that is not open) answers -1
 * with the code unchanged; an ID of 4 or more fails with TKX_ERR_NO_DEVICE. */

/* Arm encoders (channels 0-2) to the effector position (m).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (no pose
 * for the encoders), TKX_ERR_NOT_AVAILABLE (a model without it). Code unchanged:
 * no arm model. */
int tkxTrionEncoderToPosition(int e0, int e1, int e2, double *px, double *py, double *pz,
                              signed char ID TKX_ID_DEFAULT);

/* Effector position (m) to arm encoder counts. A position in reach whose counts
 * come out below 1 fails, with the counts written all the same.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (out of
 * reach, or a count below 1), TKX_ERR_NOT_AVAILABLE (a model without it). Code
 * unchanged: no arm model. */
int tkxTrionPositionToEncoder(double px, double py, double pz, int *e0, int *e1, int *e2,
                              signed char ID TKX_ID_DEFAULT);

/* Arm encoders to the arm's Jacobian. The three-arm model does not compute it:
 * it returns 0 and leaves the matrix all zeros.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (a
 * model without it). Code unchanged: no arm model. */
int tkxTrionEncoderToJacobian(int e0, int e1, int e2, double jacobian[3][3], signed char ID TKX_ID_DEFAULT);

/* Arm motor commands at the pose of the given encoders to the force (N) on the
 * effector. The three-arm model does not supply it.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (a
 * model without it, as the three-arm one), TKX_ERR_GEOMETRY. Code unchanged: no
 * arm model. */
int tkxTrionMotorToForce(short m0, short m1, short m2, int e0, int e1, int e2, double *fx, double *fy, double *fz,
                         signed char ID TKX_ID_DEFAULT);

/* Force (N) at the pose of the given encoders to arm motor commands, as
 * tkxSetForce computes them: with the gravity compensation added (a fade in
 * progress moves on) and the motors' limits applied.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (no pose
 * for the encoders, or a force that is not a number), TKX_ERR_NOT_AVAILABLE (a
 * model without it). Code unchanged: no arm model. */
int tkxTrionForceToMotor(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1, short *m2,
                         signed char ID TKX_ID_DEFAULT);

/* Wrist or stylus encoders (channels 3-5) to the orientation angles (rad).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (the
 * wrist's leg lengths admit no orientation), the model's conversion errors
 * (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no wrist or
 * stylus model. */
int tkxWristEncoderToOrientation(int e3, int e4, int e5, double *oa, double *ob, double *og,
                                 signed char ID TKX_ID_DEFAULT);

/* Orientation angles (rad) to wrist or stylus encoder counts; for the active
 * wrist the nearest counts, which read back within one count.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (an angle
 * that is not a number), the model's conversion errors (TKX_ERR_NOT_AVAILABLE for
 * one it does not supply). Code unchanged: no wrist or stylus model. */
int tkxWristOrientationToEncoder(double oa, double ob, double og, int *e3, int *e4, int *e5,
                                 signed char ID TKX_ID_DEFAULT);

/* Wrist motor commands at the pose of the given encoders to the torques (N·m):
 * cable tensions and springs together, the inverse of tkxWristTorqueToMotor
 * within one DAC count.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (no pose
 * for the encoders), the model's conversion errors (TKX_ERR_NOT_AVAILABLE for one
 * it does not supply). Code unchanged: no wrist or stylus model. */
int tkxWristMotorToTorque(short m3, short m4, short m5, int e3, int e4, int e5, double *ta, double *tb, double *tg,
                          signed char ID TKX_ID_DEFAULT);

/* Torques (N·m) at the pose of the given encoders to wrist motor commands, each
 * within the motors' voltage range; a torque beyond it is scaled down, never
 * reversed or amplified.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_GEOMETRY (no pose
 * for the encoders, or a torque that is not a number; the outputs are left
 * alone), the model's conversion errors (TKX_ERR_NOT_AVAILABLE for one it does
 * not supply). Code unchanged: no wrist or stylus model. */
int tkxWristTorqueToMotor(double ta, double tb, double tg, int e3, int e4, int e5, short *m3, short *m4, short *m5,
                          signed char ID TKX_ID_DEFAULT);

/* Gripper encoder (channel 6) to the gripper's opening angle (rad).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, the model's conversion
 * errors (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no
 * gripper model. */
int tkxGripperEncoderToOrientation(int enc, double *angle, signed char ID TKX_ID_DEFAULT);

/* Gripper encoder (channel 6) to the gap between its fingers (m).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, the model's conversion
 * errors (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no
 * gripper model. */
int tkxGripperEncoderToPosition(int enc, double *gap, signed char ID TKX_ID_DEFAULT);

/* Gripper opening angle (rad) to its encoder count.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, the model's conversion
 * errors (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no
 * gripper model. */
int tkxGripperOrientationToEncoder(double angle, int *enc, signed char ID TKX_ID_DEFAULT);

/* Gripper gap (m) to its encoder count.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, the model's conversion
 * errors (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no
 * gripper model. */
int tkxGripperPositionToEncoder(double gap, int *enc, signed char ID TKX_ID_DEFAULT);

/* Gripper motor command (motor 3) to the gripper's force (N).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, the model's conversion
 * errors (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no
 * gripper model. */
int tkxGripperMotorToForce(short mot, double *force, signed char ID TKX_ID_DEFAULT);

/* Gripper motor command (motor 3) to the gripper's torque (N·m).
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, the model's conversion
 * errors (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no
 * gripper model. */
int tkxGripperMotorToTorque(short mot, double *torque, signed char ID TKX_ID_DEFAULT);

/* Gripper force (N) to its motor command (motor 3), limited to the motor's
 * range; one that is not a finite number gives the zero-current command and
 * TKX_ERR_GEOMETRY.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, the model's conversion
 * errors (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no
 * gripper model. */
int tkxGripperForceToMotor(double force, short *mot, signed char ID TKX_ID_DEFAULT);

/* Gripper torque (N·m) to its motor command (motor 3), limited to the motor's
 * range; one that is not a finite number gives the zero-current command and
 * TKX_ERR_GEOMETRY.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, the model's conversion
 * errors (TKX_ERR_NOT_AVAILABLE for one it does not supply). Code unchanged: no
 * gripper model. */
int tkxGripperTorqueToMotor(double torque, short *mot, signed char ID TKX_ID_DEFAULT);

/* Loads a configuration file (a "[header]" block, then one section per model)
 * into the slot's models; the header's serial number replaces the slot's
 * (tkxGetSerialNumber). The device's memory is not written, and the next open
 * loads the device's own calibration again. The whole file is checked before
 * anything is kept: a refused file leaves the slot as it was. A file of another
 * system type (its closing "[system]" section, or sections of models the device
 * lacks) is refused, as is a parameter outside its range.
 * Errors: TKX_ERR_EXPERT_DISABLED, TKX_ERR_NO_DEVICE, TKX_ERR_FILE_NOT_FOUND
 * (null name, or the file cannot be opened), TKX_ERR_AUTOCONFIG (a malformed
 * header or section, another type's file, a value out of range). */
int tkxReadConfigFromFile(const char *filename, signed char ID TKX_ID_DEFAULT);

/* Not an expert entry. Declares the mechanism (its system type) attached to a
 * controller (TKX_SYSTEM_CONTROLLER, _CONTROLLER_HR or _CUSTOM): builds that
 * type's models in place of the slot's, loads their calibration from the device
 * and reports the type from then on, so a second call fails with
 * TKX_ERR_NOT_AVAILABLE until the next open. A type that has no models builds
 * none.
 * Errors: TKX_ERR_NOT_AVAILABLE (the slot's type is not a controller's, as in a
 * slot never opened; checked first), TKX_ERR_NO_DEVICE (a closed slot whose last
 * device was a controller), TKX_ERR_AUTOCONFIG (the models' defaults could not
 * be set; the channel is closed), TKX_ERR_COMMUNICATION or TKX_ERR_NOT_READY (the
 * device's type or calibration header could not be read; the channel is
 * closed). Code unchanged: the device's memory holds no valid calibration
 * header (the channel is closed). */
int tkxControllerSetDevice(int systemType, signed char ID TKX_ID_DEFAULT);

/* ---- modes, errors and utilities ------------------------------------- */

/* Switches expert mode on, for the whole process (it starts off). Returns 0. */
int tkxEnableExpertMode(void);

/* Switches expert mode off, for the whole process. Returns 0. */
int tkxDisableExpertMode(void);

/* The calling thread's error-code cell: 0 until the thread's first failure, then
 * the last failure's code. The thread that loads the library starts with
 * TKX_ERR_NO_DEVICE there when no device is attached at start-up. Never null;
 * valid until the thread ends; the caller may write it (to clear it before a
 * call, for example). */
int *tkxErrnoLocation(void);

/* Message of code; TKX_ERROR_UNKNOWN_STR for a code outside 0..15. Never null;
 * the text lives as long as the process. */
const char *tkxErrorGetStr(int code);

/* Message of the calling thread's current code (tkxErrnoLocation). Never null. */
const char *tkxErrorGetLastStr(void);

/* Library time in seconds: about 0 at the first reading in the process, never
 * decreasing (monotonic clock). Never fails. */
double tkxGetTime(void);

/* Library time in microseconds (the same clock). Never fails. */
uint64_t tkxGetSystemCounter(void);

/* Sleeps seconds (0 or less returns at once); longer sleeps are made of 1-second
 * steps. A signal cuts the current step short. */
void tkxSleep(double seconds);

/* True when a key is waiting on standard input, without blocking; the key stays
 * to be read (tkxKbGet). On a terminal, line buffering and echo are switched off
 * for the check only. */
bool tkxKbHit(void);

/* The next character of standard input, blocking as the terminal is set (after
 * tkxKbHit returned true, that key at once); EOF (-1) at the end of input. */
int tkxKbGet(void);

#ifdef __cplusplus
}
#endif

#endif /* TKX_TKXC_H */
