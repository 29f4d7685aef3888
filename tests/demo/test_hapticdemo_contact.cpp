// The contact demo felt through a virtual trion.3's hand: into the demo from the
// menu, a press into the tooth's crown at two depths, a slide across it, then the
// switch held to carry the tooth away, and back to the menu. What is felt comes
// from the virtual log (effector, hand target and motor force once a second);
// screenshots before and after the carry are kept as artefacts.
#include "FeltUnderX.h"

#include <cstdio>
#include <sstream>

namespace {

using namespace underx;

class HapticDemoContact : public HapticDemoFelt {
 protected:
  HapticDemoContact() : HapticDemoFelt("contact") {}

  // pixels that differ by more than a few levels between two screenshots, in a region
  int ChangedPixels(const std::string &a, const std::string &b, int x, int y, int w, int h) const {
    int changed = 0;
    for (int j = std::max(y, 0); j < std::min(y + h, shotH_); ++j)
      for (int i = std::max(x, 0); i < std::min(x + w, shotW_); ++i) {
        const size_t at = shotData_ + size_t(j) * shotStride_ + 4 * size_t(i);
        if (at + 4 > a.size() || at + 4 > b.size()) continue;
        for (int c = 0; c < 4; ++c)
          if (std::abs(int(static_cast<unsigned char>(a[at + c])) - int(static_cast<unsigned char>(b[at + c]))) > 24) {
            ++changed;
            break;
          }
      }
    return changed;
  }
};

TEST_F(HapticDemoContact, PressTheToothSlideAcrossItAndCarryIt) {
  // the trion.3 reaches 0.15 m, the demo's workspace is 0.4: one device metre is
  // 4/3 of a scene unit around the tooth, which sits at the device's centre. Two
  // of its cusps rise to about 0.054 m at (0.0104, +-0.0095) m, a groove between
  // them; the hand presses the one and slides over the groove to the other.
  const cVec above(0.0104, 0.0095, 0.08), free(0.0104, 0.0095, 0.062), press1(0.0104, 0.0095, 0.05);
  const cVec press2(0.0104, 0.0095, 0.043), across(0.0104, -0.0095, 0.05);
  const cVec grab(0, 0, 0.075), carried(0, 0.05, 0.095), released(0, 0.05, 0.1);
  double t0 = 0.0;
  for (double rest : {12.0, 40.0}) {
    t0 = rest;
    const double p4 = PanelY(4);
    WriteScript({{0, 0, 0, 0, 0},
                 {t0, 0, 0, 0, 0},
                 {t0 + 0.5, 0, p4, 0, 0},
                 {t0 + 2.0, 0, p4, 0, 1},
                 {t0 + 3.0, 0, p4, 0, 0},
                 {t0 + 4.0, above.x, above.y, above.z, 0},
                 {t0 + 9.0, above.x, above.y, above.z, 0},
                 {t0 + 10.0, free.x, free.y, free.z, 0},
                 {t0 + 13.0, free.x, free.y, free.z, 0},
                 {t0 + 14.0, press1.x, press1.y, press1.z, 0},
                 {t0 + 17.0, press1.x, press1.y, press1.z, 0},
                 {t0 + 18.0, press2.x, press2.y, press2.z, 0},
                 {t0 + 21.0, press2.x, press2.y, press2.z, 0},
                 {t0 + 22.0, press1.x, press1.y, press1.z, 0},
                 {t0 + 25.0, across.x, across.y, across.z, 0},
                 {t0 + 27.5, across.x, across.y, across.z, 0},
                 {t0 + 28.0, grab.x, grab.y, grab.z, 0},
                 {t0 + 31.0, grab.x, grab.y, grab.z, 0},
                 {t0 + 31.5, grab.x, grab.y, grab.z, 1},
                 {t0 + 33.0, grab.x, grab.y, grab.z, 1},
                 {t0 + 36.0, carried.x, carried.y, carried.z, 1},
                 {t0 + 40.0, carried.x, carried.y, carried.z, 1},
                 {t0 + 40.5, carried.x, carried.y, carried.z, 0},
                 {t0 + 41.0, released.x, released.y, released.z, 0},
                 {t0 + 44.0, released.x, released.y, released.z, 0}});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=63"}));
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";

  // the press over panel 4 opens the contact demo
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 12.0)) << "the press opened no demo";

  // the screen before and after the carry, the log telling where the hand is
  ASSERT_TRUE(WaitUntilHeldAt(grab, 60.0)) << "the hand never came over the tooth";
  Screenshot();
  const double toothBefore = Region(x0_ + w_ / 2 - 50, y0_ + h_ / 2 - 120, 100, 240).Mean();
  KeepScreen("before-carry");
  ASSERT_TRUE(WaitUntilHeldAt(carried, 30.0)) << "the hand never carried the tooth";
  Sleep(1.0);
  Screenshot();
  const double toothAfter = Region(x0_ + w_ / 2 - 50, y0_ + h_ / 2 - 120, 100, 240).Mean();
  KeepScreen("after-carry");
  ASSERT_TRUE(WaitUntilHeldAt(released, 30.0)) << "the script did not end";
  Sleep(1.0);
  KeepScreen("put-down");

