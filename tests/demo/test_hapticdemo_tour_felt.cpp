// The felt tour: one hand script takes a virtual trion.6 through the seven demos,
// entering each from the menu with the device's button, doing its characteristic
// gesture, and leaving with Escape. The per-exchange trace (TKX_VIRTUAL_TRACE)
// gives one measured fact per demo. Every demo leaves a screenshot at its telling
// moment, its stretch of the trace (decimated) and a line on what is felt in the
// output folder: TKX_TOUR_OUT, or the test's artefacts. scripts/demo --tour runs
// this binary and draws the plots and the page from that folder.
#include "FeltUnderX.h"
#include "PoluxUnderX.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using namespace underx;

// one line of the trace
struct Rec {
  double t = 0;
  int button = 0;
  cVec hand, effector, force;
  double gripper = NAN, gripperHand = NAN, gripperTorque = NAN;
};

bool ParseRec(const char *line, Rec *r) {
  int device = 0;
  char g[3][32] = {};
  const int n = std::sscanf(line, "%lf %d %d %lf %lf %lf %lf %lf %lf %lf %lf %lf %31s %31s %31s", &r->t, &device,
                            &r->button, &r->hand.x, &r->hand.y, &r->hand.z, &r->effector.x, &r->effector.y,
                            &r->effector.z, &r->force.x, &r->force.y, &r->force.z, g[0], g[1], g[2]);
  if (n != 15) return false;
  r->gripper = std::strtod(g[0], nullptr);
  r->gripperHand = std::strtod(g[1], nullptr);
  r->gripperTorque = std::strtod(g[2], nullptr);
  return true;
}

