// Test doubles for the device registry: a bus of fake devices with their own
// memory, a communication class that serves it and records every write, and
// mechanism models with known masses. Installed through TKX::SetFactory.
#ifndef TESTS_TKX_FAKEDEVICE_H
#define TESTS_TKX_FAKEDEVICE_H

#include "tkx/tkx.h"
#include "tkx/tkxCom.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxGripper.h"
#include "tkx/tkxRotator.h"
#include "tkx/tkxTranslator.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace fake {

struct Device {
  int systemType = TKX_SYSTEM_TRION6;
  MemoryModel model = TKX_MEMORY_FULL;
  int openError = 0;  // non-zero: Open fails with this code
  std::vector<unsigned char> memory = std::vector<unsigned char>(1024, 0);

  // a memory that passes the header check
  void WriteValidHeader(uint16_t serial = 1234) {
    memory[100] = 0x01, memory[101] = 0x10;
    memory[102] = 7, memory[103] = 8, memory[104] = 9;
    memory[105] = static_cast<unsigned char>(serial >> 8), memory[106] = static_cast<unsigned char>(serial);
  }
  uint16_t Word(int addr) const { return static_cast<uint16_t>(memory[addr] << 8 | memory[addr + 1]); }
};

struct Write {
  int device;
  unsigned short addr;
  std::vector<unsigned char> bytes;
};

// everything the fakes saw, in order
struct Bus {
  std::vector<Device> usb, falcon;
  std::vector<Write> writes;
  std::vector<std::string> log;
  int translatorConfigResult = 0;  // what SetConfig of the fake translator answers
  int readConfigCalls = 0;
};

class Com : public tkxCom {
 public:
  Com(Bus &bus, bool falcon) : bus_(bus), falcon_(falcon) {}
  ~Com() override { bus_.log.push_back("delete " + Name()); }

  Device *Dev() {
    std::vector<Device> &list = falcon_ ? bus_.falcon : bus_.usb;
    return index_ >= 0 && index_ < static_cast<int>(list.size()) ? &list[index_] : nullptr;
  }
  std::string Name() const { return std::string(falcon_ ? "falcon" : "usb") + std::to_string(index_); }
  int GlobalIndex() const { return falcon_ ? static_cast<int>(bus_.usb.size()) + index_ : index_; }

  int Open(int index) override {
    index_ = index;
    bus_.log.push_back("open " + Name());
    Device *d = Dev();
    if (d == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
    if (d->openError) return tkx::Fail(d->openError);
    open = true;
    sysType = d->systemType;
    SetMemMod(d->model);
    return index;
  }
  int GetID() override { return open ? index_ : -1; }
  bool Ready() override { return open; }
  int Close() override {
    bus_.log.push_back("close " + Name());
    open = false;
    return 0;
  }
  int GetSysType() override { return Dev() ? Dev()->systemType : -1; }

  int SetMemAddr(unsigned short addr, unsigned char *src, unsigned char len) override {
    Device *d = Dev();
    if (d == nullptr || addr + len > static_cast<int>(d->memory.size())) return tkx::Fail(TKX_ERR_COMMUNICATION);
    std::memcpy(&d->memory[addr], src, len);
    bus_.writes.push_back({GlobalIndex(), addr, std::vector<unsigned char>(src, src + len)});
    return 0;
  }
  int GetMemAddr(unsigned short addr, unsigned char *dst, unsigned char len) override {
    Device *d = Dev();
    if (d == nullptr || addr + len > static_cast<int>(d->memory.size())) return tkx::Fail(TKX_ERR_COMMUNICATION);
    std::memcpy(dst, &d->memory[addr], len);
    return 0;
  }

  // what a fake device reports through the expert entries
  int Reset() override { return 0; }
  int ResetWrist() override { return 0; }
  int CalibWrist() override { return 0; }
  int GetStatus(unsigned char *s) override { return *s = 0x04, 0; }
  int GetVersion(double *v) override { return *v = 2.5, 0; }
  int GetButtons(unsigned char *b) override { return *b = 0, 0; }
  int GetEnc(int *enc, unsigned char mask, double *) override {
    for (int i = 0; i < kEncoders; ++i)
      if (mask & (1 << i)) enc[i] = 100 + i;
    return 0;
  }
  int GetAllEnc(int *enc, double *t) override { return GetEnc(enc, 0xFF, t); }
  int GetTransEnc(int *a, int *b, int *c, double *) override { return *a = 100, *b = 101, *c = 102, 0; }
  int GetRotEnc(int *a, int *b, int *c, double *) override { return *a = 103, *b = 104, *c = 105, 0; }
  int SetMot(int, short) override { return 0; }
  int SetMot(short *, unsigned char) override { return 0; }
  int SetTransMot(short, short, short) override { return 0; }
  int SetRotMot(short, short, short) override { return 0; }
  int SetBrakesOn() override { return 0; }
  int SetBrakesOff() override { return 0; }
  int SetVelThresh(unsigned char v) override { return velThresh_ = v, 0; }
  int GetVelThresh(unsigned char *v) override { return *v = velThresh_, 0; }
  int SetFwAddr(unsigned short, unsigned char *, unsigned char) override { return 0; }
  int GetFwAddr(unsigned short, unsigned char *, unsigned char) override { return 0; }
  int EnableFrc(unsigned char) override { return 0; }
  int EmulateButton(unsigned char) override { return 0; }

 private:
  Bus &bus_;
  bool falcon_;
  int index_ = -1;
  unsigned char velThresh_ = 0;
};

constexpr double kGripperMass = 0.1;
constexpr double kWristMass = 0.25;
constexpr double kPincherMass = 0.04;

class Translator : public tkxTranslator {
 public:
  explicit Translator(Bus &bus) : bus_(bus) {}
  int SetConfig(int) override {
    gripperMass = kGripperMass;
    additionalMass = 0.0;
    Update();
    return bus_.translatorConfigResult;
  }
  int ConfigFromFile(std::ifstream &) override { return 0; }
  int ConfigToFile(std::ofstream &) override { return 0; }
  int ConfigFromMemory(tkxCom *) override { return 0; }
  // one parameter is enough to see that the models were written
  int ConfigToMemory(tkxCom *com) override { return com->SetParam(120, 0.5); }
  double GetParam(int id) override { return id == 125 ? param125 : 0.0; }
  const char *GetParamName(int) override { return "TKX_EEPROM_FAKE"; }
  double GetDefaultParam(int, int) override { return 1.0; }
  double GetLowerParam(int, int) override { return 0.0; }
  double GetUpperParam(int, int) override { return 2.0; }
  int SetParam(int id, double v) override {
    if (id == 125) param125 = v;
    return 0;
  }
  double param125 = 0.0;

