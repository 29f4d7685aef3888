// The three-arm parallel mechanism: three motor-driven upper arms spaced around
// a base, each carrying a parallelogram lower arm to a common end-effector
// platform. Closed-form kinematics and force conversion, each with a one-entry
// cache behind its own lock, and the calibration parameters 120 to 169.
#ifndef TKX_TRION_H
#define TKX_TRION_H

#include "tkx/tkxDeltaGeometry.h"
#include "tkx/tkxMutex.h"
#include "tkx/tkxParamStorage.h"
#include "tkx/tkxTranslator.h"

#include <atomic>
#include <cstdint>

class tkxTrion : public tkxTranslator {
 public:
  static constexpr int kFirstParam = 120;
  static constexpr int kLastNamedParam = 167;
  static constexpr int kLastParam = 169;
  static constexpr int kParamCount = kLastParam - kFirstParam + 1;
  // encoder increments per motor turn
  static constexpr int kEncoderIncrementsParam = 125;
  // the spring compensation: stiffness, pulley radius and force offset per arm
  static constexpr int kFirstSpringParam = 153;
  static constexpr int kLastSpringParam = 161;

  // storage type of a parameter in device memory and in the model
  using Storage = tkx::ParamStorage;

  tkxTrion();

  int Update() override;
  int SetConfig(int sysType) override;
  int ConfigFromFile(std::ifstream &in) override;
  int ConfigToFile(std::ofstream &out) override;
  int ConfigFromMemory(tkxCom *com) override;
  int ConfigToMemory(tkxCom *com) override;
  int EncToPos(int e0, int e1, int e2, double *px, double *py, double *pz) override;
  int PosToEnc(double px, double py, double pz, int *e0, int *e1, int *e2) override;
  int EncToJacobian(int e0, int e1, int e2, double J[3][3]) override;
  int FrcToMot(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1, short *m2) override;
  int JointTrqToMot(double t0, double t1, double t2, short *m0, short *m1, short *m2) override;
  double GetParam(int id) override;
  const char *GetParamName(int id) override;
  double GetDefaultParam(int id, int sysType) override;
  double GetLowerParam(int id, int sysType) override;
  double GetUpperParam(int id, int sysType) override;
  int SetParam(int id, double value) override;

  // the tables behind the operations above, for whoever needs them without a model
  static double DefaultParam(int id, int sysType);
  static double LowerParam(int id, int sysType);
  static double UpperParam(int id, int sysType);
  static const char *ParamName(int id);
  static Storage StorageOf(int id);
  // true for the system types that carry this mechanism
  static bool IsTrionType(int sysType);

  // the arm torques behind FrcToMot, in DAC counts before slopes, offsets and
  // limits: the part that produces the requested force and the part that holds
  // the mechanism (gravity in force now, springs). The fade is not advanced.
  int ArmTorques(double fx, double fy, double fz, int e0, int e1, int e2, double user[3], double held[3]);

 private:
  using Pose = tkx::DeltaPose;
  // the closed-form forward model; false on a geometric failure
  bool Forward(int e0, int e1, int e2, Pose *pose) const;
  void ToDevice(const double P[3], double *px, double *py, double *pz) const;
  // user and held torques (counts) at a pose; false when the configuration is singular
  bool Torques(const double F[3], const Pose &pose, const Gravity &g, double user[3], double held[3]) const;
  void Store(int id, double value);
  double &P(int id) { return p_[id - kFirstParam]; }
  double P(int id) const { return p_[id - kFirstParam]; }
  void InvalidateAll();

  double p_[kParamCount];

  // derived values (Update)
  double countsPerTurn_ = 0.0;
  double anglePerCount_ = 0.0;
  double gain_ = 0.0;
  double cphi_[3] = {1, 1, 1}, sphi_[3] = {0, 0, 0};
  double cbeta_ = 1.0, sbeta_ = 0.0;
  double calpha_ = 1.0, salpha_ = 0.0;
  double twoAR_ = 0.0, abr_ = 0.0;

  // kinematic caches follow parameter changes only
  std::atomic<uint64_t> kinGen_{1};

  struct ForwardCache {
    tkx::Mutex lock;
    uint64_t gen = 0;
    int e[3] = {-12345, -12345, -12345};
    double P[3] = {0, 0, 0};
    int result = -1;
  } fwd_;
  struct InverseCache {
    tkx::Mutex lock;
    uint64_t gen = 0;
    double p[3] = {-10, -10, -10};
    int e[3] = {-1, -1, -1};
    bool written = false;  // the encoders belong to the answer
    int result = -1;
  } inv_;
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
