// The Falcon behind its USB serial converter. Each open uploads a firmware
// image through the converter (control requests set its line, then every byte
// sent is echoed back); from then on every exchange is one 16-byte frame of
// printable characters each way: three motor values and the LED bits out, three
// encoders, the homing state and the buttons in. Until the device reports that
// it has passed its homing position no force is sent and the encoders read 0.
//
// The embedded image is a placeholder of the device's image size, which the
// virtual Falcon accepts. TKX_FALCON_FIRMWARE names a file whose image is
// uploaded instead (read at each open; a file that cannot be read fails the open
// with "file not found" and a line on standard error).
#ifndef TKX_COMFALCON_H
#define TKX_COMFALCON_H

#include "tkx/tkxCom.h"
#include "tkx/tkxMutex.h"

#include <vector>

#define TKX_FALCON_PRODUCT_ID 0xCB48

class tkxComFalcon : public tkxCom {
 public:
  static constexpr int kMaxDevices = 4;
  static constexpr int kFrameSize = 16;
  static constexpr int kPacketSize = 64;
  static constexpr int kStatusBytes = 2;  // every converter packet starts with them
  static constexpr int kFirmwareImageSize = 8492;
  static constexpr int kMaxFirmwareSize = 65536;
  static constexpr int kUploadAttempts = 7;
  static constexpr int kUploadPiece = 62;
  // status-only packets in a row after which an upload step gives up
  static constexpr int kEmptyPacketLimit = 50;
  // what may be pending after a frame (15) plus one packet's data (62)
  static constexpr int kPendingSize = 80;
  static constexpr int kWaitRepeats = 10;
  static constexpr double kExchangePeriod = 0.001;  // s

  // status values
  static constexpr unsigned char kNotHomed = 0;
  static constexpr unsigned char kResetRequested = 1;
  static constexpr unsigned char kHomed = 5;
  // LED and control bits
  static constexpr unsigned char kLedHomed = 4;
  static constexpr unsigned char kLedNotHomed = 8;

  tkxComFalcon();
  ~tkxComFalcon() override;

  int Open(int index) override;
  int GetID() override { return index_; }
  bool Ready() override { return open; }
  int Close() override;
  int Reset() override;
  int ResetWrist() override { return 0; }
  int Preset(int *enc, unsigned char mask) override;
  int CalibWrist() override { return 0; }
  int GetStatus(unsigned char *status) override;
  int GetVersion(double *version) override;
  int GetSysType() override { return sysType = 60; }
  int GetButtons(unsigned char *buttons) override;
  int GetEnc(int channel, double *time) override { return tkxCom::GetEnc(channel, time); }
  int GetEnc(int *enc, unsigned char mask, double *time) override;
  int GetAllEnc(int *enc, double *time) override;
  int GetTransEnc(int *e0, int *e1, int *e2, double *time) override;
  int GetRotEnc(int *, int *, int *, double *) override { return 0; }
  int SetMot(int channel, short value) override;
  int SetMot(short *values, unsigned char mask) override;
  int SetTransMot(short m0, short m1, short m2) override;
  int SetRotMot(short, short, short) override { return 0; }
  int SetBrakesOn() override { return 0; }
  int SetBrakesOff() override { return 0; }
  int SetBrakes(unsigned char) override { return 0; }
  int SetVelThresh(unsigned char) override { return 0; }
  int GetVelThresh(unsigned char *) override { return 0; }
  int SetMemAddr(unsigned short, unsigned char *, unsigned char) override { return 0; }
  int GetMemAddr(unsigned short, unsigned char *, unsigned char) override { return 0; }
  int SetFwAddr(unsigned short, unsigned char *, unsigned char) override { return 0; }
  int GetFwAddr(unsigned short, unsigned char *, unsigned char) override { return 0; }
  int EnableFrc(unsigned char) override { return 0; }
  int EmulateButton(unsigned char) override { return 0; }

  int SetLED(unsigned char bits, bool exchange);
  // uploads an image: 0, or the failing step's negative code
  int WriteFirmware(const unsigned char *data, int length);
  // the image of a file (device open, non-empty name); -1 with "file not found"
  int WriteFirmware(const char *file);
  int SendControlMsg(int requestType, int request, int value, int index, unsigned char *data, int length);
  int WriteData(unsigned char *data, int length, bool async);
  int ReadData(unsigned char *data, int length, bool async);

  bool Homed() const {
    tkx::Lock lock(lock_);
    return homed_;
  }
  unsigned char LedBits() const {
    tkx::Lock lock(lock_);
    return led_;
  }

  // the embedded placeholder image (kFirmwareImageSize bytes)
  static const std::vector<unsigned char> &PlaceholderFirmware();
  // the image an open uploads: the placeholder, or TKX_FALCON_FIRMWARE's file.
  // False (with a line on standard error and "file not found") when that file
  // cannot be read or its size is 0 or above kMaxFirmwareSize.
  static bool LoadFirmware(std::vector<unsigned char> *image);

  // the frame codec
  static void EncodeFrame(unsigned char out[kFrameSize], const short motors[3], bool homed, unsigned char control);
  // encoders 0, 1, 2 and the flag byte of a received frame; false when it is not bracketed
  static bool DecodeFrame(const unsigned char in[kFrameSize], int enc[3], unsigned char *flags);
  // the button byte of the flags' lower four bits
  static unsigned char MapButtons(unsigned char flags);

  static int FindDevices();
  static int GetDeviceCount();
  static int ReleaseDevices();
  // true while discovery's records are held
  static bool Discovered() { return DeviceCount != -1; }

 private:
  // one frame exchange under the lock; with wait, up to kWaitRepeats until a frame arrives
  int Spin(bool wait);
  // exchanges when the last one is older than kExchangePeriod; 1 when it was not needed
  int SpinIfDue(bool wait, int rounds);
  void Append(const unsigned char *data, int length);
  bool DecodePending(double now);
  int Communication();
  void ReleaseIndex();
  // reads converter packets until echoed reaches want; false after a failed read
  // or kEmptyPacketLimit status-only packets in a row
  bool ReadEcho(int want, int *echoed, int *lastLength);

  int index_ = -1;
  void *record_ = nullptr;
  mutable tkx::Mutex lock_;
  short motors_[3] = {0, 0, 0};
  int raw_[3] = {0, 0, 0};
  int offsets_[3] = {0, 0, 0};
  bool homed_ = false;
  unsigned char led_ = 0;
  unsigned char reset_ = 0;
  unsigned char pending_[kPendingSize] = {};
  int pendingCount_ = 0;
  unsigned char out_[kFrameSize] = {};
  unsigned char in_[kPacketSize] = {};
  double lastExchange_ = 0.0;
  std::vector<unsigned char> image_;

  static int DeviceCount;
  static void *DeviceHandlesUSB[kMaxDevices];
  static int DeviceAllocationTableUSB[kMaxDevices];
  static int DeviceOpened;
  static int DeviceCreated;
  static int PipeOut;
  static int PipeIn;
};

#endif
