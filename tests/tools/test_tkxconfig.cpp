// tkxconfig against virtual devices: run inside the test, so the devices'
// memory can be compared after a dump and a restore, and as its own program for
// the exit codes, the question it asks and its help.
#include "support/ToolRun.h"
#include "support/VirtualBusTest.h"

#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

int RunTkxconfig(int argc, char **argv);

using tkx::virt::Device;
using tooltest::Result;
using tooltest::Shell;

namespace {

const std::string kTool = TKXCONFIG_PATH;

class Tkxconfig : public bustest::VirtualBusTest {
 protected:
  void SetUp() override {
    VirtualBusTest::SetUp();
    file = ::testing::TempDir() + "tkxconfig_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override {
    std::remove(file.c_str());
    VirtualBusTest::TearDown();
  }
  // runs the program in this process; its standard output in *out
  static int Tool(std::initializer_list<std::string> args, std::string *out = nullptr) {
    std::vector<std::string> words = {"tkxconfig"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    // every run discovers the bus again, as a new process would
    tkx::virt::Rescan();
    ::testing::internal::CaptureStdout();
    const int status = RunTkxconfig(static_cast<int>(words.size()), argv.data());
    const std::string text = ::testing::internal::GetCapturedStdout();
    if (out) *out = text;
    return status;
  }
  static std::vector<unsigned char> Memory(const Device &d) { return d.Memory(0, tkx::virt::kMemorySize); }

  std::string file;
};

TEST_F(Tkxconfig, DumpThenRestoreOnBlankDeviceGivesIdenticalMemory) {
  auto source = Plug(61);
  auto blank = Plug(61, true);
  const std::string serial = std::to_string(1000 + source->Number());
  std::string out;
  ASSERT_EQ(Tool({"dump", "0", file}, &out), 0) << out;
  EXPECT_EQ(out, "wrote the calibration of device 0 (trion.6, serial " + serial + ") to " + file + "\n");
  ASSERT_EQ(Tool({"--yes", "restore", "1", file}, &out), 0) << out;
  EXPECT_NE(out.find("EEPROM_SERIAL_NUMBER: 0 -> " + serial + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("wrote " + file + " to device 1 (trion.6, serial 0)\n"), std::string::npos) << out;
  // the blank device's factory block leaves channel 7's reset word unwritten:
  // the file's core words bring it over with the rest
  EXPECT_NE(out.find("CORE_WORD_7: "), std::string::npos) << out;
  EXPECT_EQ(Memory(*blank), Memory(*source));
  // a second restore finds nothing to change
  ASSERT_EQ(Tool({"restore", "1", file}, &out), 0) << out;
  EXPECT_EQ(out, "no differences between " + file + " and device 1 (trion.6, serial " + serial + ")\n");
}

TEST_F(Tkxconfig, DryRunShowsTheDifferencesAndWritesNothing) {
  auto source = Plug(35);
  auto target = Plug(35);
  ASSERT_EQ(Tool({"dump", "0", file}), 0);
  const std::vector<unsigned char> before = Memory(*target);
  std::string out;
  ASSERT_EQ(Tool({"--dry-run", "restore", "1", file}, &out), 0) << out;
  // the two calibrated images differ only in their serial numbers
  EXPECT_EQ(out, "EEPROM_SERIAL_NUMBER: " + std::to_string(1000 + target->Number()) + " -> " +
                     std::to_string(1000 + source->Number()) + "\ndry run: 1 difference, nothing written\n");
  EXPECT_EQ(Memory(*target), before);
  // a changed parameter shows with its name and both values
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  std::string edited = text.str();
  const std::string key = "TKX_EEPROM_TRION_LENGTHA=";
  const size_t line = edited.find(key);
  ASSERT_NE(line, std::string::npos);
  const size_t eq = edited.find('=', line), end = edited.find('\n', line);
  const std::string name = edited.substr(line, eq - line), old = edited.substr(eq + 1, end - eq - 1);
  std::remove(file.c_str());
  std::ofstream(file) << edited.replace(eq + 1, end - eq - 1, std::to_string(std::stod(old) * 1.001));
  ASSERT_EQ(Tool({"-n", "restore", "1", file}, &out), 0) << out;
  EXPECT_NE(out.find(name + ": "), std::string::npos) << out;
  EXPECT_NE(out.find("dry run: 2 differences"), std::string::npos) << out;
  EXPECT_EQ(Memory(*target), before);
}

TEST_F(Tkxconfig, RefusesAnotherTypesFileAndWritesNothing) {
  Plug(61);
  auto polux = Plug(35);
  ASSERT_EQ(Tool({"dump", "0", file}), 0);
  const std::vector<unsigned char> before = Memory(*polux);
  ::testing::internal::CaptureStderr();
  const int status = Tool({"--yes", "restore", "1", file});
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("refused: not a calibration of a polux.7 (right-hand)"), std::string::npos) << err;
  EXPECT_EQ(Memory(*polux), before);
}

// as its own program: exit codes, the question, the help
TEST(TkxconfigProgram, ExitCodesQuestionAndHelp) {
  const std::string file = ::testing::TempDir() + "tkxconfig_program.cfg";
  const std::string env = "env TKX_VIRTUAL_DEVICES=61,35,61:blank,60 TKX_VIRTUAL_RATE=0 ";
  Result r = Shell(env + kTool + " dump 0 " + file);
  ASSERT_EQ(r.status, 0) << r.out;
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("\n[system]\nSYSTEM_TYPE=61\n"), std::string::npos);
  // no answer on standard input is no
  r = Shell(env + kTool + " restore 2 " + file + " < /dev/null");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("write these 39 changes to device 2 (trion.6, serial 0)? [y/N] "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("nothing written"), std::string::npos) << r.out;
  r = Shell("echo y | " + env + kTool + " restore 2 " + file);
  EXPECT_EQ(r.status, 0) << r.out;
  r = Shell(env + kTool + " --yes restore 1 " + file);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("refused"), std::string::npos) << r.out;
  r = Shell(env + kTool + " restore 0 " + file + ".missing");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("cannot be read"), std::string::npos) << r.out;
  r = Shell("env -u TKX_VIRTUAL_DEVICES " + kTool + " dump 0 " + file);
  if (r.status != 0) {
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no device 0 (0 found; see tkxinfo)"), std::string::npos) << r.out;
  }
  for (const char *wrong : {"", "dump", "dump 0", "load 0 x", "dump x y", "dump 7 y", "--bogus dump 0 y"}) {
    r = Shell(env + kTool + " " + wrong);
    EXPECT_EQ(r.status, 2) << wrong;
    EXPECT_NE(r.out.find("Try 'tkxconfig --help'"), std::string::npos) << wrong;
  }
  r = Shell(kTool + " --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: tkxconfig [OPTION]... dump DEVICE FILE\n", 0), 0u) << r.out;
  for (const char *option : {"--dry-run", "--yes", "--help", "Exit status"})
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
  std::remove(file.c_str());
}

}  // namespace
