// The felt tour: one hand script takes a virtual device (a trion.6, then a polux.7
// and a Falcon) through the seven demos, entering each from the menu with the
// device's button, doing its characteristic gesture, and leaving with Escape. The per-exchange trace
// (TKX_VIRTUAL_TRACE) gives one measured fact per demo. Every demo leaves a screenshot at its telling moment, its
// stretch of the trace (decimated) and a line on what is felt in the output folder: TKX_TOUR_OUT, or the test's
// artefacts. scripts/demo --tour runs this binary and draws the plots and the page from that folder.
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

// ---- the places of the tool-driven demos, on a trion's reach; a device that
// reaches k times as far finds them at k times the distance ----

// nano: the relief turned 40 degrees about y, halved into the device
const double kC40 = std::cos(0.6981317008), kS40 = std::sin(0.6981317008);
const cVec kNanoUp(kC40, 0, kS40), kNanoAlong(-kS40, 0, kC40);
cVec NanoAt(double h, double y, double z, double k) {
  return (kNanoUp * h + cVec(0, y, 0) + kNanoAlong * z) * (0.5 * k);
}
const double kNanoRow = 0.4 * 4.0 / 127.0, kNanoLevel = 0.018;
// audio: the tool in the record's tilted scene
cVec RecordAt(double x, double y, double z, double k) { return cVec((x + 0.1) / 2.0, y / 2.0, z / 2.0) * k; }

// where the press that opens a panel puts the hand in depth: the audio demo's tool
// comes in above the record when pressed a little high, the nano demo's in front
// of the relief when pressed nearer the user
cVec PressAt(int panel, double y, double k) {
  return cVec(panel == 1 ? 0.05 * k : 0.0, y, panel == 3 ? 0.02 * k : 0.0);
}

// above the row, down to a level between atoms' tops and the ground, stroke along
// it, lift (9 s)
void NanoGesture(Script &s, double g, double k) {
  s.At(g + 1.0, NanoAt(0.07, -0.15, kNanoRow, k));
  s.At(g + 2.0, NanoAt(0.07, -0.15, kNanoRow, k));
  s.At(g + 3.0, NanoAt(kNanoLevel, -0.15, kNanoRow, k));
  s.At(g + 7.5, NanoAt(kNanoLevel, 0.15, kNanoRow, k));
  s.At(g + 8.5, NanoAt(0.07, 0.15, kNanoRow, k));
  s.At(g + 9.0, NanoAt(0.07, 0.15, kNanoRow, k));
}

// above the record, pressed in, rubbed along it, lifted away (10 s)
void AudioGesture(Script &s, double g, double k) {
  const cVec above = RecordAt(-0.03, 0.08, 0.04, k), in = RecordAt(-0.03, 0.08, 0.009, k);
  s.At(g + 1.0, above);
  s.At(g + 2.0, above);
  s.At(g + 3.0, in);
  s.At(g + 4.0, in);
  s.At(g + 6.0, RecordAt(0.05, 0.08, 0.009, k));
  s.At(g + 6.8, RecordAt(0.05, 0.08, 0.07, k));
  s.At(g + 10.0, RecordAt(0.05, 0.08, 0.07, k));
}

// the plastic tile stroked there and back at one depth, then the silicone (12.5 s)
void TexturesGesture(Script &s, double g, const cVec &plastic, const cVec &silicone, double depth, double lift,
                     double half) {
  double w = g + 0.5;
  for (const cVec &m : {plastic, silicone}) {
    s.At(w, cVec(lift, m.y - half, m.z));
    s.At(w + 0.8, cVec(depth, m.y - half, m.z));
    s.At(w + 2.8, cVec(depth, m.y + half, m.z));
    s.At(w + 4.8, cVec(depth, m.y - half, m.z));
    s.At(w + 5.5, cVec(lift, m.y - half, m.z));
    w += 6.0;
  }
}

