// The Falcon's three-arm mechanism: the same closed-form kinematics and force
// conversion as the trion, with its geometry and motor constants fixed in the
// model instead of read from device memory, and the whole mechanism turned by
// 5.47 degrees about its vertical axis. It keeps no parameters.
#ifndef TKX_FALCON_H
#define TKX_FALCON_H

#include "tkx/tkxDeltaGeometry.h"
#include "tkx/tkxMutex.h"
#include "tkx/tkxTranslator.h"

#include <cstdint>

class tkxFalcon : public tkxTranslator {
 public:
  static constexpr double kA = 0.06;   // upper arm
  static constexpr double kB = 0.15;   // lower arm
  static constexpr double kR = 0.022;  // radius difference
  static constexpr double kAnglePerCount = 0.0005167093180246371;
  static constexpr double kAngleAtZero = 0.31397683987149505;
  static constexpr double kTurnCos = 0.995446246636795;
  static constexpr double kTurnSin = 0.09532455117500986;
  static constexpr double kOriginDistance = 0.146;
  static constexpr double kTorqueGain = 2982.4561403508774;  // DAC counts per N·m
  static constexpr double kMotorLimit = 4095.0;
  static constexpr double kArmGravityTorque = 0.086;  // N·m
  static constexpr double kArmGravityAngle = 0.46914450293607574;
  static constexpr double kEffectorMass = 0.19;

  tkxFalcon() = default;

  int Update() override;
  int SetConfig(int sysType) override;
  int ConfigFromFile(std::ifstream &) override { return 0; }
  int ConfigToFile(std::ofstream &) override { return 0; }
  int ConfigFromMemory(tkxCom *) override { return 0; }
  int ConfigToMemory(tkxCom *) override { return 0; }
  int EncToPos(int e0, int e1, int e2, double *px, double *py, double *pz) override;
  int PosToEnc(double px, double py, double pz, int *e0, int *e1, int *e2) override;
  int FrcToMot(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1, short *m2) override;
  double GetParam(int) override { return 0.0; }
  const char *GetParamName(int) override { return "undefined"; }
  double GetDefaultParam(int, int) override { return 0.0; }
  double GetLowerParam(int, int) override { return 0.0; }
  double GetUpperParam(int, int) override { return 0.0; }
  int SetParam(int, double) override { return 0; }

  // arm positions about the vertical axis (rad)
  static double ArmPosition(int i);

 private:
  // the point is in the mechanism frame before the turn
  using Pose = tkx::DeltaPose;
  static bool Forward(int e0, int e1, int e2, Pose *pose);
  void ToDevice(const double m[3], double *px, double *py, double *pz) const;
  // device-frame vector into the mechanism frame
  void ToMechanism(const double v[3], double out[3]) const;
  bool Torques(const double F[3], const Pose &pose, const Gravity &g, double user[3], double held[3]) const;

  double cbeta_ = 1.0, sbeta_ = 0.0;

  struct ForwardCache {
    tkx::Mutex lock;
    int e[3] = {-12345, -12345, -12345};
    double P[3] = {0, 0, 0};
    int result = -1;
  } fwd_;
  struct ForceCache {
    tkx::Mutex lock;
    uint64_t gen = 0;
    int e[3] = {-1, -1, -1};
    double f[3] = {-10, -10, -10};
    short m[3] = {0, 0, 0};
    int result = -1;
  } frc_;
};

#endif
