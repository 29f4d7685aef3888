#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxComFalcon.h"
#include "tkx/tkxComUSB.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxGripper.h"
#include "tkx/tkxRotator.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxTranslator.h"
#include "tkx/tkxTrion.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <new>
#include <string>

const char *const TKX::kSupportAddress = "support@tkx-haptics.example.com";

std::atomic<int> TKX::ITKX::DeviceCountUSB{0};
std::atomic<int> TKX::ITKX::DeviceCountFalcon{0};
std::atomic<int> TKX::ITKX::DeviceCountPCI{0};
std::atomic<int> TKX::ITKX::DeviceCount{0};
std::atomic<int> TKX::ITKX::DeviceAllocationTable[TKX::kMaxDevices] = {{-1}, {-1}, {-1}, {-1}};

// ---------------------------------------------------------------------------
// factory

int tkxDeviceFactory::CountUSB() { return tkxComUSB::GetDeviceCount(); }
int tkxDeviceFactory::CountFalcon() { return tkxComFalcon::GetDeviceCount(); }
tkxCom *tkxDeviceFactory::NewUSB() { return new (std::nothrow) tkxComUSB(); }
// the Falcon channel and the other mechanism models arrive with their own code;
// until then nothing is built for them
tkxCom *tkxDeviceFactory::NewFalcon() { return nullptr; }
tkxTranslator *tkxDeviceFactory::NewTranslator(tkxTranslatorKind kind) {
  return kind == TKX_TRANSLATOR_TRION ? new (std::nothrow) tkxTrion() : nullptr;
}
tkxRotator *tkxDeviceFactory::NewRotator(tkxRotatorKind, double) { return nullptr; }
tkxGripper *tkxDeviceFactory::NewGripper() { return nullptr; }

namespace {

tkxDeviceFactory defaultFactory;
std::atomic<tkxDeviceFactory *> factory{&defaultFactory};

constexpr double kQuarterPi = 0.7853981633974483;

// which models a system type builds
struct TypeModels {
  int type;
  const char *name;
  bool trion;
  bool falcon;
  bool wrist;
  bool stylus;
  double stylusOffset;
  bool pincher;
};

const TypeModels kTypes[] = {
    {TKX_SYSTEM_NONE, "none", false, false, false, false, 0, false},
    {TKX_SYSTEM_SIMULATOR, "simulator", false, false, false, false, 0, false},
    {TKX_SYSTEM_TRION3, "trion.3", true, false, false, false, 0, false},
    {TKX_SYSTEM_POLUX, "polux", true, false, false, false, 0, false},
    {TKX_SYSTEM_POLUX3, "polux.3", true, false, false, false, 0, false},
    {TKX_SYSTEM_POLUX6_RIGHT, "polux.6 (right-hand)", true, false, false, true, kQuarterPi, false},
    {TKX_SYSTEM_POLUX7_RIGHT, "polux.7 (right-hand)", true, false, false, true, 0.0, true},
    {TKX_SYSTEM_POLUX6_LEFT, "polux.6 (left-hand)", true, false, false, true, kQuarterPi, false},
    {TKX_SYSTEM_POLUX7_LEFT, "polux.7 (left-hand)", true, false, false, true, 0.0, true},
    {TKX_SYSTEM_FALCON, "Falcon", false, true, false, false, 0, false},
    {TKX_SYSTEM_TRION6, "trion.6", true, false, true, false, 0, false},
    {TKX_SYSTEM_TRION6_HR, "trion.6 (high-resolution)", true, false, true, false, 0, false},
    {TKX_SYSTEM_TRION3_USB, "trion.3 (USB)", true, false, false, false, 0, false},
    {TKX_SYSTEM_TRION6_USB, "trion.6 (USB)", true, false, true, false, 0, false},
    {TKX_SYSTEM_CONTROLLER, "controller", false, false, false, false, 0, false},
    {TKX_SYSTEM_CONTROLLER_HR, "controller (high-resolution)", false, false, false, false, 0, false},
    {TKX_SYSTEM_CUSTOM, "custom", false, false, false, false, 0, false},
    {TKX_SYSTEM_TQ2200, "TQ-2200", true, false, false, false, 0, false},
};

const TypeModels *FindType(int type) {
  for (const TypeModels &t : kTypes)
    if (t.type == type) return &t;
  return nullptr;
}

struct CoreParam {
  const char *name;
  double def;
};

const CoreParam kCoreParams[15] = {
    {"TKX_EEPROM_INTERNAL_ENCOFFSET0", 30500}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET1", 21500}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET2", 21500}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET3", 32768}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET4", 32768}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET5", 32768}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET6", 32768}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET7", 32768},
};

// factory calibration block written at address 0 by auto-configuration
const unsigned char kFactoryBlock[14] = {0x77, 0x24, 0x53, 0xFC, 0x53, 0xFC, 0x80,
                                         0x00, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00};

constexpr unsigned short kHeaderAddress = 100;
constexpr uint16_t kHeaderVersion = 0x0110;
constexpr uint16_t kSmallLayoutVersion = 0xFFFF;

// a recount refreshes every index no slot holds; a device attached after the
// library loaded can then be opened by the first-free scan as well
void RefreshAllocation() {
  const int count = TKX::ITKX::DeviceCount.load();
  for (int i = 0; i < TKX::kMaxDevices; ++i) {
    std::atomic<int> &entry = TKX::ITKX::DeviceAllocationTable[i];
    if (entry.load() != 1) entry.store(i < count ? 0 : -1);
  }
}