// up first, over the sheet's middle (whose scale is fixed), pressed to two
// depths, released (10 s); contact begins near z = 0.0015
void DynamicsGesture(Script &s, double g, double panelY) {
  const double dx = 0.05 / 6.5, dy = 0.07 / 6.5, dContact = 0.01 / 6.5;
  const cVec above(dx, dy, 0.2 / 6.5), press1(dx, dy, dContact - 0.008), press2(dx, dy, dContact - 0.018);
  s.At(g + 0.5, cVec(0, panelY, above.z));
  s.At(g + 1.5, above);
  s.At(g + 3.5, above);
  s.At(g + 4.5, press1);
  s.At(g + 6.0, press1);
  s.At(g + 7.0, press2);
  s.At(g + 8.5, press2);
  s.At(g + 9.5, above);
  s.At(g + 10.0, above);
}

// from beside the rings (whose scale is fixed) a quick flick onto the rings' face
// at `flick`, and away, which leaves the rings
// turning on; the same flick stopping short of the rings at x = `near`, which
// swings the bar alike and turns nothing; then onto the inner ring's face at
// `push` slowly, held there, and back (12 s)
void ReflexionsGesture(Script &s, double g, const cVec &beside, const cVec &flick, const cVec &push, double near,
                       double panelY) {
  s.At(g, cVec(beside.x, panelY, 0));
  s.At(g + 1.0, beside);
  s.At(g + 3.0, beside);
  s.At(g + 3.3, flick);
  s.At(g + 3.6, beside);
  s.At(g + 4.7, beside);
  s.At(g + 5.0, cVec(near, flick.y, flick.z));
  s.At(g + 5.3, beside);
  s.At(g + 6.5, beside);
  s.At(g + 8.0, push);
  s.At(g + 10.0, push);
  s.At(g + 10.5, beside);
  s.At(g + 12.0, beside);
}

// a cusp of the tooth pressed, then the tooth taken with the button and carried (11 s)
void ContactGesture(Script &s, double g, double k) {
  const cVec above = cVec(0.0104, 0.0095, 0.08) * k, free = cVec(0.0104, 0.0095, 0.062) * k;
  const cVec press = cVec(0.0104, 0.0095, 0.045) * k;
  const cVec grab = cVec(0, 0, 0.075) * k, carried = cVec(0, 0.05, 0.095) * k;
  s.At(g + 1.0, above);
  s.At(g + 2.0, free);
  s.At(g + 3.0, free);
  s.At(g + 4.0, press);
  s.At(g + 5.5, press);
  s.At(g + 6.5, grab);
  s.At(g + 7.0, grab);
  s.At(g + 7.1, grab, 1);
  s.At(g + 7.5, grab, 1);
  s.At(g + 9.5, carried, 1);
  s.At(g + 10.6, carried, 1);
  s.At(g + 10.7, carried, 0);
}

// the rings' middle seen at the moments of the reflexions gesture
struct RingsSeen {
  std::vector<int> before, after, coastA, coastB, flicked, aloneA, aloneB;
};

// and the record's, twice after the lift
struct Seen {
  RingsSeen rings;
  std::vector<int> recordA, recordB;
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

  // the push out of the relief varies along the stroke
  void CheckNano(const Leg &leg) {
    SCOPED_TRACE("nano");
    const std::vector<Rec> stroke = Between(leg.gesture + 3.3, leg.gesture + 7.3);
    ASSERT_GT(stroke.size(), 100u);
    double lo = 1e9, hi = -1e9;
    for (const Rec &r : stroke) {
      const double f = Dot(r.force, kNanoUp);
      lo = std::min(lo, f), hi = std::max(hi, f);
    }
    Felt(leg, Fmt("Stroked along a row of atoms at one depth, the push out of the surface varies by %.2f N: "
                  "each atom lifts the tool, the ground between them lets it sink.",
                  hi - lo));
    EXPECT_GT(hi - lo, 0.3);
  }

