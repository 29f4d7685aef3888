// The program on a virtual polux.7, driven by its hand: the gripper closed over a
// panel opens that demo (the gripper is the button on this device). In the grasp
// demo the thumb alone presses the bubble past the 3 N a finger may give and the
// bubble holds; squeezed between thumb and finger it pops. In the reflexions demo
// the finger's sphere pushed into a ring's face turns the rings. The stylus is
// turned so that the effector frame is the device's (its 30 degree rest turn
// undone), which places thumb and finger where this test works them out.
#include "FeltUnderX.h"
#include "PoluxUnderX.h"

#include <cstdio>
#include <sstream>

namespace underx {
namespace {

using namespace polux;

double Dot(const cVec &a, const cVec &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

class HapticDemoPolux : public HapticDemoFelt {
 protected:
  HapticDemoPolux() : HapticDemoFelt("polux") {}

  void SetUp() override {
    HapticDemoFelt::SetUp();
    // the polux reaches 75 mm: the cursor crosses the window for 0.15 m
    metresPerWindow_ = 2.0 * 0.075;
  }

  // keys at hand position p with the gripper's opening g; the stylus turned back
  static HandKey At(double t, const cVec &p, double g) {
    HandKey k{t, p.x, p.y, p.z, 0};
    k.gripper = g;
    k.r2 = kR2;
    return k;
  }

  // the script of keys from t0 on, after the menu's: rest, over panel `panel`,
  // the gripper closed for a second and opened again
  std::vector<HandKey> MenuKeys(double t0, int panel) const {
    const cVec centre, over(0, PanelY(panel), 0);
    return {At(0, centre, kOpen),      At(t0, centre, kOpen),     At(t0 + 0.5, over, kOpen), At(t0 + 3.5, over, kOpen),
            At(t0 + 4.0, over, kShut), At(t0 + 5.0, over, kShut), At(t0 + 5.5, over, kOpen)};
  }

  // starts the program with the script; retries once with a longer rest when the
  // menu came after the hand had left the middle; returns the rest used
  double Start(const std::function<std::vector<HandKey>(double)> &script) {
    double t0 = 0.0;
    for (double rest : {12.0, 40.0}) {
      t0 = rest;
      WriteScript(script(t0));
      ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=35", "TKX_VIRTUAL_HAND_STIFFNESS=2000"});
      if (HasFatalFailure()) return t0;
      if (ScriptTimeAtMost() < t0 - 1.0) break;
      std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
      program_.Kill();
      std::remove((dir_ + "/bus.log").c_str());
    }
    EXPECT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";
    return t0;
  }

  // the samples from index `from` on with the hand at p and its gripper pulled to g
  std::vector<Sample> HeldWith(const cVec &p, double g, size_t from) const {
    std::vector<Sample> held;
    for (const Sample &s : HeldAt(p, from))
      if (std::fabs(s.gripperHand - g / 0.0525) < 1e-3) held.push_back(s);
    return held;
  }

  static void Print(const char *name, const Sample &s) {
    std::printf(
        "%-9s effector %.4f %.4f %.4f  hand %.4f %.4f %.4f  force %.3f %.3f %.3f N  gripper %.4f rad "
        "(hand %.4f) torque %.3f N m\n",
        name, s.effector.x, s.effector.y, s.effector.z, s.hand.x, s.hand.y, s.hand.z, s.force.x, s.force.y, s.force.z,
        s.gripper, s.gripperHand, s.gripperTorque);
  }
};

// the grasp demo magnifies the device three times: the bubble's centre is a
// third of (0, 0.1, 0.1), and a proxy (0.018) touches it (0.05) within 0.068 / 3
TEST_F(HapticDemoPolux, GripperOpensGraspWhereOneFingerPressesTheBubbleAndASqueezePopsIt) {
  const cVec bubble(0, 0.1 / 3, 0.1 / 3);
  const double reach = 0.068 / 3;
  // the hand is firm (2000 N/m), as a hand squeezing something is: with the
  // bubble (3000 N/m at the device) in series it gives 1200 N/m. The thumb above
  // the bubble's centre: clear, then pressed 3.5 mm past the surface, some 4 N,
  // more than a finger may give
  const cVec thumbAbove = bubble + cVec(0, 0, 0.03), thumbPress = bubble + cVec(0, 0, reach - 0.0035);
  const cVec above = thumbAbove - kThumb, press = thumbPress - kThumb;
  // the squeeze: the finger's pad (the demo's offset from the finger point)
  // meets the bubble near 0.5 rad; its centre on the line from the thumb to the
  // pad there, the thumb resting 0.5 mm into it. Closing the gripper slowly then
  // presses the finger in and the thumb with it
  const cVec pad(Finger(0.5) + cVec(0.003, -0.026, -0.007));
  const cVec n = (pad - kThumb) * (1.0 / (pad - kThumb).Length());
  const cVec squeeze = bubble - n * (reach - 0.0005) - kThumb, squeezeAbove = squeeze + cVec(0, 0, 0.03);
  // a gripper closed to 0.3 rad without a bubble in the way
  const double kHalf = 0.3 * 0.0525;
  ASSERT_GT((Finger(0.6) + cVec(0.003, -0.026, -0.007) - kThumb).Length(), 2 * reach + 0.002);
  // out of every shape's reach (all lie in the plane x = 0); the last one puts
  // the cursor on panel 5 when the menu is back
  const cVec aside(0.04, 0, 0), asideHigh(0.04, above.y, above.z), asideLow(0.04, above.y, 0);

  const double t0 = Start([&](double t0) {
    std::vector<HandKey> keys = MenuKeys(t0, 2);
    const double t = t0 + 7.0;
    for (const HandKey &k :
         {At(t, aside, kOpen), At(t + 2, asideHigh, kOpen), At(t + 3, above, kOpen), At(t + 7, above, kOpen),
          At(t + 9, press, kOpen), At(t + 15, press, kOpen), At(t + 16, above, kOpen), At(t + 17, squeezeAbove, kOpen),
          At(t + 18, squeeze, kOpen), At(t + 22, squeeze, kOpen), At(t + 28, squeeze, kHalf),
          At(t + 29, squeeze, kShut), At(t + 33, squeeze, kShut), At(t + 34, squeeze, kOpen),
          At(t + 35, squeezeAbove, kOpen), At(t + 36, asideHigh, kOpen), At(t + 37, asideLow, kOpen)})
      keys.push_back(k);
    return keys;
  });
  if (HasFatalFailure()) return;
  (void)t0;
  // closing the gripper over panel 2 opens the grasp demo
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 30.0)) << "closing the gripper opened no demo";
  ASSERT_TRUE(WaitFor([&] { return HeldAt(press).size() >= 3; }, 60.0)) << "the thumb never pressed the bubble";
  KeepScreen("thumb-pressed");
  ASSERT_TRUE(WaitFor([&] { return HeldWith(squeeze, kShut, 0).size() >= 3; }, 60.0)) << "the hand never squeezed";
  KeepScreen("squeezed");
  ASSERT_TRUE(WaitUntilHeldAt(asideLow, 30.0));

