// Device slots: the binding of each of the four slots of the C API to one
// physical device, with its communication object and mechanism models.
#ifndef TKX_TKX_H
#define TKX_TKX_H

#include "tkx/tkxVelocityEstimator.h"
#include "tkx/tkxc.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class tkxCom;
class tkxTranslator;
class tkxRotator;
class tkxGripper;
class tkxController;

enum tkxTranslatorKind { TKX_TRANSLATOR_TRION, TKX_TRANSLATOR_FALCON };
enum tkxRotatorKind { TKX_ROTATOR_WRIST, TKX_ROTATOR_STYLUS };

// Creates what a slot binds to. The default counts and opens the real buses
// and builds the library's own models; tests install their own through
// TKX::SetFactory to drive the open and close sequences without hardware.
// Each New... hands its object to the slot, or null when there is none.
class tkxDeviceFactory {
 public:
  virtual ~tkxDeviceFactory() = default;
  virtual int CountUSB();
  virtual int CountFalcon();
  virtual std::unique_ptr<tkxCom> NewUSB();
  virtual std::unique_ptr<tkxCom> NewFalcon();
  virtual std::unique_ptr<tkxTranslator> NewTranslator(tkxTranslatorKind kind);
  // axisOffset: the stylus's axis offset angle (rad)
  virtual std::unique_ptr<tkxRotator> NewRotator(tkxRotatorKind kind, double axisOffset);
  virtual std::unique_ptr<tkxGripper> NewGripper();
};

class TKX {
 public:
  static constexpr int kMaxDevices = 4;

  struct ITKX {
    int id = -1;
    int systemType = 0;
    uint16_t eepromVersion = 0;
    uint8_t tkcVersion = 0, tkxVersion = 0, tkwVersion = 0;
    uint16_t serialNumber = 0;
    // the open found the device's own calibration in its memory
    bool calibrated = false;
    // the core words (the encoders' reset positions among them) a configuration
    // file carried, held until WriteConfig puts them into memory
    std::array<uint16_t, 15> fileCoreWords{};
    bool coreWordsPending = false;
    // written by whichever thread commands a force, read back by any other
    std::atomic<double> force[3] = {{0.0}, {0.0}, {0.0}};
    std::atomic<double> torque[3] = {{0.0}, {0.0}, {0.0}};
    int encoders[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    tkx::VelocityEstimator velocity;
    // owned while the slot is bound
    std::unique_ptr<tkxCom> com;
    std::unique_ptr<tkxTranslator> translator;
    std::unique_ptr<tkxRotator> rotator;
    std::unique_ptr<tkxGripper> gripper;
    // the bare controllers' calibration layer (types 81, 82); it stays when the
    // mechanism behind the controller is declared
    std::unique_ptr<tkxController> controller;

    // registry shared by all slots
    static std::atomic<int> DeviceCountUSB;
    static std::atomic<int> DeviceCountFalcon;
    static std::atomic<int> DeviceCount;
    static std::atomic<int> DeviceAllocationTable[kMaxDevices];
  };

  TKX();
  ~TKX();
  TKX(const TKX &) = delete;
  TKX &operator=(const TKX &) = delete;

  // registry
  static int GetDeviceCount();
  // nullptr restores the default factory; the factory must outlive its use
  static void SetFactory(tkxDeviceFactory *factory);
  static tkxDeviceFactory &Factory();
  static int AllocationState(int index);  // -1 absent, 0 free, 1 bound; 2 for a bad index

  // binding
  int Open();
  int Open(int index);
  int Close();
  int ControllerSetDevice(int systemType);

  // identity
  int GetID() const { return d->id; }
  int GetSystemType() const { return d->systemType; }
  const char *GetSystemName() const { return SystemName(d->systemType); }
  static const char *SystemName(int systemType);
  bool IsLeftHanded() const;
  uint8_t GetTKCVersion() const { return d->tkcVersion; }
  uint8_t GetTKXVersion() const { return d->tkxVersion; }
  uint8_t GetTKWVersion() const { return d->tkwVersion; }
  uint16_t GetSerialNumber() const { return d->serialNumber; }
  uint16_t GetEEPROMVersion() const { return d->eepromVersion; }
  // true when the open loaded a calibration from device memory; false when the
  // memory was blank and took the factory defaults, and for a device without memory
  bool IsCalibrated() const { return d->calibrated; }
  int SetTKCVersion(uint8_t v) {
    d->tkcVersion = v;
    return 0;
  }
  int SetTKXVersion(uint8_t v) {
    d->tkxVersion = v;
    return 0;
  }
  int SetTKWVersion(uint8_t v) {
    d->tkwVersion = v;
    return 0;
  }
  int SetSerialNumber(uint16_t v) {
    d->serialNumber = v;
    return 0;
  }

