// The program driven by the virtual trion.6's hand instead of the mouse: a hand
// script moves the effector, the device cursor follows it over the menu, and the
// hand's button opens the demo under it, once per press.
#include "HandUnderX.h"

namespace {

using namespace underx;

// ---- the hand's tour of the menu ----

TEST_F(HapticDemoHand, CursorFollowsTheHandAndAPressOpensOneDemo) {
  const double p1y = 0.045, p1z = 0.03;   // over panel 4, above the middle
  const double p2y = -0.06, p2z = -0.03;  // over panel 1, below it
  const double p3y = PanelY(4), p4y = PanelY(2), p4z = 0.01;
  // the hand rests in the middle until the menu is surely up (a slow start
  // gets one more try with a longer rest), then visits the points, presses over
  // panel 4 for sixteen seconds, and presses again briefly over panel 2
  double t0 = 0.0;
  for (double rest : {12.0, 40.0}) {
    t0 = rest;
    WriteScript({{0, 0, 0, 0, 0},
                 {t0, 0, 0, 0, 0},
                 {t0 + 0.5, 0, p1y, p1z, 0},
                 {t0 + 4.0, 0, p1y, p1z, 0},
                 {t0 + 4.5, 0, p2y, p2z, 0},
                 {t0 + 8.0, 0, p2y, p2z, 0},
                 {t0 + 8.5, 0, p3y, 0, 0},
                 {t0 + 10.0, 0, p3y, 0, 1},
                 {t0 + 26.0, 0, p3y, 0, 0},
                 {t0 + 26.5, 0, p3y, 0, 0},
                 {t0 + 27.0, 0, p4y, p4z, 0},
                 {t0 + 28.5, 0, p4y, p4z, 1},
                 {t0 + 29.5, 0, p4y, p4z, 0}});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand());
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";
  EXPECT_EQ(program_.Stderr().find("TKX_VIRTUAL_HAND"), std::string::npos) << program_.Stderr();

  // the cursor follows the hand, and the panel under it turns
  EXPECT_TRUE(CursorComesTo(0.0, 0.0, 2.0));
  ASSERT_TRUE(CursorComesTo(p1y, p1z, 20.0));
  EXPECT_TRUE(WaitFor([&] { return ShowsBack(4); }, 2.0));
  ASSERT_TRUE(CursorComesTo(p2y, p2z, 10.0));
  EXPECT_TRUE(WaitFor([&] { return ShowsBack(1); }, 2.0));
  ASSERT_TRUE(CursorComesTo(p3y, 0.0, 10.0));

  // the press over panel 4 opens its demo; Escape leads back to the menu while
  // the button is still held, and the held press opens nothing more
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 6.0)) << "the press opened no demo";
  ASSERT_NO_FATAL_FAILURE(LeaveDemo(4));
  const auto menuAgain = Clock::now();
  while (Clock::now() - menuAgain < std::chrono::seconds(3)) {
    ASSERT_FALSE(DemoShown()) << "a held press opened a second demo";
    Sleep(0.2);
  }
  EXPECT_LT(ScriptTimeAtMost(), t0 + 26.0) << "the button was released before the held press was watched";

  // nor does its release; a new press over panel 2 opens that demo
  int ex, ey, fx, fy;
  Expected(p4y, p4z, &ex, &ey);
  const auto end = Clock::now() + std::chrono::seconds(20);
  bool there = false;
  while (!there && Clock::now() < end) {
    ASSERT_FALSE(DemoShown()) << "the release opened a demo";
    there = FindCursor(ex, ey, kTolerance, &fx, &fy);
    if (!there) Sleep(0.1);
  }
  ASSERT_TRUE(there) << "the cursor did not come over panel 2";
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 6.0)) << "the second press opened no demo";
  ASSERT_NO_FATAL_FAILURE(LeaveDemo(2));

  std::printf("virtual device: median %.0f exchanges/s\n", MedianRate());
  QuitFromMenu();
}

}  // namespace
