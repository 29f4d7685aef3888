// The program shell without a window: the scene built by init, the display tick
// stepped by hand, the input callbacks called directly, and the three threads run
// for real. Runs from the repository root (./resources). No device is attached:
// tests that need the device-present paths set deviceType themselves.
#include "demo/CDemo.h"
#include "demo/CPanel.h"
#include "demo/shell.h"
#include "scene/graph/CBitmap.h"
#include "scene/graph/CCamera.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CVertex.h"
#include "scene/tools/CGenericDevice.h"
#include "scene/tools/CMeta3dofPointer.h"

#include <GL/glut.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// what the shell asked for when it meant to end the process
std::atomic<int> exitCalls{0};
std::atomic<int> exitStatus{-1000};
void RecordExit(int status) {
  exitStatus = status;
  ++exitCalls;
}

// a demo that counts the shell's calls; it drives the device and steps with the
// display as the real demo of its panel does
std::atomic<int> demosDestroyed{0};

struct RecordingDemo : cDemo {
  ~RecordingDemo() override { ++demosDestroyed; }
  int setupResult = 0;
  bool drives = false, stepsOnTick = false;
  int resets = 0, closes = 0, exits = 0, dynamics = 0;
  std::atomic<int> updates{0};
  std::atomic<int> updatesOutsideRun{0};
  int setup(int) override { return setupResult; }
  void reset(int) override { ++resets; }
  void close(int) override { ++closes; }
  void exit(int) override { ++exits; }
  void update(int) override {
    ++updates;
    // a step that saw the demo running may still be running when Escape has
    // moved on to covering it
    const cTransition t = shell.shared.transition;
    if (t != cTransition::demoRunning && t != cTransition::leaveDemo && t != cTransition::coverDemo)
      ++updatesOutsideRun;
    // a demo that drives the device commands a force of its own
    if (drives && m_tool != nullptr && m_tool->getDevice() != nullptr) {
      double force[4] = {1.0, 2.0, 3.0, 0.5};
      m_tool->getDevice()->command(CMD_SET_FORCE_AND_GRIPPER_FORCE, force);
    }
  }
  void updateDynamics(int) override { ++dynamics; }
  bool drivesDevice() const override { return drives; }
  bool stepsOnDisplayTick() const override { return stepsOnTick; }
};

// a device that keeps the last force and gripper force commanded, from any thread;
// it answers no reading
struct ForceRecordingDevice : cGenericDevice {
  std::atomic<double> force[4] = {0.0, 0.0, 0.0, 0.0};
  std::atomic<int> sends{0};
  ForceRecordingDevice() {
    m_present = true;
    m_opened = true;
  }
  int command(int code, void *data) override {
    if (code != CMD_SET_FORCE_AND_GRIPPER_FORCE) return -2;
    for (int i = 0; i < 4; ++i) force[i] = static_cast<const double *>(data)[i];
    ++sends;
    return 0;
  }
  bool Zero() const { return force[0] == 0.0 && force[1] == 0.0 && force[2] == 0.0 && force[3] == 0.0; }
};

// the program's own factory, before the fixture replaces it
std::unique_ptr<cDemo> (*const plainFactory)(int, int) = demoFactory;

RecordingDemo *recorded[7];
int failingIndex = -1;
std::unique_ptr<cDemo> RecordingFactory(int index, int) {
  auto d = std::make_unique<RecordingDemo>();
  if (index == failingIndex) d->setupResult = -1;
  d->drives = index == 0 || index == 2 || index == 6;
  d->stepsOnTick = index == 6;
  recorded[index] = d.get();
  return d;
}

bool InWorld(cGenericObject *object) {
  for (unsigned int i = 0; i < shell.scene.world->getNumChildren(); ++i) {
    if (shell.scene.world->getChild(i) == object) return true;
  }
  return false;
}

bool InFrontOverlay(cGenericObject *object) {
  for (unsigned int i = 0; i < shell.scene.camera->m_frontOverlay.getNumChildren(); ++i) {
    if (shell.scene.camera->m_frontOverlay.getChild(i) == object) return true;
  }
  return false;
}

int Highlighted() {
  int found = -1, count = 0;
  for (int k = 0; k < 7; ++k) {
    if (menuPanels[k]->m_highlighted) {
      found = k;
      ++count;
    }
  }
  return count > 1 ? -2 : found;
}