  const Sample free = Mean(HeldAt(above));
  const Sample pressed = Mean(HeldAt(press));
  const Sample open = Mean(HeldWith(squeeze, kOpen, 0));
  const Sample shut = Mean(HeldWith(squeeze, kShut, 0));
  // the squeeze, second by second
  for (const Sample &s : Samples())
    if ((s.hand - squeeze).Length() < 2e-4) Print("squeeze", s);
  Print("free", free);
  Print("pressed", pressed);
  Print("open", open);
  Print("shut", shut);

  // the thumb alone: held out of the hand's reach by more than 3 N the whole
  // time, so the bubble never popped
  const cVec c = pressed.force - free.force;
  std::printf("thumb alone: %.3f N\n", c.Length());
  EXPECT_GT(pressed.effector.z - pressed.hand.z, 0.0015);
  EXPECT_GT(c.z, 3.0);
  for (const Sample &s : HeldAt(press)) EXPECT_GT(s.force.z - free.force.z, 3.0);
  // between thumb and finger, open: the thumb rests on the bubble, which holds
  // the effector a little off the hand; the finger is clear, no gripper torque
  EXPECT_GT((open.effector - open.hand).Length(), 0.0001);
  EXPECT_LT(std::fabs(open.gripperTorque), 0.01);
  EXPECT_NEAR(open.gripper, 0.6, 0.02);
  // shut on the bubble: it popped, so nothing holds the finger open and the
  // motor has nothing to push (whole, it would hold the finger some 0.25 rad
  // open against the hand, with a torque of about 0.2 N m)
  EXPECT_LT(shut.gripper, 0.05);
  EXPECT_LT(std::fabs(shut.gripperTorque), 0.02);
  // and the effector is where the hand holds it
  EXPECT_LT((shut.effector - shut.hand).Length(), 0.001);

