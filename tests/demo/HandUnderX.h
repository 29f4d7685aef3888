// The program driven by a virtual device's hand script: writing the script,
// placing the hand over a panel, finding the device cursor on the screen, and
// reaching the menu and leaving a demo with the hand in place.
#ifndef TESTS_DEMO_HANDUNDERX_H
#define TESTS_DEMO_HANDUNDERX_H

#include "ProgramUnderX.h"

#include <cmath>

namespace underx {

// the trion.6's reach radius: the tool divides by it, and the menu's workspace
// of 1.0 halves the result, so the cursor moves a window width per 0.3 m
constexpr double kMetresPerWindow = 2.0 * 0.15;
// the effector settles within half a millimetre (2 pixels across 1280)
constexpr int kTolerance = 4;

// the cursor image: its drawn (not black) pixels, rows counted from the top
struct CursorImage {
  struct Dot {
    int x, y, r, g, b;
  };
  std::vector<Dot> dots;
  int width = 0, height = 0;

  bool Load(const std::string &path) {
    const std::string f = ReadFile(path);
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') return false;
    auto u32 = [&](size_t at) {
      const unsigned char *p = reinterpret_cast<const unsigned char *>(f.data()) + at;
      return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
    };
    const uint32_t offset = u32(10);
    width = static_cast<int>(u32(18));
    height = static_cast<int>(u32(22));
    const int bpp = static_cast<unsigned char>(f[28]) | static_cast<unsigned char>(f[29]) << 8;
    if (bpp != 24 || width <= 0 || height <= 0) return false;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    if (offset + stride * height > f.size()) return false;
    for (int row = 0; row < height; ++row) {
      // stored bottom-up, and drawn bottom-up as well
      const unsigned char *p = reinterpret_cast<const unsigned char *>(f.data()) + offset + stride * row;
      for (int x = 0; x < width; ++x, p += 3) {
        if (p[0] == 0 && p[1] == 0 && p[2] == 0) continue;
        dots.push_back({x, height - 1 - row, p[2], p[1], p[0]});
      }
    }
    return !dots.empty();
  }
};

// a point of the hand script: seconds, metres in the device frame, button
struct HandKey {
  double t, x, y, z;
  int button;
  // the gripper's opening (metres of finger arc), written only when one is set
  double gripper = 0.0;
  // the wrist's or the stylus's angles (radians), written only when one is set
  double r0 = 0.0, r1 = 0.0, r2 = 0.0;
};

class HapticDemoHand : public ProgramUnderX {
 protected:
  void SetUp() override {
    ProgramUnderX::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(cursor_.Load(PROJECT_ROOT "/resources/images/cursor.bmp"));
    // the window goes full screen: the display's size is the window's
    const std::string g = Shell("xdotool getdisplaygeometry");
    std::istringstream in(g);
    in >> screenW_ >> screenH_;
    ASSERT_GT(screenW_, 0) << g;
    ASSERT_GT(screenH_, 0) << g;
  }

  void WriteScript(const std::vector<HandKey> &keys) {
    std::ofstream out(dir_ + "/hand.txt");
    out << "# t x y z button [gripper r0 r1 r2]\n";
    bool angles = false, gripper = false;
    for (const HandKey &k : keys) {
      angles = angles || k.r0 != 0.0 || k.r1 != 0.0 || k.r2 != 0.0;
      gripper = gripper || k.gripper != 0.0;
    }
    for (const HandKey &k : keys) {
      out << k.t << ' ' << k.x << ' ' << k.y << ' ' << k.z << ' ' << k.button;
      if (angles || gripper) out << ' ' << k.gripper;
      if (angles) out << ' ' << k.r0 << ' ' << k.r1 << ' ' << k.r2;
      out << '\n';
    }
  }

  // the hand's lateral position that puts the cursor on panel k's middle
  double PanelY(int k) const {
    const double x = screenW_ / 2.0 + (k - 3) * screenH_ / 5.0;
    return (x / screenW_ - 0.5) * metresPerWindow_;
  }

  // where the cursor image's lower-left corner (its tip) lands on the screen for
  // a hand at (y, z): the haptic loop places the bitmap in window pixels from
  // the lower left, and the bitmap draws one pixel up and right of its position
  void Expected(double y, double z, int *tx, int *ty) const {
    const double cx = w_ * 0.5 + w_ * (y / metresPerWindow_);
    const double cy = h_ * 0.5 + h_ * (z / metresPerWindow_);
    *tx = x0_ + static_cast<int>(std::lround(cx)) + 1;
    *ty = y0_ + h_ - 2 - static_cast<int>(std::lround(cy));
  }