class DemoShell : public ::testing::Test {
 protected:
  void SetUp() override {
    shellExit = RecordExit;
    demoFactory = RecordingFactory;
    ForgetEarlierRuns();
    ASSERT_EQ(init(), 0);
    // a 1280 x 800 window: hover columns of 160 pixels centred on x = 640
    shell.shared.width = 1280;
    shell.shared.height = 800;
  }

  // the state init leaves alone goes back to its start, so the tests also pass
  // when they share one process (init releases the scene and demos of an
  // earlier test)
  static void ForgetEarlierRuns() {
    exitCalls = 0;
    exitStatus = -1000;
    failingIndex = -1;
    shell.gui.startUp = cStartUpPhase::uncoverMessage;
    shell.gui.initCompleted = false;
    shell.gui.panelsReady = false;
    shell.shared.demosLoaded = false;
    shell.gui.timerUpdate = 0;
    shell.gui.hapticCursorLastPos.zero();
    shell.gui.hapticCursorSwitchLast = false;
    shell.shared.requestZeroForce = false;
    for (cPanel *p : {&panel0, &panel1, &panel2, &panel3, &panel4, &panel5, &panel6, &panelL, &panelR}) *p = cPanel();
  }

  // the state a device-present start reaches once its threads run, without them
  void PretendRunning() {
    shell.deviceType = 61;
    shell.deviceMode = 6;
    shell.shared.flagHasExitedSimulation = false;
    shell.shared.flagSimulationOn = true;
  }

  void LoadDemosHere() {
    initDemos(nullptr);
    ASSERT_TRUE(shell.shared.demosLoaded);
  }

  // ticks until pred holds; the number of ticks taken, or -1 after limit
  template <typename Pred>
  int TickUntil(Pred pred, int limit = 1000) {
    for (int n = 1; n <= limit; ++n) {
      shellTick();
      if (pred()) return n;
    }
    return -1;
  }

  // start-up over, menu fully shown
  void ReachMenu() {
    PretendRunning();
    LoadDemosHere();
    ASSERT_GT(TickUntil([] { return shell.gui.initCompleted; }), 0);
    ASSERT_GT(TickUntil([] { return shell.shared.transition == cTransition::menu; }), 0);
  }

  // the first five motions are ignored
  void SpendIgnoredMotions() {
    for (int i = 0; i < 5; ++i) mouseMove(640, 400);
  }

  void HoverPanel(int k) { mouseMove(640 + (k - 3) * 160, 400); }
};

// ---- panels ----

TEST(DemoPanel, HighlightedTurnsToHalfRevolutionOnTick23AndHolds16) {
  cPanel p;
  p.m_highlighted = true;
  for (int tick = 1; tick <= 22; ++tick) {
    p.update();
    EXPECT_DOUBLE_EQ(p.m_angle, 8.0 * tick);
  }
  p.update();
  EXPECT_DOUBLE_EQ(p.m_angle, 180.0);
  EXPECT_EQ(p.m_holdTicks, 16);
  for (int tick = 0; tick < 16; ++tick) {
    p.update();
    EXPECT_DOUBLE_EQ(p.m_angle, 180.0);
  }
  EXPECT_EQ(p.m_holdTicks, 0);
  // still highlighted: pushed past 180 and clamped again, with a new hold
  p.update();
  EXPECT_DOUBLE_EQ(p.m_angle, 180.0);
  EXPECT_EQ(p.m_holdTicks, 16);
}

TEST(DemoPanel, TurnsBackAtFiveDegreesAndStopsAtZero) {
  cPanel p;
  p.m_highlighted = true;
  p.update();
  EXPECT_DOUBLE_EQ(p.m_angle, 8.0);
  p.m_highlighted = false;
  p.update();
  EXPECT_DOUBLE_EQ(p.m_angle, 3.0);
  p.update();
  EXPECT_DOUBLE_EQ(p.m_angle, 0.0);
  p.update();
  EXPECT_DOUBLE_EQ(p.m_angle, 0.0);
}

