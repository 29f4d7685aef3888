// Device slots: the registry shared by the four slots, the factory of what a
// slot binds to, and the open and close sequences.
#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxComFalcon.h"
#include "tkx/tkxComUSB.h"
#include "tkx/tkxController.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxFalcon.h"
#include "tkx/tkxGripper.h"
#include "tkx/tkxMemoryMap.h"
#include "tkx/tkxPincher.h"
#include "tkx/tkxRotator.h"
#include "tkx/tkxStylus.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxTranslator.h"
#include "tkx/tkxTrion.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxWrist.h"

#include <cstdio>
#include <new>

using namespace tkx::mem;

const char *const TKX::kSupportAddress = "support@tkx-haptics.example.com";

std::atomic<int> TKX::ITKX::DeviceCountUSB{0};
std::atomic<int> TKX::ITKX::DeviceCountFalcon{0};
std::atomic<int> TKX::ITKX::DeviceCount{0};
std::atomic<int> TKX::ITKX::DeviceAllocationTable[TKX::kMaxDevices] = {{-1}, {-1}, {-1}, {-1}};

// ---------------------------------------------------------------------------
// factory

int tkxDeviceFactory::CountUSB() { return tkxComUSB::GetDeviceCount(); }
int tkxDeviceFactory::CountFalcon() { return tkxComFalcon::GetDeviceCount(); }
// nothrow: a failed allocation is reported, not thrown
std::unique_ptr<tkxCom> tkxDeviceFactory::NewUSB() { return std::unique_ptr<tkxCom>(new (std::nothrow) tkxComUSB()); }
std::unique_ptr<tkxCom> tkxDeviceFactory::NewFalcon() {
  return std::unique_ptr<tkxCom>(new (std::nothrow) tkxComFalcon());
}
std::unique_ptr<tkxTranslator> tkxDeviceFactory::NewTranslator(tkxTranslatorKind kind) {
  if (kind == TKX_TRANSLATOR_FALCON) return std::unique_ptr<tkxTranslator>(new (std::nothrow) tkxFalcon());
  return std::unique_ptr<tkxTranslator>(new (std::nothrow) tkxTrion());
}
std::unique_ptr<tkxRotator> tkxDeviceFactory::NewRotator(tkxRotatorKind kind, double axisOffset) {
  if (kind == TKX_ROTATOR_STYLUS) return std::unique_ptr<tkxRotator>(new (std::nothrow) tkxStylus(axisOffset));
  if (kind != TKX_ROTATOR_WRIST) return nullptr;
  return std::unique_ptr<tkxRotator>(new (std::nothrow) tkxWrist());
}
std::unique_ptr<tkxGripper> tkxDeviceFactory::NewGripper() {
  return std::unique_ptr<tkxGripper>(new (std::nothrow) tkxPincher());
}