void Count() {
  tkxDeviceFactory &f = TKX::Factory();
  TKX::ITKX::DeviceCountUSB = f.CountUSB();
  TKX::ITKX::DeviceCountPCI = 0;
  TKX::ITKX::DeviceCountFalcon = f.CountFalcon();
  TKX::ITKX::DeviceCount = TKX::ITKX::DeviceCountUSB + TKX::ITKX::DeviceCountPCI + TKX::ITKX::DeviceCountFalcon;
}

}  // namespace

tkxDeviceFactory &TKX::Factory() { return *factory.load(); }

void TKX::SetFactory(tkxDeviceFactory *f) { factory.store(f ? f : &defaultFactory); }

int TKX::AllocationState(int index) {
  if (index < 0 || index >= kMaxDevices) return 2;
  return ITKX::DeviceAllocationTable[index].load();
}

int TKX::GetDeviceCount() {
  Count();
  RefreshAllocation();
  return ITKX::DeviceCount;
}

TKX::TKX() : d(new ITKX) {
  Count();
  RefreshAllocation();
  tkx::SetError(ITKX::DeviceCount < 1 ? TKX_ERR_NO_DEVICE : TKX_ERR_NONE);
}

TKX::~TKX() {
  Close();
  delete d;
}

const char *TKX::SystemName(int systemType) {
  const TypeModels *t = FindType(systemType);
  return t ? t->name : "unknown";
}

bool TKX::IsLeftHanded() const { return d->rotator != nullptr && d->rotator->IsLeftHanded(); }

double TKX::GetTime() { return GetTimeMonotonic(); }

int TKX::Sleep(double seconds) { return tkx::Sleep(seconds); }

// ---------------------------------------------------------------------------
// open and close

void TKX::DeleteModels() {
  delete d->translator;
  delete d->rotator;
  delete d->gripper;
  d->translator = nullptr;
  d->rotator = nullptr;
  d->gripper = nullptr;
}

void TKX::BuildModels(int systemType, bool allowFalcon) {
  const TypeModels *t = FindType(systemType);
  if (t == nullptr) return;
  tkxDeviceFactory &f = Factory();
  if (t->trion) d->translator = f.NewTranslator(TKX_TRANSLATOR_TRION);
  if (t->falcon && allowFalcon) d->translator = f.NewTranslator(TKX_TRANSLATOR_FALCON);
  if (t->wrist) d->rotator = f.NewRotator(TKX_ROTATOR_WRIST, 0.0);
  if (t->stylus) d->rotator = f.NewRotator(TKX_ROTATOR_STYLUS, t->stylusOffset);
  if (t->pincher) d->gripper = f.NewGripper();
}

void TKX::SetLeftHandFlags(int systemType) {
  if (systemType == TKX_SYSTEM_POLUX6_LEFT && d->rotator) {
    d->rotator->SetLeftHanded(true);
    d->rotator->Update();
  }
  if (systemType == TKX_SYSTEM_POLUX7_LEFT) {
    if (d->gripper) {
      d->gripper->SetLeftHanded(true);
      d->gripper->Update();
    }
    if (d->rotator) {
      d->rotator->SetLeftHanded(true);
      d->rotator->Update();
    }
  }
}

// steps shared by the open and the controller binding once the calibration is loaded
int TKX::FinishModels() {
  if (d->systemType == TKX_SYSTEM_TRION6_HR) SetParam(125, 2000.0);
  if ((d->systemType == TKX_SYSTEM_TRION6 || d->systemType == TKX_SYSTEM_TRION6_HR ||
       d->systemType == TKX_SYSTEM_TRION6_USB) &&
      d->rotator)
    d->rotator->Update();
  // the effector carries every attached rotator and gripper
  if (d->translator) {
    const double parts[2] = {d->rotator ? d->rotator->GetMass() : 0.0, d->gripper ? d->gripper->GetMass() : 0.0};
    const bool present[2] = {d->rotator != nullptr, d->gripper != nullptr};
    for (int i = 0; i < 2; ++i) {
      if (!present[i]) continue;
      tkxTranslator *tr = d->translator;
      tr->SetAdditionalMass(tr->GetEffectorMass() + parts[i] - tr->GetGripperMass());
      tr->Update();
    }
  }
  return 0;
}

int TKX::FailInit(bool message) {
  tkx::SetError(TKX_ERR_AUTOCONFIG);
  if (message) {
    std::printf("initialization error: please contact %s\n", kSupportAddress);
    std::fflush(stdout);
  }
  if (d->com) d->com->Close();
  return -1;
}

int TKX::Open() {
  if (ITKX::DeviceCount <= 0) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->id != -1) return 0;
  const int n = ITKX::DeviceCount < kMaxDevices ? ITKX::DeviceCount.load() : kMaxDevices;
  for (int i = 0; i < n; ++i)
    if (ITKX::DeviceAllocationTable[i] == 0) return Open(i);
  return tkx::Fail(TKX_ERR_NO_DEVICE);
}