TEST(DemoPanel, RotationResetGivesEightDegreesToAStillHighlightedPanel) {
  cPanel turned, held, idle;
  turned.m_highlighted = true;
  turned.m_angle = 96.0;
  turned.resetRotation();
  EXPECT_DOUBLE_EQ(turned.m_angle, 8.0);

  held.m_highlighted = true;
  held.m_angle = 180.0;
  held.m_holdTicks = 5;
  held.resetRotation();
  EXPECT_DOUBLE_EQ(held.m_angle, 0.0);
  EXPECT_EQ(held.m_holdTicks, 4);

  idle.m_angle = 40.0;
  idle.resetRotation();
  EXPECT_DOUBLE_EQ(idle.m_angle, 0.0);
}

TEST_F(DemoShell, PanelsSitSideBySideAndShowTheirColumnOfTheStrips) {
  for (int i = 0; i < 7; ++i) {
    cMesh *mesh = menuPanels[i]->m_mesh;
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->getParent(), shell.scene.rootPanels.get());
    EXPECT_NEAR(mesh->getPos().y, 0.08 * i - 0.24, 1e-12);
    cMesh *front = static_cast<cMesh *>(mesh->getChild(0));
    cMesh *back = static_cast<cMesh *>(mesh->getChild(1));
    EXPECT_EQ(front->getTexture(), frontTexture);
    EXPECT_EQ(back->getTexture(), backTexture);
    // front: two faces and four edge triangles
    EXPECT_EQ(front->getNumTriangles(), 6u);
    EXPECT_NEAR(front->getVertex(0)->m_uv.x, i / 7.0, 1e-12);
    EXPECT_NEAR(front->getVertex(1)->m_uv.x, (i + 1) / 7.0, 1e-12);
    EXPECT_NEAR(front->getVertex(2)->m_uv.y, 1.0, 1e-12);
  }
  EXPECT_NEAR(panelL.m_mesh->getPos().y, -0.32, 1e-12);
  EXPECT_NEAR(panelR.m_mesh->getPos().y, 0.32, 1e-12);
  cMesh *leftFront = static_cast<cMesh *>(panelL.m_mesh->getChild(0));
  EXPECT_NEAR(leftFront->getVertex(0)->m_pos.y, -1.04001, 1e-12);
  EXPECT_NEAR(leftFront->getVertex(0)->m_uv.x, -1.0 / 7.0, 1e-12);
  // the strips: seven equal columns, read without mipmaps
  EXPECT_EQ(frontTexture->m_picture.getWidth() % 7, 0);
  EXPECT_EQ(backTexture->m_picture.getWidth(), frontTexture->m_picture.getWidth());
  EXPECT_FALSE(frontTexture->m_mipmapsOn);
  EXPECT_FALSE(InWorld(shell.scene.rootPanels.get()));
}

// ---- scene and start-up machine ----

TEST_F(DemoShell, InitBuildsTheStartUpSceneWithoutADevice) {
  EXPECT_EQ(shell.deviceType, -1);
  EXPECT_EQ(shell.deviceMode, 3);
  EXPECT_EQ(shell.gui.motionsToIgnore, 5);
  EXPECT_EQ(shell.gui.startUp, cStartUpPhase::uncoverMessage);
  EXPECT_DOUBLE_EQ(shell.gui.planeLevel2, 1.0);
  EXPECT_TRUE(shell.shared.flagHasExitedSimulation);
  EXPECT_FALSE(shell.shared.flagSimulationOn);
  EXPECT_TRUE(InWorld(shell.scene.planeMesh.get()));
  EXPECT_TRUE(InWorld(shell.scene.planeMesh2.get()));
  EXPECT_FALSE(InFrontOverlay(shell.scene.cursor.get()));
  // the error image, and a cursor whose black became transparent
  EXPECT_NE(std::string(shell.scene.message->m_picture.getFilename()).find("msgError.bmp"), std::string::npos);
  bool transparent = false;
  for (int y = 0; y < shell.scene.cursor->m_picture.getHeight(); ++y) {
    for (int x = 0; x < shell.scene.cursor->m_picture.getWidth(); ++x) {
      const cColorb c = shell.scene.cursor->m_picture.getPixelColor(x, y);
      EXPECT_FALSE(c.r == 0 && c.g == 0 && c.b == 0 && c.a == 255);
      transparent = transparent || c.a == 0;
    }
  }
  EXPECT_TRUE(transparent);
}