  // the cursor's tip in the last screenshot, searched within radius of (ex, ey)
  // (anywhere when radius is negative); a few pixels may differ
  bool FindCursor(int ex, int ey, int radius, int *fx, int *fy) const {
    const int n = static_cast<int>(cursor_.dots.size()), allowed = n / 30;
    int xa = 0, xb = shotW_ - cursor_.width, ya = 0, yb = shotH_ - cursor_.height;
    if (radius >= 0) {
      xa = std::max(xa, ex - radius), xb = std::min(xb, ex + radius);
      ya = std::max(ya, ey - (cursor_.height - 1) - radius), yb = std::min(yb, ey - (cursor_.height - 1) + radius);
    }
    int best = allowed + 1;
    for (int y = ya; y <= yb; ++y) {
      for (int x = xa; x <= xb; ++x) {
        int misses = 0;
        for (int i = 0; i < n && misses < best; ++i) {
          const CursorImage::Dot &d = cursor_.dots[i];
          int r, g, b;
          Pixel(x + d.x, y + d.y, &r, &g, &b);
          if (std::abs(r - d.r) > 12 || std::abs(g - d.g) > 12 || std::abs(b - d.b) > 12) ++misses;
        }
        if (misses < best) {
          best = misses;
          *fx = x;
          *fy = y + cursor_.height - 1;
        }
      }
    }
    return best <= allowed;
  }

  // waits until two screenshots in a row show the cursor where a hand at (y, z)
  // puts it; otherwise says where it was last seen
  ::testing::AssertionResult CursorComesTo(double y, double z, double timeout) {
    int ex, ey;
    Expected(y, z, &ex, &ey);
    int settled = 0, fx = -1, fy = -1;
    std::string seen = "nowhere";
    const auto end = Clock::now() + std::chrono::duration<double>(timeout);
    while (Clock::now() < end && settled < 2) {
      Screenshot();
      if (FindCursor(ex, ey, kTolerance, &fx, &fy)) {
        ++settled;
        continue;
      }
      settled = 0;
      seen = FindCursor(0, 0, -1, &fx, &fy) ? "at " + std::to_string(fx) + "," + std::to_string(fy) : "nowhere";
      Sleep(0.1);
    }
    if (settled >= 2) {
      std::printf("hand at %.4f %.4f m: cursor tip at %d,%d, expected %d,%d\n", y, z, fx, fy, ex, ey);
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the cursor for a hand at " << y << ", " << z << " m should be at " << ex
                                         << "," << ey << "; last seen " << seen;
  }

  // an upper bound of the hand script's clock: the device's first exchange
  // follows the program's start by the tool's one-second wait at its open
  double ScriptTimeAtMost() const { return program_.Elapsed() - 1.0; }

  // median of the virtual device's exchange rates logged once a second
  double MedianRate() const {
    std::vector<double> rates;
    std::istringstream in(ReadFile(dir_ + "/bus.log"));
    std::string line;
    while (std::getline(in, line)) {
      const size_t at = line.find(" exchanges/s");
      if (at == std::string::npos) continue;
      const size_t from = line.rfind(' ', at - 1);
      rates.push_back(std::atof(line.c_str() + from + 1));
    }
    if (rates.empty()) return 0.0;
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
  }

  // started with the hand script, the menu shown; the panel under the cursor
  // may have turned
  void ReachMenuWithHand(std::vector<std::string> more = {}) {
    more.push_back("TKX_VIRTUAL_HAND=" + dir_ + "/hand.txt");
    StartWithDevice(more);
    ASSERT_FALSE(Window().empty()) << program_.Stdout();
    ASSERT_TRUE(WaitFor(
        [&] {
          Geometry(x0_, y0_, w_, h_);
          return h_ > 0 && Fronts() >= 6;
        },
        30.0))
        << program_.Stdout();
    // the fade plane goes within 15 ticks
    Sleep(0.8);
    std::printf("menu shown %.2f s after start\n", program_.Elapsed());
  }

  // Escape from a demo back to the menu
  void LeaveDemo(int pointed) {
    // Escape counts once the fade has uncovered the demo, which a loaded machine
    // slows down: while the screen stays dark the menu (where Escape quits) is
    // not back, so it is pressed again
    Sleep(1.5);
    bool left = false;
    for (int attempt = 0; attempt < 4 && !left; ++attempt) {
      Key("Escape");
      left = WaitFor([&] { return !DemoShown(); }, 8.0);
    }
    ASSERT_TRUE(left) << "Escape did not leave the demo";
    ASSERT_TRUE(WaitFor([&] { return Menu(pointed); }, 15.0));
    // the fade plane goes within 15 ticks; until then Escape is ignored
    Sleep(1.2);
  }

  CursorImage cursor_;
  int screenW_ = 0, screenH_ = 0;
  // twice the device's reach radius: the trion's unless a test says otherwise
  double metresPerWindow_ = kMetresPerWindow;
};

}  // namespace underx

#endif