  Sample f, p1, p2, p3, c, b;
  ASSERT_TRUE(MeanAt(free, &f));
  ASSERT_TRUE(MeanAt(press1, &p1));
  ASSERT_TRUE(MeanAt(press2, &p2));
  ASSERT_TRUE(MeanAt(across, &p3));
  ASSERT_TRUE(MeanAt(carried, &c));
  ASSERT_TRUE(MeanAt(released, &b));
  auto print = [](const char *name, const Sample &s) {
    std::printf("%-8s effector %.4f %.4f %.4f  hand %.4f %.4f %.4f  motor force %.3f %.3f %.3f N\n", name, s.effector.x,
                s.effector.y, s.effector.z, s.hand.x, s.hand.y, s.hand.z, s.force.x, s.force.y, s.force.z);
  };
  print("free", f);
  print("press1", p1);
  print("press2", p2);
  print("across", p3);
  print("carried", c);
  print("released", b);

  // in free space the effector sits where the hand holds it
  EXPECT_LT((f.effector - f.hand).Length(), 0.0005);
  // pressed, the tooth holds the effector out of the hand's reach with a force
  // pointing out of the tooth (away from its centre, at the device's centre),
  // measured against the free-space motor force (the motors also carry the arms'
  // weight); the deeper the hand, the stronger the force
  auto outward = [](const Sample &s, const cVec &contact) {
    const cVec out = s.effector * (1.0 / s.effector.Length());
    return (contact.x * out.x + contact.y * out.y + contact.z * out.z) / contact.Length();
  };
  const cVec c1 = p1.force - f.force, c2 = p2.force - f.force, c3 = p3.force - f.force;
  std::printf("contact force: press1 %.3f N, press2 %.3f N, across %.3f N\n", c1.Length(), c2.Length(), c3.Length());
  EXPECT_GT((p1.effector - p1.hand).Length(), 0.001);
  EXPECT_GT(c1.Length(), 0.3);
  EXPECT_GT(outward(p1, c1), 0.5);
  EXPECT_GT(c2.Length(), c1.Length() + 0.3);
  EXPECT_GT(outward(p2, c2), 0.5);
  // slid over the groove to the other cusp, still pressed back
  EXPECT_LT(p3.effector.y, -0.008);
  EXPECT_GT(c3.Length(), 0.3);
  EXPECT_GT(outward(p3, c3), 0.5);
  EXPECT_GT((p3.effector - p3.hand).Length(), 0.001);
  // carried: nothing pushes back, the effector is where the hand holds it and the
  // motors give what they give in free space just beside it
  for (const Sample &s : HeldAt(carried)) EXPECT_LT((s.effector - s.hand).Length(), 0.0005);
  EXPECT_LT((c.force - b.force).Length(), 0.15);
  // the tooth left the middle of the screen
  std::printf("tooth region brightness before %.3f after %.3f\n", toothBefore, toothAfter);
  EXPECT_GT(toothBefore - toothAfter, 0.05);

  // back to the menu and out
  ASSERT_NO_FATAL_FAILURE(LeaveDemo(4));
  QuitFromMenu();
}

// on a trion.6 the burr turns with the hand's wrist: the same hand place with the
// wrist straight and turned 0.8 rad about the view axis draws the tool differently,
// while two pictures with the wrist held still draw it the same
TEST_F(HapticDemoContact, OnATrion6TheToolTurnsWithTheWrist) {
  const cVec above(0, 0, 0.08);
  double t0 = 0.0;
  for (double rest : {12.0, 40.0}) {
    t0 = rest;
    const double p4 = PanelY(4);
    HandKey straight{t0 + 4.0, above.x, above.y, above.z, 0}, turned{t0 + 14.0, above.x, above.y, above.z, 0};
    turned.r0 = 0.8;
    HandKey held = turned;
    held.t = t0 + 40.0;
    HandKey straightEnd = straight;
    straightEnd.t = t0 + 13.0;
    WriteScript({{0, 0, 0, 0, 0},
                 {t0, 0, 0, 0, 0},
                 {t0 + 0.5, 0, p4, 0, 0},
                 {t0 + 2.0, 0, p4, 0, 1},
                 {t0 + 3.0, 0, p4, 0, 0},
                 straight,
                 straightEnd,
                 turned,
                 held});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=61"}));
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 12.0)) << "the press opened no demo";

  // the tool sits above the tooth: about a fifth of the screen's height above the middle
  const int rx = x0_ + w_ / 2 - 120, ry = y0_ + h_ / 2 - h_ / 4 - 110, rw = 240, rh = 220;
  ASSERT_TRUE(WaitUntilHeldAt(above, 60.0)) << "the hand never came over the tooth";
  ASSERT_TRUE(WaitFor([&] { return ScriptTimeAtMost() > t0 + 8.0; }, 30.0));
  Screenshot();
  const std::string first = shot_;
  KeepScreen("trion6-wrist-straight");
  Sleep(1.0);
  Screenshot();
  const std::string again = shot_;
  // the wrist turns to 0.8 rad over a second and settles
  ASSERT_TRUE(WaitFor([&] { return ScriptTimeAtMost() > t0 + 18.0; }, 30.0));
  Screenshot();
  const std::string turnedShot = shot_;
  KeepScreen("trion6-wrist-turned");
  const int still = ChangedPixels(first, again, rx, ry, rw, rh);
  const int moved = ChangedPixels(first, turnedShot, rx, ry, rw, rh);
  std::printf("tool region: %d pixels changed with the wrist still, %d with it turned\n", still, moved);
  EXPECT_LT(still, 30);
  EXPECT_GT(moved, 150);
  EXPECT_GT(moved, 5 * still);

  ASSERT_NO_FATAL_FAILURE(LeaveDemo(4));
  QuitFromMenu();
}

}  // namespace