  // the record holds the tool up while pressed, lets it go when lifted, and the
  // two screens taken after the lift differ
  void CheckAudio(const Leg &leg, const std::vector<int> &recordA, const std::vector<int> &recordB) {
    SCOPED_TRACE("audio");
    Rec pressed, lifted;
    ASSERT_TRUE(MeanOver(leg.gesture + 3.2, leg.gesture + 4.0, &pressed));
    ASSERT_TRUE(MeanOver(leg.gesture + 8.0, leg.end, &lifted));
    const double turning = Changed(recordA, recordB);
    Felt(leg, Fmt("Pressed straight in, the record holds the tool %.1f mm above the hand and stays still; rubbed "
                  "along, it turns, and lifted clear it keeps turning (%.1f%% of the view changed in 0.3 s).",
                  1000.0 * (pressed.effector.z - pressed.hand.z), 100.0 * turning));
    EXPECT_GT(pressed.effector.z - pressed.hand.z, 0.0005);
    EXPECT_LT((lifted.effector - lifted.hand).Length(), 0.0005);
    EXPECT_GT(turning, 0.002) << "the record stood still after the hand lifted";
  }

  // pressed into a cusp, the tooth pushes back; carried, it touches nothing
  void CheckContact(const Leg &leg, double gap, double least) {
    SCOPED_TRACE("contact");
    Rec free, press, carried;
    ASSERT_TRUE(MeanOver(leg.gesture + 2.3, leg.gesture + 3.0, &free));
    ASSERT_TRUE(MeanOver(leg.gesture + 4.5, leg.gesture + 5.5, &press));
    ASSERT_TRUE(MeanOver(leg.gesture + 10.0, leg.end, &carried));
    const double back = press.force.z - free.force.z;
    Felt(leg, Fmt("Pressed into a cusp, the tooth holds the burr %.1f mm above the hand and pushes back with "
                  "%.2f N; taken on the tool with the button, it is carried without contact force.",
                  1000.0 * (press.effector.z - press.hand.z), back));
    EXPECT_GT(press.effector.z - press.hand.z, gap);
    EXPECT_GT(back, least);
    EXPECT_LT((carried.effector - carried.hand).Length(), 0.001);
  }

  // flicked, the rings turn on after the bar has left, more than the bar's own
  // swing shows; pushed onto the inner ring, the bar is held back and the rings
  // turn: the screens before and after differ
  void CheckReflexions(const Leg &leg, const RingsSeen &seen, double gap, double least) {
    SCOPED_TRACE("reflexions");
    Rec free, push;
    ASSERT_TRUE(MeanOver(leg.gesture + 1.5, leg.gesture + 3.0, &free));
    ASSERT_TRUE(MeanOver(leg.gesture + 8.5, leg.gesture + 10.0, &push));
    const double back = push.force.x - free.force.x;
    // turned by the flick or by the push (a push along the axis may turn them
    // back towards where they were)
    const double turned = std::max(Changed(seen.before, seen.flicked), Changed(seen.before, seen.after));
    const double coasting = Changed(seen.coastA, seen.coastB), alone = Changed(seen.aloneA, seen.aloneB);
    Felt(leg, Fmt("Flicked, the rings keep turning after the bar has left (%.1f%% of the view changed in the next "
                  "moments); pushed onto the inner ring's face, the bar is held back with %.2f N; %.0f%% of the view "
                  "changed as the rings turned.",
                  100.0 * coasting, back, 100.0 * turned));
    std::printf("reflexions: %.2f%% of the view changed while coasting, %.2f%% with the bar alone moving\n",
                100.0 * coasting, 100.0 * alone);
    EXPECT_GT(push.effector.x - push.hand.x, gap);
    EXPECT_GT(back, least);
    EXPECT_GT(turned, 0.01) << "the rings did not turn";
    EXPECT_GT(coasting, 0.005) << "the rings stopped with the push";
    // the bar still swings after a flick: what the rings add must stand out
    EXPECT_LT(alone, coasting / 3.0) << "the view changes as much with the rings at rest";
  }

