// The dynamics demo felt through a virtual trion.6's hand: into the demo from
// the menu, a wait above the sheet while it sags and settles, a press down into
// its middle at two depths, release, and back to the menu. The demo magnifies
// the device's position 6.5 times: the sheet's middle hangs at z = -0.14 in the
// scene and the proxy (0.1) meets its nodes (0.05) 0.15 above their centres,
// so contact begins with the hand near z = 0.0015 m. What is felt comes from
// the virtual log; screenshots of the sheet at rest, dented and released are
// kept as artefacts.
#include "FeltUnderX.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using namespace underx;

class HapticDemoDynamics : public HapticDemoFelt {
 protected:
  HapticDemoDynamics() : HapticDemoFelt("dynamics") {}

  // the last screenshot as the mean colours of 16-pixel squares
  std::vector<Rgb> Blocks() const {
    std::vector<Rgb> out;
    for (int y = 0; y + 16 <= shotH_; y += 16)
      for (int x = 0; x + 16 <= shotW_; x += 16) out.push_back(Region(x, y, 16, 16));
    return out;
  }

  // mean absolute difference of two screenshots' squares, components 0..1
  static double Difference(const std::vector<Rgb> &a, const std::vector<Rgb> &b) {
    if (a.empty() || a.size() != b.size()) return 1.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
      sum += std::fabs(a[i].r - b[i].r) + std::fabs(a[i].g - b[i].g) + std::fabs(a[i].b - b[i].b);
    return sum / (3.0 * double(a.size()));
  }
};

TEST_F(HapticDemoDynamics, PushIntoTheSheetItDentsPushesBackHarderWithDepthAndSpringsBack) {
  // over node (5, 5), between the four middle nodes' centres
  const double x = 0.05 / 6.5, y = 0.07 / 6.5, contact = 0.01 / 6.5;
  const cVec above(x, y, 0.2 / 6.5), press1(x, y, contact - 0.008), press2(x, y, contact - 0.018);
  const cVec released(x, y, 0.2 / 6.5 + 0.0005);
  double t0 = 0.0;
  for (double rest : {12.0, 30.0}) {
    t0 = rest;
    const double p6 = PanelY(6);
    WriteScript({{0, 0, 0, 0, 0},
                 {t0, 0, 0, 0, 0},
                 {t0 + 0.5, 0, p6, 0, 0},
                 {t0 + 4, 0, p6, 0, 1},
                 {t0 + 5, 0, p6, 0, 0},
                 // up first, then over the middle: the proxy enters from above
                 {t0 + 6, 0, p6, above.z, 0},
                 {t0 + 7, above.x, above.y, above.z, 0},
                 {t0 + 13, above.x, above.y, above.z, 0},
                 {t0 + 14, press1.x, press1.y, press1.z, 0},
                 {t0 + 18, press1.x, press1.y, press1.z, 0},
                 {t0 + 19, press2.x, press2.y, press2.z, 0},
                 {t0 + 23, press2.x, press2.y, press2.z, 0},
                 {t0 + 24, released.x, released.y, released.z, 0},
                 {t0 + 30, released.x, released.y, released.z, 0}});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=61"}));
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";

  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 30.0)) << "the press opened no demo";
  // the sheet has sagged and settled by the end of the wait above it
  ASSERT_TRUE(WaitFor([&] { return HeldAt(above).size() >= 3; }, 60.0)) << "the hand never held above the sheet";
  ASSERT_TRUE(Screenshot());
  const std::vector<Rgb> restShot = Blocks();
  KeepScreen("rest");
  ASSERT_TRUE(WaitFor([&] { return HeldAt(press1).size() >= 2; }, 30.0)) << "the hand never pressed";
  KeepScreen("pressed");
  ASSERT_TRUE(WaitFor([&] { return HeldAt(press2).size() >= 2; }, 30.0)) << "the hand never pressed deeper";
  ASSERT_TRUE(Screenshot());
  const std::vector<Rgb> deepShot = Blocks();
  KeepScreen("pressed-deeper");
  ASSERT_TRUE(WaitFor([&] { return HeldAt(released).size() >= 3; }, 30.0)) << "the script did not end";
  ASSERT_TRUE(Screenshot());
  const std::vector<Rgb> releasedShot = Blocks();
  KeepScreen("released");

  Sample f, p1, p2, r;
  ASSERT_TRUE(MeanAt(above, &f));
  ASSERT_TRUE(MeanAt(press1, &p1));
  ASSERT_TRUE(MeanAt(press2, &p2));
  ASSERT_TRUE(MeanAt(released, &r));
  auto print = [](const char *name, const Sample &s) {
    std::printf("%-8s effector %.4f %.4f %.4f  hand %.4f %.4f %.4f  motor force %.3f %.3f %.3f N\n", name, s.effector.x,
                s.effector.y, s.effector.z, s.hand.x, s.hand.y, s.hand.z, s.force.x, s.force.y, s.force.z);
  };
  print("above", f);
  print("press1", p1);
  print("press2", p2);
  print("released", r);
  // the sheet takes one 2.5 ms step per haptic iteration: the rate says how
  // fast it ran here
  std::printf("device exchanges %.0f/s (median)\n", MedianRate());

  // above the sheet the effector sits where the hand holds it
  EXPECT_LT((f.effector - f.hand).Length(), 0.0005);
  // pressed, the sheet holds the effector up out of the hand's reach and
  // pushes back upward, harder the deeper the hand
  const cVec c1 = p1.force - f.force, c2 = p2.force - f.force, c3 = r.force - f.force;
  std::printf("contact force: press1 %.3f N, press2 %.3f N, released %.3f N\n", c1.Length(), c2.Length(), c3.Length());
  EXPECT_GT(p1.effector.z - p1.hand.z, 0.002);
  EXPECT_GT(c1.z, 0.3);
  EXPECT_GT(c1.z, 0.8 * c1.Length());
  EXPECT_GT(c2.z, c1.z + 0.5);
  EXPECT_GT(c2.z, 0.8 * c2.Length());
  // released, nothing pushes
  EXPECT_LT((r.effector - r.hand).Length(), 0.0005);
  EXPECT_LT(c3.Length(), 0.3);

  // the dent shows; released, the sheet looks as it hung before the press (the
  // hand is half a millimetre higher, so its hold can be told apart)
  const double dented = Difference(restShot, deepShot), back = Difference(restShot, releasedShot);
  std::printf("screen difference from rest: dented %.4f, released %.4f\n", dented, back);
  EXPECT_GT(dented, 4.0 * back);

  ASSERT_NO_FATAL_FAILURE(LeaveDemo(3));
  // a loaded machine may still be fading the menu in, when Escape is ignored
  Sleep(1.5);
  QuitFromMenu();
}

}  // namespace