int TKX::Open(int index) {
  if (index == d->id) return 0;
  if (d->id != -1) Close();
  if (index < 0 || index >= kMaxDevices) return tkx::Fail(TKX_ERR_NO_DEVICE);

  tkxDeviceFactory &f = Factory();
  const int usb = ITKX::DeviceCountUSB;
  const int falcon = ITKX::DeviceCountFalcon;
  tkxCom *com = nullptr;
  int comIndex = 0;
  if (index < usb) {
    com = f.NewUSB();
    comIndex = index;
  } else if (index < usb + falcon) {
    com = f.NewFalcon();
    comIndex = index - usb;
  } else {
    return -1;
  }
  if (com == nullptr) return tkx::Fail(TKX_ERR_OUT_OF_MEMORY);
  if (com->Open(comIndex) < 0) {
    delete com;
    return -1;
  }

  d->com = com;
  ITKX::DeviceAllocationTable[index] = 1;
  d->id = index;

  const MemoryModel model = com->GetMemMod();
  com->SetMemMod(model);
  if (model == TKX_MEMORY_SMALL) d->eepromVersion = kSmallLayoutVersion;
  if (model == TKX_MEMORY_FULL) d->eepromVersion = kHeaderVersion;

  d->systemType = com->GetSysType();
  BuildModels(d->systemType, true);
  SetLeftHandFlags(d->systemType);

  const int config = ReadConfig();
  if (config == -2) {
    // blank memory: factory defaults for every part, then stored in the device
    tkxTranslator *tr = d->translator;
    tkxRotator *ro = d->rotator;
    tkxGripper *gr = d->gripper;
    if (tr && tr->SetConfig(d->systemType) < 0) return FailInit(true);
    if (ro && ro->SetConfig(d->systemType) < 0) return FailInit(true);
    if (gr && gr->SetConfig(d->systemType) < 0) return FailInit(true);
    if (com->GetMemMod() == TKX_MEMORY_FULL) {
      d->tkcVersion = d->tkxVersion = d->tkwVersion = 0;
      d->serialNumber = 0;
      if (WriteConfig() < 0 || WriteHeader() < 0) return FailInit(false);
      unsigned char block[sizeof kFactoryBlock];
      for (size_t i = 0; i < sizeof block; ++i) block[i] = kFactoryBlock[i];
      com->SetMemAddr(0, block, sizeof block);
    }
  } else if (config < 0) {
    return FailInit(true);
  }

  FinishModels();
  com->EnableTimeGuard(0.0005);
  d->velocity.Init(3, GetTimeMonotonic(), 0.02, 5000.0, VELOCITY_WINDOW_SPAN);
  return index;
}

int TKX::ControllerSetDevice(int type) {
  const int own = d->systemType;
  if (own != TKX_SYSTEM_CONTROLLER && own != TKX_SYSTEM_CONTROLLER_HR && own != TKX_SYSTEM_CUSTOM)
    return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  // the earlier mechanism's models are replaced, not leaked
  DeleteModels();
  switch (type) {
    case 31: case 32: case 33: case 34: case 35: case 36: case 37:
    case 61: case 62: case 63: case 64: case 101:
      BuildModels(type, false);
      break;
    default:
      break;
  }
  SetLeftHandFlags(type);
  if (d->translator && d->translator->SetConfig(type) < 0) {
    tkx::SetError(TKX_ERR_AUTOCONFIG);
    d->com->Close();
    return -1;
  }
  d->systemType = type;
  if (ReadConfig() < 0) {
    d->com->Close();
    return -1;
  }
  FinishModels();
  return 0;
}

int TKX::Close() {
  if (d->com) d->com->Close();
  DeleteModels();
  delete d->com;
  d->com = nullptr;
  if (d->id >= 0 && d->id < kMaxDevices) ITKX::DeviceAllocationTable[d->id] = 0;
  d->id = -1;
  return 0;
}

// ---------------------------------------------------------------------------
// parameters

double TKX::GetParam(int id) {
  if (id < 0) return 0.0;
  if (id <= 14) {
    if (d->com == nullptr) {
      tkx::SetError(TKX_ERR_NO_DEVICE);
      return 0.0;
    }
    unsigned char b[2] = {0, 0};
    d->com->GetMemAddr(static_cast<unsigned short>(2 * id), b, 2);
    return static_cast<double>(b[0] * 256 + b[1]);
  }
  if (id < 120) return 0.0;
  if (id < 200 && d->translator) return d->translator->GetParam(id);
  if (id < 400 && d->rotator) return d->rotator->GetParam(id);
  if (id < 500 && d->gripper) return d->gripper->GetParam(id);
  return 0.0;
}

int TKX::SetParam(int id, double value) {
  if (id < 0) return -1;
  if (id <= 14) {
    const int v = (value > -2147483648.0 && value < 2147483648.0) ? static_cast<int>(value) : 0;
    unsigned char b[2] = {static_cast<unsigned char>((v >> 8) & 0xFF), static_cast<unsigned char>(v & 0xFF)};
    SetMemAddr(static_cast<unsigned short>(2 * id), b, 2);
    return 0;
  }
  if (id < 120) return -1;
  if (id < 200 && d->translator) return d->translator->SetParam(id, value);
  if (id < 400 && d->rotator) return d->rotator->SetParam(id, value);
  if (id < 500 && d->gripper) return d->gripper->SetParam(id, value);
  return -1;
}

const char *TKX::GetParamName(int id) {
  if (id < 0) return "undefined";
  if (id <= 14) return kCoreParams[id].name;
  if (id < 120) return "undefined";
  if (id < 200 && d->translator) return d->translator->GetParamName(id);
  if (id < 400 && d->rotator) return d->rotator->GetParamName(id);
  if (id < 500 && d->gripper) return d->gripper->GetParamName(id);
  return "undefined";
}

double TKX::GetDefaultParam(int id) {
  if (id >= 0 && id <= 14) return kCoreParams[id].def;
  if (id >= 120 && id < 200) return d->translator ? d->translator->GetDefaultParam(id, d->systemType) : 0.0;
  return 0.0;
}

double TKX::GetLowerParam(int id) {
  if (id < 0) return -1000.0;
  if (id <= 14) return kCoreParams[id].def - 1000.0;
  if (id >= 120 && id < 200) return d->translator ? d->translator->GetLowerParam(id, d->systemType) : 0.0;
  return 0.0;
}

