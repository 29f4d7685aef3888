// The contact demo without a window: its scene from the shipped models, the tool
// frame, the grab and carry, against a stub device. Runs from the repository root
// (./resources).
#include "demo/CDemoContact3.h"
#include "demo/CDemoContact67.h"
#include "demo/CDemoFactory.h"
#include "scene/collision/CGenericCollision.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "support/StubDevice.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using devicetest::StubDevice;

bool Finite(const cMatrix3d &m) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (!std::isfinite(m.m[i][j])) return false;
  return true;
}

// the columns are unit length and at right angles
bool Orthonormal(const cMatrix3d &m) {
  const cVector3d a = m.col(0), b = m.col(1), c = m.col(2);
  return std::fabs(a.length() - 1) < 1e-9 && std::fabs(b.length() - 1) < 1e-9 && std::fabs(c.length() - 1) < 1e-9 &&
         std::fabs(a.dot(b)) < 1e-9 && std::fabs(a.dot(c)) < 1e-9 && std::fabs(b.dot(c)) < 1e-9;
}

bool AnyDetector(cGenericObject *node) {
  if (node->getCollisionDetector() != nullptr) return true;
  for (unsigned int i = 0; i < node->getNumChildren(); ++i)
    if (AnyDetector(node->getChild(i))) return true;
  return false;
}

template <class Demo>
class ContactFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
    world = std::make_unique<cWorld>();
    root = new cMesh(world.get());
    world->addChild(root);
    tool = new cMeta3dofPointer(world.get(), 0);
    stub = new StubDevice;
    tool->setDevice(stub);
    // the stub's button is the user switch
    tool->m_gripAsSwitch = false;
    demo.init(world.get(), root, tool, nullptr);
  }
  void TearDown() override {
    // the tool is the test's, not the scene's
    if (tool->getParent() != nullptr) tool->getParent()->removeChild(tool);
    delete tool;
  }

  // the device at p (metres), one haptic step as the shell makes it
  void Step(const cVector3d &p, int button = 0) {
    stub->position = p;
    stub->button = button;
    tool->updatePose();
    demo.update(0);
    tool->applyForces();
  }

  cVector3d Proxy() { return tool->getProxy()->getProxyGlobalPosition(); }

  std::unique_ptr<cWorld> world;
  cMesh *root = nullptr;
  cMeta3dofPointer *tool = nullptr;
  StubDevice *stub = nullptr;
  Demo demo;
};

using DemoContact3 = ContactFixture<cDemoContact3>;
using DemoContact67 = ContactFixture<cDemoContact67>;

// the stub's reach is 0.075 m and the demo's workspace 0.4: device metres to scene
// units is 0.2 / 0.075 around the tool's place at (-0.1, 0, 0)
constexpr double kScale = 0.2 / 0.075;

TEST_F(DemoContact3, SetupBuildsATouchableToothWithAWireOutlineAndAnUntouchableTool) {
  ASSERT_EQ(demo.setup(0), 0);
  EXPECT_TRUE(demo.m_ready);
  ASSERT_NE(demo.m_tooth, nullptr);
  ASSERT_GE(demo.m_tooth->getNumChildren(), 2u);
  EXPECT_EQ(static_cast<cMesh *>(demo.m_tooth->getChild(1))->m_polygonMode, static_cast<int>(GL_LINE));
  EXPECT_TRUE(AnyDetector(demo.m_tooth));
  EXPECT_FALSE(AnyDetector(demo.m_toolHolder));
  // the tooth at its demo scale: about 0.15 scene units tall
  demo.m_tooth->computeBoundaryBox(true);
  const cVector3d size = demo.m_tooth->getBoundaryMax() - demo.m_tooth->getBoundaryMin();
  EXPECT_GT(size.z, 0.09);
  EXPECT_LT(size.z, 0.21);
  // nothing is shown before the demo is chosen
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
}

TEST_F(DemoContact3, SetupFailsWhereTheModelsAreMissing) {
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir("/"), 0);
  const int result = demo.setup(0);
  ASSERT_EQ(::chdir(here), 0);
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(demo.m_ready);
}