TEST_F(DemoShell, MessageBlinksUntilTheDemosAreLoaded) {
  PretendRunning();
  // fades out over about 50 ticks, back in over 50, and again while nothing loads
  const int out = TickUntil([] { return shell.gui.startUp == cStartUpPhase::coverMessage; });
  EXPECT_GE(out, 50);
  EXPECT_LE(out, 51);
  EXPECT_DOUBLE_EQ(shell.gui.planeLevel2, 0.0);
  const int in = TickUntil([] { return shell.gui.startUp == cStartUpPhase::uncoverMessage; });
  EXPECT_GE(in, 49);
  EXPECT_LE(in, 51);
  EXPECT_DOUBLE_EQ(shell.gui.planeLevel2, 1.0);
  EXPECT_TRUE(shell.scene.message->getShow());
  EXPECT_GT(TickUntil([] { return shell.gui.startUp == cStartUpPhase::coverMessage; }), 0);

  // loaded mid-fade: the switch waits for the end of the fade-in
  LoadDemosHere();
  shellTick();
  EXPECT_EQ(shell.gui.startUp, cStartUpPhase::coverMessage);
  EXPECT_GT(TickUntil([] { return shell.gui.startUp != cStartUpPhase::coverMessage; }), 0);
  EXPECT_EQ(shell.gui.startUp, cStartUpPhase::revealMenu);
  EXPECT_FALSE(shell.scene.message->getShow());

  // the menu comes in under the fade plane: 15 steps of 0.07
  EXPECT_EQ(TickUntil([] { return shell.gui.initCompleted; }), 15);
  EXPECT_EQ(shell.gui.startUp, cStartUpPhase::over);
  EXPECT_EQ(shell.shared.transition, cTransition::uncoverMenu);
  EXPECT_TRUE(shell.gui.panelsReady);
  EXPECT_TRUE(InWorld(shell.scene.rootPanels.get()));
  EXPECT_FALSE(InWorld(shell.scene.planeMesh2.get()));
  EXPECT_TRUE(InFrontOverlay(shell.scene.cursor.get()));
  EXPECT_DOUBLE_EQ(shell.gui.planeLevel, 1.0);

  // then the fade plane uncovers it
  EXPECT_EQ(TickUntil([] { return shell.shared.transition == cTransition::menu; }), 15);
  EXPECT_EQ(shell.shared.selection, -1);
  EXPECT_DOUBLE_EQ(shell.gui.planeLevel, 0.0);
  EXPECT_TRUE(shell.scene.cursor->getShow());
}

TEST_F(DemoShell, StoppedHapticLoopEndsTheStartUpWithStatusZero) {
  // a loading failure cleared the flag; the haptic loop has closed the device
  shell.shared.flagSimulationOn = false;
  shell.shared.flagHasExitedSimulation = true;
  shellTick();
  EXPECT_EQ(exitCalls, 1);
  EXPECT_EQ(exitStatus, 0);
}

TEST_F(DemoShell, LoadingFailureStopsAtThatDemoWithItsMessage) {
  PretendRunning();
  failingIndex = 3;
  ::testing::internal::CaptureStdout();
  initDemos(nullptr);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "error: demo3 failed to load\n");
  EXPECT_FALSE(shell.shared.flagSimulationOn);
  EXPECT_FALSE(shell.shared.demosLoaded);
  EXPECT_NE(shell.demos[3], nullptr);
  EXPECT_EQ(shell.demos[4], nullptr);
}

TEST_F(DemoShell, NoDeviceBuildsNoDemos) {
  initDemos(nullptr);
  EXPECT_FALSE(shell.shared.demosLoaded);
  for (auto &d : shell.demos) EXPECT_EQ(d, nullptr);
}

// a second init releases the first scene and its demos, wherever the parts the
// shell owns hang at that moment: panels and cursor shown, a fade plane out of
// the world, the tool in the demos' root (the sanitizer build sees a double
// delete or a leak)
TEST_F(DemoShell, InitAgainReleasesTheEarlierSceneAndDemos) {
  ReachMenu();
  cShellScene &scene = shell.scene;
  ASSERT_TRUE(InWorld(scene.rootPanels.get()));
  ASSERT_TRUE(InFrontOverlay(scene.cursor.get()));
  scene.world->removeChild(scene.planeMesh.get());
  scene.demoRoot->addChild(scene.tool.get());
  demosDestroyed = 0;

  ForgetEarlierRuns();
  ASSERT_EQ(init(), 0);
  EXPECT_EQ(demosDestroyed, kDemoCount);
  for (auto &d : shell.demos) EXPECT_EQ(d, nullptr);
  EXPECT_EQ(shell.shared.demo.load(), nullptr);
  EXPECT_EQ(scene.tool->getParent(), nullptr);
  EXPECT_TRUE(InWorld(scene.planeMesh.get()));
  EXPECT_FALSE(InWorld(scene.rootPanels.get()));
}