double TKX::GetUpperParam(int id) {
  if (id < 0) return 1000.0;
  if (id <= 14) return kCoreParams[id].def + 1000.0;
  if (id >= 120 && id < 200) return d->translator ? d->translator->GetUpperParam(id, d->systemType) : 0.0;
  return 0.0;
}

int TKX::GetMemAddr(unsigned short addr, unsigned char *buf, unsigned char len) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->GetMemAddr(addr, buf, len);
}

int TKX::SetMemAddr(unsigned short addr, unsigned char *buf, unsigned char len) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->SetMemAddr(addr, buf, len);
}

short TKX::GetShortFromMemory(int id) {
  if (d->com == nullptr) return static_cast<short>(tkx::Fail(TKX_ERR_NO_DEVICE) + 1);
  short v = 0;
  d->com->GetParam(id, &v);
  return v;
}

int TKX::GetIntFromMemory(int id) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE) + 1;
  int v = 0;
  d->com->GetParam(id, &v);
  return v;
}

double TKX::GetDoubleFromMemory(int id) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE) + 1;
  double v = 0.0;
  d->com->GetParam(id, &v);
  return v;
}

int TKX::SetShortToMemory(int id, short v) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->SetParam(id, v);
}

int TKX::SetIntToMemory(int id, int v) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->SetParam(id, v);
}

int TKX::SetDoubleToMemory(int id, double v) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->SetParam(id, v);
}

int TKX::GetMemoryModel() {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->GetMemMod();
}

int TKX::SetMemoryModel(int model) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  d->com->SetMemMod(static_cast<MemoryModel>(model));
  if (model == TKX_MEMORY_SMALL) {
    d->eepromVersion = kSmallLayoutVersion;
    return 0;
  }
  if (model == TKX_MEMORY_FULL) {
    d->eepromVersion = kHeaderVersion;
    return 0;
  }
  return -1;
}

int TKX::ReadConfig() {
  tkxCom *com = d->com;
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (com->GetSysType() == TKX_SYSTEM_FALCON)
    return d->translator ? d->translator->SetConfig(d->systemType) : 0;
  const MemoryModel model = com->GetMemMod();
  if (model != TKX_MEMORY_SMALL && model != TKX_MEMORY_FULL) return -2;
  if (model == TKX_MEMORY_FULL) {
    unsigned char b[2] = {0, 0};
    com->GetMemAddr(kHeaderAddress, b, 2);
    if (b[0] != 0x01 || b[1] != 0x10) return -2;
    d->eepromVersion = kHeaderVersion;
    unsigned char v = 0;
    com->GetMemAddr(102, &v, 1);
    d->tkcVersion = v;
    v = 0;
    com->GetMemAddr(103, &v, 1);
    d->tkxVersion = v;
    v = 0;
    com->GetMemAddr(104, &v, 1);
    d->tkwVersion = v;
    unsigned char s[2] = {0, 0};
    com->GetMemAddr(105, s, 2);
    d->serialNumber = static_cast<uint16_t>((s[0] << 8) | s[1]);
  }
  if (d->translator) {
    d->translator->SetConfig(d->systemType);
    d->translator->ConfigFromMemory(com);
  }
  if (d->rotator) {
    d->rotator->SetConfig(d->systemType);
    d->rotator->ConfigFromMemory(com);
  }
  if (d->gripper) {
    d->gripper->SetConfig(d->systemType);
    d->gripper->ConfigFromMemory(com);
  }
  // the early polux has no springs
  if (com->GetSysType() == TKX_SYSTEM_POLUX)
    for (int id = 153; id <= 161; ++id) SetParam(id, 0.0);
  return 0;
}

int TKX::WriteConfig() {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator) d->translator->ConfigToMemory(d->com);
  if (d->rotator) d->rotator->ConfigToMemory(d->com);
  if (d->gripper) d->gripper->ConfigToMemory(d->com);
  return 0;
}

int TKX::WriteHeader() {
  tkxCom *com = d->com;
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (com->GetMemMod() != TKX_MEMORY_FULL) return 0;
  unsigned char v[2] = {static_cast<unsigned char>(d->eepromVersion >> 8),
                        static_cast<unsigned char>(d->eepromVersion)};
  com->SetMemAddr(kHeaderAddress, v, 2);
  unsigned char b = d->tkcVersion;
  com->SetMemAddr(102, &b, 1);
  b = d->tkxVersion;
  com->SetMemAddr(103, &b, 1);
  b = d->tkwVersion;
  com->SetMemAddr(104, &b, 1);
  unsigned char s[2] = {static_cast<unsigned char>(d->serialNumber >> 8),
                        static_cast<unsigned char>(d->serialNumber)};
  com->SetMemAddr(105, s, 2);
  return 0;
}

int TKX::ReadFirmware(const char *file, int *progress) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (file == nullptr) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  return d->com->ReadFw(file, progress);
}

int TKX::WriteFirmware(const char *file, int *progress) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (file == nullptr) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  return d->com->WriteFw(file, progress);
}

int TKX::EraseFirmware() {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->EraseFw();
}

int TKX::GetOperatingMode(unsigned char *mode) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->GetOperatingMode(mode);
}

int TKX::SetOperatingMode(unsigned char mode) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return d->com->SetOperatingMode(mode);
}

// ---------------------------------------------------------------------------
// configuration files

