// Calibrations loaded at open, and moved to and from configuration text files,
// through slots bound to virtual devices.
#include "support/VirtualBusTest.h"

#include "tkx/tkx.h"

#include "tkx/tkxErrno.h"
#include "tkx/tkxTranslator.h"
#include "tkx/tkxTrion.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using tkx::virt::Device;

namespace {

class ConfigFile : public bustest::VirtualBusTest {
 protected:
  void SetUp() override {
    VirtualBusTest::SetUp();
    path = ::testing::TempDir() + "tkx_config_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override {
    slots.clear();
    std::remove(path.c_str());
    VirtualBusTest::TearDown();
  }
  TKX &Bound(int code, bool blank = false) {
    dev = Plug(code, blank);
    slots.push_back(std::make_unique<TKX>());
    const int index = static_cast<int>(tkx::virt::Devices().size()) - 1;
    EXPECT_EQ(slots.back()->Open(index), index);
    return *slots.back();
  }
  static std::vector<double> Params(TKX &slot) {
    std::vector<double> v;
    for (int id = 120; id <= 169; ++id) v.push_back(slot.GetParam(id));
    return v;
  }
  // a calibration that differs from the factory's in every kind of parameter
  static void Calibrate(TKX &slot) {
    slot.SetParam(121, 2040), slot.SetParam(126, 0.123456789), slot.SetParam(142, 0.31);
    slot.SetParam(150, -12.5), slot.SetParam(163, 40000), slot.SetParam(131, -1.5);
    slot.SetTKCVersion(4), slot.SetSerialNumber(4321);
  }
  std::string Text() const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // a new file each time: rewriting one in place makes the file system flush it
  void Write(const std::string &text) const {
    std::remove(path.c_str());
    std::ofstream(path, std::ios::binary) << text;
  }

