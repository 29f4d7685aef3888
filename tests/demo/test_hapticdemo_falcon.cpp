// The program on a virtual Falcon, driven by its hand: the cursor does not move
// while the device has not been homed, follows the hand once it has been
// pulled out through its homing position, and the hand's button opens the demo
// under the cursor. With a trion.6 plugged as well both are found and the
// program takes the trion, counted first.
#include "HandUnderX.h"

namespace {

using namespace underx;

// the Falcon reaches 50 mm: the cursor crosses the window for 0.1 m
constexpr double kFalconMetresPerWindow = 2.0 * 0.05;

class HapticDemoFalcon : public HapticDemoHand {
 protected:
  void SetUp() override {
    HapticDemoHand::SetUp();
    metresPerWindow_ = kFalconMetresPerWindow;
  }
  // the cursor seen in every screenshot for this long where the first one showed it
  ::testing::AssertionResult StaysStill(double seconds) {
    int sx = -1, sy = -1, fx, fy;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    int shots = 0;
    while (Clock::now() < end) {
      if (!Screenshot()) continue;
      if (shots++ == 0) {
        if (!FindCursor(0, 0, -1, &sx, &sy)) return ::testing::AssertionFailure() << "no cursor on the screen";
        std::printf("before homing the cursor rests at %d,%d\n", sx, sy);
      } else if (!FindCursor(sx, sy, kTolerance, &fx, &fy)) {
        return ::testing::AssertionFailure() << "the cursor moved before homing";
      }
      Sleep(0.2);
    }
    return shots > 1 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "too few screenshots";
  }
};

TEST_F(HapticDemoFalcon, CursorStillUntilHomedThenFollowsAndAPressOpensADemo) {
  const double p1y = 0.02, p1z = 0.012;  // right of and above the middle
  double t0 = 0.0;
  double p3y = 0.0;
  // the upload at each of the program's two opens makes the menu come later
  for (double rest : {20.0, 40.0}) {
    t0 = rest;
    p3y = PanelY(4);
    // the hand moves aside while the device is not homed (t0 + 0.5 to t0 + 6),
    // is pulled out through the homing position and back, then goes over
    // panel 4 and presses
    WriteScript({{0, 0, 0, 0, 0},
                 {t0, 0, 0, 0, 0},
                 {t0 + 0.5, 0, p1y, p1z, 0},
                 {t0 + 6.0, 0, p1y, p1z, 0},
                 {t0 + 7.0, 0.045, p1y, p1z, 0},
                 {t0 + 8.0, 0, p1y, p1z, 0},
                 {t0 + 12.0, 0, p1y, p1z, 0},
                 {t0 + 12.5, 0, p3y, 0, 0},
                 {t0 + 14.0, 0, p3y, 0, 1},
                 {t0 + 16.0, 0, p3y, 0, 0}});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=60"}));
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";

  // the hand goes aside, but until the device is homed the cursor does not move
  while (ScriptTimeAtMost() < t0 + 1.5) Sleep(0.1);
  EXPECT_TRUE(StaysStill(2.5));
  EXPECT_LT(ScriptTimeAtMost(), t0 + 6.0) << "the middle was watched after the homing began";
  ASSERT_TRUE(CursorComesTo(p1y, p1z, 20.0));
  ASSERT_TRUE(CursorComesTo(p3y, 0.0, 10.0));
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 8.0)) << "the press opened no demo";
  ASSERT_NO_FATAL_FAILURE(LeaveDemo(4));

  const std::string log = ReadFile(dir_ + "/bus.log");
  EXPECT_NE(log.find("upload complete: image accepted"), std::string::npos) << log;
  EXPECT_NE(log.find("homed"), std::string::npos) << log;
  EXPECT_NE(log.find("not homed"), std::string::npos) << log;
  QuitFromMenu();
}

TEST_F(HapticDemoHand, TrionAndFalconTheTrionFirst) {
  const double p1y = 0.045, p1z = 0.03;
  double t0 = 0.0;
  for (double rest : {12.0, 40.0}) {
    t0 = rest;
    WriteScript({{0, 0, 0, 0, 0}, {t0, 0, 0, 0, 0}, {t0 + 0.5, 0, p1y, p1z, 0}});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=61,60"}));
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  // the trion's reach maps the hand: the cursor follows it at once, no homing
  ASSERT_TRUE(CursorComesTo(0.0, 0.0, 5.0));
  ASSERT_TRUE(CursorComesTo(p1y, p1z, 20.0));
  const std::string log = ReadFile(dir_ + "/bus.log");
  EXPECT_NE(log.find("(code 61): opened"), std::string::npos) << log;
  EXPECT_NE(log.find("(code 60): found behind its converter"), std::string::npos) << log;
  QuitFromMenu();
}

}  // namespace