double Dot(const cVec &a, const cVec &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// a demo's stretch of the tour, in the hand script's seconds
struct Leg {
  int panel;
  const char *name;   // file names
  const char *title;  // the page's heading
  double enter;       // the button goes down over the panel at enter + 1.5
  double gesture;     // the demo is shown: the gesture starts
  double end;         // the gesture is over: Escape
  double shot;        // the telling moment
};

class HapticDemoTourFelt : public HapticDemoFelt {
 protected:
  HapticDemoTourFelt() : HapticDemoFelt("tour-felt") {}

  void SetUp() override {
    HapticDemoFelt::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const char *out = std::getenv("TKX_TOUR_OUT");
    out_ = out != nullptr && *out != '\0' ? out : TEST_ARTEFACTS "/tour-felt";
    Shell("mkdir -p '" + out_ + "'");
    trace_ = dir_ + "/trace.txt";
  }

  // the hand script's time now: the last record of the trace (-1 before the first)
  double ScriptTime() const {
    std::ifstream in(trace_, std::ios::binary);
    if (!in) return -1.0;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - 4096);
    in.seekg(from);
    std::string tail(static_cast<size_t>(size - from), '\0');
    in.read(&tail[0], static_cast<std::streamsize>(tail.size()));
    // the last complete line
    const size_t end = tail.rfind('\n');
    if (end == std::string::npos || end == 0) return -1.0;
    const size_t begin = tail.rfind('\n', end - 1);
    const std::string line = tail.substr(begin == std::string::npos ? 0 : begin + 1, end - begin - 1);
    Rec r;
    return line[0] != '#' && ParseRec(line.c_str(), &r) ? r.t : -1.0;
  }

  bool WaitScript(double t, double timeout) {
    return WaitFor([&] { return ScriptTime() >= t; }, timeout);
  }

  void ReadTrace() {
    recs_.clear();
    std::ifstream in(trace_);
    std::string line;
    while (std::getline(in, line)) {
      Rec r;
      if (!line.empty() && line[0] != '#' && ParseRec(line.c_str(), &r)) recs_.push_back(r);
      if (line.rfind("# lost", 0) == 0) lostLines_.push_back(line);
    }
  }

  std::vector<Rec> Between(double a, double b) const {
    std::vector<Rec> out;
    for (const Rec &r : recs_)
      if (r.t >= a && r.t < b) out.push_back(r);
    return out;
  }

  static Rec Mean(const std::vector<Rec> &rs) {
    Rec m;
    for (const Rec &r : rs) {
      const double w = 1.0 / rs.size();
      m.hand = m.hand + r.hand * w;
      m.effector = m.effector + r.effector * w;
      m.force = m.force + r.force * w;
    }
    return m;
  }

  // the mean over a stretch of script time; fails when the trace has none there
  ::testing::AssertionResult MeanOver(double a, double b, Rec *m) const {
    const std::vector<Rec> rs = Between(a, b);
    if (rs.size() < 20) return ::testing::AssertionFailure() << "no trace between " << a << " and " << b << " s";
    *m = Mean(rs);
    return ::testing::AssertionSuccess();
  }

  // the screen, halved, as a PNG in the output folder
  void KeepShot(const std::string &name) {
    Shell("xwd -root -silent | convert xwd:- -resize 640x400 -strip '" + out_ + "/" + name + ".png'");
  }

  // the demo's stretch of the trace, every eighth record (500 a second), for its
  // plot; its time counts from the press that opened the demo
  void KeepTrace(const Leg &leg) const {
    std::ofstream out(out_ + "/" + prefix_ + leg.name + ".dat");
    out << "# t hand_x hand_y hand_z effector_x effector_y effector_z force_x force_y force_z gripper "
           "gripper_hand gripper_torque\n";
    const double zero = leg.enter + 1.6;
    int i = 0;
    for (const Rec &r : recs_) {
      if (r.t < leg.enter + 1.0 || r.t > leg.end + 0.5 || i++ % 8 != 0) continue;
      char line[320];
      std::snprintf(line, sizeof line, "%.4f %.5f %.5f %.5f %.5f %.5f %.5f %.4f %.4f %.4f %.5f %.5f %.5f\n", r.t - zero,
                    r.hand.x, r.hand.y, r.hand.z, r.effector.x, r.effector.y, r.effector.z, r.force.x, r.force.y,
                    r.force.z, r.gripper, r.gripperHand, r.gripperTorque);
      out << line;
    }
  }

  // one line of the page: what the demo shows and what was felt, with the figure
  void Felt(const Leg &leg, const std::string &text) {
    felt_ += std::to_string(leg.panel) + "|" + leg.name + "|" + leg.title + "|" + text + "\n";
    std::printf("%-10s %s\n", leg.name, text.c_str());
  }
  void WriteFelt(const std::string &file) const {
    std::ofstream out(out_ + "/" + file);
    out << felt_;
  }

  static std::string Fmt(const char *format, double a, double b = 0.0, double c = 0.0) {
    char s[256];
    std::snprintf(s, sizeof s, format, a, b, c);
    return s;
  }

  // Escape once the demo has run; the menu must be back before the hand presses
  // the next panel
  void Leave(const Leg &leg, double nextPress) {
    ASSERT_TRUE(WaitScript(leg.end, 60.0)) << leg.name << ": the script did not reach the gesture's end";
    bool left = false;
    for (int attempt = 0; attempt < 2 && !left; ++attempt) {
      Key("Escape");
      left = WaitFor([&] { return !DemoShown(); }, 5.0);
    }
    ASSERT_TRUE(left) << leg.name << ": Escape did not leave the demo";
    const double now = ScriptTime();
    std::printf("%-10s left at %.1f s of the script, the next press at %.1f s\n", leg.name, now, nextPress);
    ASSERT_LT(now, nextPress - 1.5) << leg.name << ": the menu came back too late for the next press";
  }

  // Escape in the menu ends the program; pressed again while a loaded machine
  // still fades the menu in (when Escape is ignored)
  void Quit() {
    ASSERT_TRUE(WaitFor([&] { return Fronts() >= 6; }, 15.0)) << "the menu did not come back";
    Sleep(1.5);
    bool ended = false;
    for (int attempt = 0; attempt < 3 && !ended; ++attempt) {
      Key("Escape");
      ended = WaitFor([&] { return !program_.Running(); }, 6.0);
    }
    ASSERT_TRUE(ended) << "Escape in the menu did not end the program";
    EXPECT_EQ(program_.Wait(0.0), 0);
  }

  // the program with the script that build(rest) makes, the menu shown before
  // the first press; once more with a longer rest when the menu came late
  void StartTour(const std::function<double(double)> &build, std::vector<std::string> env,
                 std::initializer_list<double> rests) {
    env.push_back("TKX_VIRTUAL_TRACE=" + trace_);
    double firstPress = 0.0;
    for (double rest : rests) {
      firstPress = build(rest);
      ASSERT_NO_FATAL_FAILURE(ReachMenuWithHand(env));
      if (ScriptTime() < firstPress - 2.0) break;
      std::printf("menu too late for a rest of %.0f s: again with a longer one\n", rest);
      program_.Kill();
    }
    ASSERT_LT(ScriptTime(), firstPress - 2.0) << "the menu came after the hand left the middle";
  }

  // each demo opens, during(leg) looks at it, its telling moment is kept, and
  // Escape leaves it; then the program is ended and the trace read
  void Drive(const std::vector<Leg> &legs, const std::function<void(const Leg &)> &during) {
    for (size_t i = 0; i < legs.size(); ++i) {
      const Leg &leg = legs[i];
      SCOPED_TRACE(leg.name);
      ASSERT_TRUE(WaitScript(leg.gesture - 0.5, 60.0));
      ASSERT_TRUE(WaitFor([&] { return DemoShown(); }, 5.0)) << "the press opened no demo";
      if (during) {
        ASSERT_NO_FATAL_FAILURE(during(leg));
      }
      ASSERT_TRUE(WaitScript(leg.shot, 30.0));
      KeepShot(prefix_ + std::to_string(leg.panel) + "-" + leg.name);
      ASSERT_NO_FATAL_FAILURE(Leave(leg, i + 1 < legs.size() ? legs[i + 1].enter + 1.6 : 1e9));
    }
    ASSERT_NO_FATAL_FAILURE(Quit());
    ReadTrace();
    ASSERT_FALSE(recs_.empty());
    EXPECT_TRUE(lostLines_.empty()) << lostLines_.front();
    for (const Leg &leg : legs) KeepTrace(leg);
  }

  std::string prefix_;
  std::string out_, trace_, felt_;
  std::vector<Rec> recs_;
  std::vector<std::string> lostLines_;
};