  // the bubble pushes back along `out` while pressed (from gesture + 5 s), then
  // pops: the force drops at once, before the press ends at gesture + 9.5 s
  void CheckGrasp(const Leg &leg, const cVec &out, const char *way) {
    SCOPED_TRACE("grasp");
    Rec free;
    ASSERT_TRUE(MeanOver(leg.gesture + 4.0, leg.gesture + 5.0, &free));
    const std::vector<Rec> press = Between(leg.gesture + 5.0, leg.end);
    ASSERT_GT(press.size(), 100u);
    size_t peak = 0;
    for (size_t i = 0; i < press.size(); ++i)
      if (Dot(press[i].force, out) > Dot(press[peak].force, out)) peak = i;
    const double top = Dot(press[peak].force - free.force, out);
    // the first moments after the pop, along the push: on a Falcon the gravity
    // compensation alone changes the force by half a newton as the effector,
    // let go, swings on
    Rec after;
    ASSERT_TRUE(MeanOver(press[peak].t + 0.005, press[peak].t + 0.05, &after));
    const double rest = Dot(after.force - free.force, out);
    Felt(leg, "Pressed " + std::string(way) +
                  Fmt(", the water bubble pushes back up to %.2f N and pops: the force drops to %.2f N at once, %.1f s "
                      "into the press.",
                      top, rest, press[peak].t - (leg.gesture + 5.0)));
    EXPECT_GT(top, 3.0);
    EXPECT_LT(rest, 0.5);
    EXPECT_LT(press[peak].t, leg.gesture + 9.5) << "the bubble did not pop before the press ended";
  }

  // the sideways force against the stroke, there and back, on each tile's middle:
  // the silicone drags, the plastic does not. What the position alone adds to the
  // motors is the same both ways and drops out.
  void CheckTextures(const Leg &leg, const cVec &plastic, const cVec &silicone, double depth, double half,
                     double margin) {
    SCOPED_TRACE("textures");
    auto drag = [&](const cVec &m, double from) -> double {
      double sum[2] = {0, 0};
      int n[2] = {0, 0};
      const std::vector<Rec> rs = Between(from, from + 4.8);
      for (size_t i = 1; i < rs.size(); ++i) {
        const Rec &r = rs[i];
        if (std::fabs(r.hand.x - depth) > 2e-4 || std::fabs(r.hand.z - m.z) > 2e-4) continue;
        if (r.hand.y < m.y - half + margin || r.hand.y > m.y + half - margin) continue;
        const int way = r.hand.y > rs[i - 1].hand.y ? 0 : 1;
        sum[way] += r.force.y, ++n[way];
      }
      if (n[0] == 0 || n[1] == 0) return NAN;
      return (sum[1] / n[1] - sum[0] / n[0]) / 2.0;
    };
    const double dPlastic = drag(plastic, leg.gesture + 1.3), dSilicone = drag(silicone, leg.gesture + 7.3);
    Felt(leg, Fmt("Stroked there and back, the silicone drags against the stroke with %.2f N; the smooth plastic "
                  "with %.2f N.",
                  dSilicone, std::fabs(dPlastic)));
    EXPECT_GT(dSilicone, 0.25);
    EXPECT_LT(std::fabs(dPlastic), 0.15);
  }

  // the sheet pushes back harder at 18 mm than at 8 mm
  void CheckDynamics(const Leg &leg, const char *first) {
    SCOPED_TRACE("dynamics");
    Rec free, p1, p2;
    ASSERT_TRUE(MeanOver(leg.gesture + 2.5, leg.gesture + 3.5, &free));
    ASSERT_TRUE(MeanOver(leg.gesture + 5.0, leg.gesture + 6.0, &p1));
    ASSERT_TRUE(MeanOver(leg.gesture + 7.5, leg.gesture + 8.5, &p2));
    const double f1 = p1.force.z - free.force.z, f2 = p2.force.z - free.force.z;
    const std::string said =
        Fmt("the sheet dents under the sphere and pushes back harder the deeper it goes: %.2f N "
            "at 8 mm into it, %.2f N at 18 mm.",
            f1, f2);
    Felt(leg, *first != '\0' ? first + said : "The" + said.substr(3));
    EXPECT_GT(f1, 0.2);
    EXPECT_GT(f2, f1 + 0.3);
  }

