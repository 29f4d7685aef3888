// The active wrist: three motors wind cables that set the lengths of three legs
// between the wrist's base and its moving part, against three springs.
// Closed-form angles from the leg lengths and cable tensions from torques, each
// with a one-entry cache behind its own lock; calibration parameters 200 to 237.
#ifndef TKX_WRIST_H
#define TKX_WRIST_H

#include "tkx/tkxMutex.h"
#include "tkx/tkxRotator.h"

#include <atomic>
#include <cstdint>

class tkxWrist : public tkxRotator {
 public:
  static constexpr int kFirstParam = 200;
  static constexpr int kLastParam = 237;
  static constexpr int kParamCount = kLastParam - kFirstParam + 1;
  static constexpr int kDacValuePerVoltParam = 226;
  static constexpr int kMassParam = 228;

  tkxWrist();

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
  int MotToTrq(short m0, short m1, short m2, int e0, int e1, int e2, double *t0, double *t1, double *t2) override;
  int TrqToMot(double t0, double t1, double t2, int e0, int e1, int e2, short *m0, short *m1, short *m2) override;
  int EncToMatrix(int e0, int e1, int e2, double R[3][3]) override;

  // the tables behind the parameters: every type with this wrist shares them;
  // only the derived DAC scale has no default of its own
  static double DefaultParam(int id);
  static double LowerParam(int id);
  static double UpperParam(int id);
  static const char *ParamName(int id);
  static bool IsShort(int id);

  // the fixed geometry, metres: leg points on the base and on the moving part,
  // spring points on the base and on the moving part
  static const double kA[3][3], kB[3][3], kS[3][3], kT[3][3];

 private:
  struct Moments {
    double Q[3][3];    // moving part's rotation
    double m[3][3];    // leg moment arms, one per row
    double f[3];       // spring moments summed
    double inv[3][3];  // inverse of the matrix whose columns are the leg arms
    bool regular;
  };
  bool Angles(int e0, int e1, int e2, double r[3]) const;
  // the moving part's rotation and its moment arms at the given angles
  void AtAngles(const double r[3], Moments *mo) const;
  void Store(int id, double value);
  double &P(int id) { return p_[id - kFirstParam]; }
  double P(int id) const { return p_[id - kFirstParam]; }

  double p_[kParamCount];

  // derived values (Update)
  double L_[3] = {0, 0, 0};
  double a0sq_ = 0, a1sq_ = 0, b0sq_ = 0, b1sq_ = 0;
  double ck_ = 1.0, sk_ = 0.0;
  double k_ = 0.0;
  double tensionPerVolt_ = 0.0;

  std::atomic<uint64_t> gen_{1};

  struct RotCache {
    tkx::Mutex lock;
    uint64_t gen = 0;
    int e[3] = {0, 0, 0};
    double r[3] = {0, 0, 0};
    int result = -1;
  } rot_;
  struct MotCache {
    tkx::Mutex lock;
    uint64_t gen = 0;
    int e[3] = {0, 0, 0};
    double t[3] = {0, 0, 0};
    short m[3] = {0, 0, 0};
    int result = -1;
  } mot_;
};

#endif