// the keys of the hand script, in absolute seconds; on a gripper the grip and the
// stylus angle every key carries, and closing the gripper is the button
struct Script {
  std::vector<HandKey> keys;
  double grip = 0.0, shut = 0.0, r2 = 0.0;
  bool gripperButton = false;
  void At(double t, const cVec &p, int button = 0) {
    HandKey k{t, p.x, p.y, p.z, gripperButton ? 0 : button};
    k.gripper = gripperButton && button ? shut : grip;
    k.r2 = r2;
    keys.push_back(k);
  }
  // over panel y, the button down and up: the demo opens
  // (x moves no cursor: it places the hand in depth for the demo that opens)
  void Press(double t, const cVec &p) {
    At(t + 0.5, p);
    At(t + 1.5, p);
    At(t + 1.6, p, 1);
    At(t + 2.4, p, 1);
    At(t + 2.5, p);
  }
};

TEST_F(HapticDemoTourFelt, Trion6SevenDemosEachFeltAsItShouldBe) {
  // --- where things are, in device metres (see the single demos' tests) ---
  // reflexions: the rings' axis 10 degrees off x; beside them, and on the inner face
  const double c10 = 0.9848077530121095, s10 = 0.17364817766748877;
  const cVec ringsBeside(0.08, 0, 0), ringsPush(0.0075 * c10, 0.0075 * s10, 0);
  // nano: the relief turned 40 degrees about y, halved into the device
  const double c40 = std::cos(0.6981317008), s40 = std::sin(0.6981317008);
  const cVec up(c40, 0, s40), along(-s40, 0, c40);
  auto nano = [&](double h, double y, double z) { return (up * h + cVec(0, y, 0) + along * z) * 0.5; };
  const double row = 0.4 * 4.0 / 127.0, level = 0.018;
  const cVec nanoAbove = nano(0.07, -0.15, row), nanoStart = nano(level, -0.15, row), nanoEnd = nano(level, 0.15, row);
  const cVec nanoAway = nano(0.07, 0.15, row);
  // grasp: the bubble's top, entered from the side away from it
  const double bc = 0.1 / 3.0, btop = bc + 0.062 / 3.0;
  const cVec bLow(0, bc, 0), bSide(0.03, bc, 0), bSideUp(0.03, bc, btop + 0.016), bAbove(0, bc, btop + 0.016);
  const cVec bPopped(0, bc, btop - 0.03);
  // audio: the tool in the record's tilted scene
  auto rec = [](double x, double y, double z) { return cVec((x + 0.1) / 2.0, y / 2.0, z / 2.0); };
  const cVec aAbove = rec(-0.03, 0.08, 0.04), aIn = rec(-0.03, 0.08, 0.009), aRubbed = rec(0.05, 0.08, 0.009);
  const cVec aLifted = rec(0.05, 0.08, 0.07);
  // contact: a cusp of the tooth, then the tooth taken and carried
  const cVec tAbove(0.0104, 0.0095, 0.08), tFree(0.0104, 0.0095, 0.062), tPress(0.0104, 0.0095, 0.045);
  const cVec tGrab(0, 0, 0.075), tCarried(0, 0.05, 0.095);
  // textures: the plastic (upper right) and silicone (lower left) tiles' middles
  const cVec plastic(0, 0.06, 0.06), silicone(0, -0.06, -0.06);
  const double tDepth = -0.006, tLift = 0.015, tHalf = 0.02;
  // dynamics: over the sheet's middle, contact begins near z = 0.0015
  const double dx = 0.05 / 6.5, dy = 0.07 / 6.5, dContact = 0.01 / 6.5;
  const cVec dAbove(dx, dy, 0.2 / 6.5), dPress1(dx, dy, dContact - 0.008), dPress2(dx, dy, dContact - 0.018);

  // --- the legs: panel, names, enter, gesture start, end, telling moment ---
  std::vector<Leg> legs;
  Script s;
  auto build = [&](double t0) -> double {
    legs.clear();
    s.keys.clear();
    s.At(0, cVec());
    s.At(t0, cVec());
    double t = t0;
    auto leg = [&](int panel, const char *name, const char *title, double length, double shot) {
      legs.push_back({panel, name, title, t, t + 4.0, t + 4.0 + length, t + 4.0 + shot});
      // the audio demo's tool comes in above the record when pressed a little high,
      // the nano demo's in front of the relief when pressed nearer the user
      s.Press(t, cVec(panel == 1 ? 0.05 : 0.0, PanelY(panel), panel == 3 ? 0.02 : 0.0));
      const double g = t + 4.0;
      t = g + length + 3.5;
      return g;
    };
    // reflexions: beside, push onto the inner face, back beside
    double g = leg(0, "reflexions", "Reflexions", 9.0, 8.5);
    s.At(g, cVec(ringsBeside.x, PanelY(0), 0));
    s.At(g + 1.0, ringsBeside);
    s.At(g + 3.0, ringsBeside);
    s.At(g + 4.5, ringsPush);
    s.At(g + 6.5, ringsPush);
    s.At(g + 7.0, ringsBeside);
    s.At(g + 9.0, ringsBeside);
    // nano: above the row, down to a level between atoms' tops and the ground,
    // stroke along it, lift
    g = leg(1, "nano", "Nano", 9.0, 5.0);
    s.At(g + 1.0, nanoAbove);
    s.At(g + 2.0, nanoAbove);
    s.At(g + 3.0, nanoStart);
    s.At(g + 7.5, nanoEnd);
    s.At(g + 8.5, nanoAway);
    s.At(g + 9.0, nanoAway);
    // grasp: round the bubble, above it, press down slowly until it pops
    g = leg(2, "grasp", "Grasp", 11.0, 8.0);
    s.At(g + 1.0, bLow);
    s.At(g + 1.8, bSide);
    s.At(g + 3.0, bSideUp);
    s.At(g + 3.8, bAbove);
    s.At(g + 5.0, bAbove);
    s.At(g + 9.5, bPopped);
    s.At(g + 11.0, bPopped);
    // audio: above the record, rub along it, lift away
    g = leg(3, "audio", "Audio", 10.0, 9.5);
    s.At(g + 1.0, aAbove);
    s.At(g + 2.0, aAbove);
    s.At(g + 3.0, aIn);
    s.At(g + 4.0, aIn);
    s.At(g + 6.0, aRubbed);
    s.At(g + 6.8, aLifted);
    s.At(g + 10.0, aLifted);
    // contact: press a cusp, take the tooth and carry it
    g = leg(4, "contact", "Contact", 11.0, 5.0);
    s.At(g + 1.0, tAbove);
    s.At(g + 2.0, tFree);
    s.At(g + 3.0, tFree);
    s.At(g + 4.0, tPress);
    s.At(g + 5.5, tPress);
    s.At(g + 6.5, tGrab);
    s.At(g + 7.0, tGrab);
    s.At(g + 7.1, tGrab, 1);
    s.At(g + 7.5, tGrab, 1);
    s.At(g + 9.5, tCarried, 1);
    s.At(g + 10.6, tCarried, 1);
    s.At(g + 10.7, tCarried, 0);
    // textures: the plastic stroked there and back, then the silicone
    g = leg(5, "textures", "Textures", 12.5, 11.0);
    double w = g + 0.5;
    for (const cVec &m : {plastic, silicone}) {
      s.At(w, cVec(tLift, m.y - tHalf, m.z));
      s.At(w + 0.8, cVec(tDepth, m.y - tHalf, m.z));
      s.At(w + 2.8, cVec(tDepth, m.y + tHalf, m.z));
      s.At(w + 4.8, cVec(tDepth, m.y - tHalf, m.z));
      s.At(w + 5.5, cVec(tLift, m.y - tHalf, m.z));
      w += 6.0;
    }
    // dynamics: up first, over the middle, two depths, release
    g = leg(6, "dynamics", "Dynamics", 10.0, 7.5);
    s.At(g + 0.5, cVec(0, PanelY(6), dAbove.z));
    s.At(g + 1.5, dAbove);
    s.At(g + 3.5, dAbove);
    s.At(g + 4.5, dPress1);
    s.At(g + 6.0, dPress1);
    s.At(g + 7.0, dPress2);
    s.At(g + 8.5, dPress2);
    s.At(g + 9.5, dAbove);
    s.At(g + 10.0, dAbove);
    // back to the middle of the menu
    s.At(t, cVec());
    s.At(t + 5.0, cVec());
    WriteScript(s.keys);
    return legs[0].enter + 1.6;
  };
  ASSERT_NO_FATAL_FAILURE(StartTour(build, {"TKX_VIRTUAL_DEVICES=61"}, {10.0, 30.0}));

  std::vector<int> ringsBefore, ringsAfter, recordA, recordB;
  ASSERT_NO_FATAL_FAILURE(Drive(legs, [&](const Leg &leg) {
    if (leg.panel == 0) {
      // the rings as they are before the push, and after it
      ASSERT_TRUE(WaitScript(leg.gesture + 2.5, 30.0));
      Screenshot();
      ringsBefore = Middle();
      ASSERT_TRUE(WaitScript(leg.gesture + 7.5, 30.0));
      Screenshot();
      ringsAfter = Middle();
    }
    if (leg.panel == 3) {
      // the record after the lift, twice
      ASSERT_TRUE(WaitScript(leg.gesture + 9.0, 30.0));
      Screenshot();
      recordA = Middle();
      Sleep(0.3);
      Screenshot();
      recordB = Middle();
    }
  }));

  // --- what was felt ---
  const Leg &rings = legs[0], &nanoLeg = legs[1], &grasp = legs[2], &audio = legs[3], &contact = legs[4],
            &textures = legs[5], &dynamics = legs[6];
  {
    SCOPED_TRACE("reflexions");
    Rec free, push;
    ASSERT_TRUE(MeanOver(rings.gesture + 1.5, rings.gesture + 3.0, &free));
    ASSERT_TRUE(MeanOver(rings.gesture + 5.0, rings.gesture + 6.5, &push));
    const double back = push.force.x - free.force.x;
    const double turned = Changed(ringsBefore, ringsAfter);
    Felt(rings, Fmt("Pushed onto the inner ring's face, the bar is held back with %.2f N, and the rings turn under "
                    "the push and stay turned (%.0f%% of the view changed).",
                    back, 100.0 * turned));
    EXPECT_GT(push.effector.x - push.hand.x, 0.002);
    EXPECT_GT(back, 0.5);
    EXPECT_GT(turned, 0.01) << "the rings did not turn";
  }
  {
    SCOPED_TRACE("nano");
    const std::vector<Rec> stroke = Between(nanoLeg.gesture + 3.3, nanoLeg.gesture + 7.3);
    ASSERT_GT(stroke.size(), 100u);
    double lo = 1e9, hi = -1e9;
    for (const Rec &r : stroke) {
      const double f = Dot(r.force, up);
      lo = std::min(lo, f), hi = std::max(hi, f);
    }
    Felt(nanoLeg, Fmt("Stroked along a row of atoms at one depth, the push out of the surface varies by %.2f N: "
                      "each atom lifts the tool, the ground between them lets it sink.",
                      hi - lo));
    EXPECT_GT(hi - lo, 0.3);
  }
  {
    SCOPED_TRACE("grasp");
    Rec free;
    ASSERT_TRUE(MeanOver(grasp.gesture + 4.0, grasp.gesture + 5.0, &free));
    const std::vector<Rec> press = Between(grasp.gesture + 5.0, grasp.end);
    ASSERT_GT(press.size(), 100u);
    size_t peak = 0;
    for (size_t i = 0; i < press.size(); ++i)
      if (press[i].force.z > press[peak].force.z) peak = i;
    const double top = press[peak].force.z - free.force.z;
    Rec after;
    ASSERT_TRUE(MeanOver(press[peak].t + 0.3, grasp.end, &after));
    const double rest = (after.force - free.force).Length();
    Felt(grasp, Fmt("Pressed down, the water bubble pushes back up to %.2f N and pops: the force drops to %.2f N "
                    "at once, %.1f s into the press.",
                    top, rest, press[peak].t - (grasp.gesture + 5.0)));
    EXPECT_GT(top, 3.0);
    EXPECT_LT(rest, 0.5);
    EXPECT_LT(press[peak].t, grasp.gesture + 9.5) << "the bubble did not pop before the press ended";
  }
  {
    SCOPED_TRACE("audio");
    Rec pressed, lifted;
    ASSERT_TRUE(MeanOver(audio.gesture + 3.2, audio.gesture + 4.0, &pressed));
    ASSERT_TRUE(MeanOver(audio.gesture + 8.0, audio.end, &lifted));
    const double turning = Changed(recordA, recordB);
    Felt(audio, Fmt("Pressed straight in, the record holds the tool %.1f mm above the hand and stays still; rubbed "
                    "along, it turns, and lifted clear it keeps turning (%.1f%% of the view changed in 0.3 s).",
                    1000.0 * (pressed.effector.z - pressed.hand.z), 100.0 * turning));
    EXPECT_GT(pressed.effector.z - pressed.hand.z, 0.0005);
    EXPECT_LT((lifted.effector - lifted.hand).Length(), 0.0005);
    EXPECT_GT(turning, 0.002) << "the record stood still after the hand lifted";
  }
  {
    SCOPED_TRACE("contact");
    Rec free, press, carried;
    ASSERT_TRUE(MeanOver(contact.gesture + 2.3, contact.gesture + 3.0, &free));
    ASSERT_TRUE(MeanOver(contact.gesture + 4.5, contact.gesture + 5.5, &press));
    ASSERT_TRUE(MeanOver(contact.gesture + 10.0, contact.end, &carried));
    const double back = press.force.z - free.force.z;
    Felt(contact, Fmt("Pressed into a cusp, the tooth holds the burr %.1f mm above the hand and pushes back with "
                      "%.2f N; taken on the tool with the button, it is carried without contact force.",
                      1000.0 * (press.effector.z - press.hand.z), back));
    EXPECT_GT(press.effector.z - press.hand.z, 0.002);
    EXPECT_GT(back, 0.5);
    EXPECT_LT((carried.effector - carried.hand).Length(), 0.001);
  }
  {
    SCOPED_TRACE("textures");
    // the sideways force against the stroke, there and back: what the position
    // alone adds to the motors is the same both ways and drops out
    auto drag = [&](const cVec &m, double from) -> double {
      double sum[2] = {0, 0};
      int n[2] = {0, 0};
      const std::vector<Rec> rs = Between(from, from + 4.8);
      for (size_t i = 1; i < rs.size(); ++i) {
        const Rec &r = rs[i];
        if (std::fabs(r.hand.x - tDepth) > 2e-4 || std::fabs(r.hand.z - m.z) > 2e-4) continue;
        if (r.hand.y < m.y - tHalf + 0.004 || r.hand.y > m.y + tHalf - 0.004) continue;
        const int way = r.hand.y > rs[i - 1].hand.y ? 0 : 1;
        sum[way] += r.force.y, ++n[way];
      }
      if (n[0] == 0 || n[1] == 0) return NAN;
      return (sum[1] / n[1] - sum[0] / n[0]) / 2.0;
    };
    const double dPlastic = drag(plastic, textures.gesture + 0.5 + 0.8);
    const double dSilicone = drag(silicone, textures.gesture + 6.5 + 0.8);
    Felt(textures, Fmt("Stroked there and back, the silicone drags against the stroke with %.2f N; the smooth "
                       "plastic with %.2f N.",
                       dSilicone, std::fabs(dPlastic)));
    EXPECT_GT(dSilicone, 0.25);
    EXPECT_LT(std::fabs(dPlastic), 0.15);
  }
  {
    SCOPED_TRACE("dynamics");
    Rec free, p1, p2;
    ASSERT_TRUE(MeanOver(dynamics.gesture + 2.5, dynamics.gesture + 3.5, &free));
    ASSERT_TRUE(MeanOver(dynamics.gesture + 5.0, dynamics.gesture + 6.0, &p1));
    ASSERT_TRUE(MeanOver(dynamics.gesture + 7.5, dynamics.gesture + 8.5, &p2));
    const double f1 = p1.force.z - free.force.z, f2 = p2.force.z - free.force.z;
    Felt(dynamics, Fmt("The sheet dents under the sphere and pushes back harder the deeper it goes: %.2f N at 8 mm "
                       "into it, %.2f N at 18 mm.",
                       f1, f2));
    EXPECT_GT(f1, 0.2);
    EXPECT_GT(f2, f1 + 0.3);
  }
  WriteFelt("trion6.txt");
}

