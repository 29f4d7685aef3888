// The public C entries: slot selection, the expert gate, and the forwarding to
// the slot objects. Every entry picks a slot from its trailing ID, checks what
// it must, and hands over; the work happens in TKX and the objects it owns.
// Read entries clear their outputs here, before anything can fail: the slot
// objects write them only on success.
#include "tkx/tkxc.h"

#include "tkx/tkx.h"
#include "tkx/tkxCom.h"
#include "tkx/tkxController.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxGripper.h"
#include "tkx/tkxOutput.h"
#include "tkx/tkxRotator.h"
#include "tkx/tkxTranslator.h"

#include <atomic>
#include <cstdlib>

using tkx::Clear;
using tkx::Identity;
using tkx::kDegPerRad;
using tkx::kRadPerDeg;
using tkx::Put;
using tkx::Zero;

namespace {

// the four device slots; built during static initialisation (each construction
// counts the devices) and destroyed at exit in reverse order, slot 3 first
TKX Tkx[TKX::kMaxDevices];

// process-wide selection state; applications set it before starting their
// threads, atomics keep a late writer from tearing it
std::atomic<int> DeviceID{0};
std::atomic<int> DeviceCount{0};
std::atomic<bool> Expert{false};

// the slot a call addresses: negative IDs mean the current slot. There are four
// slots, so anything at or above 4 is refused rather than indexed.
TKX *Slot(signed char ID) {
  const int s = ID < 0 ? DeviceID.load() : static_cast<int>(ID);
  if (s < 0 || s >= TKX::kMaxDevices) {
    tkx::SetError(TKX_ERR_NO_DEVICE);
    return nullptr;
  }
  return &Tkx[s];
}

// the slot's communication object, or null with "no device found"
tkxCom *Com(signed char ID) {
  TKX *t = Slot(ID);
  if (t == nullptr) return nullptr;
  tkxCom *com = t->GetCom();
  if (com == nullptr) tkx::SetError(TKX_ERR_NO_DEVICE);
  return com;
}

// expert entries: the gate comes before anything else, then the device
template <typename F>
int ExpertCom(signed char ID, F &&op) {
  if (!Expert.load()) return tkx::Fail(TKX_ERR_EXPERT_DISABLED);
  tkxCom *com = Com(ID);
  if (com == nullptr) return -1;
  return op(*com);
}

// expert conversions of a mechanism model: a slot without that model answers
// -1 and leaves the error code as it was
template <typename Model, typename Get, typename F>
int ExpertModel(signed char ID, Get get, F &&op) {
  if (!Expert.load()) return tkx::Fail(TKX_ERR_EXPERT_DISABLED);
  TKX *t = Slot(ID);
  if (t == nullptr) return -1;
  Model *m = (t->*get)();
  if (m == nullptr) return -1;
  return op(*m);
}

// one value in, one value out, through the slot's gripper
template <typename In, typename Out>
int Gripper(signed char ID, In in, Out *out, int (tkxGripper::*op)(In, Out *)) {
  Clear(out);
  return ExpertModel<tkxGripper>(ID, &TKX::GetGripper, [&](tkxGripper &m) {
    Out v = Out();
    const int r = (m.*op)(in, &v);
    Put(out, v);
    return r;
  });
}

}  // namespace