TEST_F(DemoContact3, ResetSetsUpFirstAndPlacesToothAndTool) {
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), root);
  EXPECT_EQ(tool->getParent(), root);
  EXPECT_EQ(demo.m_tooth->getPos(), cVector3d(-0.1, 0, 0));
  EXPECT_EQ(tool->getPos(), cVector3d(-0.1, 0, 0));
  EXPECT_NEAR(tool->getProxy()->getProxyRadius(), 0.002 * 0.001, 1e-12);
  demo.exit(0);
  demo.exit(0);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(tool->getParent(), nullptr);
}

// a proxy straight above or straight below the tooth gives a proper frame whose
// first axis points from the tooth to the proxy
TEST_F(DemoContact3, ToolFrameIsSoundAtBothPolesAndEverywhereElse) {
  ASSERT_EQ(demo.setup(0), 0);
  demo.m_tooth->setPos(-0.1, 0, 0);
  const cVector3d tooth(-0.1, 0, 0);
  for (const cVector3d &d : {cVector3d(0, 0, 0.1), cVector3d(0, 0, -0.1), cVector3d(0.1, 0, 0),
                             cVector3d(0, -0.07, 0.07), cVector3d(1e-9, 0, -0.1)}) {
    cMatrix3d m;
    ASSERT_TRUE(demo.toolFrame(tooth + d, m));
    ASSERT_TRUE(Finite(m)) << d.x << " " << d.y << " " << d.z;
    EXPECT_TRUE(Orthonormal(m)) << d.x << " " << d.y << " " << d.z;
    EXPECT_TRUE(m.col(0).equals(d / d.length(), 1e-12));
  }
  cMatrix3d m;
  EXPECT_FALSE(demo.toolFrame(tooth + cVector3d(0.0005, 0, 0), m));
}

TEST_F(DemoContact3, AProxyAtTheToothsOriginSkipsTheWholeStep) {
  demo.reset(0);
  Step(cVector3d(0, 0, 0.07));
  const cVector3d holder = demo.m_toolHolder->getPos();
  const cVector3d force = tool->m_forceWorld;
  // the tooth moved under the proxy: within a millimetre of its origin
  demo.m_tooth->setPos(Proxy() + cVector3d(0.0004, 0, 0));
  Step(cVector3d(0, 0.01, 0.07));
  EXPECT_EQ(demo.m_toolHolder->getPos(), holder);
  EXPECT_EQ(tool->m_forceWorld, force);
}

TEST_F(DemoContact3, PressingIntoTheToothPushesOutAndMoreWithDepth) {
  demo.reset(0);
  // from above, down onto the crown: find the first contact, then press deeper
  double contact = 0.0;
  for (double z = 0.06; z > 0.0 && contact == 0.0; z -= 0.0005) {
    Step(cVector3d(0, 0.005, z));
    if (tool->m_forceWorld.length() > 0.0) contact = z;
  }
  ASSERT_GT(contact, 0.0) << "the device never touched the tooth";
  Step(cVector3d(0, 0.005, contact - 0.001));
  const cVector3d shallow = tool->m_forceWorld;
  Step(cVector3d(0, 0.005, contact - 0.003));
  const cVector3d deep = tool->m_forceWorld;
  EXPECT_GT(shallow.z, 0.0);
  EXPECT_GT(deep.z, shallow.z);
  // the proxy stays on the surface, above the device
  EXPECT_GT(Proxy().z, (contact - 0.003) * kScale);
}

