// Base of the rotational mechanism models (wrist, stylus).
#ifndef TKX_ROTATOR_H
#define TKX_ROTATOR_H

#include <fstream>

class tkxCom;

class tkxRotator {
 public:
  virtual int Update() { return 0; }
  virtual ~tkxRotator() = default;
  virtual int SetConfig(int sysType) = 0;
  virtual int ConfigFromFile(std::ifstream &in) = 0;
  virtual int ConfigToFile(std::ofstream &out) = 0;
  virtual int ConfigFromMemory(tkxCom *com) = 0;
  virtual int ConfigToMemory(tkxCom *com) = 0;
  virtual int Calibrate(tkxCom *com) = 0;
  virtual double GetParam(int id) = 0;
  virtual const char *GetParamName(int id) = 0;
  virtual int SetParam(int id, double value) = 0;
  virtual int EncToRot(int e0, int e1, int e2, double *r0, double *r1, double *r2);
  virtual int RotToEnc(double r0, double r1, double r2, int *e0, int *e1, int *e2);
  virtual int MotToTrq(short m0, short m1, short m2, int e0, int e1, int e2, double *t0, double *t1, double *t2);
  virtual int TrqToMot(double t0, double t1, double t2, int e0, int e1, int e2, short *m0, short *m1, short *m2);
  virtual int EncToMatrix(int e0, int e1, int e2, double R[3][3]);

  double GetMass() const { return mass; }
  bool IsLeftHanded() const { return leftHanded; }
  void SetLeftHanded(bool left) { leftHanded = left; }

 protected:
  double mass = 0.0;
  bool leftHanded = false;
};

#endif
