// Parameters of a slot and its device memory: the core parameter words, the
// dispatch of model parameters, raw memory, the memory model, the calibration
// load and save, and the firmware and operating-mode forwarding.
#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxController.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxGripper.h"
#include "tkx/tkxMemoryMap.h"
#include "tkx/tkxPincher.h"
#include "tkx/tkxRotator.h"
#include "tkx/tkxStylus.h"
#include "tkx/tkxTranslator.h"
#include "tkx/tkxTrion.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxWrist.h"

using namespace tkx::mem;

namespace {

struct CoreParam {
  const char *name;
  double def;
};

const CoreParam kCoreParams[kCoreParamCount] = {
    {"TKX_EEPROM_INTERNAL_ENCOFFSET0", 30500}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET1", 21500}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET2", 21500}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET3", 32768}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET4", 32768}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET5", 32768}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET6", 32768}, {"undefined", 0},
    {"TKX_EEPROM_INTERNAL_ENCOFFSET7", 32768},
};

bool IsCore(int id) { return id >= kCoreParamFirst && id <= kCoreParamLast; }
bool IsTranslator(int id) { return id >= kTranslatorParamFirst && id < kRotatorParamFirst; }
bool IsWrist(int id) { return id >= tkxWrist::kFirstParam && id <= tkxWrist::kLastParam; }
bool IsStylus(int id) { return id >= tkxStylus::kFirstParam && id <= tkxStylus::kLastParam; }
bool IsPincher(int id) { return id >= tkxPincher::kFirstParam && id <= tkxPincher::kLastParam; }

}  // namespace

double TKX::GetParam(int id) {
  if (id < kCoreParamFirst) return 0.0;
  if (id <= kCoreParamLast) {
    if (d->com == nullptr) {
      tkx::SetError(TKX_ERR_NO_DEVICE);
      return 0.0;
    }
    // a configuration file's words stand until they are written
    if (d->coreWordsPending) return d->fileCoreWords[id - kCoreParamFirst];
    unsigned char b[2] = {0, 0};
    d->com->GetMemAddr(CoreParamAddress(id), b, 2);
    return static_cast<double>(b[0] * 256 + b[1]);
  }
  if (id < kTranslatorParamFirst) return 0.0;
  // a range without its model falls through to the ranges above it
  if (id < kRotatorParamFirst && d->translator) return d->translator->GetParam(id);
  if (id < kGripperParamFirst && d->rotator) return d->rotator->GetParam(id);
  if (id < kControllerParamFirst && d->gripper) return d->gripper->GetParam(id);
  if (d->controller) return d->controller->GetParam(id);
  return 0.0;
}

int TKX::SetParam(int id, double value) {
  if (id < kCoreParamFirst) return -1;
  if (id <= kCoreParamLast) {
    const int v = (value > -2147483648.0 && value < 2147483648.0) ? static_cast<int>(value) : 0;
    unsigned char b[2] = {static_cast<unsigned char>((v >> 8) & 0xFF), static_cast<unsigned char>(v & 0xFF)};
    SetMemAddr(CoreParamAddress(id), b, 2);
    if (d->coreWordsPending) d->fileCoreWords[id - kCoreParamFirst] = static_cast<uint16_t>(v & 0xFFFF);
    return 0;
  }
  if (id < kTranslatorParamFirst) return -1;
  if (id < kRotatorParamFirst && d->translator) return d->translator->SetParam(id, value);
  if (id < kGripperParamFirst && d->rotator) return d->rotator->SetParam(id, value);
  if (id < kControllerParamFirst && d->gripper) return d->gripper->SetParam(id, value);
  if (d->controller) return d->controller->SetParam(id, value);
  return -1;
}

const char *TKX::GetParamName(int id) {
  if (id < kCoreParamFirst) return "undefined";
  if (id <= kCoreParamLast) return kCoreParams[id].name;
  if (id < kTranslatorParamFirst) return "undefined";
  if (id < kRotatorParamFirst && d->translator) return d->translator->GetParamName(id);
  if (id < kGripperParamFirst && d->rotator) return d->rotator->GetParamName(id);
  if (id < kControllerParamFirst && d->gripper) return d->gripper->GetParamName(id);
  if (d->controller) return tkxController::GetParamName(id);
  return "undefined";
}

double TKX::GetDefaultParam(int id) {
  if (IsCore(id)) return kCoreParams[id].def;
  if (IsTranslator(id)) return d->translator ? d->translator->GetDefaultParam(id, d->systemType) : 0.0;
  if (IsWrist(id) && d->rotator && tkx::LookUpType(d->systemType).HasWrist()) return tkxWrist::DefaultParam(id);
  if (IsStylus(id) && d->rotator && tkx::LookUpType(d->systemType).HasStylus()) return tkxStylus::DefaultParam(id);
  if (IsPincher(id) && d->gripper && tkx::LookUpType(d->systemType).HasGripper()) return tkxPincher::DefaultParam(id);
  return 0.0;
}

