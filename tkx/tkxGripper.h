// Base of the gripper models.
#ifndef TKX_GRIPPER_H
#define TKX_GRIPPER_H

#include <fstream>

class tkxCom;

class tkxGripper {
 public:
  virtual int Update() { return 0; }
  virtual ~tkxGripper() = default;
  virtual int SetConfig(int sysType) = 0;
  virtual int ConfigFromFile(std::ifstream &in) = 0;
  virtual int ConfigToFile(std::ofstream &out) = 0;
  virtual int ConfigFromMemory(tkxCom *com) = 0;
  virtual int ConfigToMemory(tkxCom *com) = 0;
  virtual int Calibrate(tkxCom *com) = 0;
  virtual double GetParam(int id) = 0;
  virtual const char *GetParamName(int id) = 0;
  virtual int SetParam(int id, double value) = 0;
  virtual int EncToRot(int enc, double *angle);
  virtual int RotToEnc(double angle, int *enc);
  virtual int MotToTrq(short mot, double *torque);
  virtual int TrqToMot(double torque, short *mot);
  virtual int EncToPos(int enc, double *gap);
  virtual int PosToEnc(double gap, int *enc);
  virtual int MotToFrc(short mot, double *force);
  virtual int FrcToMot(double force, short *mot);
  virtual int EncToThumb(double R[3][3], double *x, double *y, double *z);
  virtual int EncToFinger(int enc, double R[3][3], double *x, double *y, double *z);

  double GetMass() const { return mass; }
  bool IsLeftHanded() const { return leftHanded; }
  void SetLeftHanded(bool left) { leftHanded = left; }

 protected:
  double mass = 0.0;
  bool leftHanded = false;
};

#endif