namespace {

// the header keys, in the order they are written and read
const char *const kHeaderKeys[5] = {"EEPROM_VERSION=", "EEPROM_TKC_VERSION=", "EEPROM_TKX_VERSION=",
                                    "EEPROM_TKW_VERSION=", "EEPROM_SERIAL_NUMBER="};

// skips the line end and the key before a value; the skipped text must end with "="
bool SkipHeaderKey(std::istream &in, const char *key) {
  in.ignore(static_cast<std::streamsize>(std::char_traits<char>::length(key)));
  return in.good() && in.get() == '=';
}

}  // namespace

int TKX::WriteConfigToFile(const char *file) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (file == nullptr) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  std::ofstream out(file, std::ios::out | std::ios::trunc | std::ios::binary);
  // a file that cannot be made is a failure, not an empty success
  if (!out.is_open()) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  out << "[header]\n" << std::flush;
  const MemoryModel model = d->com->GetMemMod();
  if (model == TKX_MEMORY_FULL || model == TKX_MEMORY_SMALL) {
    const bool full = model == TKX_MEMORY_FULL;
    const unsigned values[5] = {d->eepromVersion, d->tkcVersion, d->tkxVersion, d->tkwVersion, d->serialNumber};
    for (int i = 0; i < 5; ++i) out << kHeaderKeys[i] << (full ? values[i] : 0u) << '\n' << std::flush;
  }
  if (d->translator) d->translator->ConfigToFile(out);
  if (d->rotator) d->rotator->ConfigToFile(out);
  if (d->gripper) d->gripper->ConfigToFile(out);
  out.flush();
  return out.good() ? 0 : tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
}

int TKX::ReadConfigFromFile(const char *file) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (file == nullptr) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  std::ifstream in(file, std::ios::in | std::ios::binary);
  if (!in.is_open()) return tkx::Fail(TKX_ERR_FILE_NOT_FOUND);
  // one character more than the word, so a longer first word never matches
  std::string word;
  in >> std::setw(9) >> word;
  if (!in || word != "[header]") return tkx::Fail(TKX_ERR_AUTOCONFIG);
  // the header is read by position; all of it is read before any of it is kept
  int values[5];
  for (int i = 0; i < 5; ++i) {
    double v = 0.0;
    // a value must end its line, or it may have been cut short
    if (!SkipHeaderKey(in, kHeaderKeys[i]) || !(in >> v) || !(v > -2147483648.0 && v < 2147483648.0) ||
        in.peek() != '\n')
      return tkx::Fail(TKX_ERR_AUTOCONFIG);
    values[i] = static_cast<int>(v);
  }
  d->eepromVersion = static_cast<uint16_t>(values[0]);
  d->tkcVersion = static_cast<uint8_t>(values[1]);
  d->tkxVersion = static_cast<uint8_t>(values[2]);
  d->tkwVersion = static_cast<uint8_t>(values[3]);
  d->serialNumber = static_cast<uint16_t>(values[4]);
  // each model takes its defaults, then its own section; a section that cannot
  // be read leaves that model with the defaults and the whole read failed
  bool complete = true;
  if (d->translator) {
    d->translator->SetConfig(d->systemType);
    complete = d->translator->ConfigFromFile(in) >= 0 && complete;
  }
  if (d->rotator) {
    d->rotator->SetConfig(d->systemType);
    complete = d->rotator->ConfigFromFile(in) >= 0 && complete;
  }
  if (d->gripper) {
    d->gripper->SetConfig(d->systemType);
    complete = d->gripper->ConfigFromFile(in) >= 0 && complete;
  }
  return complete ? 0 : tkx::Fail(TKX_ERR_AUTOCONFIG);
}

// ---------------------------------------------------------------------------
// position, orientation and force pipeline

namespace {

constexpr double kDegPerRad = 57.29577951308232;
constexpr int kStatusEntries = 13;

// the active wrists: the only mechanisms that take torque commands
bool TakesTorque(int type) {
  return type == TKX_SYSTEM_TRION6 || type == TKX_SYSTEM_TRION6_HR || type == TKX_SYSTEM_TRION6_USB;
}

template <typename T>
void Put(T *p, T v) {
  if (p) *p = v;
}

void Put3(double *x, double *y, double *z, const double v[3]) {
  Put(x, v[0]), Put(y, v[1]), Put(z, v[2]);
}

void Identity(double R[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) R[i][j] = i == j ? 1.0 : 0.0;
}

void CopyMatrix(double (*to)[3], const double from[3][3]) {
  if (to == nullptr) return;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) to[i][j] = from[i][j];
}

// 1 when any of the encoder reads was answered from the cache
int Flag(int a, int b = 0) { return a == 1 || b == 1 ? 1 : 0; }

}  // namespace

// one translation-encoder read converted to a position and fed to the velocity
// estimator at the encoder time; the read's result or -1. exact: any non-zero
// conversion result fails, not only a negative one
int TKX::ReadPosition(double p[3], bool exact) {
  int e0 = 0, e1 = 0, e2 = 0;
  double t = 0.0;
  const int r = d->com->GetTransEnc(&e0, &e1, &e2, &t);
  if (r < 0) return -1;
  const int c = d->translator->EncToPos(e0, e1, e2, &p[0], &p[1], &p[2]);
  if (exact ? c != 0 : c < 0) return -1;
  d->velocity.Update(t, p);
  return r;
}

int TKX::ReadRotation(double r[3]) {
  int e3 = 0, e4 = 0, e5 = 0;
  const int c = d->com->GetRotEnc(&e3, &e4, &e5, nullptr);
  if (c < 0) return -1;
  if (d->rotator->EncToRot(e3, e4, e5, &r[0], &r[1], &r[2]) < 0) return -1;
  return c;
}