double TKX::GetLowerParam(int id) {
  if (id < kCoreParamFirst) return -kCoreParamSpan;
  if (IsCore(id)) return kCoreParams[id].def - kCoreParamSpan;
  if (IsTranslator(id)) return d->translator ? d->translator->GetLowerParam(id, d->systemType) : 0.0;
  if (IsWrist(id) && d->rotator && tkx::LookUpType(d->systemType).HasWrist()) return tkxWrist::LowerParam(id);
  if (IsStylus(id) && d->rotator && tkx::LookUpType(d->systemType).HasStylus()) return tkxStylus::LowerParam(id);
  if (IsPincher(id) && d->gripper && tkx::LookUpType(d->systemType).HasGripper()) return tkxPincher::LowerParam(id);
  return 0.0;
}

double TKX::GetUpperParam(int id) {
  if (id < kCoreParamFirst) return kCoreParamSpan;
  if (IsCore(id)) return kCoreParams[id].def + kCoreParamSpan;
  if (IsTranslator(id)) return d->translator ? d->translator->GetUpperParam(id, d->systemType) : 0.0;
  if (IsWrist(id) && d->rotator && tkx::LookUpType(d->systemType).HasWrist()) return tkxWrist::UpperParam(id);
  if (IsStylus(id) && d->rotator && tkx::LookUpType(d->systemType).HasStylus()) return tkxStylus::UpperParam(id);
  if (IsPincher(id) && d->gripper && tkx::LookUpType(d->systemType).HasGripper()) return tkxPincher::UpperParam(id);
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

int TKX::ReadConfig() { return LoadConfig(nullptr); }

int TKX::LoadConfig(bool *unreadable) {
  tkxCom *com = d->com.get();
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  // memory is what counts again
  d->coreWordsPending = false;
  // a read that fails says nothing about the memory: only memory read and found
  // without a header may be given the factory calibration
  auto readFailed = [unreadable] {
    if (unreadable) *unreadable = true;
    return -1;
  };
  const int reported = com->GetSysType();
  if (reported < 0) return readFailed();
  // a device without calibration memory takes its model's defaults
  if (tkx::LookUpType(reported).Has(tkx::kMemoryless))
    return d->translator ? d->translator->SetConfig(d->systemType) : 0;
  const MemoryModel model = com->GetMemMod();
  if (model != TKX_MEMORY_SMALL && model != TKX_MEMORY_FULL) return -2;
  if (model == TKX_MEMORY_FULL) {
    unsigned char b[2] = {0, 0};
    if (com->GetMemAddr(kHeaderAddress, b, 2) < 0) return readFailed();
    if (b[0] != kHeaderVersionHigh || b[1] != kHeaderVersionLow) return -2;
    unsigned char v[3] = {0, 0, 0};
    unsigned char s[2] = {0, 0};
    if (com->GetMemAddr(kTKCVersionAddress, &v[0], 1) < 0 || com->GetMemAddr(kTKXVersionAddress, &v[1], 1) < 0 ||
        com->GetMemAddr(kTKWVersionAddress, &v[2], 1) < 0 || com->GetMemAddr(kSerialNumberAddress, s, 2) < 0)
      return readFailed();
    d->eepromVersion = kHeaderVersion;
    d->tkcVersion = v[0];
    d->tkxVersion = v[1];
    d->tkwVersion = v[2];
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
  if (d->controller) {
    d->controller->SetConfig(d->systemType);
    d->controller->ConfigFromMemory(com);
  }
  if (tkx::LookUpType(reported).Has(tkx::kNoSprings))
    for (int id = tkxTrion::kFirstSpringParam; id <= tkxTrion::kLastSpringParam; ++id) SetParam(id, 0.0);
  return 0;
}

int TKX::WriteConfig() {
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (d->coreWordsPending) {
    for (int i = 0; i < kCoreParamCount; ++i) {
      unsigned char b[2] = {static_cast<unsigned char>(d->fileCoreWords[i] >> 8),
                            static_cast<unsigned char>(d->fileCoreWords[i])};
      d->com->SetMemAddr(CoreParamAddress(kCoreParamFirst + i), b, 2);
    }
    d->coreWordsPending = false;
  }
  if (d->translator) d->translator->ConfigToMemory(d->com.get());
  if (d->rotator) d->rotator->ConfigToMemory(d->com.get());
  if (d->gripper) d->gripper->ConfigToMemory(d->com.get());
  if (d->controller) d->controller->ConfigToMemory(d->com.get());
  return 0;
}

int TKX::WriteHeader() {
  tkxCom *com = d->com.get();
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  if (com->GetMemMod() != TKX_MEMORY_FULL) return 0;
  unsigned char v[2] = {static_cast<unsigned char>(d->eepromVersion >> 8),
                        static_cast<unsigned char>(d->eepromVersion)};
  com->SetMemAddr(kHeaderAddress, v, 2);
  unsigned char b = d->tkcVersion;
  com->SetMemAddr(kTKCVersionAddress, &b, 1);
  b = d->tkxVersion;
  com->SetMemAddr(kTKXVersionAddress, &b, 1);
  b = d->tkwVersion;
  com->SetMemAddr(kTKWVersionAddress, &b, 1);
  unsigned char s[2] = {static_cast<unsigned char>(d->serialNumber >> 8), static_cast<unsigned char>(d->serialNumber)};
  com->SetMemAddr(kSerialNumberAddress, s, 2);
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