 private:
  Bus &bus_;
};

class Rotator : public tkxRotator {
 public:
  explicit Rotator(double axisOffset) : axisOffset(axisOffset) { mass = kWristMass; }
  int Update() override { return ++updates, 0; }
  int SetConfig(int) override { return 0; }
  int ConfigFromFile(std::ifstream &) override { return 0; }
  int ConfigToFile(std::ofstream &) override { return 0; }
  int ConfigFromMemory(tkxCom *) override { return 0; }
  int ConfigToMemory(tkxCom *) override { return 0; }
  int Calibrate(tkxCom *) override { return 0; }
  double GetParam(int) override { return 0.0; }
  const char *GetParamName(int) override { return "undefined"; }
  int SetParam(int, double) override { return 0; }
  double axisOffset;
  int updates = 0;
};

class Gripper : public tkxGripper {
 public:
  Gripper() { mass = kPincherMass; }
  int SetConfig(int) override { return 0; }
  int ConfigFromFile(std::ifstream &) override { return 0; }
  int ConfigToFile(std::ofstream &) override { return 0; }
  int ConfigFromMemory(tkxCom *) override { return 0; }
  int ConfigToMemory(tkxCom *) override { return 0; }
  int Calibrate(tkxCom *) override { return 0; }
  double GetParam(int) override { return 0.0; }
  const char *GetParamName(int) override { return "undefined"; }
  int SetParam(int, double) override { return 0; }
};

class Factory : public tkxDeviceFactory {
 public:
  explicit Factory(Bus &bus) : bus_(bus) {}
  int CountUSB() override { return static_cast<int>(bus_.usb.size()); }
  int CountFalcon() override { return static_cast<int>(bus_.falcon.size()); }
  std::unique_ptr<tkxCom> NewUSB() override { return std::make_unique<Com>(bus_, false); }
  std::unique_ptr<tkxCom> NewFalcon() override { return std::make_unique<Com>(bus_, true); }
  std::unique_ptr<tkxTranslator> NewTranslator(tkxTranslatorKind) override {
    return std::make_unique<Translator>(bus_);
  }
  std::unique_ptr<tkxRotator> NewRotator(tkxRotatorKind, double axisOffset) override {
    return std::make_unique<Rotator>(axisOffset);
  }
  std::unique_ptr<tkxGripper> NewGripper() override { return std::make_unique<Gripper>(); }

 private:
  Bus &bus_;
};

}  // namespace fake

#endif
