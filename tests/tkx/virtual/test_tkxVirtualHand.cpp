// The virtual hand: its script, and the script a device on the bus follows.
#include "tkx/virtual/tkxVirtualBus.h"
#include "tkx/virtual/tkxVirtualHand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using tkx::virt::HandPose;
using tkx::virt::HandScript;

class Hand : public ::testing::Test {
 protected:
  static bool Parse(const std::string &text, HandScript *out, int *bad = nullptr) {
    std::istringstream in(text);
    int line = 0;
    const bool ok = HandScript::Parse(in, out, &line);
    if (bad) *bad = line;
    return ok;
  }
  // a file of this process's own, removed when the test ends
  std::string WriteFile(const std::string &name, const std::string &text) {
    const std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "_" + name;
    std::ofstream(path) << text;
    written.push_back(path);
    return path;
  }
  void TearDown() override {
    for (const std::string &path : written) std::remove(path.c_str());
  }
  std::vector<std::string> written;
};

// ---- parsing ----

TEST_F(Hand, ScriptTakesCommentsBlankLinesAndOptionalFields) {
  HandScript s;
  ASSERT_TRUE(Parse("# a hand\n\n0 0 0 0\n  0.5 0.01 -0.02 0.03 1   # pressed\n1 0 0 0 0 0.02\n\t\n", &s));
  ASSERT_EQ(s.Points().size(), 3u);
  EXPECT_EQ(s.Points()[1].t, 0.5);
  EXPECT_EQ(s.Points()[1].pose.target[1], -0.02);
  EXPECT_TRUE(s.Points()[1].pose.button);
  EXPECT_FALSE(s.Points()[0].pose.button);
  EXPECT_EQ(s.Points()[2].pose.gripper, 0.02);
  ASSERT_TRUE(Parse("", &s));
  EXPECT_TRUE(s.Empty());
}

TEST_F(Hand, MalformedLinesAreFoundByNumber) {
  const struct {
    const char *text;
    int line;
  } cases[] = {
      {"0 0 0\n", 1},                   // too few fields
      {"0 0 0 0\n0 0 0 0 1 0 9\n", 2},  // too many
      {"# c\n0 0 x 0\n", 2},            // not a number
      {"1 0 0 0\n0.5 0 0 0\n", 2},      // time going back
      {"0 0 0 0 2\n", 1},               // a button is 0 or 1
      {"0 0 0 0 1 -0.01\n", 1},         // a negative opening
      {"-1 0 0 0\n", 1},                // before the open
      {"0 0 0 0\n\n1 0 0 nan\n", 3},    // not finite
      {"0 0 0 0.1m\n", 1},              // trailing text
      {"0 0 0 0 0 0 0.1 0.2\n", 1},     // wrist angles come in threes
      {"0 0 0 0 0 0 1 2 3 4\n", 1},     // and nothing after them
  };
  for (const auto &c : cases) {
    HandScript s;
    Parse("0 1 1 1\n", &s);
    int bad = 0;
    EXPECT_FALSE(Parse(c.text, &s, &bad)) << c.text;
    EXPECT_EQ(bad, c.line) << c.text;
    EXPECT_TRUE(s.Empty()) << c.text;
  }
}

TEST_F(Hand, LoadNamesTheFileAndLine) {
  HandScript s;
  std::string error;
  EXPECT_FALSE(HandScript::Load("/nonexistent/hand.txt", &s, &error));
  EXPECT_NE(error.find("/nonexistent/hand.txt"), std::string::npos);
  const std::string path = WriteFile("tkx_hand_bad.txt", "0 0 0 0\n1 0 0\n");
  EXPECT_FALSE(HandScript::Load(path.c_str(), &s, &error));
  EXPECT_NE(error.find(path + ": line 2"), std::string::npos) << error;
}

// ---- sampling ----

TEST_F(Hand, PoseIsInterpolatedAndTheEndsHeld) {
  HandScript s;
  ASSERT_TRUE(Parse("1 0 0 0 0 0\n3 0.02 -0.04 0.01 1 0.01\n3 0.05 0 0 0\n", &s));
  EXPECT_EQ(s.At(0.0).target[0], 0.0);  // before the first line: the first line
  const HandPose mid = s.At(2.0);
  EXPECT_DOUBLE_EQ(mid.target[0], 0.01);
  EXPECT_DOUBLE_EQ(mid.target[1], -0.02);
  EXPECT_DOUBLE_EQ(mid.gripper, 0.005);
  EXPECT_FALSE(mid.button);  // the earlier line's button until the next line
  // two lines at one time: a jump to the later one, which then holds
  EXPECT_EQ(s.At(3.0).target[0], 0.05);
  EXPECT_EQ(s.At(100.0).target[0], 0.05);
  EXPECT_FALSE(s.At(100.0).button);
  // no script: the workspace centre, released
  const HandPose rest = HandScript().At(5.0);
  EXPECT_EQ(rest.target[0] + rest.target[1] + rest.target[2], 0.0);
  EXPECT_FALSE(rest.button);
}

TEST_F(Hand, WristAnglesFollowTheGripperAndAreInterpolated) {
  HandScript s;
  ASSERT_TRUE(Parse("0 0 0 0\n1 0 0 0 0 0 0.2 -0.4 0.6\n", &s));
  // left out, the wrist is straight
  for (double a : s.At(0.0).angles) EXPECT_EQ(a, 0.0);
  const HandPose mid = s.At(0.5);
  EXPECT_DOUBLE_EQ(mid.angles[0], 0.1);
  EXPECT_DOUBLE_EQ(mid.angles[1], -0.2);
  EXPECT_DOUBLE_EQ(mid.angles[2], 0.3);
  EXPECT_EQ(s.At(2.0).angles[2], 0.6);
}

// ---- the script from the environment ----

TEST_F(Hand, BusDevicesFollowTheScriptNamedInTheEnvironment) {
  tkx::virt::UnplugAll();
  unsetenv("TKX_VIRTUAL_DEVICES");
  const std::string good = WriteFile("tkx_hand_good.txt", "0 0 0 0\n1 0.01 0 0 1\n");
  setenv("TKX_VIRTUAL_HAND", good.c_str(), 1);
  tkx::virt::testing::ReadEnvironment();
  auto dev = tkx::virt::Plug(61);
  dev->Advance(0.5);
  tkx::virt::MechanismState s;
  ASSERT_TRUE(dev->GetMechanism(&s));
  EXPECT_NEAR(s.hand.target[0], 0.005, 1e-9);
  dev->Advance(0.6);
  EXPECT_EQ(dev->Buttons() & 1, 1);

  // a malformed script is reported with its line and ignored
  const std::string bad = WriteFile("tkx_hand_bad2.txt", "0 0 0 0\n# fine\n0.5 0 zero 0\n");
  setenv("TKX_VIRTUAL_HAND", bad.c_str(), 1);
  ::testing::internal::CaptureStderr();
  tkx::virt::testing::ReadEnvironment();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("TKX_VIRTUAL_HAND: " + bad + ": line 3"), std::string::npos) << err;
  auto rest = tkx::virt::Plug(33);
  rest->Advance(1.0);
  ASSERT_TRUE(rest->GetMechanism(&s));
  EXPECT_EQ(s.hand.target[0], 0.0);
  unsetenv("TKX_VIRTUAL_HAND");
  tkx::virt::testing::ReadEnvironment();
  tkx::virt::UnplugAll();
}

}  // namespace