// ---- a polux.7: the gripper as the button, the demos' gripper forms ----

using polux::Finger;
using polux::kOpen;
using polux::kShut;
using polux::kThumb;
const double kPoluxR2 = polux::kR2;

TEST_F(HapticDemoTourFelt, Polux7GripperFormsOfReflexionsAndGrasp) {
  prefix_ = "polux7-";
  // the polux reaches 75 mm: the cursor crosses the window for 0.15 m
  metresPerWindow_ = 2.0 * 0.075;
  // reflexions: the finger's sphere swept along the rings' axis through the
  // outer ring's tube, the thumb's near the axis, out of reach
  const cVec axis(0.9848077530121095, 0.17364817766748877, 0);
  const cVec finger = Finger(0.6) + cVec(0.003, -0.022, -0.007);
  const cVec w = (finger - kThumb) * 2.0;
  const cVec radial = w - axis * Dot(w, axis);
  const cVec u = radial * (1.0 / radial.Length());
  auto ring = [&](double along) { return (u * 0.105 + axis * along) * 0.5 - finger; };
  const cVec beside = ring(0.1), touch = ring(0.03), through = ring(-0.05);
  // grasp: the thumb pressed onto the bubble alone, then the bubble squeezed
  // between thumb and finger by closing the gripper slowly
  const cVec bubble(0, 0.1 / 3, 0.1 / 3);
  const double reach = 0.068 / 3;
  const cVec above = cVec(0, 0, 0.03) + bubble - kThumb, press = bubble + cVec(0, 0, reach - 0.0035) - kThumb;
  const cVec pad(Finger(0.5) + cVec(0.003, -0.026, -0.007));
  const cVec n = (pad - kThumb) * (1.0 / (pad - kThumb).Length());
  const cVec squeeze = bubble - n * (reach - 0.0005) - kThumb, squeezeAbove = squeeze + cVec(0, 0, 0.03);
  const cVec aside(0.04, 0, 0), asideHigh(0.04, above.y, above.z);

  std::vector<Leg> legs;
  Script s;
  s.gripperButton = true, s.grip = kOpen, s.shut = kShut, s.r2 = kPoluxR2;
  auto build = [&](double t0) -> double {
    legs.clear();
    s.keys.clear();
    s.At(0, cVec());
    s.At(t0, cVec());
    double t = t0;
    auto leg = [&](int panel, const char *name, const char *title, double length, double shot) {
      legs.push_back({panel, name, title, t, t + 4.0, t + 4.0 + length, t + 4.0 + shot});
      s.Press(t, cVec(0, PanelY(panel), 0));
      const double g = t + 4.0;
      t = g + length + 3.5;
      return g;
    };
    double g = leg(0, "reflexions", "Reflexions, the finger's sphere", 12.0, 6.0);
    s.At(g + 1.0, beside);
    s.At(g + 2.5, beside);
    s.At(g + 3.5, touch);
    for (int i = 0; i < 2; ++i) {
      s.At(g + 5.5 + 4 * i, through);
      s.At(g + 7.5 + 4 * i, touch);
    }
    s.At(g + 12.0, beside);
    g = leg(2, "grasp", "Grasp, squeezed", 16.0, 11.0);
    s.At(g + 0.5, aside);
    s.At(g + 1.5, asideHigh);
    s.At(g + 2.5, above);
    s.At(g + 3.5, above);
    s.At(g + 5.0, press);
    s.At(g + 7.0, press);
    s.At(g + 8.0, above);
    s.At(g + 8.8, squeezeAbove);
    s.At(g + 9.6, squeeze);
    s.At(g + 10.5, squeeze);
    s.grip = 0.3 * 0.0525;
    s.At(g + 13.5, squeeze);
    s.grip = kShut;
    s.At(g + 14.5, squeeze);
    s.At(g + 16.0, squeeze);
    s.grip = kOpen;
    s.At(g + 16.5, squeeze);
    s.At(t, cVec());
    s.At(t + 5.0, cVec());
    WriteScript(s.keys);
    return legs[0].enter + 1.6;
  };
  ASSERT_NO_FATAL_FAILURE(
      StartTour(build, {"TKX_VIRTUAL_DEVICES=35", "TKX_VIRTUAL_HAND_STIFFNESS=2000"}, {10.0, 30.0}));
  ASSERT_NO_FATAL_FAILURE(Drive(legs, nullptr));

  {
    SCOPED_TRACE("reflexions");
    // while the finger's sphere sweeps through the ring, the ring holds it off the
    // hand's path and the push goes to the gripper's motor
    double peak = 0.0;
    int held = 0;
    for (const Rec &r : Between(legs[0].gesture + 3.5, legs[0].gesture + 11.5)) {
      if ((r.effector - r.hand).Length() < 0.0005) continue;
      ++held;
      peak = std::max(peak, r.gripperTorque);
    }
    Felt(legs[0], Fmt("Swept through the outer ring, the finger's sphere is held off the hand's path and the push "
                      "reaches the gripper: up to %.3f N m on its motor.",
                      peak));
    EXPECT_GT(held, 100);
    EXPECT_GT(peak, 0.005);
  }
  {
    SCOPED_TRACE("grasp");
    const Leg &grasp = legs[1];
    Rec free, pressed;
    ASSERT_TRUE(MeanOver(grasp.gesture + 2.8, grasp.gesture + 3.5, &free));
    ASSERT_TRUE(MeanOver(grasp.gesture + 5.5, grasp.gesture + 7.0, &pressed));
    double weakest = 1e9;
    for (const Rec &r : Between(grasp.gesture + 5.5, grasp.gesture + 7.0))
      weakest = std::min(weakest, r.force.z - free.force.z);
    double peak = 0.0;
    for (const Rec &r : Between(grasp.gesture + 10.5, grasp.gesture + 14.5)) peak = std::max(peak, r.gripperTorque);
    const std::vector<Rec> shut = Between(grasp.gesture + 15.0, grasp.gesture + 16.0);
    ASSERT_FALSE(shut.empty());
    double angle = 0.0, torque = 0.0;
    for (const Rec &r : shut) angle += r.gripper / shut.size(), torque += r.gripperTorque / shut.size();
    Felt(grasp, Fmt("The thumb alone presses the bubble with %.2f N and it holds; squeezed between thumb and finger "
                    "it pushes the finger open with up to %.3f N m, then pops: the gripper closes to %.3f rad.",
                    pressed.force.z - free.force.z, peak, angle));
    EXPECT_GT(weakest, 3.0) << "the thumb alone should give more than 3 N without a pop";
    EXPECT_GT(peak, 0.05);
    EXPECT_LT(angle, 0.05);
    EXPECT_LT(std::fabs(torque), 0.02);
  }
  WriteFelt("polux7.txt");
}