namespace {

tkxDeviceFactory defaultFactory;
std::atomic<tkxDeviceFactory *> factory{&defaultFactory};

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
  TKX::ITKX::DeviceCountFalcon = f.CountFalcon();
  TKX::ITKX::DeviceCount = TKX::ITKX::DeviceCountUSB + TKX::ITKX::DeviceCountFalcon;
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

TKX::TKX() : d(std::make_unique<ITKX>()) {
  Count();
  RefreshAllocation();
  tkx::SetError(ITKX::DeviceCount < 1 ? TKX_ERR_NO_DEVICE : TKX_ERR_NONE);
}

TKX::~TKX() { Close(); }

const char *TKX::SystemName(int systemType) { return tkx::LookUpType(systemType).name; }

bool TKX::IsLeftHanded() const { return d->rotator != nullptr && d->rotator->IsLeftHanded(); }

double TKX::GetTime() { return tkx::GetTimeMonotonic(); }

int TKX::Sleep(double seconds) { return tkx::Sleep(seconds); }

// ---------------------------------------------------------------------------
// open and close

void TKX::DeleteModels() {
  d->translator.reset();
  d->rotator.reset();
  d->gripper.reset();
}

void TKX::BuildModels(int systemType, bool allowFalcon) {
  const tkx::SystemType &t = tkx::LookUpType(systemType);
  tkxDeviceFactory &f = Factory();
  if (t.translator == tkx::TranslatorModel::Trion) d->translator = f.NewTranslator(TKX_TRANSLATOR_TRION);
  if (t.translator == tkx::TranslatorModel::Falcon && allowFalcon)
    d->translator = f.NewTranslator(TKX_TRANSLATOR_FALCON);
  if (t.HasWrist()) d->rotator = f.NewRotator(TKX_ROTATOR_WRIST, 0.0);
  if (t.HasStylus()) d->rotator = f.NewRotator(TKX_ROTATOR_STYLUS, t.stylusOffset);
  if (t.HasGripper()) d->gripper = f.NewGripper();
  if ((systemType == TKX_SYSTEM_CONTROLLER || systemType == TKX_SYSTEM_CONTROLLER_HR) && d->controller == nullptr)
    d->controller.reset(new (std::nothrow) tkxController());
}

// the gripper first, then the rotator
void TKX::SetLeftHandFlags(int systemType) {
  if (!tkx::LookUpType(systemType).IsLeftHanded()) return;
  if (d->gripper) {
    d->gripper->SetLeftHanded(true);
    d->gripper->Update();
  }
  if (d->rotator) {
    d->rotator->SetLeftHanded(true);
    d->rotator->Update();
  }
}

// steps shared by the open and the controller binding once the calibration is loaded
int TKX::FinishModels() {
  const tkx::SystemType &t = tkx::LookUpType(d->systemType);
  if (t.Has(tkx::kHighResolution) && t.translator == tkx::TranslatorModel::Trion)
    SetParam(tkxTrion::kEncoderIncrementsParam, 2000.0);
  if (t.HasWrist() && d->rotator) d->rotator->Update();
  // the effector carries every attached rotator and gripper
  if (d->translator) {
    const double parts[2] = {d->rotator ? d->rotator->GetMass() : 0.0, d->gripper ? d->gripper->GetMass() : 0.0};
    const bool present[2] = {d->rotator != nullptr, d->gripper != nullptr};
    for (int i = 0; i < 2; ++i) {
      if (!present[i]) continue;
      tkxTranslator *tr = d->translator.get();
      tr->SetAdditionalMass(tr->GetEffectorMass() + parts[i] - tr->GetGripperMass());
      tr->Update();
    }
  }
  return 0;
}

// a failed open leaves the slot unbound, as if never opened, so that the next
// open tries again; the close must not replace the failure's code
int TKX::FailOpen() {
  const int code = tkx::LastError();
  Close();
  tkx::SetError(code);
  return -1;
}

int TKX::FailInit(bool message) {
  if (message) {
    std::printf("initialization error: please contact %s\n", kSupportAddress);
    std::fflush(stdout);
  }
  tkx::SetError(TKX_ERR_AUTOCONFIG);
  return FailOpen();
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
  std::unique_ptr<tkxCom> channel;
  int comIndex = 0;
  if (index < usb) {
    channel = f.NewUSB();
    comIndex = index;
  } else if (index < usb + falcon) {
    channel = f.NewFalcon();
    comIndex = index - usb;
  } else {
    return -1;
  }
  if (channel == nullptr) return tkx::Fail(TKX_ERR_OUT_OF_MEMORY);
  // a channel that does not open goes again at once
  if (channel->Open(comIndex) < 0) return -1;

  d->com = std::move(channel);
  tkxCom *com = d->com.get();
  ITKX::DeviceAllocationTable[index] = 1;
  d->id = index;

  const MemoryModel model = com->GetMemMod();
  com->SetMemMod(model);
  if (model == TKX_MEMORY_SMALL) d->eepromVersion = kSmallLayoutVersion;
  if (model == TKX_MEMORY_FULL) d->eepromVersion = kHeaderVersion;

  const int type = com->GetSysType();
  if (type < 0) return FailOpen();
  d->systemType = type;
  BuildModels(d->systemType, true);
  SetLeftHandFlags(d->systemType);

  // memory that could not be read is left alone: the open fails with the channel's code
  bool unreadable = false;
  const int config = LoadConfig(&unreadable);
  if (unreadable) return FailOpen();
  if (config == -2) {
    // blank memory: factory defaults for every part, then stored in the device
    tkxTranslator *tr = d->translator.get();
    tkxRotator *ro = d->rotator.get();
    tkxGripper *gr = d->gripper.get();
    if (tr && tr->SetConfig(d->systemType) < 0) return FailInit(true);
    if (ro && ro->SetConfig(d->systemType) < 0) return FailInit(true);
    if (gr && gr->SetConfig(d->systemType) < 0) return FailInit(true);
    if (d->controller && d->controller->SetConfig(d->systemType) < 0) return FailInit(true);
    if (com->GetMemMod() == TKX_MEMORY_FULL) {
      d->tkcVersion = d->tkxVersion = d->tkwVersion = 0;
      d->serialNumber = 0;
      if (WriteConfig() < 0 || WriteHeader() < 0) return FailInit(false);
      unsigned char block[sizeof kFactoryBlock];
      for (size_t i = 0; i < sizeof block; ++i) block[i] = kFactoryBlock[i];
      com->SetMemAddr(kFactoryBlockAddress, block, sizeof block);
    }
  } else if (config < 0) {
    return FailInit(true);
  }

  d->calibrated = config == 0 && !tkx::LookUpType(type).Has(tkx::kMemoryless);
  FinishModels();
  com->EnableTimeGuard(0.0005);
  d->velocity.Init(3, tkx::GetTimeMonotonic(), 0.02, 5000.0, tkx::VELOCITY_WINDOW_SPAN);
  return index;
}

int TKX::ControllerSetDevice(int type) {
  if (!tkx::LookUpType(d->systemType).Has(tkx::kController)) return tkx::Fail(TKX_ERR_NOT_AVAILABLE);
  if (d->com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  // the earlier mechanism's models are replaced, not leaked
  DeleteModels();
  // any mechanism but the Falcon's, which has its own channel
  BuildModels(type, false);
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
  d->controller.reset();
  d->com.reset();
  d->calibrated = false;
  d->coreWordsPending = false;
  if (d->id >= 0 && d->id < kMaxDevices) ITKX::DeviceAllocationTable[d->id] = 0;
  d->id = -1;
  return 0;
}