  std::shared_ptr<Device> dev;
  std::vector<std::unique_ptr<TKX>> slots;
  std::string path;
};

std::vector<unsigned char> Calibration(const Device &d) { return d.Memory(100 + 4 * 120, 4 * 48); }

// ---- device memory at open ----

TEST_F(ConfigFile, OpenLoadsTheCalibrationFromMemory) {
  TKX &slot = Bound(63);
  ASSERT_NE(dynamic_cast<tkxTrion *>(slot.GetTranslator()), nullptr);
  for (int id = 120; id <= 167; ++id) {
    const double def = tkxTrion::DefaultParam(id, 63);
    const double stored = tkxTrion::StorageOf(id) == tkxTrion::Storage::Double ? static_cast<float>(def) : def;
    EXPECT_EQ(slot.GetParam(id), stored) << id;
  }
  EXPECT_EQ(slot.GetDefaultParam(127), 2048.0 / 3.0);
  // a blank device is given the same image that a calibrated one ships with
  const Device factory(61, false);
  slots.clear();
  tkx::virt::UnplugAll();
  Bound(61, true);
  EXPECT_EQ(Calibration(*dev), Calibration(factory));
}

// ---- files ----

TEST_F(ConfigFile, RoundTripKeepsHeaderAndParameters) {
  TKX &slot = Bound(63);
  Calibrate(slot);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  const std::vector<double> written = Params(slot);
  slot.SetParam(126, 1.0), slot.SetParam(163, 1), slot.SetSerialNumber(1), slot.SetTKCVersion(9);
  ASSERT_EQ(slot.ReadConfigFromFile(path.c_str()), 0);
  EXPECT_EQ(Params(slot), written);
  EXPECT_EQ(slot.GetSerialNumber(), 4321);
  EXPECT_EQ(slot.GetTKCVersion(), 4);
  EXPECT_EQ(slot.GetTKXVersion(), 2);
  EXPECT_EQ(slot.GetEEPROMVersion(), 0x0110);
  // and through the C entry, behind the expert gate
  slot.Close();
  tkx::virt::Rescan();
  ASSERT_EQ(tkxGetDeviceCount(), 1);
  ASSERT_EQ(tkxOpenID(0), 0);
  tkxDisableExpertMode();
  EXPECT_EQ(tkxReadConfigFromFile(path.c_str(), 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_EXPERT_DISABLED);
  tkxEnableExpertMode();
  EXPECT_EQ(tkxReadConfigFromFile(path.c_str(), 0), 0);
  EXPECT_EQ(tkxReadConfigFromFile((path + ".missing").c_str(), 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_FILE_NOT_FOUND);
  tkxClose(0);
  tkxDisableExpertMode();
}

TEST_F(ConfigFile, TextFormat) {
  TKX &slot = Bound(63);
  slot.SetParam(126, 0.125);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  const std::string text = Text();
  const std::string serial = std::to_string(slot.GetSerialNumber());
  EXPECT_EQ(text.find('\r'), std::string::npos);
  ASSERT_EQ(text.back(), '\n');
  EXPECT_EQ(text.rfind("[header]\nEEPROM_VERSION=272\nEEPROM_TKC_VERSION=3\nEEPROM_TKX_VERSION=2\n"
                       "EEPROM_TKW_VERSION=1\nEEPROM_SERIAL_NUMBER=" +
                           serial + "\n\n[trion]\n",
                       0),
            0u);
  std::istringstream lines(text.substr(text.find("[trion]\n") + 8));
  std::string line;
  for (int id = 120; id <= 167; ++id) {
    ASSERT_TRUE(std::getline(lines, line)) << id;
    const std::string key = std::string(tkxTrion::ParamName(id)) + "=";
    ASSERT_EQ(line.rfind(key, 0), 0u) << line;
    char *end = nullptr;
    EXPECT_EQ(std::strtod(line.c_str() + key.size(), &end), slot.GetParam(id)) << line;
    EXPECT_EQ(*end, '\0') << line;
  }
  // the type it was written from and the memory's core words close the file
  for (const char *last : {"", "[system]", "SYSTEM_TYPE=63"}) {
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, last);
  }
  std::string words = "CORE_WORDS=";
  for (int id = 0; id <= 14; ++id) words += (id ? " " : "") + std::to_string(static_cast<int>(slot.GetParam(id)));
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, words);
  EXPECT_EQ(line.rfind("CORE_WORDS=30500 21500 21500 ", 0), 0u) << line;
  EXPECT_FALSE(std::getline(lines, line));
  for (const char *expected : {"\nTKX_EEPROM_TRION_MOTORVALMAX=2047\n", "\nTKX_EEPROM_TRION_MOTORROTATIONSIGN=1\n",
                               "\nTKX_EEPROM_TRION_ARMCOUPLEGRAVITY=0.125\n", "\nTKX_EEPROM_TRION_ENCMAX2=42540\n"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  // the reduced layout writes its header with zeros, any other none at all (nor
  // the core words)
  ASSERT_EQ(slot.SetMemoryModel(2), 0);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  EXPECT_EQ(Text().rfind("[header]\nEEPROM_VERSION=0\nEEPROM_TKC_VERSION=0\nEEPROM_TKX_VERSION=0\n"
                         "EEPROM_TKW_VERSION=0\nEEPROM_SERIAL_NUMBER=0\n\n[trion]\n",
                         0),
            0u);
  slot.SetMemoryModel(5);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  EXPECT_EQ(Text().rfind("[header]\n\n[trion]\n", 0), 0u);
  EXPECT_EQ(Text().find("CORE_WORDS"), std::string::npos);
}

// the core words travel with the file: the slot holds them until WriteConfig
// puts them into memory, and a bad line is refused whole
TEST_F(ConfigFile, CoreWordsReachMemoryOnlyWhenWritten) {
  TKX &slot = Bound(63);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  const std::string good = Text();
  const size_t at = good.find("CORE_WORDS=30500 ");
  ASSERT_NE(at, std::string::npos);
  const std::vector<unsigned char> memory = dev->Memory(0, 30);
  std::string edited = good;
  edited.replace(at + 11, 5, "30512");
  Write(edited);
  ASSERT_EQ(slot.ReadConfigFromFile(path.c_str()), 0);
  EXPECT_EQ(slot.GetParam(0), 30512);
  EXPECT_EQ(dev->Memory(0, 30), memory);
  // a file written meanwhile carries what the slot holds
  const std::string again = path + ".again";
  ASSERT_EQ(slot.WriteConfigToFile(again.c_str()), 0);
  std::ifstream in(again);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(again.c_str());
  EXPECT_NE(text.str().find("CORE_WORDS=30512 "), std::string::npos);
  ASSERT_EQ(slot.WriteConfig(), 0);
  EXPECT_EQ(dev->Memory(0, 2), (std::vector<unsigned char>{30512 >> 8, 30512 & 0xFF}));
  EXPECT_EQ(slot.GetParam(0), 30512);
  // reading memory again drops what a file said
  Write(good);
  ASSERT_EQ(slot.ReadConfigFromFile(path.c_str()), 0);
  EXPECT_EQ(slot.GetParam(0), 30500);
  ASSERT_EQ(slot.ReadConfig(), 0);
  EXPECT_EQ(slot.GetParam(0), 30512);
  const size_t end = good.find('\n', at);
  const std::string line = good.substr(at, end - at);
  for (const std::string &bad : {line + " 1", line.substr(0, line.rfind(' ')), "CORE_WORDS=65536" + line.substr(16),
                                 "CORE_WORDS=-1" + line.substr(16), "CORE_WORDS=1.5" + line.substr(16),
                                 "CORE_WORDS=nan" + line.substr(16), "CORE_WORD=" + line.substr(11)}) {
    Write(good.substr(0, at) + bad + "\n");
    slot.SetSerialNumber(77);
    EXPECT_EQ(slot.ReadConfigFromFile(path.c_str()), -1) << bad;
    EXPECT_EQ(slot.GetSerialNumber(), 77) << bad;
    EXPECT_EQ(slot.GetParam(0), 30512) << bad;
  }
  // nor does anything follow the line
  Write(good + "\n[trion]\n");
  EXPECT_EQ(slot.ReadConfigFromFile(path.c_str()), -1);
}

TEST_F(ConfigFile, RefusedFilesChangeNothing) {
  TKX &slot = Bound(63);
  Calibrate(slot);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  const std::string good = Text();
  slot.SetParam(126, 0.5);
  const std::vector<double> before = Params(slot);
  for (const std::string &bad : {"[HEADER]" + good.substr(8), "[header]x" + good.substr(8), std::string(),
                                 std::string(1 << 20, 'x'), std::string(64, '\0')}) {
    Write(bad);
    EXPECT_EQ(slot.ReadConfigFromFile(path.c_str()), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_AUTOCONFIG);
    EXPECT_EQ(Params(slot), before);
  }
  EXPECT_EQ(slot.ReadConfigFromFile((path + ".missing").c_str()), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_FILE_NOT_FOUND);
  // a file that cannot be made is a failure too
  EXPECT_EQ(slot.WriteConfigToFile((path + ".none/x.cfg").c_str()), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_FILE_NOT_FOUND);
  TKX unbound;
  EXPECT_EQ(unbound.WriteConfigToFile((path + ".unbound").c_str()), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NO_DEVICE);
  EXPECT_FALSE(std::ifstream(path + ".unbound").is_open());
  EXPECT_EQ(unbound.ReadConfigFromFile(path.c_str()), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NO_DEVICE);
}

// every cut of a good file fails and changes nothing, the header and the
// section alike; only the cuts just before the type's section and before the
// core words read, as files written before those were recorded
TEST_F(ConfigFile, TruncatedFilesLeaveValidModels) {
  TKX &slot = Bound(63);
  Calibrate(slot);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  const std::string good = Text();
  const std::vector<double> before = Params(slot);
  const size_t system = good.find("\n[system]"), words = good.find("\nCORE_WORDS=");
  ASSERT_NE(system, std::string::npos);
  ASSERT_NE(words, std::string::npos);
  for (size_t cut = 0; cut < good.size(); ++cut) {
    Write(good.substr(0, cut));
    for (int id = 120; id <= 169; ++id) slot.SetParam(id, id == 126 ? 0.5 : before[id - 120]);
    slot.SetSerialNumber(77);
    // and the cut before the core words, as a file written before they were
    if (cut == system || cut == system + 1 || cut == words + 1) {
      ASSERT_EQ(slot.ReadConfigFromFile(path.c_str()), 0) << cut;
      ASSERT_EQ(Params(slot), before);
      ASSERT_EQ(slot.GetSerialNumber(), 4321);
      continue;
    }
    ASSERT_EQ(slot.ReadConfigFromFile(path.c_str()), -1) << cut;
    ASSERT_EQ(tkx::LastError(), TKX_ERR_AUTOCONFIG);
    ASSERT_EQ(slot.GetParam(126), 0.5) << cut;
    ASSERT_EQ(slot.GetSerialNumber(), 77) << cut;
  }
}

TEST_F(ConfigFile, GarbledFilesLeaveValidModels) {
  TKX &slot = Bound(63);
  Calibrate(slot);
  ASSERT_EQ(slot.WriteConfigToFile(path.c_str()), 0);
  const std::string good = Text();
  std::mt19937 gen(21);
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    // three random replacements, insertions or deletions
    std::string text = good;
    for (int edit = 0; edit < 3; ++edit) {
      const size_t at = gen() % text.size();
      const int kind = gen() % 3;
      if (kind < 2) text.insert(at, 1, static_cast<char>(gen()));
      if (kind != 1) text.erase(at + (kind == 0), 1);
    }
    Write(text);
    const int result = slot.ReadConfigFromFile(path.c_str());
    ASSERT_TRUE(result == 0 || result == -1);
    refused += result < 0;
    for (double v : Params(slot)) ASSERT_TRUE(std::isfinite(v)) << text;
  }
  EXPECT_GT(refused, 200);
}

}  // namespace
