// The passive stylus: three encoders read three angles of the handle, turned
// into the handle's orientation; no motors. Calibration parameters 300 to 308;
// its axis offset angle comes with its system type, not from memory.
#ifndef TKX_STYLUS_H
#define TKX_STYLUS_H

#include "tkx/tkxParamStorage.h"
#include "tkx/tkxRotator.h"

class tkxStylus : public tkxRotator {
 public:
  static constexpr int kFirstParam = 300;
  static constexpr int kLastParam = 308;
  static constexpr int kParamCount = kLastParam - kFirstParam + 1;
  static constexpr int kMassParam = 301;
  // named but not stored: the axis offset belongs to the system type
  static constexpr int kAxisOffsetParam = 302;
  // encoder value at the reference angles
  static constexpr int kEncoderReference = 0x8000;

  using Storage = tkx::ParamStorage;

  explicit tkxStylus(double axisOffset = 0.0);

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
  int EncToRot(int e0, int e1, int e2, double *r0, double *r1, double *r2) override;
  int RotToEnc(double r0, double r1, double r2, int *e0, int *e1, int *e2) override;
  int EncToMatrix(int e0, int e1, int e2, double R[3][3]) override;

  double GetAxisOffset() const { return axisOffset_; }

  // the tables behind the parameters (see tkxPincher); 302 has none: default
  // and bounds 0. The bounds are advisory.
  static double DefaultParam(int id);
  static double LowerParam(int id);
  static double UpperParam(int id);
  static const char *ParamName(int id);
  static Storage StorageOf(int id);
  static bool Acceptable(int id, double value);

 private:
  void Store(int id, double value);
  void Angles(int e0, int e1, int e2, double r[3]) const;

  int encres_ = 1200;
  int enc_[6] = {32500, 33000, 32500, 33000, 32500, 33000};  // 303 to 308
  double axisOffset_;

  // derived values (Update)
  double k_ = 0.0;
  double c_ = 1.0, s_ = 0.0;
};

#endif
