// The position, orientation and force pipeline of an open slot: encoder reads
// through the channel, conversions through the mechanism models, the velocity
// estimator, force and torque commands, status, buttons and the reset wait.
#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxGripper.h"
#include "tkx/tkxOutput.h"
#include "tkx/tkxRotator.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxTranslator.h"
#include "tkx/tkxTypes.h"

#include <cmath>

using tkx::CopyMatrix;
using tkx::Identity;
using tkx::kDegPerRad;
using tkx::Put;
using tkx::Put3;

namespace {

// the active wrists: the only mechanisms that take torque commands
bool TakesTorque(int type) { return tkx::LookUpType(type).HasWrist(); }

// 1 when any of the encoder reads was answered from the cache
int Flag(int a, int b = 0) { return a == 1 || b == 1 ? 1 : 0; }

}  // namespace

// one translation-encoder read converted to a position and fed to the velocity
// estimator at the encoder time; the read's result or -1. exact: any non-zero
// conversion result fails, not only a negative one
int TKX::ReadPosition(double p[3], bool exact) {
  int e0 = 0, e1 = 0, e2 = 0;
  double t = 0.0;
  const int r = d->com->GetTransEnc(&e0, &e1, &e2, &t);
  if (r < 0) return -1;
  const int c = d->translator->EncToPos(e0, e1, e2, &p[0], &p[1], &p[2]);
  if (exact ? c != 0 : c < 0) return -1;
  d->velocity.Update(t, p);
  return r;
}

int TKX::ReadRotation(double r[3]) {
  int e3 = 0, e4 = 0, e5 = 0;
  const int c = d->com->GetRotEnc(&e3, &e4, &e5, nullptr);
  if (c < 0) return -1;
  if (d->rotator->EncToRot(e3, e4, e5, &r[0], &r[1], &r[2]) < 0) return -1;
  return c;
}

int TKX::GetPos(double *px, double *py, double *pz) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  double p[3] = {0, 0, 0};
  if (ReadPosition(p, true) < 0) return -1;
  Put3(px, py, pz, p);
  return 0;
}

int TKX::GetRotRad(double *a, double *b, double *g) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  double r[3] = {0, 0, 0};
  const int c = ReadRotation(r);
  if (c < 0) return -1;
  Put3(a, b, g, r);
  return Flag(c);
}

int TKX::GetRotDeg(double *a, double *b, double *g) {
  const int r = GetRotRad(a, b, g);
  if (r >= 0) {
    if (a) *a *= kDegPerRad;
    if (b) *b *= kDegPerRad;
    if (g) *g *= kDegPerRad;
  }
  return r;
}

int TKX::GetPosAndRotRad(double *px, double *py, double *pz, double *a, double *b, double *g) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr && d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  double r[3] = {0, 0, 0}, p[3] = {0, 0, 0};
  int cr = 0, cp = 0;
  if (d->rotator && (cr = ReadRotation(r)) < 0) return -1;
  if (d->translator && (cp = ReadPosition(p, false)) < 0) return -1;
  Put3(a, b, g, r);
  Put3(px, py, pz, p);
  return Flag(cr, cp);
}

int TKX::GetPosAndRotDeg(double *px, double *py, double *pz, double *a, double *b, double *g) {
  const int r = GetPosAndRotRad(px, py, pz, a, b, g);
  if (r >= 0) {
    if (a) *a *= kDegPerRad;
    if (b) *b *= kDegPerRad;
    if (g) *g *= kDegPerRad;
  }
  return r;
}

int TKX::GetRotMatrix(double R[3][3]) {
  double M[3][3];
  Identity(M);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  // without a wrist there is no frame to give, and the code is left alone
  if (d->rotator == nullptr) return -1;
  int e3 = 0, e4 = 0, e5 = 0;
  if (d->com->GetRotEnc(&e3, &e4, &e5, nullptr) < 0) return -1;
  const int r = d->rotator->EncToMatrix(e3, e4, e5, M);
  CopyMatrix(R, M);
  return r;
}

int TKX::GetPosAndRotMatrix(double *px, double *py, double *pz, double R[3][3]) {
  double M[3][3];
  Identity(M);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int cr = 0;
  if (d->rotator) {
    int e3 = 0, e4 = 0, e5 = 0;
    if ((cr = d->com->GetRotEnc(&e3, &e4, &e5, nullptr)) < 0) return -1;
    if (d->rotator->EncToMatrix(e3, e4, e5, M) < 0) return -1;
  }
  double p[3] = {0, 0, 0};
  const int cp = ReadPosition(p, false);
  if (cp < 0) return -1;
  Put3(px, py, pz, p);
  CopyMatrix(R, M);
  return Flag(cr, cp);
}