int TKX::GetPos(double *px, double *py, double *pz) {
  Put(px, 0.0), Put(py, 0.0), Put(pz, 0.0);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  double p[3] = {0, 0, 0};
  if (ReadPosition(p, true) < 0) return -1;
  Put3(px, py, pz, p);
  return 0;
}

int TKX::GetRotRad(double *a, double *b, double *g) {
  Put(a, 0.0), Put(b, 0.0), Put(g, 0.0);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  double r[3] = {0, 0, 0};
  const int c = ReadRotation(r);
  if (c < 0) return -1;
  Put3(a, b, g, r);
  return Flag(c);
}

int TKX::GetRotDeg(double *a, double *b, double *g) {
  const int r = GetRotRad(a, b, g);
  if (r >= 0) {
    if (a) *a *= kDegPerRad;
    if (b) *b *= kDegPerRad;
    if (g) *g *= kDegPerRad;
  }
  return r;
}

int TKX::GetPosAndRotRad(double *px, double *py, double *pz, double *a, double *b, double *g) {
  Put(px, 0.0), Put(py, 0.0), Put(pz, 0.0), Put(a, 0.0), Put(b, 0.0), Put(g, 0.0);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr && d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  double r[3] = {0, 0, 0}, p[3] = {0, 0, 0};
  int cr = 0, cp = 0;
  if (d->rotator && (cr = ReadRotation(r)) < 0) return -1;
  if (d->translator && (cp = ReadPosition(p, false)) < 0) return -1;
  Put3(a, b, g, r);
  Put3(px, py, pz, p);
  return Flag(cr, cp);
}

int TKX::GetPosAndRotDeg(double *px, double *py, double *pz, double *a, double *b, double *g) {
  const int r = GetPosAndRotRad(px, py, pz, a, b, g);
  if (a) *a *= kDegPerRad;
  if (b) *b *= kDegPerRad;
  if (g) *g *= kDegPerRad;
  return r;
}

int TKX::GetRotMatrix(double R[3][3]) {
  double M[3][3];
  Identity(M);
  CopyMatrix(R, M);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  // without a wrist the frame stays the identity, and the code is left alone
  if (d->rotator == nullptr) return -1;
  int e3 = 0, e4 = 0, e5 = 0;
  if (d->com->GetRotEnc(&e3, &e4, &e5, nullptr) < 0) return -1;
  const int r = d->rotator->EncToMatrix(e3, e4, e5, M);
  CopyMatrix(R, M);
  return r;
}

int TKX::GetPosAndRotMatrix(double *px, double *py, double *pz, double R[3][3]) {
  Put(px, 0.0), Put(py, 0.0), Put(pz, 0.0);
  double M[3][3];
  Identity(M);
  CopyMatrix(R, M);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int cr = 0;
  if (d->rotator) {
    int e3 = 0, e4 = 0, e5 = 0;
    if ((cr = d->com->GetRotEnc(&e3, &e4, &e5, nullptr)) < 0) return -1;
    if (d->rotator->EncToMatrix(e3, e4, e5, M) < 0) return -1;
  }
  double p[3] = {0, 0, 0};
  const int cp = ReadPosition(p, false);
  if (cp < 0) return -1;
  Put3(px, py, pz, p);
  CopyMatrix(R, M);
  return Flag(cr, cp);
}

int TKX::GetJacobian(double J[3][3]) {
  double M[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  CopyMatrix(J, M);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int e0 = 0, e1 = 0, e2 = 0;
  if (d->com->GetTransEnc(&e0, &e1, &e2, nullptr) < 0) return -1;
  const int r = d->translator->EncToJacobian(e0, e1, e2, M);
  CopyMatrix(J, M);
  return r;
}

int TKX::GetLinVel(double *vx, double *vy, double *vz) {
  Put(vx, 0.0), Put(vy, 0.0), Put(vz, 0.0);
  // no device, no translator or a failed read: the estimator's old samples are
  // not answered as a success
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  double p[3] = {0, 0, 0};
  if (ReadPosition(p, true) < 0) return -1;
  double v[3] = {0, 0, 0};
  const int r = d->velocity.GetVelocity(GetTimeMonotonic(), v);
  Put3(vx, vy, vz, v);
  return r;
}

int TKX::ConfigLinVel(double window, double rate) {
  d->velocity.Init(3, GetTimeMonotonic(), window, rate, VELOCITY_WINDOW_SPAN);
  return 0;
}

int TKX::GetGripRotRad(double *angle) {
  Put(angle, 0.0);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->gripper == nullptr) return -1;
  int enc[tkxCom::kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
  if (d->com->GetEnc(enc, 0xFF, nullptr) < 0) return -1;
  double a = 0.0;
  if (d->gripper->EncToRot(enc[6], &a) < 0) return -1;
  Put(angle, a);
  return 0;
}

int TKX::GetGripRotDeg(double *angle) {
  const int r = GetGripRotRad(angle);
  if (angle) *angle *= kDegPerRad;
  return r;
}

// the thumb or finger tip: the effector position plus the gripper's offset in
// the wrist's frame, all from one read of every encoder
int TKX::ReadGripperPoint(double p[3], bool thumb) {
  int enc[tkxCom::kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
  double t = 0.0;
  const int c = d->com->GetAllEnc(enc, &t);
  if (c < 0) return -1;
  if (d->translator->EncToPos(enc[0], enc[1], enc[2], &p[0], &p[1], &p[2]) < 0) return -1;
  d->velocity.Update(t, p);
  double R[3][3];
  Identity(R);
  if (d->rotator->EncToMatrix(enc[3], enc[4], enc[5], R) < 0) return -1;
  double o[3] = {0, 0, 0};
  const int g = thumb ? d->gripper->EncToThumb(R, &o[0], &o[1], &o[2])
                      : d->gripper->EncToFinger(enc[6], R, &o[0], &o[1], &o[2]);
  if (g < 0) return -1;
  for (int i = 0; i < 3; ++i) p[i] += o[i];
  return Flag(c);
}

int TKX::GetGripThumb(double *px, double *py, double *pz) {
  Put(px, 0.0), Put(py, 0.0), Put(pz, 0.0);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->gripper == nullptr || d->rotator == nullptr) return d->translator ? GetPos(px, py, pz) : -1;
  if (d->translator == nullptr) return -1;
  double p[3] = {0, 0, 0};
  const int r = ReadGripperPoint(p, true);
  if (r < 0) return -1;
  Put3(px, py, pz, p);
  return r;
}

int TKX::GetGripFinger(double *px, double *py, double *pz) {
  Put(px, 0.0), Put(py, 0.0), Put(pz, 0.0);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return -1;
  if (d->gripper == nullptr || d->rotator == nullptr) return GetPos(px, py, pz);
  double p[3] = {0, 0, 0};
  const int r = ReadGripperPoint(p, false);
  if (r < 0) return -1;
  Put3(px, py, pz, p);
  return r;
}

int TKX::SetFrc(double fx, double fy, double fz) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int e0 = 0, e1 = 0, e2 = 0;
  if (d->com->GetTransEnc(&e0, &e1, &e2, nullptr) < 0) return -1;
  short m0 = 0, m1 = 0, m2 = 0;
  if (d->translator->FrcToMot(fx, fy, fz, e0, e1, e2, &m0, &m1, &m2) < 0) return -1;
  // remembered before the command goes out: a failed command still asked for it
  d->force[0].store(fx, std::memory_order_relaxed);
  d->force[1].store(fy, std::memory_order_relaxed);
  d->force[2].store(fz, std::memory_order_relaxed);
  return d->com->SetTransMot(m0, m1, m2);
}