  // the rings' middle before the gesture and after it, and at the same moments
  // after the flick onto the rings and after the flick short of them
  void WatchRings(const Leg &leg, RingsSeen *seen) {
    auto grid = [&](double t, std::vector<int> *out) {
      ASSERT_TRUE(WaitScript(t, 30.0));
      Screenshot();
      *out = Middle();
    };
    ASSERT_NO_FATAL_FAILURE(grid(leg.gesture + 2.5, &seen->before));
    ASSERT_NO_FATAL_FAILURE(grid(leg.gesture + 3.65, &seen->coastA));
    ASSERT_NO_FATAL_FAILURE(grid(leg.gesture + 3.95, &seen->coastB));
    ASSERT_NO_FATAL_FAILURE(grid(leg.gesture + 4.5, &seen->flicked));
    ASSERT_NO_FATAL_FAILURE(grid(leg.gesture + 5.35, &seen->aloneA));
    ASSERT_NO_FATAL_FAILURE(grid(leg.gesture + 5.65, &seen->aloneB));
    ASSERT_NO_FATAL_FAILURE(grid(leg.gesture + 11.2, &seen->after));
  }

  // the record's middle, twice after the lift
  void WatchRecord(const Leg &leg, std::vector<int> *a, std::vector<int> *b) {
    ASSERT_TRUE(WaitScript(leg.gesture + 9.0, 30.0));
    Screenshot();
    *a = Middle();
    Sleep(0.3);
    Screenshot();
    *b = Middle();
  }

  // Drive, watching the rings (when `rings`) and the record on the screen
  void DriveWatching(const std::vector<Leg> &legs, Seen *seen, bool rings) {
    Drive(legs, [&](const Leg &leg) {
      if (leg.panel == 0 && rings) {
        ASSERT_NO_FATAL_FAILURE(WatchRings(leg, &seen->rings));
      }
      if (leg.panel == 3) {
        ASSERT_NO_FATAL_FAILURE(WatchRecord(leg, &seen->recordA, &seen->recordB));
      }
    });
  }

  std::string prefix_;
  std::string out_, trace_, felt_;
  std::vector<Rec> recs_;
  std::vector<std::string> lostLines_;
};

TEST_F(HapticDemoTourFelt, Trion6SevenDemosEachFeltAsItShouldBe) {
  // --- where things are, in device metres (see the single demos' tests) ---
  // reflexions: beside the rings, and on the inner ring's face along their axis,
  // 10 degrees off x
  const cVec ringsBeside(0.08, 0, 0), ringsPush(0.0075 * 0.9848077530121095, 0.0075 * 0.17364817766748877, 0);
  // grasp: the bubble's top, entered from the side away from it
  const double bc = 0.1 / 3.0, btop = bc + 0.062 / 3.0;
  const cVec bLow(0, bc, 0), bSide(0.03, bc, 0), bSideUp(0.03, bc, btop + 0.016), bAbove(0, bc, btop + 0.016);
  const cVec bPopped(0, bc, btop - 0.03);
  // textures: the plastic (upper right) and silicone (lower left) tiles' middles
  const cVec plastic(0, 0.06, 0.06), silicone(0, -0.06, -0.06);
  const double tDepth = -0.006, tLift = 0.015, tHalf = 0.02;

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
      s.Press(t, PressAt(panel, PanelY(panel), 1.0));
      const double g = t + 4.0;
      t = g + length + 3.5;
      return g;
    };
    // reflexions: flicked, then pushed onto the inner face
    double g = leg(0, "reflexions", "Reflexions", 12.0, 11.5);
    ReflexionsGesture(s, g, ringsBeside, ringsPush, ringsPush, 0.035, PanelY(0));
    NanoGesture(s, leg(1, "nano", "Nano", 9.0, 5.0), 1.0);
    // grasp: round the bubble, above it, press down slowly until it pops
    g = leg(2, "grasp", "Grasp", 11.0, 8.0);
    s.At(g + 1.0, bLow);
    s.At(g + 1.8, bSide);
    s.At(g + 3.0, bSideUp);
    s.At(g + 3.8, bAbove);
    s.At(g + 5.0, bAbove);
    s.At(g + 9.5, bPopped);
    s.At(g + 11.0, bPopped);
    AudioGesture(s, leg(3, "audio", "Audio", 10.0, 9.5), 1.0);
    ContactGesture(s, leg(4, "contact", "Contact", 11.0, 5.0), 1.0);
    TexturesGesture(s, leg(5, "textures", "Textures", 12.5, 11.0), plastic, silicone, tDepth, tLift, tHalf);
    DynamicsGesture(s, leg(6, "dynamics", "Dynamics", 10.0, 7.5), PanelY(6));
    // back to the middle of the menu
    s.At(t, cVec());
    s.At(t + 5.0, cVec());
    WriteScript(s.keys);
    return legs[0].enter + 1.6;
  };
  ASSERT_NO_FATAL_FAILURE(StartTour(build, {"TKX_VIRTUAL_DEVICES=61"}, {10.0, 30.0}));

  Seen seen;
  ASSERT_NO_FATAL_FAILURE(DriveWatching(legs, &seen, true));

  // --- what was felt ---
  const Leg &rings = legs[0], &nanoLeg = legs[1], &grasp = legs[2], &audio = legs[3], &contact = legs[4],
            &textures = legs[5], &dynamics = legs[6];
  CheckReflexions(rings, seen.rings, 0.002, 0.5);
  CheckNano(nanoLeg);
  CheckGrasp(grasp, cVec(0, 0, 1), "down");
  CheckAudio(audio, seen.recordA, seen.recordB);
  CheckContact(contact, 0.002, 0.5);
  CheckTextures(textures, plastic, silicone, tDepth, tHalf, 0.004);
  CheckDynamics(dynamics, "");
  WriteFelt("trion6.txt");
}