int TKX::GetJacobian(double J[3][3]) {
  double M[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int e0 = 0, e1 = 0, e2 = 0;
  if (d->com->GetTransEnc(&e0, &e1, &e2, nullptr) < 0) return -1;
  const int r = d->translator->EncToJacobian(e0, e1, e2, M);
  CopyMatrix(J, M);
  return r;
}

int TKX::GetLinVel(double *vx, double *vy, double *vz) {
  // no device, no translator or a failed read: the estimator's old samples are
  // not answered as a success
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  double p[3] = {0, 0, 0};
  if (ReadPosition(p, true) < 0) return -1;
  double v[3] = {0, 0, 0};
  const int r = d->velocity.GetVelocity(tkx::GetTimeMonotonic(), v);
  Put3(vx, vy, vz, v);
  return r;
}

int TKX::ConfigLinVel(double window, double rate) {
  d->velocity.Init(3, tkx::GetTimeMonotonic(), window, rate, tkx::VELOCITY_WINDOW_SPAN);
  return 0;
}

int TKX::GetGripRotRad(double *angle) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->gripper == nullptr) return -1;
  int enc[tkxCom::kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
  if (d->com->GetEnc(enc, 0xFF, nullptr) < 0) return -1;
  double a = 0.0;
  if (d->gripper->EncToRot(enc[6], &a) < 0) return -1;
  Put(angle, a);
  return 0;
}

int TKX::GetGripRotDeg(double *angle) {
  const int r = GetGripRotRad(angle);
  if (r >= 0 && angle) *angle *= kDegPerRad;
  return r;
}

// the thumb or finger tip: the effector position plus the gripper's offset in
// the wrist's frame, all from one read of every encoder
int TKX::ReadGripperPoint(double p[3], bool thumb) {
  int enc[tkxCom::kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
  double t = 0.0;
  const int c = d->com->GetAllEnc(enc, &t);
  if (c < 0) return -1;
  if (d->translator->EncToPos(enc[0], enc[1], enc[2], &p[0], &p[1], &p[2]) < 0) return -1;
  d->velocity.Update(t, p);
  double R[3][3];
  Identity(R);
  if (d->rotator->EncToMatrix(enc[3], enc[4], enc[5], R) < 0) return -1;
  double o[3] = {0, 0, 0};
  const int g =
      thumb ? d->gripper->EncToThumb(R, &o[0], &o[1], &o[2]) : d->gripper->EncToFinger(enc[6], R, &o[0], &o[1], &o[2]);
  if (g < 0) return -1;
  for (int i = 0; i < 3; ++i) p[i] += o[i];
  return Flag(c);
}

int TKX::GetGripThumb(double *px, double *py, double *pz) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->gripper == nullptr || d->rotator == nullptr) return d->translator ? GetPos(px, py, pz) : -1;
  if (d->translator == nullptr) return -1;
  double p[3] = {0, 0, 0};
  const int r = ReadGripperPoint(p, true);
  if (r < 0) return -1;
  Put3(px, py, pz, p);
  return r;
}

int TKX::GetGripFinger(double *px, double *py, double *pz) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return -1;
  if (d->gripper == nullptr || d->rotator == nullptr) return GetPos(px, py, pz);
  double p[3] = {0, 0, 0};
  const int r = ReadGripperPoint(p, false);
  if (r < 0) return -1;
  Put3(px, py, pz, p);
  return r;
}

int TKX::SetFrc(double fx, double fy, double fz) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int e0 = 0, e1 = 0, e2 = 0;
  if (d->com->GetTransEnc(&e0, &e1, &e2, nullptr) < 0) return -1;
  short m0 = 0, m1 = 0, m2 = 0;
  if (d->translator->FrcToMot(fx, fy, fz, e0, e1, e2, &m0, &m1, &m2) < 0) return -1;
  // remembered before the command goes out: a failed command still asked for it
  d->force[0].store(fx, std::memory_order_relaxed);
  d->force[1].store(fy, std::memory_order_relaxed);
  d->force[2].store(fz, std::memory_order_relaxed);
  return d->com->SetTransMot(m0, m1, m2);
}

int TKX::SetTrq(double ta, double tb, double tg) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (!TakesTorque(d->systemType) || d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int e3 = 0, e4 = 0, e5 = 0;
  if (d->com->GetRotEnc(&e3, &e4, &e5, nullptr) < 0) return -1;
  short m3 = 0, m4 = 0, m5 = 0;
  if (d->rotator->TrqToMot(ta, tb, tg, e3, e4, e5, &m3, &m4, &m5) < 0) return -1;
  d->torque[0].store(ta, std::memory_order_relaxed);
  d->torque[1].store(tb, std::memory_order_relaxed);
  d->torque[2].store(tg, std::memory_order_relaxed);
  return d->com->SetRotMot(m3, m4, m5);
}

