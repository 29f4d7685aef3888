#include "tkx/tkxController.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxConfigSection.h"
#include "tkx/tkxErrno.h"

#include <cmath>

namespace {

const char *const kNames[] = {
    "TKX_EEPROM_CONTROLLER_MOTORVALMAX", "TKX_EEPROM_CONTROLLER_MOTORZEROVAL", "TKX_EEPROM_CONTROLLER_DACSLOPE0",
    "TKX_EEPROM_CONTROLLER_DACSLOPE1",   "TKX_EEPROM_CONTROLLER_DACSLOPE2",    "TKX_EEPROM_CONTROLLER_DACSLOPE3",
    "TKX_EEPROM_CONTROLLER_DACSLOPE4",   "TKX_EEPROM_CONTROLLER_DACSLOPE5",    "TKX_EEPROM_CONTROLLER_DACSLOPE6",
    "TKX_EEPROM_CONTROLLER_DACSLOPE7",   "TKX_EEPROM_CONTROLLER_DACOFFSET0",   "TKX_EEPROM_CONTROLLER_DACOFFSET1",
    "TKX_EEPROM_CONTROLLER_DACOFFSET2",  "TKX_EEPROM_CONTROLLER_DACOFFSET3",   "TKX_EEPROM_CONTROLLER_DACOFFSET4",
    "TKX_EEPROM_CONTROLLER_DACOFFSET5",  "TKX_EEPROM_CONTROLLER_DACOFFSET6",   "TKX_EEPROM_CONTROLLER_DACOFFSET7",
};

// a 16-bit parameter keeps the integer part of a value in its range
short ToShort(double v) {
  if (!(v > -32769.0 && v < 32768.0)) return 0;
  return static_cast<short>(static_cast<int>(v));
}

}  // namespace

int tkxController::SetConfig(int) {
  Store(kMotorValMax, 2047);
  Store(kMotorZeroVal, 2048);
  for (int i = 0; i < kChannels; ++i) {
    Store(kFirstSlope + i, 1.0);
    Store(kFirstOffset + i, 0);
  }
  return 0;
}

bool tkxController::Plausible(int id, double value) {
  if (!std::isfinite(value)) return false;
  // the motors' range and zero are counts above zero; a slope turns a command
  // around at most a thousandfold
  if (id == kMotorValMax) return value >= 1.0 && value <= 32767.0;
  if (id == kMotorZeroVal) return value >= 0.0 && value <= 32767.0;
  if (id >= kFirstSlope && id < kFirstOffset) return std::fabs(value) <= 1000.0;
  return true;
}

void tkxController::Store(int id, double value) { p_[id - kFirstParam] = IsShort(id) ? ToShort(value) : value; }

short tkxController::Correct(int channel, short value) const {
  const double zero = GetParam(kMotorZeroVal), max = GetParam(kMotorValMax);
  double v = std::trunc(GetParam(kFirstOffset + channel) + (value - zero) * GetParam(kFirstSlope + channel));
  // a slope that is no number gives the motors' zero, not a limit
  if (std::isnan(v)) v = 0.0;
  if (v > max) v = max;
  if (v < -max) v = -max;
  return static_cast<short>(static_cast<int>(zero + v));
}

int tkxController::SetTransMot(short m0, short m1, short m2, tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return com->SetTransMot(Correct(0, m0), Correct(1, m1), Correct(2, m2));
}

int tkxController::SetRotMot(short m3, short m4, short m5, tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return com->SetRotMot(Correct(3, m3), Correct(4, m4), Correct(5, m5));
}

int tkxController::SetMot(int channel, short value, tkxCom *com) {
  // the channel picks the calibration: outside the eight there is none
  if (channel < 0 || channel >= kChannels) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  return com->SetMot(channel, Correct(channel, value));
}

int tkxController::SetMot(const short *values, unsigned char mask, tkxCom *com) {
  if (values == nullptr) return tkx::Fail(TKX_ERR_INDEX_RANGE);
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  short out[kChannels] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < kChannels; ++i)
    if (mask & (1u << i)) out[i] = Correct(i, values[i]);
  return com->SetMot(out, mask);
}

double tkxController::GetParam(int id) const {
  if (id < kFirstParam || id > kLastParam) return -1.0;
  return p_[id - kFirstParam];
}

int tkxController::SetParam(int id, double value) {
  if (id < kFirstParam || id > kLastParam) return -1;
  Store(id, value);
  return 0;
}

const char *tkxController::GetParamName(int id) {
  if (id < kFirstParam || id > kLastParam) return "undefined";
  return kNames[id - kFirstParam];
}

int tkxController::ConfigToMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  for (int id = kFirstParam; id <= kLastParam; ++id) {
    if (IsShort(id))
      com->SetParam(id, static_cast<short>(GetParam(id)));
    else
      com->SetParam(id, GetParam(id));
  }
  return 0;
}

int tkxController::ConfigFromMemory(tkxCom *com) {
  if (com == nullptr) return tkx::Fail(TKX_ERR_NO_DEVICE);
  for (int id = kFirstParam; id <= kLastParam; ++id) {
    // a read that delivers nothing, or a value no controller could hold (blank
    // memory reads as -1 and as numbers that are none), leaves the value in force
    if (IsShort(id)) {
      short s = static_cast<short>(GetParam(id));
      com->GetParam(id, &s);
      if (Plausible(id, s)) Store(id, s);
    } else {
      double v = GetParam(id);
      com->GetParam(id, &v);
      if (Plausible(id, v)) Store(id, v);
    }
  }
  return 0;
}

int tkxController::ConfigToFile(std::ofstream &out) {
  return tkx::WriteConfigSection(
      out, "[controller]", kFirstParam, kLastParam, [](int id) { return GetParamName(id); },
      [this](int id) { return GetParam(id); });
}

int tkxController::ConfigFromFile(std::ifstream &in) {
  double values[kLastParam - kFirstParam + 1];
  if (tkx::ReadConfigSection(
          in, "[controller]", kFirstParam, kLastParam, [](int id) { return GetParamName(id); }, values) < 0)
    return -1;
  for (int id = kFirstParam; id <= kLastParam; ++id) Store(id, values[id - kFirstParam]);
  return 0;
}