extern "C" {

// ---- device selection, open and close ---------------------------------------

int tkxGetDeviceCount(void) {
  const int n = TKX::GetDeviceCount();
  DeviceCount.store(n);
  return n;
}

int tkxSetDevice(signed char ID) {
  if (ID < 0 || ID >= DeviceCount.load() || ID >= TKX::kMaxDevices) return tkx::Fail(TKX_ERR_NO_DEVICE);
  DeviceID.store(ID);
  return 0;
}

int tkxGetDeviceID(void) { return DeviceID.load(); }

int tkxOpen(void) { return Tkx[0].Open(); }

int tkxOpenID(signed char index) {
  if (index < 0 || index >= TKX::kMaxDevices) return -1;
  const int result = Tkx[static_cast<int>(index)].Open(index);
  if (result >= 0) DeviceID.store(index);
  return result;
}

int tkxClose(signed char ID) {
  TKX *t = Slot(ID);
  if (t != nullptr) t->Close();
  return 0;
}

// ---- queries -------------------------------------------------------------------

int tkxGetSystemType(signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->GetSystemType() : TKX_SYSTEM_NONE;
}

const char *tkxGetSystemName(signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->GetSystemName() : TKX::SystemName(TKX_SYSTEM_NONE);
}

bool tkxIsLeftHanded(signed char ID) {
  TKX *t = Slot(ID);
  return t != nullptr && t->IsLeftHanded();
}

int tkxGetSerialNumber(uint16_t *serial, signed char ID) {
  Clear(serial);
  TKX *t = Slot(ID);
  if (t == nullptr) return -1;
  const uint16_t s = t->GetSerialNumber();
  Put(serial, s);
  return s != 0 ? 0 : -1;
}

int tkxGetVersion(double *version, signed char ID) {
  Clear(version);
  tkxCom *com = Com(ID);
  if (com == nullptr) return -1;
  double v = 0.0;
  const int r = com->GetVersion(&v);
  Put(version, v);
  return r;
}

int tkxGetAPIVersion(int *major, int *minor, int *release, int *revision) {
  const int rev = static_cast<int>(std::strtol(TKX_API_REVISION, nullptr, 10));
  Put(major, TKX_API_MAJOR);
  Put(minor, TKX_API_MINOR);
  Put(release, TKX_API_RELEASE);
  Put(revision, rev);
  return rev;
}

int tkxGetStatus(int status[TKX_STATUS_COUNT], signed char ID) {
  if (status)
    for (int i = 0; i < TKX_STATUS_COUNT; ++i) status[i] = 0;
  TKX *t = Slot(ID);
  return t ? t->GetStatus(status) : -1;
}

int tkxGetButton(int index, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->GetButton(index) : -1;
}

double tkxGetComFreq(signed char ID) {
  TKX *t = Slot(ID);
  if (t == nullptr || t->GetCom() == nullptr) return 0.0;
  return t->GetCom()->GetFreq();
}

// the angle and mass queries always succeed: a slot without a translator
// reports an angle of -1 and a mass of 0
int tkxGetDeviceAngleRad(double *angle, signed char ID) {
  Clear(angle);
  TKX *t = Slot(ID);
  Put(angle, t ? t->GetDeviceAngle() : -1.0);
  return 0;
}

int tkxGetDeviceAngleDeg(double *angle, signed char ID) {
  Clear(angle);
  TKX *t = Slot(ID);
  Put(angle, (t ? t->GetDeviceAngle() : -1.0) * kDegPerRad);
  return 0;
}

int tkxGetEffectorMass(double *mass, signed char ID) {
  Clear(mass);
  TKX *t = Slot(ID);
  Put(mass, t ? t->GetEffectorMass() : 0.0);
  return 0;
}

// ---- position, orientation and velocity ----------------------------------------

int tkxGetPosition(double *px, double *py, double *pz, signed char ID) {
  Clear(px), Clear(py), Clear(pz);
  TKX *t = Slot(ID);
  return t ? t->GetPos(px, py, pz) : -1;
}

int tkxGetOrientationRad(double *oa, double *ob, double *og, signed char ID) {
  Clear(oa), Clear(ob), Clear(og);
  TKX *t = Slot(ID);
  return t ? t->GetRotRad(oa, ob, og) : -1;
}

int tkxGetOrientationDeg(double *oa, double *ob, double *og, signed char ID) {
  Clear(oa), Clear(ob), Clear(og);
  TKX *t = Slot(ID);
  return t ? t->GetRotDeg(oa, ob, og) : -1;
}

int tkxGetPositionAndOrientationRad(double *px, double *py, double *pz, double *oa, double *ob, double *og,
                                    signed char ID) {
  Clear(px), Clear(py), Clear(pz), Clear(oa), Clear(ob), Clear(og);
  TKX *t = Slot(ID);
  return t ? t->GetPosAndRotRad(px, py, pz, oa, ob, og) : -1;
}

int tkxGetPositionAndOrientationDeg(double *px, double *py, double *pz, double *oa, double *ob, double *og,
                                    signed char ID) {
  Clear(px), Clear(py), Clear(pz), Clear(oa), Clear(ob), Clear(og);
  TKX *t = Slot(ID);
  return t ? t->GetPosAndRotDeg(px, py, pz, oa, ob, og) : -1;
}

int tkxGetOrientationFrame(double matrix[3][3], signed char ID) {
  Identity(matrix);
  TKX *t = Slot(ID);
  return t ? t->GetRotMatrix(matrix) : -1;
}

int tkxGetPositionAndOrientationFrame(double *px, double *py, double *pz, double matrix[3][3], signed char ID) {
  Clear(px), Clear(py), Clear(pz);
  Identity(matrix);
  TKX *t = Slot(ID);
  return t ? t->GetPosAndRotMatrix(px, py, pz, matrix) : -1;
}

int tkxGetJacobian(double jacobian[3][3], signed char ID) {
  Zero(jacobian);
  TKX *t = Slot(ID);
  return t ? t->GetJacobian(jacobian) : -1;
}

int tkxGetLinearVelocity(double *vx, double *vy, double *vz, signed char ID) {
  Clear(vx), Clear(vy), Clear(vz);
  TKX *t = Slot(ID);
  return t ? t->GetLinVel(vx, vy, vz) : -1;
}

int tkxConfigLinearVelocity(int ms, int rate, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->ConfigLinVel(ms / 1000.0, static_cast<double>(rate)) : -1;
}

int tkxGetGripperAngleRad(double *angle, signed char ID) {
  Clear(angle);
  TKX *t = Slot(ID);
  return t ? t->GetGripRotRad(angle) : -1;
}

int tkxGetGripperAngleDeg(double *angle, signed char ID) {
  Clear(angle);
  TKX *t = Slot(ID);
  return t ? t->GetGripRotDeg(angle) : -1;
}

int tkxGetGripperThumbPos(double *px, double *py, double *pz, signed char ID) {
  Clear(px), Clear(py), Clear(pz);
  TKX *t = Slot(ID);
  return t ? t->GetGripThumb(px, py, pz) : -1;
}

int tkxGetGripperFingerPos(double *px, double *py, double *pz, signed char ID) {
  Clear(px), Clear(py), Clear(pz);
  TKX *t = Slot(ID);
  return t ? t->GetGripFinger(px, py, pz) : -1;
}

// ---- forces, torques and gravity -------------------------------------------------

int tkxSetForce(double fx, double fy, double fz, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetFrc(fx, fy, fz) : -1;
}

int tkxGetForce(double *fx, double *fy, double *fz, signed char ID) {
  Clear(fx), Clear(fy), Clear(fz);
  TKX *t = Slot(ID);
  return t ? t->GetFrc(fx, fy, fz) : -1;
}

int tkxSetTorque(double ta, double tb, double tg, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetTrq(ta, tb, tg) : -1;
}

int tkxGetTorque(double *ta, double *tb, double *tg, signed char ID) {
  Clear(ta), Clear(tb), Clear(tg);
  TKX *t = Slot(ID);
  return t ? t->GetTrq(ta, tb, tg) : -1;
}

int tkxSetForceAndTorque(double fx, double fy, double fz, double ta, double tb, double tg, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetFrcAndTrq(fx, fy, fz, ta, tb, tg) : -1;
}

int tkxGetForceAndTorque(double *fx, double *fy, double *fz, double *ta, double *tb, double *tg, signed char ID) {
  Clear(fx), Clear(fy), Clear(fz), Clear(ta), Clear(tb), Clear(tg);
  TKX *t = Slot(ID);
  return t ? t->GetFrcAndTrq(fx, fy, fz, ta, tb, tg) : -1;
}

int tkxSetForceAndGripperForce(double fx, double fy, double fz, double fg, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetFrcAndGripFrc(fx, fy, fz, fg) : -1;
}

int tkxSetForceAndGripperTorque(double fx, double fy, double fz, double tg, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetFrcAndGripTrq(fx, fy, fz, tg) : -1;
}

int tkxSetGripperForce(double fg, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetGripFrc(fg) : -1;
}

int tkxSetGripperTorque(double tg, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetGripTrq(tg) : -1;
}

// switching fades the compensation in or out over a quarter second
int tkxSetGravityCompensation(int on, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetGravity(on == 1, 0.25) : -1;
}

int tkxSetStandardGravity(double g, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetStandardGravity(g) : -1;
}

int tkxSetEffectorMass(double mass, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetEffectorMass(mass) : -1;
}

int tkxSetDeviceAngleRad(double angle, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetDeviceAngle(angle) : -1;
}

int tkxSetDeviceAngleDeg(double angle, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetDeviceAngle(angle * kRadPerDeg) : -1;
}

int tkxSetBrakes(int on, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->SetBrakes(on) : -1;
}

int tkxStop(signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->Stop() : -1;
}

int tkxWaitForReset(int ms, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->WaitForReset(ms) : -1;
}

int tkxReset(signed char ID) {
  tkxCom *com = Com(ID);
  return com ? com->Reset() : -1;
}

int tkxResetWrist(signed char ID) {
  tkxCom *com = Com(ID);
  return com ? com->ResetWrist() : -1;
}

// ---- expert entries ----------------------------------------------------------------

int tkxEnableForce(unsigned char on, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) { return c.EnableFrc(on); });
}