// ---- a Falcon: homed first, then the sheet and the textures ----

TEST_F(HapticDemoTourFelt, FalconHomedThenTheSheetAndTheTextures) {
  prefix_ = "falcon-";
  // the Falcon reaches 50 mm: the cursor crosses the window for 0.1 m
  metresPerWindow_ = 2.0 * 0.05;
  // dynamics: its scale is fixed, the places are the trion's
  const double dx = 0.05 / 6.5, dy = 0.07 / 6.5, dContact = 0.01 / 6.5;
  const cVec dAbove(dx, dy, 0.2 / 6.5), dPress1(dx, dy, dContact - 0.008), dPress2(dx, dy, dContact - 0.018);
  // textures: the workspace spans the Falcon's reach, a third of the trion's
  const cVec plastic(0, 0.02, 0.02), silicone(0, -0.02, -0.02);
  const double tDepth = -0.006, tLift = 0.006, tHalf = 0.007;

  std::vector<Leg> legs;
  Script s;
  auto build = [&](double t0) -> double {
    legs.clear();
    s.keys.clear();
    s.At(0, cVec());
    // pulled out through the homing position and back
    s.At(t0, cVec());
    s.At(t0 + 1.0, cVec(0.045, 0, 0));
    s.At(t0 + 2.0, cVec());
    double t = t0 + 2.5;
    auto leg = [&](int panel, const char *name, const char *title, double length, double shot) {
      legs.push_back({panel, name, title, t, t + 4.0, t + 4.0 + length, t + 4.0 + shot});
      s.Press(t, cVec(0, PanelY(panel), 0));
      const double g = t + 4.0;
      t = g + length + 3.5;
      return g;
    };
    double g = leg(6, "dynamics", "Dynamics", 10.0, 7.5);
    s.At(g + 0.5, cVec(0, PanelY(6), dAbove.z));
    s.At(g + 1.5, dAbove);
    s.At(g + 3.5, dAbove);
    s.At(g + 4.5, dPress1);
    s.At(g + 6.0, dPress1);
    s.At(g + 7.0, dPress2);
    s.At(g + 8.5, dPress2);
    s.At(g + 9.5, dAbove);
    s.At(g + 10.0, dAbove);
    g = leg(5, "textures", "Textures", 12.5, 11.0);
    double w = g + 0.5;
    for (const cVec &m : {plastic, silicone}) {
      s.At(w, cVec(tLift, m.y - tHalf, m.z));
      s.At(w + 0.8, cVec(tDepth, m.y - tHalf, m.z));
      s.At(w + 2.8, cVec(tDepth, m.y + tHalf, m.z));
      s.At(w + 4.8, cVec(tDepth, m.y - tHalf, m.z));
      s.At(w + 5.5, cVec(tLift, m.y - tHalf, m.z));
      w += 6.0;
    }
    s.At(t, cVec());
    s.At(t + 5.0, cVec());
    WriteScript(s.keys);
    return legs[0].enter + 1.6;
  };
  // the firmware's upload at each open makes the menu come later
  ASSERT_NO_FATAL_FAILURE(StartTour(build, {"TKX_VIRTUAL_DEVICES=60"}, {20.0, 40.0}));
  ASSERT_NO_FATAL_FAILURE(Drive(legs, nullptr));

  {
    SCOPED_TRACE("dynamics");
    const Leg &d = legs[0];
    Rec free, p1, p2;
    ASSERT_TRUE(MeanOver(d.gesture + 2.5, d.gesture + 3.5, &free));
    ASSERT_TRUE(MeanOver(d.gesture + 5.0, d.gesture + 6.0, &p1));
    ASSERT_TRUE(MeanOver(d.gesture + 7.5, d.gesture + 8.5, &p2));
    const double f1 = p1.force.z - free.force.z, f2 = p2.force.z - free.force.z;
    Felt(d, Fmt("Homed by pulling it out first; the sheet pushes back harder the deeper it goes: %.2f N at 8 mm, "
                "%.2f N at 18 mm.",
                f1, f2));
    EXPECT_GT(f1, 0.2);
    EXPECT_GT(f2, f1 + 0.3);
  }
  {
    SCOPED_TRACE("textures");
    const Leg &tx = legs[1];
    auto drag = [&](const cVec &m, double from) -> double {
      double sum[2] = {0, 0};
      int cnt[2] = {0, 0};
      const std::vector<Rec> rs = Between(from, from + 4.8);
      for (size_t i = 1; i < rs.size(); ++i) {
        const Rec &r = rs[i];
        if (std::fabs(r.hand.x - tDepth) > 2e-4 || std::fabs(r.hand.z - m.z) > 2e-4) continue;
        if (r.hand.y < m.y - tHalf + 0.0015 || r.hand.y > m.y + tHalf - 0.0015) continue;
        const int way = r.hand.y > rs[i - 1].hand.y ? 0 : 1;
        sum[way] += r.force.y, ++cnt[way];
      }
      if (cnt[0] == 0 || cnt[1] == 0) return NAN;
      return (sum[1] / cnt[1] - sum[0] / cnt[0]) / 2.0;
    };
    const double dPlastic = drag(plastic, tx.gesture + 1.3), dSilicone = drag(silicone, tx.gesture + 7.3);
    Felt(tx, Fmt("Stroked there and back, the silicone drags against the stroke with %.2f N; the smooth plastic "
                 "with %.2f N.",
                 dSilicone, std::fabs(dPlastic)));
    EXPECT_GT(dSilicone, 0.25);
    EXPECT_LT(std::fabs(dPlastic), 0.15);
  }
  WriteFelt("falcon.txt");
}

}  // namespace
