// A tour of the seven panels with a virtual trion.6 and the mouse: each panel's
// demo opens, shows a scene (a screenshot of each is kept as an artefact), and
// Escape brings the menu back, panel after panel, then the program quits.
#include "FeltUnderX.h"

#include <cstdio>

namespace {

using namespace underx;

class HapticDemoTour : public HapticDemoFelt {
 protected:
  HapticDemoTour() : HapticDemoFelt("tour") {}

  // pixels of the view's middle that differ clearly from its corner colour: an
  // empty scene is one colour
  int SceneDetail() const {
    int r0, g0, b0;
    Pixel(x0_ + 2, y0_ + 2, &r0, &g0, &b0);
    int differing = 0;
    for (int y = y0_ + h_ / 8; y < y0_ + h_ * 7 / 8; y += 2)
      for (int x = x0_ + w_ / 2 - h_ / 2; x < x0_ + w_ / 2 + h_ / 2; x += 2) {
        int r, g, b;
        Pixel(x, y, &r, &g, &b);
        if (std::abs(r - r0) + std::abs(g - g0) + std::abs(b - b0) > 30) ++differing;
      }
    return differing;
  }
};

TEST_F(HapticDemoTour, EveryPanelOpensItsSceneAndReturnsToTheMenu) {
  ASSERT_NO_FATAL_FAILURE(ReachMenu());
  // the first mouse motions are ignored
  for (int i = 0; i < 6; ++i) MoveTo(x0_ + 10 + i, y0_ + 10);
  const char *names[7] = {"reflexions", "nano", "grasp", "audio", "contact", "textures", "dynamics"};
  for (int k = 0; k < 7; ++k) {
    SCOPED_TRACE(names[k]);
    Hover(k);
    ASSERT_TRUE(WaitFor([&] { return ShowsBack(k); }, 5.0)) << "panel " << k << " did not turn";
    Click(1);
    ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 10.0)) << "panel " << k << " opened no demo";
    // the fade uncovers the scene (slowly on a loaded machine)
    Sleep(2.0);
    int detail = 0;
    WaitFor(
        [&] {
          detail = Screenshot() ? SceneDetail() : 0;
          return detail > 2000;
        },
        10.0);
    KeepScreen(std::to_string(k) + "-" + names[k]);
    std::printf("%-10s %d pixels of scene detail\n", names[k], detail);
    EXPECT_GT(detail, 2000) << names[k] << " shows an empty scene";
    ASSERT_NO_FATAL_FAILURE(LeaveDemo(k));
    EXPECT_TRUE(program_.Running());
  }
  QuitFromMenu();
}

}  // namespace
