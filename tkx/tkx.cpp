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