// ---- a polux.7: the gripper as the button, the demos' gripper forms first ----

using polux::Finger;
using polux::kOpen;
using polux::kShut;
using polux::kThumb;
const double kPoluxR2 = polux::kR2;

TEST_F(HapticDemoTourFelt, Polux7SevenDemosTheGripperAsTheButton) {
  prefix_ = "polux7-";
  // the polux reaches 75 mm: the cursor crosses the window for 0.15 m
  metresPerWindow_ = 2.0 * 0.075;
  // the tool-driven demos map its reach where the trion's goes
  const double kPolux = 0.5;
  const cVec plastic(0, 0.03, 0.03), silicone(0, -0.03, -0.03);
  // its stiffer hand presses the tiles harder: half the depth
  const double tDepth = -0.003, tLift = 0.0075, tHalf = 0.01;
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
      s.Press(t, PressAt(panel, PanelY(panel), kPolux));
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
    NanoGesture(s, leg(1, "nano", "Nano", 9.0, 5.0), kPolux);
    AudioGesture(s, leg(3, "audio", "Audio", 10.0, 9.5), kPolux);
    ContactGesture(s, leg(4, "contact", "Contact, the tooth taken by closing the gripper", 11.0, 5.0), kPolux);
    TexturesGesture(s, leg(5, "textures", "Textures", 12.5, 11.0), plastic, silicone, tDepth, tLift, tHalf);
    DynamicsGesture(s, leg(6, "dynamics", "Dynamics", 10.0, 7.5), PanelY(6));
    s.At(t, cVec());
    s.At(t + 5.0, cVec());
    WriteScript(s.keys);
    return legs[0].enter + 1.6;
  };
  ASSERT_NO_FATAL_FAILURE(
      StartTour(build, {"TKX_VIRTUAL_DEVICES=35", "TKX_VIRTUAL_HAND_STIFFNESS=2000"}, {10.0, 30.0}));
  // the gripper form of the rings is judged by its motor, not on the screen
  Seen seen;
  ASSERT_NO_FATAL_FAILURE(DriveWatching(legs, &seen, false));

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
  CheckNano(legs[2]);
  CheckAudio(legs[3], seen.recordA, seen.recordB);
  CheckContact(legs[4], 0.001, 0.3);
  CheckTextures(legs[5], plastic, silicone, tDepth, tHalf, 0.002);
  CheckDynamics(legs[6], "");
  WriteFelt("polux7.txt");
}

