// The nano and textures demos felt through a virtual trion.3's hand. Nano: into
// the demo from the menu, the relief stroked at a fixed depth with stops over
// bright atoms and the dark ground between them, which push back more and less.
// Textures: each tile pressed and stroked; every one holds the tool out of the
// hand's reach, and the silicone drags against the stroke where the smooth
// plastic and motif do not. What is felt comes from the virtual log (effector,
// hand target and motor force once a second); screenshots are kept as artefacts.
// Both leave with Escape back to the menu.
#include "FeltUnderX.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace underx;

// a 24-bit picture as brightness (R + G + B) per pixel, bottom row first
struct Brightness {
  int w = 0, h = 0;
  std::vector<int> level;
  bool Load(const std::string &path) {
    const std::string f = ReadFile(path);
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') return false;
    auto u32 = [&](size_t at) {
      const unsigned char *p = reinterpret_cast<const unsigned char *>(f.data()) + at;
      return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
    };
    const uint32_t offset = u32(10);
    w = static_cast<int>(u32(18));
    h = static_cast<int>(u32(22));
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
    if (w <= 0 || h <= 0 || offset + stride * h > f.size()) return false;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const unsigned char *p = reinterpret_cast<const unsigned char *>(f.data()) + offset + stride * y + 3 * x;
        level.push_back(p[0] + p[1] + p[2]);
      }
    return true;
  }
  int At(int x, int y) const { return level[size_t(y) * w + x]; }
};

class HapticDemoReliefs : public HapticDemoFelt {
 protected:
  HapticDemoReliefs() : HapticDemoFelt("reliefs") {}

  // starts the program with the script, retrying once with a longer rest when
  // the menu comes after the hand has left the middle
  void Start(const std::function<std::vector<HandKey>(double)> &script) {
    double t0 = 0.0;
    for (double rest : {12.0, 40.0}) {
      t0 = rest;
      WriteScript(script(t0));
      ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=63"});
      if (HasFatalFailure()) return;
      if (ScriptTimeAtMost() < t0 - 1.0) break;
      std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
      program_.Kill();
      std::remove((dir_ + "/bus.log").c_str());
    }
    ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";
  }

  static void Print(const char *name, const Sample &s) {
    std::printf("%-10s effector %.4f %.4f %.4f  hand %.4f %.4f %.4f  motor force %.3f %.3f %.3f N\n", name,
                s.effector.x, s.effector.y, s.effector.z, s.hand.x, s.hand.y, s.hand.z, s.force.x, s.force.y,
                s.force.z);
  }

