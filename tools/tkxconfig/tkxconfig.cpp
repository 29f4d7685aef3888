// tkxconfig: saves a device's calibration to a configuration file, and writes
// one back to the device after showing what would change.
#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxConfigSection.h"
#include "tkx/tkxc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: tkxconfig [OPTION]... dump DEVICE FILE\n"
    "  or:  tkxconfig [OPTION]... restore DEVICE FILE\n"
    "Save the calibration of haptic device DEVICE (its index, as tkxinfo lists it)\n"
    "to the configuration file FILE, or write FILE back to the device's memory.\n"
    "restore shows the differences first and asks before writing; a file written\n"
    "from another type of device is refused.\n"
    "\n"
    "  -n, --dry-run  restore: show the differences only, write nothing\n"
    "  -y, --yes      restore: write without asking\n"
    "  -h, --help     print this help and exit\n"
    "\n"
    "Exit status: 0 on success (a dry run included), 1 when the device or the file\n"
    "fails, the file is refused or the write is declined, 2 for a wrong command line.\n";

constexpr int kFirstCoreParam = 0;
constexpr int kLastCoreParam = 14;
constexpr int kFirstModelParam = 120;
constexpr int kLastModelParam = 599;

// what a restore may change: the header, the core words and every named model
// parameter
struct Snapshot {
  std::vector<std::pair<std::string, double>> values;
};

Snapshot Take(TKX &slot) {
  Snapshot s;
  s.values.emplace_back("EEPROM_VERSION", slot.GetEEPROMVersion());
  s.values.emplace_back("EEPROM_TKC_VERSION", slot.GetTKCVersion());
  s.values.emplace_back("EEPROM_TKX_VERSION", slot.GetTKXVersion());
  s.values.emplace_back("EEPROM_TKW_VERSION", slot.GetTKWVersion());
  s.values.emplace_back("EEPROM_SERIAL_NUMBER", slot.GetSerialNumber());
  // the core words, the encoders' reset positions among them
  for (int id = kFirstCoreParam; id <= kLastCoreParam; ++id) {
    const char *name = slot.GetParamName(id);
    s.values.emplace_back(std::strcmp(name, "undefined") != 0 ? name : "CORE_WORD_" + std::to_string(id),
                          slot.GetParam(id));
  }
  for (int id = kFirstModelParam; id <= kLastModelParam; ++id) {
    const char *name = slot.GetParamName(id);
    if (std::strcmp(name, "undefined") != 0) s.values.emplace_back(name, slot.GetParam(id));
  }
  return s;
}

int Fail(const std::string &what) {
  std::fprintf(stderr, "tkxconfig: %s\n", what.c_str());
  return 1;
}

std::string Describe(TKX &slot, int index) {
  return "device " + std::to_string(index) + " (" + slot.GetSystemName() + ", serial " +
         std::to_string(slot.GetSerialNumber()) + ")";
}

int Dump(TKX &slot, int index, const char *file) {
  if (slot.WriteConfigToFile(file) < 0) return Fail(std::string(file) + ": " + tkxErrorGetLastStr());
  std::printf("wrote the calibration of %s to %s\n", Describe(slot, index).c_str(), file);
  return 0;
}

bool Confirm(const std::string &question) {
  std::printf("%s [y/N] ", question.c_str());
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::printf("\n");
    return false;
  }
  return answer == "y" || answer == "Y" || answer == "yes";
}

int Restore(TKX &slot, int index, const char *file, bool dryRun, bool yes) {
  const int model = slot.GetMemoryModel();
  if (model != TKX_MEMORY_SMALL && model != TKX_MEMORY_FULL)
    return Fail(Describe(slot, index) + " keeps no calibration in its memory");
  const std::string device = Describe(slot, index);
  const Snapshot before = Take(slot);
  // the slot checks the whole file before it keeps any of it
  if (slot.ReadConfigFromFile(file) < 0) {
    if (*tkxErrnoLocation() == TKX_ERR_FILE_NOT_FOUND) return Fail(std::string(file) + ": cannot be read");
    return Fail(std::string(file) + ": refused: not a calibration of a " + slot.GetSystemName() +
                ", or damaged or out of range");
  }
  const Snapshot after = Take(slot);
  int changes = 0;
  for (size_t i = 0; i < before.values.size() && i < after.values.size(); ++i) {
    if (before.values[i].second == after.values[i].second) continue;
    ++changes;
    std::printf("%s: %s -> %s\n", before.values[i].first.c_str(), tkx::ConfigNumber(before.values[i].second).c_str(),
                tkx::ConfigNumber(after.values[i].second).c_str());
  }
  if (changes == 0) std::printf("no differences between %s and %s\n", file, device.c_str());
  if (dryRun) {
    std::printf("dry run: %d difference%s, nothing written\n", changes, changes == 1 ? "" : "s");
    return 0;
  }
  if (changes == 0) return 0;
  if (!yes && !Confirm("write these " + std::to_string(changes) + " changes to " + device + "?")) {
    std::printf("nothing written\n");
    return 1;
  }
  if (slot.WriteConfig() < 0 || slot.WriteHeader() < 0)
    return Fail("writing to " + device + " failed: " + tkxErrorGetLastStr());
  // read back what the device now holds
  const Snapshot written = Take(slot);
  if (slot.ReadConfig() < 0 || Take(slot).values != written.values)
    return Fail(device + " does not read back what was written");
  std::printf("wrote %s to %s\n", file, device.c_str());
  return 0;
}

}  // namespace

#ifndef TKXCONFIG_MAIN
#define TKXCONFIG_MAIN main
#endif

// the tests run the program in their own process under another name
int TKXCONFIG_MAIN(int argc, char **argv) {
  bool dryRun = false, yes = false;
  std::vector<const char *> args;
  for (int i = 1; i < argc; ++i) {
    const char *a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(a, "--dry-run") == 0 || std::strcmp(a, "-n") == 0) {
      dryRun = true;
    } else if (std::strcmp(a, "--yes") == 0 || std::strcmp(a, "-y") == 0) {
      yes = true;
    } else if (a[0] == '-' && a[1] != '\0') {
      std::fprintf(stderr, "tkxconfig: unknown option '%s'\nTry 'tkxconfig --help' for more information.\n", a);
      return 2;
    } else {
      args.push_back(a);
    }
  }
  const bool dump = args.size() == 3 && std::strcmp(args[0], "dump") == 0;
  const bool restore = args.size() == 3 && std::strcmp(args[0], "restore") == 0;
  char *end = nullptr;
  const long index = args.size() == 3 ? std::strtol(args[1], &end, 10) : -1;
  if ((!dump && !restore) || end == args[1] || *end != '\0' || index < 0 || index >= TKX::kMaxDevices) {
    std::fprintf(stderr,
                 "tkxconfig: expected dump or restore, a device index and a file\n"
                 "Try 'tkxconfig --help' for more information.\n");
    return 2;
  }
  const int count = TKX::GetDeviceCount();
  if (index >= count)
    return Fail("no device " + std::to_string(index) + " (" + std::to_string(count) + " found; see tkxinfo)");
  TKX slot;
  if (slot.Open(static_cast<int>(index)) != index)
    return Fail("device " + std::to_string(index) + " does not open: " + tkxErrorGetLastStr());
  const int status = dump ? Dump(slot, static_cast<int>(index), args[2])
                          : Restore(slot, static_cast<int>(index), args[2], dryRun, yes);
  slot.Close();
  return status;
}