int tkxSetTimeGuard(int period, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) { return c.EnableTimeGuard(static_cast<double>(period)); });
}

int tkxSetVelocityThreshold(unsigned char threshold, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) { return c.SetVelThresh(threshold); });
}

int tkxGetVelocityThreshold(unsigned char *threshold, signed char ID) {
  Clear(threshold);
  return ExpertCom(ID, [&](tkxCom &c) {
    unsigned char v = 0;
    const int r = c.GetVelThresh(&v);
    Put(threshold, v);
    return r;
  });
}

int tkxEmulateButton(unsigned char on, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) { return c.EmulateButton(on); });
}

int tkxCalibrateWrist(signed char ID) {
  return ExpertCom(ID, [](tkxCom &c) { return c.CalibWrist(); });
}

int tkxSetOperatingMode(unsigned char mode, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) { return c.SetOperatingMode(mode); });
}

int tkxGetOperatingMode(unsigned char *mode, signed char ID) {
  Clear(mode);
  return ExpertCom(ID, [&](tkxCom &c) {
    unsigned char v = 0;
    const int r = c.GetOperatingMode(&v);
    Put(mode, v);
    return r;
  });
}

int tkxPreset(int encoders[8], unsigned char mask, signed char ID) {
  if (!Expert.load()) return tkx::Fail(TKX_ERR_EXPERT_DISABLED);
  // no values are no reason to zero the counters
  if (encoders == nullptr) return tkx::Fail(TKX_ERR_UNDOCUMENTED);
  return ExpertCom(ID, [&](tkxCom &c) {
    int enc[tkxCom::kEncoders];
    for (int i = 0; i < tkxCom::kEncoders; ++i) enc[i] = encoders[i];
    return c.Preset(enc, mask);
  });
}

