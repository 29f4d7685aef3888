// The motorised pinch gripper: a finger turning about a pivot against a fixed
// thumb, its angle on encoder 6 and its motor on channel 3. Calibration
// parameters 400 to 421; the conversions are closed forms without caches.
#ifndef TKX_PINCHER_H
#define TKX_PINCHER_H

#include "tkx/tkxGripper.h"
#include "tkx/tkxParamStorage.h"

class tkxPincher : public tkxGripper {
 public:
  static constexpr int kFirstParam = 400;
  static constexpr int kLastParam = 421;
  static constexpr int kParamCount = kLastParam - kFirstParam + 1;
  // the gripper's own mass, kg; fixed, not a parameter
  static constexpr double kMass = 0.1;
  // encoder value at the reference finger angle
  static constexpr int kEncoderReference = 0x8000;

  // storage type of a parameter in device memory and in the model
  using Storage = tkx::ParamStorage;

  tkxPincher();

  int Update() override;
  int SetConfig(int sysType) override;
  int ConfigFromFile(std::ifstream &in) override;
  int ConfigToFile(std::ofstream &out) override;
  int ConfigFromMemory(tkxCom *com) override;
  int ConfigToMemory(tkxCom *com) override;
  int Calibrate(tkxCom *com) override;
  double GetParam(int id) override;
  const char *GetParamName(int id) override;
  int SetParam(int id, double value) override;
  int EncToRot(int enc, double *angle) override;
  int RotToEnc(double angle, int *enc) override;
  int MotToTrq(short mot, double *torque) override;
  int TrqToMot(double torque, short *mot) override;
  int FrcToMot(double force, short *mot) override;
  int EncToThumb(double R[3][3], double *x, double *y, double *z) override;
  int EncToFinger(int enc, double R[3][3], double *x, double *y, double *z) override;

  // the tables behind the parameters, for whoever needs them without a model
  // (the factory calibration of a device image): every type with this gripper
  // shares them. The bounds are advisory, wide enough for any plausible unit
  // and narrow enough that every derived value stays finite and non-zero.
  static double DefaultParam(int id);
  static double LowerParam(int id);
  static double UpperParam(int id);
  static const char *ParamName(int id);
  static Storage StorageOf(int id);
  // a value the model accepts from memory or a file: finite and within bounds
  static bool Acceptable(int id, double value);

 private:
  void Store(int id, double value);
  double &P(int id) { return p_[id - kFirstParam]; }
  double P(int id) const { return p_[id - kFirstParam]; }
  // a motor command from a torque; false for a torque that is no number
  bool Command(double torque, short *mot) const;

  double p_[kParamCount];

  // derived values (Update)
  double k_ = 0.0;     // finger angle per encoder count, rad
  double gain_ = 0.0;  // motor counts per N·m
};

#endif
