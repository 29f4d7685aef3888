// Base of the translational mechanism models: encoders to position, force to
// motor commands, and the calibration parameters that drive both. The base
// keeps what every mechanism shares: base angle, masses and the gravity
// compensation with its gradual switch.
#ifndef TKX_TRANSLATOR_H
#define TKX_TRANSLATOR_H

#include "tkx/tkxMutex.h"

#include <atomic>
#include <cstdint>
#include <fstream>

class tkxCom;

class tkxTranslator {
 public:
  static constexpr double kStandardGravity = 9.81;

  tkxTranslator() = default;
  tkxTranslator(const tkxTranslator &) = delete;
  tkxTranslator &operator=(const tkxTranslator &) = delete;

  // recomputes the derived values; the base keeps effector = gripper + additional mass
  virtual int Update() {
    effectorMass = gripperMass + additionalMass;
    Invalidate();
    return 0;
  }
  virtual ~tkxTranslator() = default;
  virtual int SetConfig(int sysType) = 0;
  virtual int ConfigFromFile(std::ifstream &in) = 0;
  virtual int ConfigToFile(std::ofstream &out) = 0;
  virtual int ConfigFromMemory(tkxCom *com) = 0;
  virtual int ConfigToMemory(tkxCom *com) = 0;
  virtual int EncToPos(int e0, int e1, int e2, double *px, double *py, double *pz);
  virtual int PosToEnc(double px, double py, double pz, int *e0, int *e1, int *e2);
  virtual int EncToJacobian(int e0, int e1, int e2, double J[3][3]);
  virtual int MotToFrc(short m0, short m1, short m2, int e0, int e1, int e2, double *fx, double *fy, double *fz);
  virtual int FrcToMot(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1, short *m2);
  virtual int JointTrqToMot(double t0, double t1, double t2, short *m0, short *m1, short *m2);
  virtual double GetParam(int id) = 0;
  virtual const char *GetParamName(int id) = 0;
  virtual double GetDefaultParam(int id, int sysType) = 0;
  virtual double GetLowerParam(int id, int sysType) = 0;
  virtual double GetUpperParam(int id, int sysType) = 0;
  virtual int SetParam(int id, double value) = 0;

  // switches the compensation on or off, fading over time seconds during the
  // following force conversions (at once when time <= 0); 0
  int SetGravityCompensation(bool on, double time);
  bool GetGravityCompensation() const;
  double GetGravityFactor() const;
  double GetGravity() const;
  double GetEffectiveGravity() const;
  // sets both the gravity and the effective gravity; the caller runs Update()
  void SetStandardGravity(double g);

  double GetBaseAngle() const { return baseAngle; }
  // the caller runs Update() so that derived values follow
  void SetBaseAngle(double rad) {
    baseAngle = rad;
    Invalidate();
  }
  double GetGripperMass() const { return gripperMass; }
  double GetAdditionalMass() const { return additionalMass; }
  double GetEffectorMass() const { return effectorMass; }
  void SetAdditionalMass(double m) {
    additionalMass = m;
    Invalidate();
  }

 protected:
  // what the force conversion uses of the compensation at one instant
  struct Gravity {
    double effective;  // m/s²
    double factor;     // 0 to 1
    bool active;       // requested on, or still fading out
  };
  // advances the fade to the library time and returns the state in force
  Gravity StepGravity();
  // the state in force without advancing the fade
  Gravity CurrentGravity() const;
  // back to full compensation, as a fresh configuration has it
  void ResetGravity();

  // every change that alters a force conversion moves this on, so a cached
  // conversion from before it is never answered again
  void Invalidate() { generation_.fetch_add(1, std::memory_order_relaxed); }
  uint64_t Generation() const { return generation_.load(std::memory_order_relaxed); }

  double baseAngle = 0.0;
  double gripperMass = 0.0;
  double additionalMass = 0.0;
  double effectorMass = 0.0;  // gripperMass + additionalMass after Update()

 private:
  mutable tkx::Mutex gravityLock_;
  bool gravityOn_ = true;
  double transitionTime_ = 0.0;
  double transitionStart_ = 0.0;
  double startFactor_ = 1.0;
  double gravityFactor_ = 1.0;
  double gravity_ = kStandardGravity;
  double effectiveGravity_ = kStandardGravity;
  std::atomic<uint64_t> generation_{1};
};

#endif