int tkxUpdateEncoders(signed char ID) {
  // the slot exists once its communication object has been found
  return ExpertCom(ID, [&](tkxCom &c) { return c.GetAllEnc(Slot(ID)->EncoderCache(), nullptr); });
}

int tkxGetEnc(int encoders[8], unsigned char mask, signed char ID) {
  if (encoders)
    for (int i = 0; i < tkxCom::kEncoders; ++i) encoders[i] = 0;
  return ExpertCom(ID, [&](tkxCom &c) {
    int enc[tkxCom::kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
    const int r = c.GetEnc(enc, mask, nullptr);
    if (encoders)
      for (int i = 0; i < tkxCom::kEncoders; ++i) encoders[i] = enc[i];
    return r;
  });
}

int tkxGetEncoder(int index, signed char ID) {
  if (!Expert.load()) return tkx::Fail(TKX_ERR_EXPERT_DISABLED);
  if (static_cast<unsigned>(index) > 7u) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  return ExpertCom(ID, [&](tkxCom &c) { return c.GetEnc(index, nullptr); });
}

int tkxGetTrionEncoders(int *e0, int *e1, int *e2, signed char ID) {
  Clear(e0), Clear(e1), Clear(e2);
  return ExpertCom(ID, [&](tkxCom &c) {
    int a = 0, b = 0, g = 0;
    const int r = c.GetTransEnc(&a, &b, &g, nullptr);
    Put(e0, a), Put(e1, b), Put(e2, g);
    return r;
  });
}

int tkxGetWristEncoders(int *e3, int *e4, int *e5, signed char ID) {
  Clear(e3), Clear(e4), Clear(e5);
  return ExpertCom(ID, [&](tkxCom &c) {
    int a = 0, b = 0, g = 0;
    const int r = c.GetRotEnc(&a, &b, &g, nullptr);
    Put(e3, a), Put(e4, b), Put(e5, g);
    return r;
  });
}

int tkxGetGripperEncoder(int *enc, signed char ID) {
  Clear(enc);
  return ExpertCom(ID, [&](tkxCom &c) {
    int all[tkxCom::kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
    const int r = c.GetEnc(all, 0xFF, nullptr);
    Put(enc, all[6]);
    return r;
  });
}

int tkxSetMot(short motors[8], unsigned char mask, signed char ID) {
  if (!Expert.load()) return tkx::Fail(TKX_ERR_EXPERT_DISABLED);
  // raw 0 is full reverse, not the motors' rest: send nothing without commands
  if (motors == nullptr) return tkx::Fail(TKX_ERR_UNDOCUMENTED);
  return ExpertCom(ID, [&](tkxCom &c) {
    short mot[tkxCom::kEncoders];
    for (int i = 0; i < tkxCom::kEncoders; ++i) mot[i] = motors[i];
    if (tkxController *k = Slot(ID)->GetController()) return k->SetMot(mot, mask, &c);
    return c.SetMot(mot, mask);
  });
}

int tkxSetMotor(int index, short value, signed char ID) {
  if (!Expert.load()) return tkx::Fail(TKX_ERR_EXPERT_DISABLED);
  // the channel travels as one byte: a wider index would name another motor
  if (static_cast<unsigned>(index) > 7u) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  return ExpertCom(ID, [&](tkxCom &c) {
    if (tkxController *k = Slot(ID)->GetController()) return k->SetMot(index, value, &c);
    return c.SetMot(index, value);
  });
}

int tkxSetGripperMotor(short value, signed char ID) { return tkxSetMotor(3, value, ID); }

int tkxSetTrionMotor(short m0, short m1, short m2, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) {
    if (tkxController *k = Slot(ID)->GetController()) return k->SetTransMot(m0, m1, m2, &c);
    return c.SetTransMot(m0, m1, m2);
  });
}

