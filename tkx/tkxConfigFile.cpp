// Configuration text files of a slot: a "[header]" block with the memory
// version, the three version bytes and the serial number, then each model's
// own section.
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
#include "tkx/tkxTypes.h"
#include "tkx/tkxWrist.h"

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>

namespace {

// the header keys, in the order they are written and read
const char *const kHeaderKeys[5] = {
    "EEPROM_VERSION=", "EEPROM_TKC_VERSION=", "EEPROM_TKX_VERSION=", "EEPROM_TKW_VERSION=", "EEPROM_SERIAL_NUMBER="};

// skips the line end and the key before a value; the skipped text must end with "="
bool SkipHeaderKey(std::istream &in, const char *key) {
  in.ignore(static_cast<std::streamsize>(std::char_traits<char>::length(key)));
  return in.good() && in.get() == '=';
}

// the last section: the system type the file was written from. Files without it
// are still read; their sections alone must fit the device.
const char *const kSystemSection = "[system]";
const char *const kSystemTypeKey = "SYSTEM_TYPE=";
// the memory's core words, so a restored device also gets the encoders' reset
// positions; a file without the line leaves them as they are
const char *const kCoreWordsKey = "CORE_WORDS=";
using CoreWords = std::array<uint16_t, tkx::mem::kCoreParamCount>;

// models of the slot's kinds that read a file before the slot's own do
struct Scratch {
  std::unique_ptr<tkxTranslator> translator;
  std::unique_ptr<tkxRotator> rotator;
  std::unique_ptr<tkxGripper> gripper;
  bool complete = true;  // every model the slot has could be made
};

Scratch NewScratch(int systemType, bool translator, bool rotator, bool gripper) {
  const tkx::SystemType &t = tkx::LookUpType(systemType);
  tkxDeviceFactory &f = TKX::Factory();
  Scratch s;
  if (translator && t.translator == tkx::TranslatorModel::Trion) s.translator = f.NewTranslator(TKX_TRANSLATOR_TRION);
  if (translator && t.translator == tkx::TranslatorModel::Falcon) s.translator = f.NewTranslator(TKX_TRANSLATOR_FALCON);
  if (rotator && t.HasWrist()) s.rotator = f.NewRotator(TKX_ROTATOR_WRIST, 0.0);
  if (rotator && t.HasStylus()) s.rotator = f.NewRotator(TKX_ROTATOR_STYLUS, t.stylusOffset);
  if (gripper && t.HasGripper()) s.gripper = f.NewGripper();
  s.complete =
      (s.translator != nullptr) == translator && (s.rotator != nullptr) == rotator && (s.gripper != nullptr) == gripper;
  return s;
}

// after the models' sections: the end of the file, or the system section of
// this type and then the end; anything else is a section this device lacks
bool ReadSystemSection(std::istream &in, int systemType, CoreWords *words, bool *haveWords) {
  *haveWords = false;
  std::string word;
  if (!(in >> std::setw(9) >> word)) return in.eof();
  if (word != kSystemSection) return false;
  double type = 0.0;
  if (!SkipHeaderKey(in, kSystemTypeKey) || !(in >> type) || type != systemType || in.peek() != '\n') return false;
  in.get();
  if (in.peek() == std::char_traits<char>::eof()) return true;
  std::string line;
  if (!std::getline(in, line) || in.eof() || line.compare(0, std::strlen(kCoreWordsKey), kCoreWordsKey) != 0)
    return false;
  // whole 16-bit words, as many as memory has
  std::istringstream values(line.substr(std::strlen(kCoreWordsKey)));
  for (uint16_t &w : *words) {
    double v = -1.0;
    if (!(values >> v) || !(v >= 0.0 && v <= 65535.0) || v != std::floor(v)) return false;
    w = static_cast<uint16_t>(v);
  }
  if (values >> word) return false;
  *haveWords = true;
  return !(in >> word);
}

// a parameter with a range (lower below upper) must lie in it; a range of one
// value is the type's default, not a limit
bool InBounds(double v, double lo, double hi) { return !(lo < hi) || (v >= lo && v <= hi); }

bool WithinBounds(const Scratch &s, int systemType) {
  const tkx::SystemType &t = tkx::LookUpType(systemType);
  if (s.translator)
    for (int id = tkx::mem::kTranslatorParamFirst; id < tkx::mem::kRotatorParamFirst; ++id) {
      const double v = s.translator->GetParam(id);
      if (!std::isfinite(v) ||
          !InBounds(v, s.translator->GetLowerParam(id, systemType), s.translator->GetUpperParam(id, systemType)))
        return false;
    }
  if (s.rotator)
    for (int id = tkx::mem::kRotatorParamFirst; id < tkx::mem::kGripperParamFirst; ++id) {
      const double v = s.rotator->GetParam(id);
      if (!std::isfinite(v)) return false;
      if (t.HasWrist() && id <= tkxWrist::kLastParam &&
          !InBounds(v, tkxWrist::LowerParam(id), tkxWrist::UpperParam(id)))
        return false;
      if (t.HasStylus() && id >= tkxStylus::kFirstParam && id <= tkxStylus::kLastParam &&
          !InBounds(v, tkxStylus::LowerParam(id), tkxStylus::UpperParam(id)))
        return false;
    }
  if (s.gripper)
    for (int id = tkx::mem::kGripperParamFirst; id < tkx::mem::kControllerParamFirst; ++id) {
      const double v = s.gripper->GetParam(id);
      if (!std::isfinite(v)) return false;
      if (t.HasGripper() && id <= tkxPincher::kLastParam &&
          !InBounds(v, tkxPincher::LowerParam(id), tkxPincher::UpperParam(id)))
        return false;
    }
  return true;
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
  if (d->controller) d->controller->ConfigToFile(out);
  // the type the file was written from, so another type's device refuses it
  out << '\n' << kSystemSection << '\n' << kSystemTypeKey << d->systemType << '\n';
  if (model == TKX_MEMORY_FULL || model == TKX_MEMORY_SMALL) {
    out << kCoreWordsKey;
    for (int i = 0; i < tkx::mem::kCoreParamCount; ++i) {
      unsigned char b[2] = {0, 0};
      // a file without the words the device holds would lose them on a restore
      if (!d->coreWordsPending && d->com->GetMemAddr(tkx::mem::CoreParamAddress(i), b, 2) < 0) return -1;
      out << (i ? " " : "") << (d->coreWordsPending ? d->fileCoreWords[i] : b[0] * 256 + b[1]);
    }
    out << '\n';
  }
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
  // a device without the header's memory writes "[header]" and an empty line:
  // such a file reads back with the slot's own header values
  bool headerless = false;
  if (in.peek() == '\n') {
    in.get();
    headerless = in.peek() == '\n';
    in.unget();
  }
  int values[5] = {d->eepromVersion, d->tkcVersion, d->tkxVersion, d->tkwVersion, d->serialNumber};
  for (int i = 0; i < 5 && !headerless; ++i) {
    double v = 0.0;
    // a value must end its line, or it may have been cut short
    if (!SkipHeaderKey(in, kHeaderKeys[i]) || !(in >> v) || !(v > -2147483648.0 && v < 2147483648.0) ||
        in.peek() != '\n')
      return tkx::Fail(TKX_ERR_AUTOCONFIG);
    values[i] = static_cast<int>(v);
  }
  const std::streampos sections = in.tellg();
  // the sections are first read into models of their own, so a file that is
  // refused anywhere (a bad line, a section this device lacks, another type, a
  // value out of bounds) leaves the slot exactly as it was
  Scratch scratch = NewScratch(d->systemType, d->translator != nullptr, d->rotator != nullptr, d->gripper != nullptr);
  if (!scratch.complete) return tkx::Fail(TKX_ERR_AUTOCONFIG);
  if (scratch.translator) {
    scratch.translator->SetConfig(d->systemType);
    if (scratch.translator->ConfigFromFile(in) < 0) return tkx::Fail(TKX_ERR_AUTOCONFIG);
  }
  if (scratch.rotator) {
    scratch.rotator->SetConfig(d->systemType);
    if (scratch.rotator->ConfigFromFile(in) < 0) return tkx::Fail(TKX_ERR_AUTOCONFIG);
  }
  if (scratch.gripper) {
    scratch.gripper->SetConfig(d->systemType);
    if (scratch.gripper->ConfigFromFile(in) < 0) return tkx::Fail(TKX_ERR_AUTOCONFIG);
  }
  if (d->controller) {
    tkxController controller;
    controller.SetConfig(d->systemType);
    if (controller.ConfigFromFile(in) < 0) return tkx::Fail(TKX_ERR_AUTOCONFIG);
  }
  CoreWords coreWords{};
  bool haveCoreWords = false;
  if (!ReadSystemSection(in, d->systemType, &coreWords, &haveCoreWords) || !WithinBounds(scratch, d->systemType))
    return tkx::Fail(TKX_ERR_AUTOCONFIG);
  // the file is sound: the slot's own models read it again, as they always have
  in.clear();
  in.seekg(sections);
  if (!in) return tkx::Fail(TKX_ERR_AUTOCONFIG);
  d->eepromVersion = static_cast<uint16_t>(values[0]);
  d->tkcVersion = static_cast<uint8_t>(values[1]);
  d->tkxVersion = static_cast<uint8_t>(values[2]);
  d->tkwVersion = static_cast<uint8_t>(values[3]);
  d->serialNumber = static_cast<uint16_t>(values[4]);
  if (haveCoreWords) {
    d->fileCoreWords = coreWords;
    d->coreWordsPending = true;
  }
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
  if (d->controller) {
    d->controller->SetConfig(d->systemType);
    complete = d->controller->ConfigFromFile(in) >= 0 && complete;
  }
  return complete ? 0 : tkx::Fail(TKX_ERR_AUTOCONFIG);
}
