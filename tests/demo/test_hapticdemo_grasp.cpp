// The grasp demo felt through a virtual trion.6's hand: into the demo from the
// menu, a press down onto the water bubble at two depths, then deeper until it
// pops, and back to the menu. The demo magnifies the device's position three
// times, so the bubble's 1000 N/m is 3000 N/m at the device, in series with the
// hand's 200 N/m spring: the hand sinks about 16 mm below the bubble's top for
// every 3 N. What is felt comes from the virtual log (effector, hand target and
// motor force once a second); a screenshot of the demo is kept as an artefact.
#include "FeltUnderX.h"

#include <cstdio>
#include <sstream>

namespace {

using namespace underx;

class HapticDemoGrasp : public HapticDemoFelt {
 protected:
  HapticDemoGrasp() : HapticDemoFelt("grasp") {}
};

TEST_F(HapticDemoGrasp, PressTheBubbleHarderUntilItPops) {
  // the bubble's centre is a third of its place in the scene, and its top lies
  // 0.062 / 3 m above: the bubble's and the proxy's radii together
  const double c = 0.1 / 3.0, top = c + 0.062 / 3.0;
  const cVec above(0, c, top + 0.016), press1(0, c, top - 0.008), press2(0, c, top - 0.018);
  const cVec popped(0, c, top - 0.03);
  // round the bubble on the way up: the proxy enters from the side away from it
  const cVec low(0, c, 0), side(0.03, c, 0), sideUp(0.03, c, top + 0.016);
  double t0 = 0.0;
  for (double rest : {12.0, 40.0}) {
    t0 = rest;
    const double p2 = PanelY(2);
    // the cursor has a few seconds to reach the panel before the press
    WriteScript({{0, 0, 0, 0, 0},
                 {t0, 0, 0, 0, 0},
                 {t0 + 0.5, 0, p2, 0, 0},
                 {t0 + 4, 0, p2, 0, 1},
                 {t0 + 5, 0, p2, 0, 0},
                 {t0 + 7, low.x, low.y, low.z, 0},
                 {t0 + 8, side.x, side.y, side.z, 0},
                 {t0 + 10, sideUp.x, sideUp.y, sideUp.z, 0},
                 {t0 + 11, above.x, above.y, above.z, 0},
                 {t0 + 15, above.x, above.y, above.z, 0},
                 {t0 + 16, press1.x, press1.y, press1.z, 0},
                 {t0 + 20, press1.x, press1.y, press1.z, 0},
                 {t0 + 22, press2.x, press2.y, press2.z, 0},
                 {t0 + 26, press2.x, press2.y, press2.z, 0},
                 {t0 + 28, popped.x, popped.y, popped.z, 0},
                 {t0 + 32, popped.x, popped.y, popped.z, 0}});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=61"}));
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";

  // the press over panel 2 opens the grasp demo (slowly on a loaded machine)
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 30.0)) << "the press opened no demo";
  ASSERT_TRUE(WaitUntilHeldAt(press1, 60.0)) << "the hand never pressed the bubble";
  KeepScreen("pressed");
  ASSERT_TRUE(WaitUntilHeldAt(popped, 60.0)) << "the script did not end";
  Sleep(1.0);
  KeepScreen("popped");

  Sample f, p1, p2, p3;
  ASSERT_TRUE(MeanAt(above, &f));
  ASSERT_TRUE(MeanAt(press1, &p1));
  ASSERT_TRUE(MeanAt(press2, &p2));
  ASSERT_TRUE(MeanAt(popped, &p3));
  auto print = [](const char *name, const Sample &s) {
    std::printf("%-8s effector %.4f %.4f %.4f  hand %.4f %.4f %.4f  motor force %.3f %.3f %.3f N\n", name, s.effector.x,
                s.effector.y, s.effector.z, s.hand.x, s.hand.y, s.hand.z, s.force.x, s.force.y, s.force.z);
  };
  print("free", f);
  print("press1", p1);
  print("press2", p2);
  print("popped", p3);

  // in free space the effector sits where the hand holds it
  EXPECT_LT((f.effector - f.hand).Length(), 0.0005);
  // pressed, the bubble holds the effector up out of the hand's reach, and
  // pushes harder the deeper the hand: about 1.5 N, then about 3.4 N
  const cVec c1 = p1.force - f.force, c2 = p2.force - f.force, c3 = p3.force - f.force;
  std::printf("contact force: press1 %.3f N, press2 %.3f N, popped %.3f N\n", c1.Length(), c2.Length(), c3.Length());
  EXPECT_GT(p1.effector.z - p1.hand.z, 0.004);
  EXPECT_GT(c1.z, 0.8);
  EXPECT_GT(c1.z, 0.8 * c1.Length());
  EXPECT_GT(c2.z, c1.z + 1.0);
  EXPECT_GT(c2.z, 0.8 * c2.Length());
  EXPECT_LT(c2.Length(), 4.2);
  // past 4 N it popped: nothing holds the effector, the motors give about what
  // they give in free space
  EXPECT_LT((p3.effector - p3.hand).Length(), 0.001);
  EXPECT_LT(c3.Length(), 0.5);

  // back to the menu and out; the hand stays over the bubble, which is where
  // panel 4 is, so the cursor may turn that panel
  ASSERT_NO_FATAL_FAILURE(LeaveDemo(4));
  // a loaded machine may still be fading the menu in, when Escape is ignored
  Sleep(1.5);
  QuitFromMenu();
}

}  // namespace