TEST(DemoShellDeviceMode, FollowsTheDeviceType) {
  for (int t : {31, 32, 33, 60, 63, -1, 0, 99}) EXPECT_EQ(deviceModeOf(t), 3) << t;
  for (int t : {34, 36, 61, 62, 64}) EXPECT_EQ(deviceModeOf(t), 6) << t;
  for (int t : {35, 37}) EXPECT_EQ(deviceModeOf(t), 7) << t;
}

// the program's demos build nothing yet, but the reflexions, grasp and dynamics
// panels already take the device from the haptic loop, and dynamics steps with
// the display, on every kind of device
TEST(DemoShellFactory, PlainDemosDriveTheDeviceAndStepWithTheDisplayAsTheirPanels) {
  for (int mode : {3, 6, 7}) {
    for (int k = 0; k < 7; ++k) {
      const std::unique_ptr<cDemo> d = plainFactory(k, mode);
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d->drivesDevice(), k == 0 || k == 2 || k == 6) << k << " " << mode;
      EXPECT_EQ(d->stepsOnDisplayTick(), k == 6) << k << " " << mode;
      EXPECT_EQ(d->setup(0), 0);
    }
  }
}

// ---- hover ----

TEST_F(DemoShell, FirstFiveMotionsAreIgnoredAndTheSixthHighlights) {
  ReachMenu();
  for (int i = 0; i < 5; ++i) {
    HoverPanel(2);
    EXPECT_EQ(Highlighted(), -1) << "motion " << i + 1;
  }
  HoverPanel(2);
  EXPECT_EQ(Highlighted(), 2);
  // zones are height / 5 wide around the centre; a boundary highlights none
  mouseMove(640 - 80, 10);
  EXPECT_EQ(Highlighted(), -1);
  mouseMove(640 - 81, 10);
  EXPECT_EQ(Highlighted(), 2);
  mouseMove(640 - 79, 10);
  EXPECT_EQ(Highlighted(), 3);
  mouseMove(640 - 3 * 160 - 80, 10);
  EXPECT_EQ(Highlighted(), -1);
  mouseMove(640 + 3 * 160 + 79, 10);
  EXPECT_EQ(Highlighted(), 6);
  mouseMove(640 + 3 * 160 + 81, 10);
  EXPECT_EQ(Highlighted(), -1);
}

TEST_F(DemoShell, HighlightedPanelTurnsAndTheHighlightExpiresWithoutMotion) {
  ReachMenu();
  SpendIgnoredMotions();
  HoverPanel(5);
  // 23 ticks to the half revolution, well within a second at 30 ms a tick
  EXPECT_EQ(TickUntil([] { return panel5.m_angle == 180.0; }), 23);
  EXPECT_DOUBLE_EQ(panel4.m_angle, 0.0);
  // cleared on the 122nd tick after the last motion
  const int cleared = TickUntil([] { return Highlighted() == -1; });
  EXPECT_EQ(cleared, 122 - 23);
  EXPECT_GT(TickUntil([] { return panel5.m_angle == 0.0; }), 0);
  EXPECT_DOUBLE_EQ(panelL.m_angle, 0.0);
  EXPECT_DOUBLE_EQ(panelR.m_angle, 0.0);
}

// ---- transitions ----