int tkxSetWristMotor(short m3, short m4, short m5, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) {
    if (tkxController *k = Slot(ID)->GetController()) return k->SetRotMot(m3, m4, m5, &c);
    return c.SetRotMot(m3, m4, m5);
  });
}

int tkxSetTrionJointTorque(double t0, double t1, double t2, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) {
    tkxTranslator *tr = Slot(ID)->GetTranslator();
    if (tr == nullptr) return -1;
    short m0 = 0, m1 = 0, m2 = 0;
    if (tr->JointTrqToMot(t0, t1, t2, &m0, &m1, &m2) != 0) return -1;
    if (tkxController *k = Slot(ID)->GetController()) return k->SetTransMot(m0, m1, m2, &c);
    return c.SetTransMot(m0, m1, m2);
  });
}

int tkxSetBrk(unsigned char mask, signed char ID) {
  return ExpertCom(ID, [&](tkxCom &c) { return c.SetBrakes(mask); });
}

int tkxTrionEncoderToPosition(int e0, int e1, int e2, double *px, double *py, double *pz, signed char ID) {
  Clear(px), Clear(py), Clear(pz);
  return ExpertModel<tkxTranslator>(ID, &TKX::GetTranslator, [&](tkxTranslator &m) {
    double x = 0, y = 0, z = 0;
    const int r = m.EncToPos(e0, e1, e2, &x, &y, &z);
    Put(px, x), Put(py, y), Put(pz, z);
    return r;
  });
}

int tkxTrionPositionToEncoder(double px, double py, double pz, int *e0, int *e1, int *e2, signed char ID) {
  Clear(e0), Clear(e1), Clear(e2);
  return ExpertModel<tkxTranslator>(ID, &TKX::GetTranslator, [&](tkxTranslator &m) {
    int a = 0, b = 0, g = 0;
    const int r = m.PosToEnc(px, py, pz, &a, &b, &g);
    Put(e0, a), Put(e1, b), Put(e2, g);
    return r;
  });
}

int tkxTrionEncoderToJacobian(int e0, int e1, int e2, double jacobian[3][3], signed char ID) {
  Zero(jacobian);
  return ExpertModel<tkxTranslator>(ID, &TKX::GetTranslator, [&](tkxTranslator &m) {
    double J[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    const int r = m.EncToJacobian(e0, e1, e2, J);
    if (jacobian)
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) jacobian[i][j] = J[i][j];
    return r;
  });
}

int tkxTrionMotorToForce(short m0, short m1, short m2, int e0, int e1, int e2, double *fx, double *fy, double *fz,
                         signed char ID) {
  Clear(fx), Clear(fy), Clear(fz);
  return ExpertModel<tkxTranslator>(ID, &TKX::GetTranslator, [&](tkxTranslator &m) {
    double x = 0, y = 0, z = 0;
    const int r = m.MotToFrc(m0, m1, m2, e0, e1, e2, &x, &y, &z);
    Put(fx, x), Put(fy, y), Put(fz, z);
    return r;
  });
}

