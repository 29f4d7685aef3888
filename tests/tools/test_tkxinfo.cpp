// tkxinfo run as a program against virtual devices: the listing, its JSON read
// back by a JSON parser, the exchange rate, the exit codes and the reason line.
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using tooltest::Result;
using tooltest::Shell;

namespace {

const std::string kTool = TKXINFO_PATH;

Result Info(const std::string &devices, const std::string &args, bool mergeErrors = true) {
  const std::string env = devices.empty() ? "env -u TKX_VIRTUAL_DEVICES " : "env TKX_VIRTUAL_DEVICES=" + devices + " ";
  return Shell(env + kTool + " " + args, mergeErrors);
}

bool HavePython() { return Shell("python3 -c 'import json'").status == 0; }

// the JSON read by python's parser, one line per device: index type name serial
// memory_model calibrated rate, then the reason
std::vector<std::string> ParsedJson(const std::string &devices, const std::string &args, int *status) {
  const std::string out = ::testing::TempDir() + "tkxinfo.json";
  const Result r = Shell("env TKX_VIRTUAL_DEVICES=" + devices + " " + kTool + " --json " + args + " > " + out +
                         "; s=$?; python3 -c 'import json,sys\n"
                         "d = json.load(open(sys.argv[1]))\n"
                         "for x in d[\"devices\"]: print(x[\"index\"], x[\"type\"], x[\"name\"].replace(\" \", \"_\"), "
                         "x[\"serial\"], x[\"memory_model\"], x[\"calibrated\"], x[\"rate_hz\"])\n"
                         "print(d[\"reason\"])' " +
                         out + "; echo $s; rm -f " + out);
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  *status = lines.empty() ? -1 : std::atoi(lines.back().c_str());
  if (!lines.empty()) lines.pop_back();
  return lines;
}

TEST(Tkxinfo, ListsEveryVirtualDeviceWithItsRate) {
  const Result r = Info("61,35,60", "");
  ASSERT_EQ(r.status, 0) << r.out;
  std::istringstream in(r.out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0].rfind("0: trion.6 (type 61), serial ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("1: polux.7 (right-hand) (type 35), serial ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("2: ", 0), 0u) << lines[2];
  // the third is whatever the library makes of code 60
  for (const std::string &line : lines) {
    if (&line != &lines[2]) {
      EXPECT_NE(line.find("firmware 3.2, memory model 3, calibrated"), std::string::npos) << line;
    }
    // every device answered in its second, and only real exchanges count: the
    // virtual devices answer at most 4,000 a second, the Falcon 1,000; how many
    // fewer depends on how much of the second a loaded machine gave the tool
    const size_t rate = line.rfind(", ");
    const double hz = std::atof(line.c_str() + rate + 2);
    EXPECT_GT(hz, 0.0) << line;
    EXPECT_LT(hz, &line == &lines[2] ? 1100.0 : 4400.0) << line;
    EXPECT_NE(line.find(" exchanges/s"), std::string::npos) << line;
  }
}

TEST(Tkxinfo, JsonReadsBack) {
  if (!HavePython()) GTEST_SKIP() << "no python3 to parse the JSON";
  int status = -1;
  std::vector<std::string> lines = ParsedJson("61,35,60", "--no-rate", &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("0 61 trion.6 1", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(" 3 True None"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1].rfind("1 35 polux.7_(right-hand) ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("2 ", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3], "None");
  // a blank device is given the factory calibration, and says so; the rate is a number
  lines = ParsedJson("61:blank", "", &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(lines.size(), 2u);
  std::istringstream fields(lines[0]);
  std::string index, type, name, serial, model, calibrated, rate;
  fields >> index >> type >> name >> serial >> model >> calibrated >> rate;
  EXPECT_EQ(calibrated, "False");
  EXPECT_GT(std::atof(rate.c_str()), 100.0) << lines[0];
}

TEST(Tkxinfo, NoDeviceExitsOneAndSaysWhy) {
  const Result text = Info("", "--no-rate");
  if (text.status == 0) GTEST_SKIP() << "a device is attached";
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out.rfind("tkxinfo: ", 0), 0u) << text.out;
  EXPECT_TRUE(text.out.find("no device found") != std::string::npos ||
              text.out.find("no permission on the USB node") != std::string::npos ||
              text.out.find("libusb unavailable") != std::string::npos)
      << text.out;
  if (!HavePython()) return;
  const Result json = Shell("env -u TKX_VIRTUAL_DEVICES " + kTool +
                                " --json | python3 -c 'import json,sys\nd = json.load(sys.stdin)\n"
                                "print(len(d[\"devices\"]), d[\"reason\"])'",
                            false);
  EXPECT_EQ(json.out.rfind("0 ", 0), 0u) << json.out;
  EXPECT_EQ(json.out.substr(2), text.out.substr(9)) << json.out;
}

TEST(Tkxinfo, HelpAndWrongOptions) {
  const Result help = Info("", "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: tkxinfo [OPTION]...\n", 0), 0u) << help.out;
  for (const char *option : {"--json", "--no-rate", "--help", "Exit status"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  const Result bad = Info("", "--jsn");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.out.find("Try 'tkxinfo --help'"), std::string::npos) << bad.out;
}

}  // namespace
