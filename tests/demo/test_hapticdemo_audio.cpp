// The audio demo felt through a virtual trion.6's hand: into the demo from the
// menu, the hand held above the record, pressed into it without moving sideways,
// rubbed along it, and lifted away; then back to the menu. The demo doubles the
// device's motion (workspace 0.6 over the trion's 0.15 reach) in its scene, which
// is tilted 20 degrees towards the viewer; the record lies 0.014 above the scene's
// origin, and the tool's origin is 0.1 behind it. The label's turn is read from
// screenshots: its dark half-moon circles the label's middle as the record turns.
#include "FeltUnderX.h"

#include <cmath>
#include <cstdio>

namespace {

using namespace underx;

// the hand target that puts the tool at (x, y, z) of the record's scene
cVec Hand(double x, double y, double z) { return cVec((x + 0.1) / 2.0, y / 2.0, z / 2.0); }

class HapticDemoAudio : public HapticDemoFelt {
 protected:
  HapticDemoAudio() : HapticDemoFelt("audio") {}

  // where the label's half-moon lies from the label's middle, as an angle in the
  // label's plane (the view squashes the tilted disc; its extents unsquash it);
  // false when no label shows
  bool LabelAngle(double *angle) {
    if (!Screenshot()) return false;
    double sx = 0, sy = 0, dx = 0, dy = 0;
    int n = 0, dark = 0, xlo = 1 << 30, xhi = -1, ylo = 1 << 30, yhi = -1;
    std::vector<std::pair<int, int>> label;
    std::vector<int> reds;
    for (int y = y0_ + h_ / 2; y < y0_ + h_ * 7 / 8; ++y)
      for (int x = x0_ + w_ / 2 - h_ / 4; x < x0_ + w_ / 2 + h_ / 4; ++x) {
        int r, g, b;
        Pixel(x, y, &r, &g, &b);
        // the label's orange and brown, not the plinth's wood
        if (r > 40 && r > 1.8 * g && r > 4 * b) {
          label.emplace_back(x, y);
          reds.push_back(r);
        }
      }
    if (label.size() < 200) return false;
    int brightest = 0;
    for (int r : reds) brightest = std::max(brightest, r);
    for (size_t i = 0; i < label.size(); ++i) {
      const int x = label[i].first, y = label[i].second;
      sx += x, sy += y, ++n;
      xlo = std::min(xlo, x), xhi = std::max(xhi, x), ylo = std::min(ylo, y), yhi = std::max(yhi, y);
      // the half-moon is half as bright as the orange around it
      if (reds[i] < 0.7 * brightest) dx += x, dy += y, ++dark;
    }
    if (dark < 50) return false;
    const double squash = double(xhi - xlo + 1) / double(yhi - ylo + 1);
    *angle = std::atan2((dy / dark - sy / n) * squash, dx / dark - sx / n);
    return true;
  }

  static double Turn(double a, double b) {
    double d = b - a;
    while (d > M_PI) d -= 2 * M_PI;
    while (d < -M_PI) d += 2 * M_PI;
    return d;
  }
};

TEST_F(HapticDemoAudio, RubTheRecordItSpinsAndKeepsSpinningAfterTheHandLifts) {
  // the menu's press a little above the middle panel's centre, so the tool comes
  // into the demo above the record
  const cVec press(0, 0, 0.02);
  const cVec above = Hand(-0.03, 0.08, 0.04), in = Hand(-0.03, 0.08, 0.009), rubbed = Hand(0.05, 0.08, 0.009);
  const cVec lifted = Hand(0.05, 0.08, 0.07);
  double t0 = 0.0;
  for (double rest : {12.0, 40.0}) {
    t0 = rest;
    WriteScript({{0, 0, 0, 0, 0},
                 {t0, 0, 0, 0, 0},
                 {t0 + 0.5, press.x, press.y, press.z, 0},
                 {t0 + 2.0, press.x, press.y, press.z, 1},
                 {t0 + 3.0, press.x, press.y, press.z, 0},
                 {t0 + 5.0, above.x, above.y, above.z, 0},
                 {t0 + 10.0, above.x, above.y, above.z, 0},
                 {t0 + 11.0, in.x, in.y, in.z, 0},
                 {t0 + 16.0, in.x, in.y, in.z, 0},
                 {t0 + 18.0, rubbed.x, rubbed.y, rubbed.z, 0},
                 {t0 + 19.0, lifted.x, lifted.y, lifted.z, 0},
                 {t0 + 40.0, lifted.x, lifted.y, lifted.z, 0}});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand());
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand's press";
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 30.0)) << "the press opened no demo";

  // above the record and pressed into it without sideways motion: it stays still
  ASSERT_TRUE(WaitUntilHeldAt(above, 60.0)) << "the hand never held above the record";
  double a0 = 0, a1 = 0;
  ASSERT_TRUE(LabelAngle(&a0)) << "no label on the screen";
  KeepScreen("above");
  ASSERT_TRUE(WaitUntilHeldAt(in, 30.0)) << "the hand never pressed the record";
  Sleep(1.0);
  ASSERT_TRUE(LabelAngle(&a1));
  KeepScreen("pressed");
  std::printf("label turned %.2f degrees while pressed\n", Turn(a0, a1) * 180 / M_PI);
  EXPECT_LT(std::fabs(Turn(a0, a1)), 0.03) << "a press without sideways motion turned the record";

  // rubbed and lifted: it turns on by itself
  ASSERT_TRUE(WaitUntilHeldAt(lifted, 30.0)) << "the hand never lifted";
  double b0 = 0, b1 = 0, b2 = 0;
  ASSERT_TRUE(LabelAngle(&b0));
  KeepScreen("spinning-1");
  Sleep(1.5);
  ASSERT_TRUE(LabelAngle(&b1));
  KeepScreen("spinning-2");
  Sleep(1.5);
  ASSERT_TRUE(LabelAngle(&b2));
  const double turn1 = Turn(b0, b1), turn2 = Turn(b1, b2);
  std::printf("after the lift the label turned %.1f then %.1f degrees\n", turn1 * 180 / M_PI, turn2 * 180 / M_PI);
  EXPECT_GT(std::fabs(turn1), 0.06) << "the record does not turn after the rub";
  EXPECT_GT(std::fabs(turn2), 0.06) << "the record stopped";
  // one way round, at one speed: nothing slows it
  EXPECT_GT(turn1 * turn2, 0.0);

  Sample p, l;
  ASSERT_TRUE(MeanAt(in, &p));
  ASSERT_TRUE(MeanAt(lifted, &l));
  std::printf("pressed: effector %.4f %.4f %.4f hand %.4f %.4f %.4f force %.3f %.3f %.3f N\n", p.effector.x,
              p.effector.y, p.effector.z, p.hand.x, p.hand.y, p.hand.z, p.force.x, p.force.y, p.force.z);
  // pressed, the record holds the effector above the hand
  EXPECT_GT(p.effector.z - p.hand.z, 0.0005);
  // lifted clear, the effector sits where the hand holds it
  EXPECT_LT((l.effector - l.hand).Length(), 0.0005);

  ASSERT_NO_FATAL_FAILURE(LeaveDemo(3));
  Sleep(1.5);
  QuitFromMenu();
}

}  // namespace