int tkxTrionForceToMotor(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1, short *m2,
                         signed char ID) {
  Clear(m0), Clear(m1), Clear(m2);
  return ExpertModel<tkxTranslator>(ID, &TKX::GetTranslator, [&](tkxTranslator &m) {
    short a = 0, b = 0, g = 0;
    const int r = m.FrcToMot(fx, fy, fz, e0, e1, e2, &a, &b, &g);
    Put(m0, a), Put(m1, b), Put(m2, g);
    return r;
  });
}

int tkxWristEncoderToOrientation(int e3, int e4, int e5, double *oa, double *ob, double *og, signed char ID) {
  Clear(oa), Clear(ob), Clear(og);
  return ExpertModel<tkxRotator>(ID, &TKX::GetRotator, [&](tkxRotator &m) {
    double a = 0, b = 0, g = 0;
    const int r = m.EncToRot(e3, e4, e5, &a, &b, &g);
    Put(oa, a), Put(ob, b), Put(og, g);
    return r;
  });
}

int tkxWristOrientationToEncoder(double oa, double ob, double og, int *e3, int *e4, int *e5, signed char ID) {
  Clear(e3), Clear(e4), Clear(e5);
  return ExpertModel<tkxRotator>(ID, &TKX::GetRotator, [&](tkxRotator &m) {
    int a = 0, b = 0, g = 0;
    const int r = m.RotToEnc(oa, ob, og, &a, &b, &g);
    Put(e3, a), Put(e4, b), Put(e5, g);
    return r;
  });
}

int tkxWristMotorToTorque(short m3, short m4, short m5, int e3, int e4, int e5, double *ta, double *tb, double *tg,
                          signed char ID) {
  Clear(ta), Clear(tb), Clear(tg);
  return ExpertModel<tkxRotator>(ID, &TKX::GetRotator, [&](tkxRotator &m) {
    double a = 0, b = 0, g = 0;
    const int r = m.MotToTrq(m3, m4, m5, e3, e4, e5, &a, &b, &g);
    Put(ta, a), Put(tb, b), Put(tg, g);
    return r;
  });
}

int tkxWristTorqueToMotor(double ta, double tb, double tg, int e3, int e4, int e5, short *m3, short *m4, short *m5,
                          signed char ID) {
  Clear(m3), Clear(m4), Clear(m5);
  return ExpertModel<tkxRotator>(ID, &TKX::GetRotator, [&](tkxRotator &m) {
    short a = 0, b = 0, g = 0;
    const int r = m.TrqToMot(ta, tb, tg, e3, e4, e5, &a, &b, &g);
    Put(m3, a), Put(m4, b), Put(m5, g);
    return r;
  });
}

int tkxGripperEncoderToOrientation(int enc, double *angle, signed char ID) {
  return Gripper(ID, enc, angle, &tkxGripper::EncToRot);
}
int tkxGripperEncoderToPosition(int enc, double *gap, signed char ID) {
  return Gripper(ID, enc, gap, &tkxGripper::EncToPos);
}
int tkxGripperOrientationToEncoder(double angle, int *enc, signed char ID) {
  return Gripper(ID, angle, enc, &tkxGripper::RotToEnc);
}
int tkxGripperPositionToEncoder(double gap, int *enc, signed char ID) {
  return Gripper(ID, gap, enc, &tkxGripper::PosToEnc);
}
int tkxGripperMotorToForce(short mot, double *force, signed char ID) {
  return Gripper(ID, mot, force, &tkxGripper::MotToFrc);
}
int tkxGripperMotorToTorque(short mot, double *torque, signed char ID) {
  return Gripper(ID, mot, torque, &tkxGripper::MotToTrq);
}
int tkxGripperForceToMotor(double force, short *mot, signed char ID) {
  return Gripper(ID, force, mot, &tkxGripper::FrcToMot);
}
int tkxGripperTorqueToMotor(double torque, short *mot, signed char ID) {
  return Gripper(ID, torque, mot, &tkxGripper::TrqToMot);
}

int tkxReadConfigFromFile(const char *filename, signed char ID) {
  if (!Expert.load()) return tkx::Fail(TKX_ERR_EXPERT_DISABLED);
  TKX *t = Slot(ID);
  return t ? t->ReadConfigFromFile(filename) : -1;
}

int tkxControllerSetDevice(int systemType, signed char ID) {
  TKX *t = Slot(ID);
  return t ? t->ControllerSetDevice(systemType) : -1;
}

// ---- modes -------------------------------------------------------------------------

int tkxEnableExpertMode(void) {
  Expert.store(true);
  return 0;
}

int tkxDisableExpertMode(void) {
  Expert.store(false);
  return 0;
}

}  // extern "C"