  ASSERT_NO_FATAL_FAILURE(LeaveDemo(5));
  Sleep(1.5);
  QuitFromMenu();
}

// the reflexions demo doubles the device's position; the rings pivot at the
// device's origin, their axis 10 degrees off x at first. The finger's sphere
// sweeps along that axis back and forth through the outer ring's tube, which it
// pushes and turns, while the thumb's lies near the axis, out of both rings'
// reach. A ring pushed on its face turns away from the push, so contact comes and
// goes: it is counted over the sweep's samples
TEST_F(HapticDemoPolux, GripperOpensReflexionsWhereTheFingerSphereTurnsTheRings) {
  const cVec axis(0.9848077530121095, 0.17364817766748877, 0);
  // from the thumb's sphere to the finger's, scene units, the gripper open
  const cVec finger = Finger(0.6) + cVec(0.003, -0.022, -0.007);
  const cVec w = (finger - kThumb) * 2.0;
  const cVec radial = w - axis * Dot(w, axis);
  const cVec u = radial * (1.0 / radial.Length());
  // the hand for the finger's sphere at the outer ring's core radius, `along`
  // the axis from the rings' plane (scene units)
  auto at = [&](double along) { return (u * 0.105 + axis * along) * 0.5 - finger; };
  const cVec beside = at(0.1), touch = at(0.03), through = at(-0.05);
  // the thumb's sphere stays out of the inner ring's reach (core 0.054, tube and
  // sphere 0.047) and off the axis, where nothing is felt
  for (double along : {0.1, 0.03, -0.05}) {
    const cVec thumb = u * 0.105 + axis * along - w;
    const cVec across = thumb - axis * Dot(thumb, axis);
    ASSERT_GT(std::hypot(0.054 - across.Length(), Dot(thumb, axis)), 0.047 + 0.003) << along;
  }

  Start([&](double t0) {
    std::vector<HandKey> keys = MenuKeys(t0, 0);
    const double t = t0 + 7.0;
    for (const HandKey &k :
         {At(t, beside, kOpen), At(t + 10, beside, kOpen), At(t + 11, touch, kOpen), At(t + 14, through, kOpen),
          At(t + 17, touch, kOpen), At(t + 20, through, kOpen), At(t + 23, touch, kOpen), At(t + 24, beside, kOpen)})
      keys.push_back(k);
    return keys;
  });
  if (HasFatalFailure()) return;
  ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 30.0)) << "closing the gripper opened no demo";
  ASSERT_TRUE(WaitFor([&] { return HeldAt(beside).size() >= 4; }, 60.0)) << "the hand never came beside the rings";
  Screenshot();
  const std::vector<int> still1 = Middle();
  Sleep(1.0);
  Screenshot();
  const std::vector<int> still2 = Middle();
  // the sweep starts when the hand leaves its place beside the rings
  const size_t before = Samples().size();
  size_t sweep = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        const std::vector<Sample> all = Samples();
        for (size_t i = before; i < all.size(); ++i)
          if ((all[i].hand - beside).Length() > 2e-4) return (sweep = i) > 0;
        return false;
      },
      40.0))
      << "the hand never swept";
  Sleep(3.0);
  KeepScreen("finger-sweeping");
  ASSERT_TRUE(WaitFor([&] { return HeldAt(beside, sweep).size() >= 2; }, 40.0)) << "the hand never came back";
  Screenshot();
  const std::vector<int> turned = Middle();
  KeepScreen("turned");

  // during the sweep: the samples where the ring held the finger's sphere off
  // the hand's path, and what went to the gripper then
  int held = 0, gripped = 0;
  const std::vector<Sample> all = Samples();
  for (size_t i = sweep; i < all.size(); ++i) {
    const Sample &s = all[i];
    if ((s.hand - beside).Length() < 2e-4) continue;
    const cVec off = s.effector - s.hand;
    const bool contact = off.Length() > 0.0005;
    held += contact;
    gripped += contact && s.gripperTorque > 0.005;
    Print(contact ? "contact" : "free", s);
  }
  std::printf("screen changed: held still %.3f, after the sweep %.3f\n", Changed(still1, still2),
              Changed(still2, turned));
  EXPECT_GE(held, 2);
  EXPECT_GE(gripped, 1);
  // the rings turned under the finger and stayed turned; untouched they keep still
  EXPECT_LT(Changed(still1, still2), 0.002);
  EXPECT_GT(Changed(still2, turned), 0.01);

  Key("Escape");
  ASSERT_TRUE(WaitFor([&] { return Menu(4); }, 20.0)) << "Escape did not lead back to the menu";
  Sleep(1.5);
  QuitFromMenu();
}

}  // namespace
}  // namespace underx