  // parts (null when absent)
  tkxCom *GetCom() const { return d->com.get(); }
  tkxTranslator *GetTranslator() const { return d->translator.get(); }
  tkxRotator *GetRotator() const { return d->rotator.get(); }
  tkxGripper *GetGripper() const { return d->gripper.get(); }
  tkxController *GetController() const { return d->controller.get(); }
  tkx::VelocityEstimator &Velocity() { return d->velocity; }
  int *EncoderCache() { return d->encoders; }

  // parameters and device memory
  double GetParam(int id);
  int SetParam(int id, double value);
  const char *GetParamName(int id);
  double GetDefaultParam(int id);
  double GetLowerParam(int id);
  double GetUpperParam(int id);
  int GetMemAddr(unsigned short addr, unsigned char *buf, unsigned char len);
  int SetMemAddr(unsigned short addr, unsigned char *buf, unsigned char len);
  short GetShortFromMemory(int id);
  int GetIntFromMemory(int id);
  double GetDoubleFromMemory(int id);
  int SetShortToMemory(int id, short v);
  int SetIntToMemory(int id, int v);
  int SetDoubleToMemory(int id, double v);
  int GetMemoryModel();
  int SetMemoryModel(int model);
  int ReadConfig();
  int WriteConfig();
  int WriteHeader();
  // configuration text files: a "[header]" block, each model's section, then the
  // "[system]" section naming the type; a file is checked whole before any of it is kept
  int ReadConfigFromFile(const char *file);
  int WriteConfigToFile(const char *file);
  int ReadFirmware(const char *file, int *progress);
  int WriteFirmware(const char *file, int *progress);
  int EraseFirmware();
  int GetOperatingMode(unsigned char *mode);
  int SetOperatingMode(unsigned char mode);

  // position, orientation and force pipeline of an open slot. Reads write their
  // outputs only when they succeed and skip null ones (the C entries clear them
  // before calling); "flag" results are 1 when an encoder read was answered from
  // the time-guard cache, else 0; -1 on failure.
  int GetPos(double *px, double *py, double *pz);
  int GetRotRad(double *a, double *b, double *g);                                            // flag
  int GetRotDeg(double *a, double *b, double *g);                                            // flag
  int GetPosAndRotRad(double *px, double *py, double *pz, double *a, double *b, double *g);  // flag
  int GetPosAndRotDeg(double *px, double *py, double *pz, double *a, double *b, double *g);  // flag
  int GetRotMatrix(double R[3][3]);
  int GetPosAndRotMatrix(double *px, double *py, double *pz, double R[3][3]);  // flag
  int GetJacobian(double J[3][3]);
  int GetLinVel(double *vx, double *vy, double *vz);
  // window in seconds, rate in samples per second
  int ConfigLinVel(double window, double rate);
  int GetGripRotRad(double *angle);
  int GetGripRotDeg(double *angle);
  int GetGripThumb(double *px, double *py, double *pz);   // flag
  int GetGripFinger(double *px, double *py, double *pz);  // flag
  int SetFrc(double fx, double fy, double fz);
  int SetTrq(double ta, double tb, double tg);
  int SetFrcAndTrq(double fx, double fy, double fz, double ta, double tb, double tg);  // flag
  int SetFrcAndGripFrc(double fx, double fy, double fz, double fg);
  int SetFrcAndGripTrq(double fx, double fy, double fz, double tg);
  int SetGripFrc(double fg);
  int SetGripTrq(double tg);
  // what was last requested, while the device reports that output on
  int GetFrc(double *fx, double *fy, double *fz);
  int GetTrq(double *ta, double *tb, double *tg);
  int GetFrcAndTrq(double *fx, double *fy, double *fz, double *ta, double *tb, double *tg);
  int GetStatus(int status[TKX_STATUS_COUNT]);
  // the button's bit value (button 2 pressed gives 4), 0 for an index outside 0..7
  int GetButton(int index);
  int SetGravity(bool on, double time);
  int SetStandardGravity(double g);
  int SetEffectorMass(double m);
  double GetEffectorMass();
  int SetDeviceAngle(double rad);
  double GetDeviceAngle();  // -1.0 without a translator
  int SetBrakes(int on);
  int Stop();
  // ms <= 0 waits without limit
  int WaitForReset(int ms);

  // time
  static double GetTime();
  static int Sleep(double seconds);

  // the address printed after "initialization error: please contact "
  static const char *const kSupportAddress;

 private:
  void BuildModels(int systemType, bool allowFalcon);
  void DeleteModels();
  void SetLeftHandFlags(int systemType);
  int FinishModels();
  // ReadConfig; *unreadable is set when it failed because a device read failed
  int LoadConfig(bool *unreadable);
  int FailOpen();
  int FailInit(bool message);
  int ReadPosition(double p[3], bool exact);
  int ReadRotation(double r[3]);
  int ReadGripperPoint(double p[3], bool thumb);
  int SetFrcAndGrip(double fx, double fy, double fz, double g, bool torque);
  int SetGrip(double value, bool torque);

  std::unique_ptr<ITKX> d;
};

#endif
