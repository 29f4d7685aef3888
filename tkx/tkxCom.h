// The abstract channel to one haptic device: state shared by the USB and Falcon
// classes, calibration parameters mapped onto device memory, firmware transfer
// to and from files, and the exchange-rate meter.
#ifndef TKX_COM_H
#define TKX_COM_H

#include "tkx/tkxMemoryMap.h"
#include "tkx/tkxTimeGuard.h"

#include <atomic>
#include <cstdint>
#include <string>

enum MemoryModel : int32_t {
  TKX_MEMORY_NONE = 0,   // no device memory
  TKX_MEMORY_SMALL = 2,  // small fixed layout
  TKX_MEMORY_FULL = 3,   // full parameter layout with header
};

class tkxCom : public tkxTimeGuard {
 public:
  static constexpr int kEncoders = 8;
  static constexpr int kFirmwareSize = 8192;
  static constexpr int kFirmwareBlock = 16;

  tkxCom();
  ~tkxCom() override;
  tkxCom(const tkxCom &) = delete;
  tkxCom &operator=(const tkxCom &) = delete;

  virtual int Open(int index) = 0;
  virtual int GetID() = 0;
  virtual MemoryModel GetMemMod();
  virtual int SetMemMod(MemoryModel model);
  virtual bool Ready() = 0;
  virtual int Stop();
  virtual int Close() = 0;
  virtual int Reset() = 0;
  virtual int ResetWrist() = 0;
  virtual int Preset(int *enc, unsigned char mask);
  virtual int CalibWrist() = 0;
  virtual int GetStatus(unsigned char *status) = 0;
  virtual int GetVersion(double *version) = 0;
  virtual int GetSysType() = 0;
  virtual int GetButtons(unsigned char *buttons) = 0;
  virtual int GetEnc(int channel, double *time);
  virtual int GetEnc(int *enc, unsigned char mask, double *time) = 0;
  virtual int GetAllEnc(int *enc, double *time) = 0;
  virtual int GetTransEnc(int *e0, int *e1, int *e2, double *time) = 0;
  virtual int GetRotEnc(int *e3, int *e4, int *e5, double *time) = 0;
  virtual int SetMot(int channel, short value) = 0;
  virtual int SetMot(short *values, unsigned char mask) = 0;
  virtual int SetTransMot(short m0, short m1, short m2) = 0;
  virtual int SetRotMot(short m3, short m4, short m5) = 0;
  virtual int SetBrakesOn() = 0;
  virtual int SetBrakesOff() = 0;
  virtual int SetBrakes(unsigned char mode);
  virtual int SetVelThresh(unsigned char threshold) = 0;
  virtual int GetVelThresh(unsigned char *threshold) = 0;
  virtual int SetMemAddr(unsigned short addr, unsigned char *src, unsigned char len) = 0;
  virtual int GetMemAddr(unsigned short addr, unsigned char *dst, unsigned char len) = 0;
  virtual int SetParam(int id, short value);
  virtual int GetParam(int id, short *value);
  virtual int SetParam(int id, int value);
  virtual int GetParam(int id, int *value);
  virtual int SetParam(int id, double value);
  virtual int GetParam(int id, double *value);
  virtual int WriteFw(const std::string &file, int *progress);
  virtual int ReadFw(const std::string &file, int *progress);
  virtual int EraseFw();
  virtual int SetFwAddr(unsigned short addr, unsigned char *src, unsigned char len) = 0;
  virtual int GetFwAddr(unsigned short addr, unsigned char *dst, unsigned char len) = 0;
  virtual int EnableFrc(unsigned char on) = 0;
  virtual int EmulateButton(unsigned char on) = 0;
  // thousands of motor-command exchanges per second since the previous call
  virtual double GetFreq();
  virtual int SetOperatingMode(unsigned char mode);
  virtual int GetOperatingMode(unsigned char *mode);

  static int GetOpenCount() { return OpenCount.load(); }

  // memory-model-3 address of a parameter
  static unsigned short ParamAddress(int id) { return tkx::mem::ParamAddress(id); }

 protected:
  // concrete classes count each motor-command exchange (under their device lock)
  void CountExchange() { exchangeCount.fetch_add(1, std::memory_order_relaxed); }

  bool open = false;
  int sysType = 0;
  bool wideEncoders = false;
  unsigned char status = 0;
  unsigned char buttons = 0;
  int encoders[kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
  std::atomic<unsigned int> exchangeCount{0};
  double rateTime = 0.0;
  double encTime = 0.0;
  MemoryModel memoryModel = TKX_MEMORY_NONE;

 private:
  static std::atomic<int> OpenCount;
};

#endif