// ---- a Falcon: homed first, then the seven demos ----

TEST_F(HapticDemoTourFelt, FalconHomedThenSevenDemos) {
  prefix_ = "falcon-";
  // the tool-driven demos map the Falcon's reach where the trion's goes
  const double kFalcon = 1.0 / 3.0;
  // the Falcon reaches 50 mm: the cursor crosses the window for 0.1 m
  metresPerWindow_ = 2.0 * 0.05;
  // textures: the workspace spans the Falcon's reach, a third of the trion's
  const cVec plastic(0, 0.02, 0.02), silicone(0, -0.02, -0.02);
  const double tDepth = -0.006, tLift = 0.006, tHalf = 0.007;
  // grasp: its scale is fixed; beside the bubble, away from the other shapes
  const double bc = 0.1 / 3.0;
  const cVec bAside(0.035, 0, 0), bBeside(0.035, bc, bc), bPopped(-0.01, bc, bc);
  // reflexions: beside the rings within the Falcon's reach; flicked off their
  // axis, where one sphere meets the rings and turns them (on the axis the two
  // spheres' pushes nearly cancel, and the Falcon's gentler flick hardly turns
  // them), and pushed on the inner ring's face along the axis
  const cVec ringsBeside(0.045, 0.02, 0), ringsFlick(0.0075, 0.02, 0);
  const cVec ringsPush(0.0075 * 0.9848077530121095, 0.0075 * 0.17364817766748877, 0);

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
      // the bar would open inside the outer ring's tube: the rings' press
      // is made beside them
      s.Press(t, panel == 0 ? cVec(ringsBeside.x, PanelY(0), 0) : PressAt(panel, PanelY(panel), kFalcon));
      const double g = t + 4.0;
      t = g + length + 3.5;
      return g;
    };
    DynamicsGesture(s, leg(6, "dynamics", "Dynamics", 10.0, 7.5), PanelY(6));
    TexturesGesture(s, leg(5, "textures", "Textures", 12.5, 11.0), plastic, silicone, tDepth, tLift, tHalf);
    ContactGesture(s, leg(4, "contact", "Contact", 11.0, 5.0), kFalcon);
    AudioGesture(s, leg(3, "audio", "Audio", 10.0, 9.5), kFalcon);
    NanoGesture(s, leg(1, "nano", "Nano", 9.0, 5.0), kFalcon);
    // grasp: the bubble's top is beyond the Falcon's reach; pressed from the side
    const double g = leg(2, "grasp", "Grasp", 11.0, 8.0);
    s.At(g + 1.0, bAside);
    s.At(g + 2.5, bBeside);
    s.At(g + 5.0, bBeside);
    s.At(g + 9.5, bPopped);
    s.At(g + 11.0, bPopped);
    ReflexionsGesture(s, leg(0, "reflexions", "Reflexions", 12.0, 11.5), ringsBeside, ringsFlick, ringsPush, 0.03,
                      PanelY(0));
    s.At(t, cVec());
    s.At(t + 5.0, cVec());
    WriteScript(s.keys);
    return legs[0].enter + 1.6;
  };
  // the firmware's upload at each open makes the menu come later
  ASSERT_NO_FATAL_FAILURE(StartTour(build, {"TKX_VIRTUAL_DEVICES=60"}, {20.0, 40.0}));
  Seen seen;
  ASSERT_NO_FATAL_FAILURE(DriveWatching(legs, &seen, true));

  CheckDynamics(legs[0], "Homed by pulling it out first; ");
  CheckTextures(legs[1], plastic, silicone, tDepth, tHalf, 0.0015);
  CheckContact(legs[2], 0.001, 0.15);
  CheckAudio(legs[3], seen.recordA, seen.recordB);
  CheckNano(legs[4]);
  CheckGrasp(legs[5], cVec(1, 0, 0), "from the side");
  CheckReflexions(legs[6], seen.rings, 0.001, 0.2);
  WriteFelt("falcon.txt");
}

}  // namespace