int TKX::SetFrcAndTrq(double fx, double fy, double fz, double ta, double tb, double tg) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr && d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int cr = 0, cp = 0;
  // a passive rotator (stylus) reads orientation only: its torque is ignored
  if (TakesTorque(d->systemType) && d->rotator) {
    int e3 = 0, e4 = 0, e5 = 0;
    if ((cr = d->com->GetRotEnc(&e3, &e4, &e5, nullptr)) < 0) return -1;
    short m3 = 0, m4 = 0, m5 = 0;
    if (d->rotator->TrqToMot(ta, tb, tg, e3, e4, e5, &m3, &m4, &m5) < 0) return -1;
    if (d->com->SetRotMot(m3, m4, m5) < 0) return -1;
  }
  if (d->translator) {
    int e0 = 0, e1 = 0, e2 = 0;
    if ((cp = d->com->GetTransEnc(&e0, &e1, &e2, nullptr)) < 0) return -1;
    short m0 = 0, m1 = 0, m2 = 0;
    if (d->translator->FrcToMot(fx, fy, fz, e0, e1, e2, &m0, &m1, &m2) < 0) return -1;
    if (d->com->SetTransMot(m0, m1, m2) < 0) return -1;
  }
  const double f[3] = {fx, fy, fz}, q[3] = {ta, tb, tg};
  for (int i = 0; i < 3; ++i) {
    d->force[i].store(f[i], std::memory_order_relaxed);
    d->torque[i].store(q[i], std::memory_order_relaxed);
  }
  return Flag(cr, cp);
}

// the translation motors and, on a device with an actuated gripper, its motor 3,
// sent together in one exchange
int TKX::SetFrcAndGrip(double fx, double fy, double fz, double g, bool torque) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  // a value that is no number commands nothing, not even the motors it could
  // reach, and is refused before any exchange; the gripper's too where there is
  // no gripper, as it shows a fault in the caller's computation
  if (!std::isfinite(fx) || !std::isfinite(fy) || !std::isfinite(fz) || !std::isfinite(g))
    return tkx::Fail(TKX_ERR_GEOMETRY);
  int e0 = 0, e1 = 0, e2 = 0;
  if (d->com->GetTransEnc(&e0, &e1, &e2, nullptr) < 0) return -1;
  short motors[tkxCom::kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
  if (d->translator->FrcToMot(fx, fy, fz, e0, e1, e2, &motors[0], &motors[1], &motors[2]) < 0) return -1;
  unsigned char mask = 0x07;
  if (d->gripper) {
    const int r = torque ? d->gripper->TrqToMot(g, &motors[3]) : d->gripper->FrcToMot(g, &motors[3]);
    if (r < 0) return -1;
    mask = 0x0F;
  }
  d->force[0].store(fx, std::memory_order_relaxed);
  d->force[1].store(fy, std::memory_order_relaxed);
  d->force[2].store(fz, std::memory_order_relaxed);
  return d->com->SetMot(motors, mask);
}

int TKX::SetFrcAndGripFrc(double fx, double fy, double fz, double fg) { return SetFrcAndGrip(fx, fy, fz, fg, false); }
int TKX::SetFrcAndGripTrq(double fx, double fy, double fz, double tg) { return SetFrcAndGrip(fx, fy, fz, tg, true); }

int TKX::SetGrip(double value, bool torque) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->gripper == nullptr) return -1;
  if (!std::isfinite(value)) return tkx::Fail(TKX_ERR_GEOMETRY);
  short m = 0;
  const int r = torque ? d->gripper->TrqToMot(value, &m) : d->gripper->FrcToMot(value, &m);
  if (r < 0) return -1;
  return d->com->SetMot(3, m);
}

int TKX::SetGripFrc(double fg) { return SetGrip(fg, false); }
int TKX::SetGripTrq(double tg) { return SetGrip(tg, true); }

int TKX::GetFrc(double *fx, double *fy, double *fz) {
  int s[TKX_STATUS_COUNT];
  if (GetStatus(s) < 0) return -1;
  // nothing is applied while the output is off
  const bool on = s[TKX_STATUS_FORCE_ON] == 1;
  double *f[3] = {fx, fy, fz};
  for (int i = 0; i < 3; ++i) Put(f[i], on ? d->force[i].load(std::memory_order_relaxed) : 0.0);
  return 0;
}

int TKX::GetTrq(double *ta, double *tb, double *tg) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (!TakesTorque(d->systemType)) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int s[TKX_STATUS_COUNT];
  if (GetStatus(s) < 0) return -1;
  const bool on = s[TKX_STATUS_TORQUE_ON] == 1;
  double *q[3] = {ta, tb, tg};
  for (int i = 0; i < 3; ++i) Put(q[i], on ? d->torque[i].load(std::memory_order_relaxed) : 0.0);
  return 0;
}

