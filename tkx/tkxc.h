/* tkx: access to force-feedback devices.
 *
 * Conventions shared by every per-device entry:
 *  - the last argument is a device ID: a negative value (pass -1) selects the
 *    current slot (tkxSetDevice), 0..3 select that slot; 4 and above are
 *    refused with TKX_ERR_NO_DEVICE;
 *  - int results: -1 on failure with the calling thread's error code set
 *    (tkxErrnoLocation, tkxErrorGetLastStr), 0 on success, 1 for a read that
 *    was answered from the time-guard cache; success never clears the code;
 *  - read entries zero their outputs (identity for frames) before anything else;
 *  - a slot with no open device fails with TKX_ERR_NO_DEVICE;
 *  - expert entries fail with TKX_ERR_EXPERT_DISABLED while expert mode is off,
 *    before anything else is checked.
 * Units: metres, radians (degrees in the Deg entries), newtons, newton-metres,
 * kilograms, seconds. Encoders and motor commands are raw device integers. */
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

/* ---- device selection, open and close ---------------------------------- */

/* Recounts the attached devices and returns their number (never fails). */
int tkxGetDeviceCount(void);
/* Makes ID the current slot. Errors: TKX_ERR_NO_DEVICE unless
 * 0 <= ID < the count of the last tkxGetDeviceCount. */
int tkxSetDevice(signed char ID);
/* The current slot. */
int tkxGetDeviceID(void);
/* Opens the first free device into slot 0; returns its index, 0 when slot 0
 * is already open. Errors: TKX_ERR_NO_DEVICE, the communication layer's
 * codes, TKX_ERR_AUTOCONFIG. */
int tkxOpen(void);
/* Opens device index into slot index and makes it current. index outside
 * 0..3: -1 with the error code unchanged. Otherwise as tkxOpen. */
int tkxOpenID(signed char index);
/* Closes the slot; always 0 (also for an ID of 4 or more, which touches nothing). */
int tkxClose(signed char ID TKX_ID_DEFAULT);

/* ---- queries ------------------------------------------------------------ */

/* The slot's system type, 0 for a slot never opened (and for a refused ID). */
int tkxGetSystemType(signed char ID TKX_ID_DEFAULT);
/* Model name of the slot's system type; "unknown" for unknown types. */
const char *tkxGetSystemName(signed char ID TKX_ID_DEFAULT);
/* True when the slot has a left-handed rotator. */
bool tkxIsLeftHanded(signed char ID TKX_ID_DEFAULT);
/* Serial number; -1 with the error code unchanged when it is 0. */
int tkxGetSerialNumber(uint16_t *serial, signed char ID TKX_ID_DEFAULT);
/* Firmware version. Errors: TKX_ERR_NO_DEVICE, the communication layer's codes. */
int tkxGetVersion(double *version, signed char ID TKX_ID_DEFAULT);
/* Writes 3, 2, 2, 1466 (null pointers are skipped) and returns 1466. */
int tkxGetAPIVersion(int *major, int *minor, int *release, int *revision);
/* 13 status flags (0 or 1). Errors: TKX_ERR_NO_DEVICE. */
int tkxGetStatus(int status[13], signed char ID TKX_ID_DEFAULT);
/* Bit value of button index (button 2 pressed gives 4). Errors: TKX_ERR_NO_DEVICE. */
int tkxGetButton(int index, signed char ID TKX_ID_DEFAULT);
/* Motor-command exchanges per second since the previous call, in thousands;
 * 0.0 without a device. */
double tkxGetComFreq(signed char ID TKX_ID_DEFAULT);
int tkxGetDeviceAngleRad(double *angle, signed char ID TKX_ID_DEFAULT);
int tkxGetDeviceAngleDeg(double *angle, signed char ID TKX_ID_DEFAULT);
int tkxGetEffectorMass(double *mass, signed char ID TKX_ID_DEFAULT);

/* ---- position, orientation and velocity ----------------------------------
 * Errors: TKX_ERR_NO_DEVICE, TKX_ERR_NOT_AVAILABLE (the device lacks the
 * part), TKX_ERR_GEOMETRY, the communication layer's codes. */

int tkxGetPosition(double *px, double *py, double *pz, signed char ID TKX_ID_DEFAULT);
int tkxGetOrientationRad(double *oa, double *ob, double *og, signed char ID TKX_ID_DEFAULT);
int tkxGetOrientationDeg(double *oa, double *ob, double *og, signed char ID TKX_ID_DEFAULT);
int tkxGetPositionAndOrientationRad(double *px, double *py, double *pz, double *oa, double *ob,
                                    double *og, signed char ID TKX_ID_DEFAULT);
int tkxGetPositionAndOrientationDeg(double *px, double *py, double *pz, double *oa, double *ob,
                                    double *og, signed char ID TKX_ID_DEFAULT);
int tkxGetOrientationFrame(double matrix[3][3], signed char ID TKX_ID_DEFAULT);
int tkxGetPositionAndOrientationFrame(double *px, double *py, double *pz, double matrix[3][3],
                                      signed char ID TKX_ID_DEFAULT);