int TKX::SetTrq(double ta, double tb, double tg) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (!TakesTorque(d->systemType) || d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int e3 = 0, e4 = 0, e5 = 0;
  if (d->com->GetRotEnc(&e3, &e4, &e5, nullptr) < 0) return -1;
  short m3 = 0, m4 = 0, m5 = 0;
  if (d->rotator->TrqToMot(ta, tb, tg, e3, e4, e5, &m3, &m4, &m5) < 0) return -1;
  d->torque[0].store(ta, std::memory_order_relaxed);
  d->torque[1].store(tb, std::memory_order_relaxed);
  d->torque[2].store(tg, std::memory_order_relaxed);
  return d->com->SetRotMot(m3, m4, m5);
}

int TKX::SetFrcAndTrq(double fx, double fy, double fz, double ta, double tb, double tg) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr && d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int cr = 0, cp = 0;
  // a passive rotator (stylus) reads orientation only: its torque is ignored
  if (TakesTorque(d->systemType) && d->rotator) {
    int e3 = 0, e4 = 0, e5 = 0;
    if ((cr = d->com->GetRotEnc(&e3, &e4, &e5, nullptr)) < 0) return -1;
    short m3 = 0, m4 = 0, m5 = 0;
    if (d->rotator->TrqToMot(ta, tb, tg, e3, e4, e5, &m3, &m4, &m5) < 0) return -1;
    if (d->com->SetRotMot(m3, m4, m5) < 0) return -1;
  }
  if (d->translator) {
    int e0 = 0, e1 = 0, e2 = 0;
    if ((cp = d->com->GetTransEnc(&e0, &e1, &e2, nullptr)) < 0) return -1;
    short m0 = 0, m1 = 0, m2 = 0;
    if (d->translator->FrcToMot(fx, fy, fz, e0, e1, e2, &m0, &m1, &m2) < 0) return -1;
    if (d->com->SetTransMot(m0, m1, m2) < 0) return -1;
  }
  const double f[3] = {fx, fy, fz}, q[3] = {ta, tb, tg};
  for (int i = 0; i < 3; ++i) {
    d->force[i].store(f[i], std::memory_order_relaxed);
    d->torque[i].store(q[i], std::memory_order_relaxed);
  }
  return Flag(cr, cp);
}

// the translation motors and, on a device with an actuated gripper, its motor 3,
// sent together in one exchange
int TKX::SetFrcAndGrip(double fx, double fy, double fz, double g, bool torque) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int e0 = 0, e1 = 0, e2 = 0;
  if (d->com->GetTransEnc(&e0, &e1, &e2, nullptr) < 0) return -1;
  short motors[tkxCom::kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
  if (d->translator->FrcToMot(fx, fy, fz, e0, e1, e2, &motors[0], &motors[1], &motors[2]) < 0) return -1;
  unsigned char mask = 0x07;
  if (d->gripper) {
    const int r = torque ? d->gripper->TrqToMot(g, &motors[3]) : d->gripper->FrcToMot(g, &motors[3]);
    if (r < 0) return -1;
    mask = 0x0F;
  }
  d->force[0].store(fx, std::memory_order_relaxed);
  d->force[1].store(fy, std::memory_order_relaxed);
  d->force[2].store(fz, std::memory_order_relaxed);
  return d->com->SetMot(motors, mask);
}

