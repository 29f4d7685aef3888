// The maker's USB devices: every operation is one command packet to the OUT
// endpoint and, where the command has one, one 64-byte reply from the IN
// endpoint, under the object's device lock. Encoder and status replies refresh
// the caches that the time guard lets repeated reads share.
#ifndef TKX_COMUSB_H
#define TKX_COMUSB_H

#include "tkx/tkxCom.h"
#include "tkx/tkxComUSBPacket.h"
#include "tkx/tkxMutex.h"
#include "tkx/tkxc.h"

class tkxComUSB : public tkxCom {
 public:
  static constexpr int kMaxDevices = 4;

  tkxComUSB();
  ~tkxComUSB() override;

  int Open(int index) override;
  int GetID() override { return index_; }
  bool Ready() override { return open; }
  int Close() override;
  int Reset() override;
  int ResetWrist() override;
  int Preset(int *enc, unsigned char mask) override;
  int CalibWrist() override;
  int GetStatus(unsigned char *status) override;
  int GetVersion(double *version) override;
  int GetSysType() override;
  int GetButtons(unsigned char *buttons) override;
  int GetEnc(int channel, double *time) override { return tkxCom::GetEnc(channel, time); }
  int GetEnc(int *enc, unsigned char mask, double *time) override;
  int GetAllEnc(int *enc, double *time) override;
  int GetTransEnc(int *e0, int *e1, int *e2, double *time) override;
  int GetRotEnc(int *e3, int *e4, int *e5, double *time) override;
  int SetMot(int channel, short value) override;
  int SetMot(short *values, unsigned char mask) override;
  int SetTransMot(short m0, short m1, short m2) override;
  int SetRotMot(short m3, short m4, short m5) override;
  int SetBrakesOn() override;
  int SetBrakesOff() override;
  int SetBrakes(unsigned char mode) override;
  int SetVelThresh(unsigned char threshold) override;
  int GetVelThresh(unsigned char *threshold) override;
  int SetMemAddr(unsigned short addr, unsigned char *src, unsigned char len) override;
  int GetMemAddr(unsigned short addr, unsigned char *dst, unsigned char len) override;
  int SetFwAddr(unsigned short addr, unsigned char *src, unsigned char len) override;
  int GetFwAddr(unsigned short addr, unsigned char *dst, unsigned char len) override;
  int EnableFrc(unsigned char on) override;
  int EmulateButton(unsigned char on) override;
  int SetOperatingMode(unsigned char mode) override;
  int GetOperatingMode(unsigned char *mode) override;

  // encoder channels in replies, and the reset positions read at open
  int EncoderCount() const { return type_.channels; }
  bool HasStatus() const { return !type_.noStatus; }
  int ResetPosition(int channel) const { return resetPos_[channel]; }

  // discovery: the first call finds the devices (at most four) and keeps them
  // claimed; later calls answer the same count until ReleaseDevices
  static int FindDevices();
  static int GetDeviceCount();
  // releases every device record once discovery has run and no device is open
  static int ReleaseDevices();
  // true while discovery's records are held
  static bool Discovered() { return DeviceCount != -1; }

 private:
  // sends len bytes of the command buffer and, when reply is set, reads one reply.
  // The received byte count (0 without reply), or -1 after clearing both
  // endpoints with "communication error". Called with the device lock held.
  int Exchange(int len, bool reply);
  // an exchange whose reply must carry at least need bytes
  int Request(int len, int need);
  // one encoder exchange and its decoding; the lock is held
  int EncoderExchange(int len, double now);
  // answers an encoder read from the cache when the guard allows; the lock is held
  bool EncoderCacheFresh(double now);
  // after a failed read the guard's timer fires again at once; returns -1
  int ReadFailed(int timer, double now);
  int SimpleCommand(uint8_t code);
  int ByteCommand(uint8_t code, uint8_t value);
  int MemWrite(uint8_t code, unsigned short addr, unsigned char *src, unsigned char len);
  int MemRead(uint8_t code, unsigned short addr, unsigned char *dst, unsigned char len);
  void ReleaseIndex();

  int index_ = -1;
  void *record_ = nullptr;
  tkx::Mutex lock_;
  unsigned char command_[tkx::usb::kPacketSize] = {};
  unsigned char reply_[tkx::usb::kPacketSize] = {};
  // until the device says otherwise, a custom one
  tkx::usb::TypeInfo type_ = tkx::usb::TypeFromCode(TKX_SYSTEM_CUSTOM);
  unsigned char operatingMode_ = 0;
  int resetPos_[tkx::usb::kChannels] = {};

  static int DeviceCount;
  static void *DeviceHandlesUSB[kMaxDevices];
  static int DeviceAllocationTableUSB[kMaxDevices];
  static int DeviceOpened;
  static int DeviceCreated;
  static int PipeOut;
  static int PipeIn;
};

#endif