int tkxGetJacobian(double jacobian[3][3], signed char ID TKX_ID_DEFAULT);
int tkxGetLinearVelocity(double *vx, double *vy, double *vz, signed char ID TKX_ID_DEFAULT);
/* window in milliseconds, rate in samples per second. */
int tkxConfigLinearVelocity(int windowMs, int rate, signed char ID TKX_ID_DEFAULT);
int tkxGetGripperAngleRad(double *angle, signed char ID TKX_ID_DEFAULT);
int tkxGetGripperAngleDeg(double *angle, signed char ID TKX_ID_DEFAULT);
int tkxGetGripperThumbPos(double *px, double *py, double *pz, signed char ID TKX_ID_DEFAULT);
int tkxGetGripperFingerPos(double *px, double *py, double *pz, signed char ID TKX_ID_DEFAULT);

/* ---- forces, torques and gravity ----------------------------------------
 * Errors: as above. */

int tkxSetForce(double fx, double fy, double fz, signed char ID TKX_ID_DEFAULT);
int tkxGetForce(double *fx, double *fy, double *fz, signed char ID TKX_ID_DEFAULT);
int tkxSetTorque(double ta, double tb, double tg, signed char ID TKX_ID_DEFAULT);
int tkxGetTorque(double *ta, double *tb, double *tg, signed char ID TKX_ID_DEFAULT);
int tkxSetForceAndTorque(double fx, double fy, double fz, double ta, double tb, double tg,
                         signed char ID TKX_ID_DEFAULT);
int tkxGetForceAndTorque(double *fx, double *fy, double *fz, double *ta, double *tb, double *tg,
                         signed char ID TKX_ID_DEFAULT);
int tkxSetForceAndGripperForce(double fx, double fy, double fz, double fg, signed char ID TKX_ID_DEFAULT);
int tkxSetForceAndGripperTorque(double fx, double fy, double fz, double tg, signed char ID TKX_ID_DEFAULT);
int tkxSetGripperForce(double fg, signed char ID TKX_ID_DEFAULT);
int tkxSetGripperTorque(double tg, signed char ID TKX_ID_DEFAULT);
/* 1 switches gravity compensation on, anything else off. */
int tkxSetGravityCompensation(int on, signed char ID TKX_ID_DEFAULT);
int tkxSetStandardGravity(double gravity, signed char ID TKX_ID_DEFAULT);
int tkxSetEffectorMass(double mass, signed char ID TKX_ID_DEFAULT);
int tkxSetDeviceAngleRad(double angle, signed char ID TKX_ID_DEFAULT);
int tkxSetDeviceAngleDeg(double angle, signed char ID TKX_ID_DEFAULT);
/* 1 applies the brakes, anything else releases them. */
int tkxSetBrakes(int on, signed char ID TKX_ID_DEFAULT);
/* Zero force, then brakes on. */
int tkxStop(signed char ID TKX_ID_DEFAULT);
/* Errors: TKX_ERR_NO_DEVICE, the communication layer's codes. */
int tkxReset(signed char ID TKX_ID_DEFAULT);
int tkxResetWrist(signed char ID TKX_ID_DEFAULT);
/* Waits until the encoders are valid; 0 waits for ever. Errors: TKX_ERR_TIMEOUT too. */
int tkxWaitForReset(int timeoutMs, signed char ID TKX_ID_DEFAULT);

/* ---- expert entries ------------------------------------------------------
 * Each fails with TKX_ERR_EXPERT_DISABLED while expert mode is off, and with
 * TKX_ERR_NO_DEVICE on a slot without a device; conversions of a missing
 * mechanism part return -1 with the error code unchanged. */

int tkxEnableForce(unsigned char on, signed char ID TKX_ID_DEFAULT);
/* Time-guard period in whole seconds: 0 switches it off, negative selects 0.5 ms. */
int tkxSetTimeGuard(int period, signed char ID TKX_ID_DEFAULT);
int tkxSetVelocityThreshold(unsigned char threshold, signed char ID TKX_ID_DEFAULT);
int tkxGetVelocityThreshold(unsigned char *threshold, signed char ID TKX_ID_DEFAULT);
int tkxEmulateButton(unsigned char on, signed char ID TKX_ID_DEFAULT);
int tkxCalibrateWrist(signed char ID TKX_ID_DEFAULT);
int tkxSetOperatingMode(unsigned char mode, signed char ID TKX_ID_DEFAULT);
int tkxGetOperatingMode(unsigned char *mode, signed char ID TKX_ID_DEFAULT);
int tkxPreset(int encoders[8], unsigned char mask, signed char ID TKX_ID_DEFAULT);
int tkxUpdateEncoders(signed char ID TKX_ID_DEFAULT);
int tkxGetEnc(int encoders[8], unsigned char mask, signed char ID TKX_ID_DEFAULT);
/* Value of encoder index (0..7). Errors: TKX_ERR_INDEX_RANGE for an index above 7. */
int tkxGetEncoder(int index, signed char ID TKX_ID_DEFAULT);
int tkxGetTrionEncoders(int *e0, int *e1, int *e2, signed char ID TKX_ID_DEFAULT);
int tkxGetWristEncoders(int *e3, int *e4, int *e5, signed char ID TKX_ID_DEFAULT);
int tkxGetGripperEncoder(int *enc, signed char ID TKX_ID_DEFAULT);
int tkxSetMot(short motors[8], unsigned char mask, signed char ID TKX_ID_DEFAULT);
int tkxSetMotor(int index, short value, signed char ID TKX_ID_DEFAULT);
int tkxSetGripperMotor(short value, signed char ID TKX_ID_DEFAULT);
int tkxSetTrionMotor(short m0, short m1, short m2, signed char ID TKX_ID_DEFAULT);
int tkxSetWristMotor(short m3, short m4, short m5, signed char ID TKX_ID_DEFAULT);
int tkxSetTrionJointTorque(double t0, double t1, double t2, signed char ID TKX_ID_DEFAULT);
/* Errors: TKX_ERR_NOT_AVAILABLE on devices without selectable brakes. */
int tkxSetBrk(unsigned char mask, signed char ID TKX_ID_DEFAULT);
int tkxTrionEncoderToPosition(int e0, int e1, int e2, double *px, double *py, double *pz,
                              signed char ID TKX_ID_DEFAULT);