TEST_F(DemoShell, ClickFadesIntoTheDemoAndEscapeFadesBack) {
  ReachMenu();
  SpendIgnoredMotions();
  // a click on no panel does nothing
  mouseMove(640 - 80, 400);
  mouseClick(GLUT_LEFT_BUTTON, GLUT_DOWN, 560, 400);
  EXPECT_EQ(shell.shared.transition, cTransition::menu);
  EXPECT_EQ(shell.shared.selection, -1);

  HoverPanel(4);
  mouseClick(GLUT_LEFT_BUTTON, GLUT_UP, 0, 0);
  EXPECT_EQ(shell.shared.transition, cTransition::menu);
  mouseClick(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
  EXPECT_EQ(shell.shared.transition, cTransition::coverMenu);
  EXPECT_EQ(shell.shared.selection, 4);
  EXPECT_EQ(shell.shared.demo.load(), shell.demos[4].get());
  RecordingDemo *d = recorded[4];

  // Escape during the fades is ignored
  key(27, 0, 0);
  EXPECT_EQ(TickUntil([] { return shell.shared.transition == cTransition::uncoverDemo; }), 15);
  EXPECT_FALSE(shell.scene.cursor->getShow());
  EXPECT_FALSE(InWorld(shell.scene.rootPanels.get()));
  EXPECT_EQ(d->resets, 1);
  key(27, 0, 0);
  EXPECT_EQ(shell.shared.transition, cTransition::uncoverDemo);
  // the tick that began uncovering the demo also took its first step
  EXPECT_EQ(TickUntil([] { return shell.shared.transition == cTransition::demoRunning; }), 14);
  EXPECT_FALSE(InWorld(shell.scene.planeMesh.get()));
  // a click in the demo does nothing
  mouseClick(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
  EXPECT_EQ(shell.shared.transition, cTransition::demoRunning);

  // leaving runs through to covering the demo in the same tick
  panel4.m_angle = 180.0;
  key('q', 0, 0);
  EXPECT_EQ(shell.shared.transition, cTransition::demoRunning);
  key(27, 0, 0);
  EXPECT_EQ(shell.shared.transition, cTransition::leaveDemo);
  shellTick();
  EXPECT_EQ(shell.shared.transition, cTransition::coverDemo);
  EXPECT_EQ(d->closes, 1);
  EXPECT_TRUE(InWorld(shell.scene.planeMesh.get()));
  // still highlighted: reset to 8 degrees
  EXPECT_DOUBLE_EQ(panel4.m_angle, 8.0);
  key(27, 0, 0);
  EXPECT_EQ(shell.shared.transition, cTransition::coverDemo);
  EXPECT_EQ(TickUntil([] { return shell.shared.transition == cTransition::uncoverMenu; }), 14);
  EXPECT_EQ(d->exits, 1);
  EXPECT_TRUE(InWorld(shell.scene.rootPanels.get()));
  EXPECT_EQ(TickUntil([] { return shell.shared.transition == cTransition::menu; }), 14);
  EXPECT_EQ(shell.shared.selection, -1);
  EXPECT_TRUE(shell.scene.cursor->getShow());
  EXPECT_EQ(d->dynamics, 0);
  EXPECT_EQ(exitCalls, 0);
}

TEST_F(DemoShell, DynamicsDemoStepsEveryTickOnceChosenEvenInTheMenu) {
  ReachMenu();
  SpendIgnoredMotions();
  HoverPanel(6);
  mouseClick(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
  RecordingDemo *d = recorded[6];
  ASSERT_EQ(TickUntil([] { return shell.shared.transition == cTransition::demoRunning; }), 29);
  EXPECT_EQ(d->dynamics, 29);
  key(27, 0, 0);
  ASSERT_GT(TickUntil([] { return shell.shared.transition == cTransition::menu; }), 0);
  const int before = d->dynamics;
  shellTick();
  EXPECT_EQ(d->dynamics, before + 1);
}

TEST_F(DemoShell, EscapeInTheMenuEndsWithStatusZero) {
  ReachMenu();
  shell.shared.flagHasExitedSimulation = true;
  key(27, 0, 0);
  EXPECT_FALSE(shell.shared.flagSimulationOn);
  EXPECT_EQ(exitCalls, 1);
  EXPECT_EQ(exitStatus, 0);
}

TEST_F(DemoShell, WithoutADeviceAnyKeyOrClickEnds) {
  key('x', 0, 0);
  EXPECT_EQ(exitCalls, 1);
  EXPECT_EQ(exitStatus, 0);
  mouseClick(GLUT_RIGHT_BUTTON, GLUT_UP, 0, 0);
  EXPECT_EQ(exitCalls, 2);
  EXPECT_EQ(exitStatus, 0);
}

// ---- three threads ----

// the haptic and loading threads run for real while this thread plays the GLUT
// thread; under the thread sanitizer this checks what the threads share
TEST_F(DemoShell, ThreeThreadsRunTheMenuAndADemoAndStopCleanly) {
  shell.deviceType = 61;
  shell.deviceMode = 6;
  startThreads(false);
  // after a failed assertion the haptic loop still runs: it must end before the
  // next test's init releases the scene it uses
  struct StopHapticLoop {
    ~StopHapticLoop() {
      shell.shared.flagSimulationOn = false;
      for (int n = 0; n < 10000 && !shell.shared.flagHasExitedSimulation; ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  } stopHapticLoop;
  const auto tick = [] {
    shellTick();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  };
  auto until = [&](auto pred) {
    // generous: a loaded machine or the thread sanitizer slows the other threads
    for (int n = 0; n < 25000; ++n) {
      if (pred()) return true;
      tick();
    }
    return pred();
  };
  ASSERT_TRUE(until([] { return shell.shared.transition == cTransition::menu && shell.gui.initCompleted; }));
  SpendIgnoredMotions();

  // a tool-driven demo, then one that drives the device itself
  for (int k : {4, 2}) {
    HoverPanel(k);
    mouseClick(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
    ASSERT_EQ(shell.shared.transition, cTransition::coverMenu);
    ASSERT_TRUE(until([] { return shell.shared.transition == cTransition::demoRunning; }));
    RecordingDemo *d = recorded[k];
    ASSERT_TRUE(until([d] { return d->updates > 100; }));
    key(27, 0, 0);
    ASSERT_TRUE(until([] { return shell.shared.transition == cTransition::menu; }));
    const int after = d->updates;
    for (int i = 0; i < 20; ++i) tick();
    EXPECT_EQ(d->updates, after);
    EXPECT_EQ(d->updatesOutsideRun, 0);
  }

  key(27, 0, 0);
  EXPECT_TRUE(shell.shared.flagHasExitedSimulation);
  EXPECT_EQ(exitCalls, 1);
  EXPECT_EQ(exitStatus, 0);
}

// Escape out of a demo that drives the device: its last force must not stay on
// the motors through the fade, while nothing else commands the device
TEST_F(DemoShell, LeavingADemoThatDrivesTheDeviceCommandsZeroForce) {
  shell.deviceType = 61;
  shell.deviceMode = 6;
  auto *device = new ForceRecordingDevice;
  shell.scene.tool->setDevice(device);
  startThreads(false);
  struct StopHapticLoop {
    ~StopHapticLoop() {
      shell.shared.flagSimulationOn = false;
      for (int n = 0; n < 10000 && !shell.shared.flagHasExitedSimulation; ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  } stopHapticLoop;
  const auto tick = [] {
    shellTick();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  };
  auto until = [&](auto pred, bool ticking = true) {
    for (int n = 0; n < 25000; ++n) {
      if (pred()) return true;
      if (ticking)
        tick();
      else
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return pred();
  };
  ASSERT_TRUE(until([] { return shell.shared.transition == cTransition::menu && shell.gui.initCompleted; }));
  SpendIgnoredMotions();
  HoverPanel(0);
  mouseClick(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
  ASSERT_TRUE(until([] { return shell.shared.transition == cTransition::demoRunning; }));
  RecordingDemo *d = recorded[0];
  ASSERT_TRUE(until([d] { return d->updates > 100; }));
  EXPECT_EQ(device->force[2], 3.0);

  // no tick: the transition stays at leaving, where the loop neither steps the
  // demo nor sends the tool's force
  key(27, 0, 0);
  ASSERT_EQ(shell.shared.transition, cTransition::leaveDemo);
  EXPECT_TRUE(until([device] { return device->Zero(); }, false));
  const int sends = device->sends;
  for (int i = 0; i < 50; ++i) std::this_thread::sleep_for(std::chrono::microseconds(200));
  EXPECT_EQ(device->sends, sends);
  EXPECT_TRUE(device->Zero());
  ASSERT_TRUE(until([] { return shell.shared.transition == cTransition::menu; }));
  EXPECT_EQ(d->updatesOutsideRun, 0);

  key(27, 0, 0);
  EXPECT_TRUE(shell.shared.flagHasExitedSimulation);
  EXPECT_EQ(exitStatus, 0);
}

}  // namespace