int TKX::SetFrcAndGripFrc(double fx, double fy, double fz, double fg) { return SetFrcAndGrip(fx, fy, fz, fg, false); }
int TKX::SetFrcAndGripTrq(double fx, double fy, double fz, double tg) { return SetFrcAndGrip(fx, fy, fz, tg, true); }

int TKX::SetGrip(double value, bool torque) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->gripper == nullptr) return -1;
  short m = 0;
  const int r = torque ? d->gripper->TrqToMot(value, &m) : d->gripper->FrcToMot(value, &m);
  if (r < 0) return -1;
  return d->com->SetMot(3, m);
}

int TKX::SetGripFrc(double fg) { return SetGrip(fg, false); }
int TKX::SetGripTrq(double tg) { return SetGrip(tg, true); }

int TKX::GetFrc(double *fx, double *fy, double *fz) {
  Put(fx, 0.0), Put(fy, 0.0), Put(fz, 0.0);
  int s[kStatusEntries];
  if (GetStatus(s) < 0) return -1;
  if (s[5] == 1)
    for (int i = 0; i < 3; ++i) Put(i == 0 ? fx : i == 1 ? fy : fz, d->force[i].load(std::memory_order_relaxed));
  return 0;
}

int TKX::GetTrq(double *ta, double *tb, double *tg) {
  Put(ta, 0.0), Put(tb, 0.0), Put(tg, 0.0);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (!TakesTorque(d->systemType)) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int s[kStatusEntries];
  if (GetStatus(s) < 0) return -1;
  if (s[7] == 1)
    for (int i = 0; i < 3; ++i) Put(i == 0 ? ta : i == 1 ? tb : tg, d->torque[i].load(std::memory_order_relaxed));
  return 0;
}

int TKX::GetFrcAndTrq(double *fx, double *fy, double *fz, double *ta, double *tb, double *tg) {
  Put(fx, 0.0), Put(fy, 0.0), Put(fz, 0.0), Put(ta, 0.0), Put(tb, 0.0), Put(tg, 0.0);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr && d->rotator == nullptr) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  int s[kStatusEntries];
  if (GetStatus(s) < 0) return -1;
  double *f[3] = {fx, fy, fz}, *q[3] = {ta, tb, tg};
  for (int i = 0; i < 3; ++i) {
    if (s[5] == 1) Put(f[i], d->force[i].load(std::memory_order_relaxed));
    if (s[7] == 1) Put(q[i], d->torque[i].load(std::memory_order_relaxed));
  }
  return 0;
}

int TKX::GetStatus(int status[13]) {
  int s[kStatusEntries] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  if (status)
    for (int i = 0; i < kStatusEntries; ++i) status[i] = 0;
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  unsigned char b = 0;
  if (d->com->GetStatus(&b) < 0) return -1;
  auto bit = [b](int i) { return (b >> i) & 1; };
  s[0] = s[1] = s[2] = 1;
  s[3] = bit(2) ? 0 : 1;
  s[4] = bit(3);
  s[5] = bit(0);
  s[6] = bit(1);
  s[7] = bit(5);
  s[8] = bit(6);
  s[9] = bit(4);
  s[10] = d->translator && d->translator->GetGravityCompensation() ? 1 : 0;
  s[11] = d->com->TimeGuardEnabled() ? 1 : 0;
  s[12] = bit(7);
  // this wrist reports its torque output with the force output
  if (d->systemType == TKX_SYSTEM_TRION6_USB) {
    s[8] = 1;
    s[7] = bit(0);
  }
  if (status)
    for (int i = 0; i < kStatusEntries; ++i) status[i] = s[i];
  return 0;
}

int TKX::GetButton(int index) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  // a failed read leaves the byte at 0: no button reads as pressed
  unsigned char b = 0;
  d->com->GetButtons(&b);
  if (index < 0 || index > 7) return 0;
  return b & (1 << index);
}

int TKX::SetGravity(bool on, double time) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return -1;
  return d->translator->SetGravityCompensation(on, time);
}

int TKX::SetStandardGravity(double g) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return -1;
  d->translator->SetStandardGravity(g);
  return d->translator->Update();
}

int TKX::SetEffectorMass(double m) {
  tkxTranslator *tr = d->translator;
  if (tr == nullptr) return 0;
  tr->SetAdditionalMass(m - tr->GetGripperMass());
  tr->Update();
  return 0;
}

double TKX::GetEffectorMass() { return d->translator ? d->translator->GetEffectorMass() : 0.0; }

int TKX::SetDeviceAngle(double rad) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->translator == nullptr) return -1;
  d->translator->SetBaseAngle(rad);
  return d->translator->Update();
}

double TKX::GetDeviceAngle() { return d->translator ? d->translator->GetBaseAngle() : -1.0; }

int TKX::SetBrakes(int on) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return on == 1 ? d->com->SetBrakesOn() : d->com->SetBrakesOff();
}

int TKX::Stop() {
  if (SetFrc(0.0, 0.0, 0.0) < 0) return -1;
  return d->com->SetBrakesOn();
}

int TKX::WaitForReset(int ms) {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->com->Reset() < 0) return -1;
  const double start = GetTimeMonotonic();
  const double limit = ms / 1000.0;
  unsigned char b = 0;
  if (d->com->GetStatus(&b) < 0) return -1;
  while ((b & 0x04) == 0) {
    // poll about once per guard period instead of spinning on the cache
    tkx::Sleep(tkxTimeGuard::kDefaultPeriod);
    if (d->com->GetStatus(&b) < 0) return -1;
    if ((b & 0x04) != 0) break;
    if (ms > 0 && GetTimeMonotonic() - start > limit) return tkx::Fail(TKX_ERR_TIMEOUT);
  }
  return 0;
}
