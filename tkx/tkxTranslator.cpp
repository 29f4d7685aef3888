// Conversions a model does not supply answer "operation not available"; the
// gravity compensation and its fade are common to every mechanism.
#include "tkx/tkxTranslator.h"

#include "tkx/tkxErrno.h"
#include "tkx/tkxTime.h"

static int NotAvailable() { return tkx::Fail(TKX_ERR_NOT_AVAILABLE); }

int tkxTranslator::EncToPos(int, int, int, double *, double *, double *) { return NotAvailable(); }
int tkxTranslator::PosToEnc(double, double, double, int *, int *, int *) { return NotAvailable(); }
int tkxTranslator::EncToJacobian(int, int, int, double[3][3]) { return NotAvailable(); }
int tkxTranslator::MotToFrc(short, short, short, int, int, int, double *, double *, double *) { return NotAvailable(); }
int tkxTranslator::FrcToMot(double, double, double, int, int, int, short *, short *, short *) { return NotAvailable(); }
int tkxTranslator::JointTrqToMot(double, double, double, short *, short *, short *) { return NotAvailable(); }

// ---- gravity compensation ----

int tkxTranslator::SetGravityCompensation(bool on, double time) {
  tkx::Lock lock(gravityLock_);
  if (on == gravityOn_) return 0;
  gravityOn_ = on;
  transitionTime_ = time;
  transitionStart_ = tkx::GetTimeMonotonic();
  startFactor_ = gravityFactor_;
  // a time that is not a positive number switches at once
  if (!(time > 0.0)) {
    gravityFactor_ = on ? 1.0 : 0.0;
    effectiveGravity_ = gravityFactor_ * gravity_;
  }
  Invalidate();
  return 0;
}

tkxTranslator::Gravity tkxTranslator::StepGravity() {
  tkx::Lock lock(gravityLock_);
  const bool rising = gravityOn_ && gravityFactor_ < 1.0;
  const bool falling = !gravityOn_ && gravityFactor_ > 0.0;
  if (rising || falling) {
    double f = rising ? 1.0 : 0.0;
    if (transitionTime_ > 0.0) {
      const double share = (tkx::GetTimeMonotonic() - transitionStart_) / transitionTime_;
      f = rising ? startFactor_ + share : startFactor_ - share;
      // written so that a value that is not a number ends the fade
      if (rising && !(f < 1.0)) f = 1.0;
      if (falling && !(f > 0.0)) f = 0.0;
    }
    gravityFactor_ = f;
    effectiveGravity_ = f * gravity_;
    // while the fade runs no cached force is valid
    Invalidate();
  }
  return {effectiveGravity_, gravityFactor_, gravityOn_ || gravityFactor_ > 0.0};
}

tkxTranslator::Gravity tkxTranslator::CurrentGravity() const {
  tkx::Lock lock(gravityLock_);
  return {effectiveGravity_, gravityFactor_, gravityOn_ || gravityFactor_ > 0.0};
}

void tkxTranslator::ResetGravity() {
  tkx::Lock lock(gravityLock_);
  gravityOn_ = true;
  gravityFactor_ = 1.0;
  startFactor_ = 1.0;
  effectiveGravity_ = gravity_;
  Invalidate();
}

bool tkxTranslator::GetGravityCompensation() const {
  tkx::Lock lock(gravityLock_);
  return gravityOn_;
}

double tkxTranslator::GetGravityFactor() const {
  tkx::Lock lock(gravityLock_);
  return gravityFactor_;
}

double tkxTranslator::GetGravity() const {
  tkx::Lock lock(gravityLock_);
  return gravity_;
}

double tkxTranslator::GetEffectiveGravity() const {
  tkx::Lock lock(gravityLock_);
  return effectiveGravity_;
}

void tkxTranslator::SetStandardGravity(double g) {
  tkx::Lock lock(gravityLock_);
  gravity_ = g;
  effectiveGravity_ = g;
  Invalidate();
}