int tkxTrionPositionToEncoder(double px, double py, double pz, int *e0, int *e1, int *e2,
                              signed char ID TKX_ID_DEFAULT);
int tkxTrionEncoderToJacobian(int e0, int e1, int e2, double jacobian[3][3], signed char ID TKX_ID_DEFAULT);
int tkxTrionMotorToForce(short m0, short m1, short m2, int e0, int e1, int e2, double *fx, double *fy,
                         double *fz, signed char ID TKX_ID_DEFAULT);
int tkxTrionForceToMotor(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1,
                         short *m2, signed char ID TKX_ID_DEFAULT);
int tkxWristEncoderToOrientation(int e3, int e4, int e5, double *oa, double *ob, double *og,
                                 signed char ID TKX_ID_DEFAULT);
int tkxWristOrientationToEncoder(double oa, double ob, double og, int *e3, int *e4, int *e5,
                                 signed char ID TKX_ID_DEFAULT);
int tkxWristMotorToTorque(short m3, short m4, short m5, int e3, int e4, int e5, double *ta, double *tb,
                          double *tg, signed char ID TKX_ID_DEFAULT);
int tkxWristTorqueToMotor(double ta, double tb, double tg, int e3, int e4, int e5, short *m3, short *m4,
                          short *m5, signed char ID TKX_ID_DEFAULT);
int tkxGripperEncoderToOrientation(int enc, double *angle, signed char ID TKX_ID_DEFAULT);
int tkxGripperEncoderToPosition(int enc, double *gap, signed char ID TKX_ID_DEFAULT);
int tkxGripperOrientationToEncoder(double angle, int *enc, signed char ID TKX_ID_DEFAULT);
int tkxGripperPositionToEncoder(double gap, int *enc, signed char ID TKX_ID_DEFAULT);
int tkxGripperMotorToForce(short mot, double *force, signed char ID TKX_ID_DEFAULT);
int tkxGripperMotorToTorque(short mot, double *torque, signed char ID TKX_ID_DEFAULT);
int tkxGripperForceToMotor(double force, short *mot, signed char ID TKX_ID_DEFAULT);
int tkxGripperTorqueToMotor(double torque, short *mot, signed char ID TKX_ID_DEFAULT);
/* Errors: TKX_ERR_FILE_NOT_FOUND, TKX_ERR_AUTOCONFIG (bad header) too. */
int tkxReadConfigFromFile(const char *filename, signed char ID TKX_ID_DEFAULT);

/* Declares the mechanism attached to a controller (system types 81, 82, 91).
 * Errors: TKX_ERR_NOT_AVAILABLE for other devices, TKX_ERR_AUTOCONFIG. */
int tkxControllerSetDevice(int systemType, signed char ID TKX_ID_DEFAULT);

/* ---- modes, errors and utilities --------------------------------------- */

int tkxEnableExpertMode(void);
int tkxDisableExpertMode(void);
/* The calling thread's error-code cell (0 until the thread's first failure). */
int *tkxErrnoLocation(void);
/* Message of code; a fixed text for codes outside 0..15 (never null). */
const char *tkxErrorGetStr(int code);
/* Message of the calling thread's current code. */
const char *tkxErrorGetLastStr(void);
/* Library time in seconds: about 0 at the first reading, never decreasing. */
double tkxGetTime(void);
/* Library time in microseconds. */
uint64_t tkxGetSystemCounter(void);
/* Sleeps; longer sleeps are made of 1-second steps. */
void tkxSleep(double seconds);
/* True when a key is waiting on standard input (it stays readable). */
bool tkxKbHit(void);
/* The next character of standard input. */
int tkxKbGet(void);

#ifdef __cplusplus
}
#endif

#endif /* TKX_TKXC_H */