  static double Dot(const cVec &a, const cVec &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
};

// the panel's press: over panel k, switch down and up
void PressPanel(std::vector<HandKey> &keys, double t0, double y) {
  keys.push_back({0, 0, 0, 0, 0});
  keys.push_back({t0, 0, 0, 0, 0});
  keys.push_back({t0 + 0.5, 0, y, 0, 0});
  keys.push_back({t0 + 2.0, 0, y, 0, 1});
  keys.push_back({t0 + 3.0, 0, y, 0, 0});
}

TEST_F(HapticDemoReliefs, NanoStrokeFeelsTheAtoms) {
  // the relief's frame in the device's: the demo doubles the trion.3's reach
  // (0.15 m) to its workspace of 0.6 around the relief's origin, and turns the
  // relief 40 degrees about y; heights run along up, rows along side
  const double c = std::cos(0.6981317008), s = std::sin(0.6981317008);
  const cVec up(c, 0, s), along(-s, 0, c);
  auto device = [&](double x, double y, double z) { return (up * x + cVec(0, y, 0) + along * z) * 0.5; };

  // the stroke runs along one row of the picture; stops over the two brightest
  // atoms and the two darkest points between them in the middle of the row
  Brightness picture;
  ASSERT_TRUE(picture.Load(PROJECT_ROOT "/resources/images/nano.bmp"));
  const int n = picture.w, row = n / 2 + 4;
  auto local = [&](int j) { return 0.4 * (j - n / 2.0) / (n - 1); };
  const double z = local(row);
  std::vector<int> peaks, valleys;
  for (int j = n / 4; j < 3 * n / 4; ++j) {
    const int a = picture.At(j - 1, row), b = picture.At(j, row), d = picture.At(j + 1, row);
    if (b > a && b >= d) peaks.push_back(j);
    if (b < a && b <= d) valleys.push_back(j);
  }
  ASSERT_GE(peaks.size(), 2u);
  ASSERT_GE(valleys.size(), 2u);
  // the two brightest atoms and the two darkest points between atoms, in the
  // order the stroke meets them
  auto brightest = [&](std::vector<int> v) {
    std::sort(v.begin(), v.end(), [&](int a, int b) { return picture.At(a, row) > picture.At(b, row); });
    return v;
  };
  const std::vector<int> p = brightest(peaks), v = brightest(valleys);
  const int p1 = std::min(p[0], p[1]), p2 = std::max(p[0], p[1]);
  const int v1 = std::min(v[v.size() - 1], v[v.size() - 2]), v2 = std::max(v[v.size() - 1], v[v.size() - 2]);
  std::printf("stops at columns %d (%d), %d (%d), %d (%d), %d (%d) of row %d\n", p1, picture.At(p1, row), v1,
              picture.At(v1, row), p2, picture.At(p2, row), v2, picture.At(v2, row), row);
  // the hand held at a level between the atoms' tops and the ground between
  // them: the atoms stop it, the ground does not reach it
  const int top = std::min(picture.At(p1, row), picture.At(p2, row));
  const int ground = std::max(picture.At(v1, row), picture.At(v2, row));
  ASSERT_GT(top - ground, 150) << "the row has no clear atoms";
  const double level = (ground + 0.35 * (top - ground)) / 765.0 * 0.1 * 0.4 * n / (n - 1);
  const cVec above = device(0.07, local(p1), z), bright1 = device(level, local(p1), z),
             dark1 = device(level, local(v1), z), bright2 = device(level, local(p2), z),
             dark2 = device(level, local(v2), z), away = device(0.07, local(v2), z);

  Start([&](double t) {
    const double pn = PanelY(1);
    std::vector<HandKey> k;
    PressPanel(k, t, pn);
    double at = t + 4.5;
    for (const cVec &stop : {above, bright1, dark1, bright2, dark2, away}) {
      k.push_back({at, stop.x, stop.y, stop.z, 0});
      k.push_back({at + 3.2, stop.x, stop.y, stop.z, 0});
      at += 4.2;
    }
    k.push_back({at, 0, pn, 0, 0});
    k.push_back({at + 10.0, 0, pn, 0, 0});
    return k;
  });
  if (HasFatalFailure()) return;
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 30.0)) << "the press opened no demo";
  ASSERT_TRUE(WaitUntilHeldAt(bright2, 60.0)) << "the hand never stroked the relief";
  Screenshot();
  // the relief fills the middle of the screen
  const double middle = Region(x0_ + w_ / 2 - 100, y0_ + h_ / 2 - 100, 200, 200).Mean();
  KeepScreen("nano-stroke");
  ASSERT_TRUE(WaitUntilHeldAt(away, 30.0)) << "the script did not end";

  Sample f, b1, d1, b2, d2;
  ASSERT_TRUE(MeanAt(above, &f));
  ASSERT_TRUE(MeanAt(bright1, &b1));
  ASSERT_TRUE(MeanAt(dark1, &d1));
  ASSERT_TRUE(MeanAt(bright2, &b2));
  ASSERT_TRUE(MeanAt(dark2, &d2));
  Print("free", f);
  Print("bright1", b1);
  Print("dark1", d1);
  Print("bright2", b2);
  Print("dark2", d2);
  std::printf("middle of the screen: brightness %.3f\n", middle);
  EXPECT_GT(middle, 0.1);

  // in free space the effector sits where the hand holds it
  EXPECT_LT((f.effector - f.hand).Length(), 0.0005);
  // over the atoms the relief holds the effector above the hand; over the ground
  // between them the hand is free. The motors push along up harder over an atom
  // than over the ground beside it (the arms' weight, which the motors also
  // carry, changes little between neighbouring stops)
  auto held = [&](const Sample &s) { return Dot(s.effector - s.hand, up); };
  for (const Sample *p : {&b1, &d1, &b2, &d2})
    std::printf("held %.4f m above the hand, motors push %.3f N along up\n", held(*p), Dot(p->force, up));
  EXPECT_GT(held(b1), 0.001);
  EXPECT_GT(held(b2), 0.001);
  EXPECT_LT((d1.effector - d1.hand).Length(), 0.0005);
  EXPECT_LT((d2.effector - d2.hand).Length(), 0.0005);
  const std::vector<std::pair<const Sample *, const Sample *>> neighbours = {{&b1, &d1}, {&b2, &d2}};
  for (const auto &pair : neighbours) EXPECT_GT(Dot(pair.first->force, up), Dot(pair.second->force, up) + 0.15);

  ASSERT_NO_FATAL_FAILURE(LeaveDemo(1));
  QuitFromMenu();
}

