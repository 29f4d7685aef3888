// Base of the translational mechanism models: encoders to position, force to
// motor commands, and the calibration parameters that drive both.
#ifndef TKX_TRANSLATOR_H
#define TKX_TRANSLATOR_H

#include <fstream>

class tkxCom;

class tkxTranslator {
 public:
  // recomputes the derived values; the base keeps effector = gripper + additional mass
  virtual int Update() {
    effectorMass = gripperMass + additionalMass;
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
  virtual int MotToFrc(short m0, short m1, short m2, int e0, int e1, int e2, double *fx, double *fy,
                       double *fz);
  virtual int FrcToMot(double fx, double fy, double fz, int e0, int e1, int e2, short *m0, short *m1,
                       short *m2);
  virtual int JointTrqToMot(double t0, double t1, double t2, short *m0, short *m1, short *m2);
  virtual double GetParam(int id) = 0;
  virtual const char *GetParamName(int id) = 0;
  virtual double GetDefaultParam(int id, int sysType) = 0;
  virtual double GetLowerParam(int id, int sysType) = 0;
  virtual double GetUpperParam(int id, int sysType) = 0;
  virtual int SetParam(int id, double value) = 0;

  double GetGripperMass() const { return gripperMass; }
  double GetAdditionalMass() const { return additionalMass; }
  double GetEffectorMass() const { return effectorMass; }
  void SetAdditionalMass(double m) { additionalMass = m; }

 protected:
  double gripperMass = 0.0;
  double additionalMass = 0.0;
  double effectorMass = 0.0;  // gripperMass + additionalMass after Update()
};

#endif
