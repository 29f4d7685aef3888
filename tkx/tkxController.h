// The calibration layer of the maker's bare motor controllers: every raw motor
// command is corrected by its channel's slope and offset, about the motors'
// zero and within their range, before it goes to the communication object.
// Parameters 500 to 517; SetConfig must run before use.
#ifndef TKX_CONTROLLER_H
#define TKX_CONTROLLER_H

#include <fstream>

class tkxCom;

class tkxController {
 public:
  static constexpr int kChannels = 8;
  static constexpr int kFirstParam = 500;
  static constexpr int kLastParam = 517;
  static constexpr int kMotorValMax = 500;
  static constexpr int kMotorZeroVal = 501;
  static constexpr int kFirstSlope = 502;
  static constexpr int kFirstOffset = 510;

  tkxController() = default;
  virtual ~tkxController() = default;
  tkxController(const tkxController &) = delete;
  tkxController &operator=(const tkxController &) = delete;

  int SetConfig(int sysType);
  // the corrected command of one channel
  short Correct(int channel, short value) const;
  // each returns the communication call's result; a channel outside 0 to 7 is
  // refused with "index out of range" before anything is sent
  int SetTransMot(short m0, short m1, short m2, tkxCom *com);
  int SetRotMot(short m3, short m4, short m5, tkxCom *com);
  int SetMot(int channel, short value, tkxCom *com);
  int SetMot(const short *values, unsigned char mask, tkxCom *com);

  double GetParam(int id) const;
  int SetParam(int id, double value);
  static const char *GetParamName(int id);
  int ConfigToMemory(tkxCom *com);
  int ConfigFromMemory(tkxCom *com);
  int ConfigToFile(std::ofstream &out);
  int ConfigFromFile(std::ifstream &in);

 private:
  static bool IsShort(int id) { return id < kFirstSlope || id >= kFirstOffset; }
  void Store(int id, double value);
  // a value read from memory that a controller could hold
  static bool Plausible(int id, double value);

  double p_[kLastParam - kFirstParam + 1] = {};
};

#endif