TEST_F(HapticDemoReliefs, TexturesEachTileIsFeltAndTheSiliconeDrags) {
  // the trion.3's reach (0.15 m) spans the demo's workspace of 0.4: the tiles'
  // middles lie 0.06 m up or down and left or right of the device's centre
  const cVec middle[4] = {{0, 0.06, 0.06}, {0, -0.06, 0.06}, {0, -0.06, -0.06}, {0, 0.06, -0.06}};
  const double depth = -0.006, lift = 0.015, half = 0.02;
  auto at = [&](int k, double x, double dy) { return cVec(x, middle[k].y + dy, middle[k].z); };

  Start([&](double t) {
    const double pn = PanelY(5);
    std::vector<HandKey> k;
    PressPanel(k, t, pn);
    double when = t + 4.5;
    for (int tile = 0; tile < 4; ++tile) {
      const cVec above = at(tile, lift, -half), start = at(tile, depth, -half), end = at(tile, depth, half);
      k.push_back({when, above.x, above.y, above.z, 0});
      k.push_back({when + 1.0, start.x, start.y, start.z, 0});
      k.push_back({when + 4.2, end.x, end.y, end.z, 0});
      k.push_back({when + 7.4, start.x, start.y, start.z, 0});
      when += 8.0;
    }
    const cVec away = at(3, lift, half);
    k.push_back({when, away.x, away.y, away.z, 0});
    k.push_back({when + 1.0, 0, pn, 0, 0});
    k.push_back({when + 10.0, 0, pn, 0, 0});
    return k;
  });
  if (HasFatalFailure()) return;
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 30.0)) << "the press opened no demo";
  // the four tiles in their places, each brighter than the gap between them,
  // once the fade has uncovered them (slowly on a loaded machine)
  const int q = h_ / 5;
  const int dx[4] = {1, -1, -1, 1}, dy[4] = {-1, -1, 1, 1};
  double gap = 0, tiles[4] = {};
  auto tilesShown = [&] {
    Screenshot();
    gap = Region(x0_ + w_ / 2 - 5, y0_ + h_ / 2 - 5, 10, 10).Mean();
    bool all = true;
    for (int k = 0; k < 4; ++k) {
      tiles[k] = Region(x0_ + w_ / 2 + dx[k] * q - 30, y0_ + h_ / 2 + dy[k] * q - 30, 60, 60).Mean();
      all = all && tiles[k] > gap + 0.05;
    }
    return all;
  };
  Sleep(1.0);
  WaitFor(tilesShown, 10.0);
  KeepScreen("textures");
  std::printf("screen: gap %.3f, tiles %.3f %.3f %.3f %.3f\n", gap, tiles[0], tiles[1], tiles[2], tiles[3]);
  for (int k = 0; k < 4; ++k) EXPECT_GT(tiles[k], gap + 0.05) << "tile " << k;

  ASSERT_TRUE(WaitFor(
      [&] {
        return ScriptTimeAtMost() > 0.0 && !Samples().empty() &&
               std::fabs(Samples().back().hand.z - middle[2].z) < 2e-4;
      },
      90.0))
      << "the hand never stroked the silicone";
  Sleep(1.0);
  KeepScreen("textures-silicone");
  // the hand back over the panel, after the strokes (it rested there before them)
  const size_t strokes = Samples().size();
  ASSERT_TRUE(WaitFor([&] { return !HeldAt(cVec(0, PanelY(5), 0), strokes).empty(); }, 60.0))
      << "the script did not end";

  // the samples logged while the hand stroked tile k one way (+1) or back (-1):
  // told apart by the hand's motion since the sample before
  const std::vector<Sample> all = Samples();
  auto stroke = [&](int k, int way) {
    std::vector<Sample> out;
    for (size_t i = 1; i < all.size(); ++i) {
      const Sample &s = all[i];
      if (std::fabs(s.hand.x - depth) > 2e-4 || std::fabs(s.hand.z - middle[k].z) > 2e-4) continue;
      if (s.hand.y < middle[k].y - half + 0.001 || s.hand.y > middle[k].y + half - 0.001) continue;
      if ((s.hand.y - all[i - 1].hand.y) * way > 0.001) out.push_back(s);
    }
    return out;
  };
  double drag[4];
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    const std::vector<Sample> there = stroke(k, 1), back = stroke(k, -1);
    ASSERT_FALSE(there.empty()) << "no sample while stroking";
    ASSERT_FALSE(back.empty()) << "no sample while stroking back";
    const Sample a = Mean(there), b = Mean(back);
    Print("there", a);
    Print("back", b);
    // pressed into the tile, the effector stays in front of the picture
    for (const Sample &s : there) EXPECT_GT(s.effector.x - s.hand.x, 0.002);
    for (const Sample &s : back) EXPECT_GT(s.effector.x - s.hand.x, 0.002);
    // friction opposes the motion both ways; what the position alone adds to the
    // motors (the arms' weight) is the same both ways and drops out
    const double push = (a.force.x + b.force.x) / 2.0;
    drag[k] = (b.force.y - a.force.y) / 2.0;
    std::printf("tile %d: sideways force against the stroke %.3f N, motor force out of the tile %.3f N\n", k, drag[k],
                push);
  }
  // the silicone drags the stroke back; the smooth plastic and the flat motif do not
  EXPECT_GT(drag[2], 0.25);
  EXPECT_LT(std::fabs(drag[0]), 0.15);
  EXPECT_LT(std::fabs(drag[3]), 0.15);
  EXPECT_GT(drag[2], 2.0 * std::max(std::fabs(drag[0]), std::fabs(drag[3])));

  ASSERT_NO_FATAL_FAILURE(LeaveDemo(5));
  QuitFromMenu();
}

}  // namespace
