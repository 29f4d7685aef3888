// Configuration text files of a slot: a "[header]" block with the memory
// version, the three version bytes and the serial number, then each model's
// own section.
#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxController.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxGripper.h"
#include "tkx/tkxRotator.h"
#include "tkx/tkxTranslator.h"

#include <fstream>
#include <iomanip>
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
  if (d->controller) {
    d->controller->SetConfig(d->systemType);
    complete = d->controller->ConfigFromFile(in) >= 0 && complete;
  }
  return complete ? 0 : tkx::Fail(TKX_ERR_AUTOCONFIG);
}
