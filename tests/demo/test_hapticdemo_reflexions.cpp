// The reflexions demo felt through a virtual trion.6's hand: into the demo from
// the menu, the bar held still beside the rings, pushed along their axis onto the
// inner ring's face (which turns them), back beside them, onto the face again,
// and Escape while pushing. The forces come from the virtual log (effector, hand
// target and motor force once a second); screenshots show the rings turned.
#include "FeltUnderX.h"

#include <cstdio>
#include <sstream>

namespace {

using namespace underx;

class HapticDemoReflexions : public HapticDemoFelt {
 protected:
  HapticDemoReflexions() : HapticDemoFelt("reflexions") {}
};

TEST_F(HapticDemoReflexions, APushTurnsTheRingsAndEscapeLeavesNoForce) {
  // device metres are twice scene units around the rings' pivot at the device's
  // centre; the rings' axis lies 10 degrees off the device's x axis, and the bar
  // along y. Beside: out of reach of the outer ring however it is turned. Push:
  // along the axis onto the inner ring's face, the spheres either side of its hole.
  const double c = 0.9848077530121095, s = 0.17364817766748877;
  const cVec beside(0.08, 0, 0), push(0.0075 * c, 0.0075 * s, 0);
  double t0 = 0.0;
  for (double rest : {12.0, 40.0}) {
    t0 = rest;
    const double p0 = PanelY(0);
    WriteScript({{0, 0, 0, 0, 0},
                 {t0, 0, 0, 0, 0},
                 {t0 + 0.5, 0, p0, 0, 0},
                 {t0 + 2.0, 0, p0, 0, 1},
                 {t0 + 3.0, 0, p0, 0, 0},
                 {t0 + 4.0, beside.x, p0, 0, 0},
                 {t0 + 5.0, beside.x, beside.y, beside.z, 0},
                 {t0 + 12.0, beside.x, beside.y, beside.z, 0},
                 {t0 + 14.0, push.x, push.y, push.z, 0},
                 {t0 + 20.0, push.x, push.y, push.z, 0},
                 {t0 + 22.0, beside.x, beside.y, beside.z, 0},
                 {t0 + 28.0, beside.x, beside.y, beside.z, 0},
                 {t0 + 30.0, push.x, push.y, push.z, 0}});
    ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand({"TKX_VIRTUAL_DEVICES=61"}));
    if (ScriptTimeAtMost() < t0 - 1.0) break;
    std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
    program_.Kill();
    std::remove((dir_ + "/bus.log").c_str());
  }
  ASSERT_LT(ScriptTimeAtMost(), t0 - 1.0) << "the menu came after the hand left the middle";
  const bool shown = WaitFor([&] { return DemoShown(); }, 20.0);
  KeepScreen("opened");
  if (!shown) {
    for (const Sample &m : Samples())
      std::printf("effector %.4f %.4f %.4f  hand %.4f %.4f %.4f\n", m.effector.x, m.effector.y, m.effector.z, m.hand.x,
                  m.hand.y, m.hand.z);
  }
  ASSERT_TRUE(shown) << "the press opened no demo";

  // held beside the rings: they stay as they are
  ASSERT_TRUE(WaitFor([&] { return HeldAt(beside).size() >= 2; }, 30.0)) << "the hand never came beside the rings";
  Screenshot();
  const std::vector<int> still1 = Middle();
  Sleep(1.0);
  Screenshot();
  const std::vector<int> still2 = Middle();
  // pushed, and back beside them
  ASSERT_TRUE(WaitFor([&] { return HeldAt(push).size() >= 2; }, 30.0)) << "the hand never pushed";
  const Sample pushed = Mean(HeldAt(push));
  const size_t afterPush = Samples().size();
  ASSERT_TRUE(WaitFor([&] { return HeldAt(beside, afterPush).size() >= 2; }, 30.0));
  Screenshot();
  const std::vector<int> turned = Middle();
  KeepScreen("turned");
  const Sample free = Mean(HeldAt(beside));

  // pushed again, and Escape while pushing
  const size_t second = Samples().size();
  ASSERT_TRUE(WaitFor([&] { return HeldAt(push, second).size() >= 2; }, 30.0));
  const Sample pushedAgain = Mean(HeldAt(push, second));
  KeepScreen("pushed-again");
  // the demo has run for long: Escape counts at once, but the two fades over
  // two transparent rings take long on a loaded machine
  Key("Escape");
  const bool menu = WaitFor([&] { return Menu(3); }, 20.0);
  if (!menu) KeepScreen("not-left");
  ASSERT_TRUE(menu) << "Escape did not lead back to the menu";
  const size_t left = Samples().size();
  ASSERT_TRUE(WaitFor([&] { return HeldAt(push, left).size() >= 2; }, 15.0));
  const Sample afterEscape = Mean(HeldAt(push, left));

  auto print = [](const char *name, const Sample &m) {
    std::printf("%-8s effector %.4f %.4f %.4f  hand %.4f %.4f %.4f  motor force %.3f %.3f %.3f N\n", name, m.effector.x,
                m.effector.y, m.effector.z, m.hand.x, m.hand.y, m.hand.z, m.force.x, m.force.y, m.force.z);
  };
  print("free", free);
  print("pushed", pushed);
  print("again", pushedAgain);
  print("escaped", afterEscape);
  std::printf("screen changed: held still %.3f, after the push %.3f\n", Changed(still1, still2),
              Changed(still2, turned));

  // beside the rings nothing holds the effector back
  EXPECT_LT((free.effector - free.hand).Length(), 0.0005);
  // the face holds the bar out of the hand's reach and pushes it back along the
  // axis, measured against the free-space motor force (the arms' weight)
  for (const Sample &p : {pushed, pushedAgain}) {
    const cVec contact = p.force - free.force;
    EXPECT_GT(p.effector.x - p.hand.x, 0.002);
    EXPECT_GT(contact.x, 0.5);
  }
  // the rings turned under the push and stayed turned; untouched they keep still
  EXPECT_LT(Changed(still1, still2), 0.002);
  EXPECT_GT(Changed(still2, turned), 0.01);
  // out of the demo the hand pushes through where the face was, and the motors
  // give what they give in free space: nothing across, and along z the arms'
  // weight, which differs a little from the place beside the rings
  EXPECT_LT((afterEscape.effector - afterEscape.hand).Length(), 0.0005);
  const cVec rest = afterEscape.force - free.force;
  EXPECT_LT(std::hypot(rest.x, rest.y), 0.05);
  EXPECT_LT(std::fabs(rest.z), 0.3);

  QuitFromMenu();
}

}  // namespace