TEST_F(DemoContact3, AHeldSwitchCarriesTheToothAtItsRelativePoseWithoutForce) {
  demo.reset(0);
  Step(cVector3d(0, 0, 0.08));
  Step(cVector3d(0, 0, 0.08));
  const cVector3d p0 = Proxy();
  const cVector3d toothAt = demo.m_tooth->getPos();
  // the grab: the tooth keeps its place relative to the tool, 0.01 further away
  Step(cVector3d(0, 0, 0.08), 1);
  const double before = (toothAt - p0).length();
  // (the step placed the tool at the proxy it started from)
  EXPECT_NEAR((demo.m_tooth->getPos() - demo.m_toolHolder->getPos()).length(), before + 0.01, 1e-9);
  EXPECT_FALSE(demo.m_tooth->getHapticEnabled());
  EXPECT_FALSE(demo.m_toolHolder->getShow());
  // carried: moving the device through where the tooth was costs no force
  for (int i = 0; i <= 40; ++i) {
    Step(cVector3d(0, 0.001 * i, 0.08 - 0.002 * i), 1);
    EXPECT_EQ(tool->m_forceWorld.length(), 0.0) << "step " << i;
    EXPECT_NEAR((demo.m_tooth->getPos() - demo.m_toolHolder->getPos()).length(), before + 0.01, 1e-9);
  }
  EXPECT_GT((demo.m_tooth->getPos() - toothAt).length(), 0.05);
  // released: the tooth stays where it was put and can be touched again
  const cVector3d put = demo.m_tooth->getPos();
  Step(cVector3d(0, 0.04, 0.0), 0);
  EXPECT_EQ(demo.m_tooth->getPos(), put);
  EXPECT_TRUE(demo.m_tooth->getHapticEnabled());
  EXPECT_TRUE(demo.m_toolHolder->getShow());
  // leaving and coming back puts it home
  demo.exit(0);
  demo.reset(0);
  EXPECT_EQ(demo.m_tooth->getPos(), cVector3d(-0.1, 0, 0));
}

// the press that opened the demo may still be held on its first steps: it must not
// snap the tooth onto the proxy (and then freeze the demo, the proxy sitting at the
// tooth's origin)
TEST_F(DemoContact3, ASwitchStillHeldFromTheMenuGrabsNothing) {
  demo.reset(0);
  for (int i = 0; i < 5; ++i) Step(cVector3d(0, 0, 0.08 - 0.001 * i), 1);
  EXPECT_EQ(demo.m_tooth->getPos(), cVector3d(-0.1, 0, 0));
  EXPECT_TRUE(demo.m_tooth->getHapticEnabled());
  // once released, a new press grabs
  Step(cVector3d(0, 0, 0.08), 0);
  Step(cVector3d(0, 0, 0.09), 1);
  Step(cVector3d(0, 0, 0.1), 1);
  EXPECT_GT((demo.m_tooth->getPos() - cVector3d(-0.1, 0, 0)).length(), 0.01);
}

TEST_F(DemoContact67, TheToolTurnsWithTheDevice) {
  demo.reset(0);
  cMatrix3d turned = cRotMatrix(cVector3d(0, 0, 1), 0.7);
  stub->rotation = turned;
  Step(cVector3d(0, 0, 0.08));
  EXPECT_TRUE(demo.m_toolHolder->getRot().equals(turned, 1e-12));
  // no step is skipped near the tooth's origin: the frame is the device's
  cMatrix3d m;
  EXPECT_TRUE(demo.toolFrame(demo.m_tooth->getPos(), m));
  EXPECT_TRUE(m.equals(turned, 1e-12));
}

TEST(DemoFactory, ContactDemoByDeviceMode) {
  EXPECT_NE(dynamic_cast<cDemoContact3 *>(createDemo(DEMO_PANEL_CONTACT, 3).get()), nullptr);
  EXPECT_EQ(dynamic_cast<cDemoContact67 *>(createDemo(DEMO_PANEL_CONTACT, 3).get()), nullptr);
  EXPECT_NE(dynamic_cast<cDemoContact67 *>(createDemo(DEMO_PANEL_CONTACT, 6).get()), nullptr);
  EXPECT_NE(dynamic_cast<cDemoContact67 *>(createDemo(DEMO_PANEL_CONTACT, 7).get()), nullptr);
  // panels without their demo yet keep the placeholder's way of driving the device
  EXPECT_TRUE(createDemo(DEMO_PANEL_GRASP, 3)->drivesDevice());
  EXPECT_FALSE(createDemo(DEMO_PANEL_NANO, 3)->drivesDevice());
}

}  // namespace
