// The program itself under the private X server: without a device it shows the
// blinking error image; with one virtual trion.6 it loads, shows the menu and
// runs the transitions.
#include "ProgramUnderX.h"

namespace {

using namespace underx;

class HapticDemo : public ProgramUnderX {};

// ---- no device ----

TEST_F(HapticDemo, NoDeviceBlinksTheErrorImageAndAKeyEnds) {
  StartWithoutDevice();
  ASSERT_FALSE(Window().empty()) << program_.Stdout();
  // the 600 x 240 image in the middle of the (full) screen, under a fading black
  // plane: mostly black, about 0.04 in mean brightness when fully shown. The
  // blink is a triangle of about three seconds paced by frames, so shots are
  // taken often (a few far apart can land on equal levels of the two ramps)
  // until the image has been seen to come and go again, for at most twelve
  // seconds.
  double low = 1.0, high = 0.0, lowAfterHigh = 1.0;
  const auto start = Clock::now();
  while (std::chrono::duration<double>(Clock::now() - start).count() < 12.0) {
    ASSERT_TRUE(Screenshot());
    const double m = Region(shotW_ / 2 - 300, shotH_ / 2 - 120, 600, 240).Mean();
    low = std::min(low, m);
    if (m > high) {
      high = m;
      lowAfterHigh = m;
    }
    lowAfterHigh = std::min(lowAfterHigh, m);
    if (high > 0.02 && high - low > 0.5 * high && high - lowAfterHigh > 0.5 * high) break;
    Sleep(0.2);
  }
  EXPECT_GT(high, 0.02);
  EXPECT_GT(high - low, 0.3 * high) << "the image did not come";
  EXPECT_GT(high - lowAfterHigh, 0.3 * high) << "the image did not go again";
  ASSERT_TRUE(program_.Running());
  Key("space");
  EXPECT_EQ(program_.Wait(5.0), 0);
}

TEST_F(HapticDemo, NoDeviceAClickEnds) {
  StartWithoutDevice();
  ASSERT_FALSE(Window().empty());
  MoveTo(100, 100);
  Click(1);
  EXPECT_EQ(program_.Wait(5.0), 0);
}

// ---- missing resources ----

class HapticDemoMissing : public HapticDemo, public ::testing::WithParamInterface<const char *> {};

TEST_P(HapticDemoMissing, InitializationFailsWithStatus255) {
  const std::string name = GetParam();
  const std::string images = dir_ + "/resources/images";
  Shell("mkdir -p '" + images + "' && cp " PROJECT_ROOT "/resources/images/*.bmp '" + images + "' && rm '" + images +
        "/" + name + "'");
  StartWithoutDevice(dir_);
  const auto start = Clock::now();
  EXPECT_EQ(program_.Wait(5.0), 255);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 5.0);
  // the strips' messages say "file"
  const bool strip = name == "exM.bmp" || name == "exD.bmp";
  const std::string what = strip ? "failed to load file ./resources/images/" : "failed to load ./resources/images/";
  const std::string tail = what + name + "\nerror: initialization failed\n";
  const std::string out = program_.Stdout();
  ASSERT_GE(out.size(), tail.size()) << out;
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

INSTANTIATE_TEST_SUITE_P(Images, HapticDemoMissing,
                         ::testing::Values("cursor.bmp", "exM.bmp", "exD.bmp", "msgError.bmp"));

// ---- with a virtual trion.6 ----

TEST_F(HapticDemo, MenuHighlightsThePanelUnderTheSixthMotion) {
  ReachMenu();
  // the first five motions are ignored, and the device cursor's own moves while
  // the simulated mechanism settles at start count among them (from one to more
  // than five, by timing): the mouse's sixth motion highlights at the latest.
  // The exact count is checked without a window (test_shell.cpp).
  int first = 0;
  for (int i = 1; i <= 6 && first == 0; ++i) {
    MoveTo(x0_ + w_ / 2 - h_ / 5 - 30 + i * 6, y0_ + h_ / 2 + i);
    Sleep(0.5);
    // the last motion's highlight is given longer to be drawn on a busy machine
    if (i < 6 ? !ShowsFront(2) : WaitFor([&] { return !ShowsFront(2); }, 3.0)) first = i;
  }
  std::printf("first highlight on mouse motion %d\n", first);
  ASSERT_GT(first, 0) << "six motions over panel 2 highlighted nothing";
  EXPECT_TRUE(WaitFor([&] { return ShowsBack(2); }, 1.0));
  Screenshot();
  EXPECT_TRUE(ShowsFront(1, false));
  EXPECT_TRUE(ShowsFront(4, false));

  // on the boundary between panels 2 and 3 nothing is highlighted: all turn back
  MoveTo(x0_ + w_ / 2 - h_ / 10, y0_ + h_ / 2);
  EXPECT_TRUE(WaitFor([&] { return Fronts() == 7; }, 3.0));
  Sleep(1.0);
  EXPECT_EQ(Fronts(), 7);
  // and a click there chooses nothing
  Click(1);
  Sleep(1.0);
  EXPECT_EQ(Fronts(), 7);
  Key("Escape");
  EXPECT_EQ(program_.Wait(10.0), 0);
}

TEST_F(HapticDemo, ClickFadesIntoTheDemoAndEscapesLeadBackAndOut) {
  ReachMenu();
  for (int i = 0; i < 5; ++i) MoveTo(x0_ + 10 + i, y0_ + 10);
  Hover(4);
  ASSERT_TRUE(WaitFor([&] { return ShowsBack(4); }, 1.0));
  Click(1);
  // Escape during the fade is ignored
  Key("Escape");
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 3.0));
  Sleep(0.5);
  EXPECT_TRUE(DemoShown());
  EXPECT_TRUE(program_.Running());

  // Escape in the demo returns to the menu
  Key("Escape");
  EXPECT_TRUE(WaitFor([&] { return !DemoShown(); }, 3.0));
  EXPECT_TRUE(WaitFor([&] { return ShowsFront(0); }, 5.0));
  // Escape is ignored until the fade has ended
  Sleep(1.2);
  EXPECT_TRUE(program_.Running());

  // Escape in the menu ends the program once the haptic thread closed the device
  QuitFromMenu();
}

TEST_F(HapticDemo, PopUpWindowDisplayGivesA512Window) {
  ReachMenu();
  // the pop-up menu opens under the right button; its second entry is below the first
  MoveTo(x0_ + 200, y0_ + 200);
  Shell("xdotool mousedown 3");
  Sleep(0.3);
  MoveTo(x0_ + 230, y0_ + 200 + 36);
  Sleep(0.3);
  Shell("xdotool mouseup 3");
  int x, y, w, h;
  EXPECT_TRUE(WaitFor(
      [&] {
        Geometry(x, y, w, h);
        return w == 512 && h == 512;
      },
      3.0))
      << w << " x " << h;
  EXPECT_TRUE(program_.Running());
  Key("Escape");
  EXPECT_EQ(program_.Wait(10.0), 0);
}

}  // namespace