int TKX::GetFrcAndTrq(double *fx, double *fy, double *fz, double *ta, double *tb, double *tg) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr && d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int s[TKX_STATUS_COUNT];
  if (GetStatus(s) < 0) return -1;
  const bool forceOn = s[TKX_STATUS_FORCE_ON] == 1, torqueOn = s[TKX_STATUS_TORQUE_ON] == 1;
  double *f[3] = {fx, fy, fz}, *q[3] = {ta, tb, tg};
  for (int i = 0; i < 3; ++i) {
    Put(f[i], forceOn ? d->force[i].load(std::memory_order_relaxed) : 0.0);
    Put(q[i], torqueOn ? d->torque[i].load(std::memory_order_relaxed) : 0.0);
  }
  return 0;
}

int TKX::GetStatus(int status[TKX_STATUS_COUNT]) {
  int s[TKX_STATUS_COUNT] = {};
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  unsigned char b = 0;
  if (d->com->GetStatus(&b) < 0) return -1;
  auto bit = [b](int i) { return (b >> i) & 1; };
  s[TKX_STATUS_RESERVED0] = s[TKX_STATUS_RESERVED1] = s[TKX_STATUS_RESERVED2] = 1;
  s[TKX_STATUS_ENCODERS_INVALID] = bit(2) ? 0 : 1;
  s[TKX_STATUS_BUTTON_EMULATED] = bit(3);
  s[TKX_STATUS_FORCE_ON] = bit(0);
  s[TKX_STATUS_BRAKES_ON] = bit(1);
  s[TKX_STATUS_TORQUE_ON] = bit(5);
  s[TKX_STATUS_BIT6] = bit(6);
  s[TKX_STATUS_BIT4] = bit(4);
  s[TKX_STATUS_GRAVITY_ON] = d->translator && d->translator->GetGravityCompensation() ? 1 : 0;
  s[TKX_STATUS_TIME_GUARD_ON] = d->com->TimeGuardEnabled() ? 1 : 0;
  s[TKX_STATUS_WRIST_UNCALIBRATED] = bit(7);
  // this wrist reports its torque output with the force output
  if (tkx::LookUpType(d->systemType).Has(tkx::kTorqueWithForce)) {
    s[TKX_STATUS_BIT6] = 1;
    s[TKX_STATUS_TORQUE_ON] = bit(0);
  }
  if (status)
    for (int i = 0; i < TKX_STATUS_COUNT; ++i) status[i] = s[i];
  return 0;
}

int TKX::GetButton(int index) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  // a failed read leaves the byte at 0: no button reads as pressed
  unsigned char b = 0;
  d->com->GetButtons(&b);
  if (index < 0 || index > 7) return 0;
  return b & (1 << index);
}

int TKX::SetGravity(bool on, double time) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return -1;
  return d->translator->SetGravityCompensation(on, time);
}

int TKX::SetStandardGravity(double g) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return -1;
  d->translator->SetStandardGravity(g);
  return d->translator->Update();
}

int TKX::SetEffectorMass(double m) {
  tkxTranslator *tr = d->translator.get();
  if (tr == nullptr) return 0;
  tr->SetAdditionalMass(m - tr->GetGripperMass());
  tr->Update();
  return 0;
}

double TKX::GetEffectorMass() { return d->translator ? d->translator->GetEffectorMass() : 0.0; }

int TKX::SetDeviceAngle(double rad) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return -1;
  d->translator->SetBaseAngle(rad);
  return d->translator->Update();
}

double TKX::GetDeviceAngle() { return d->translator ? d->translator->GetBaseAngle() : -1.0; }

int TKX::SetBrakes(int on) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return on == 1 ? d->com->SetBrakesOn() : d->com->SetBrakesOff();
}

int TKX::Stop() {
  if (SetFrc(0.0, 0.0, 0.0) < 0) return -1;
  return d->com->SetBrakesOn();
}

int TKX::WaitForReset(int ms) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->com->Reset() < 0) return -1;
  const double start = tkx::GetTimeMonotonic();
  const double limit = ms / 1000.0;
  unsigned char b = 0;
  if (d->com->GetStatus(&b) < 0) return -1;
  while ((b & 0x04) == 0) {
    // poll about once per guard period instead of spinning on the cache
    tkx::Sleep(tkxTimeGuard::kDefaultPeriod);
    if (d->com->GetStatus(&b) < 0) return -1;
    if ((b & 0x04) != 0) break;
    if (ms > 0 && tkx::GetTimeMonotonic() - start > limit) return tkx::Fail(TKX_ERR_TIMEOUT);
  }
  return 0;
}
