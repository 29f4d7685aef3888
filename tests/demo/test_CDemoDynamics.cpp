// The dynamics demo without a window: the sheet it builds, the proxy's contact
// with the nodes, the start-up guard, one sheet step per haptic step, and the
// skin refreshed on the display tick, against a stub device. Runs from the
// repository root (./resources).
#include "demo/CDemoDynamics.h"
#include "demo/CDemoFactory.h"
#include "scene/dynamics/CDefWorld.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "support/StubDevice.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using devicetest::StubDevice;

const double kStep = static_cast<double>(0.0025f);

class DemoDynamics : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
    world = std::make_unique<cWorld>();
    root = new cMesh(world.get());
    world->addChild(root);
    tool = new cMeta3dofPointer(world.get(), 0);
    stub = new StubDevice;
    tool->setDevice(stub);
    demo.init(world.get(), root, tool, nullptr);
  }
  void TearDown() override { delete tool; }

  // one haptic step with the proxy at p in the scene: the device reads it
  // shrunk 6.5 times
  cVector3d Step(const cVector3d &p) {
    stub->position = p / 6.5;
    demo.update(0);
    return stub->sentForce();
  }

  cDefNode *Node(int j, int i) { return demo.m_nodes[j][i]; }

  // the lowest skin vertex within r of (x, y) in the sheet's plane
  double SkinLowest(double x, double y, double r) {
    double lowest = 1e9;
    for (unsigned int k = 0; k < demo.m_defMesh->getNumVertices(true); ++k) {
      const cVector3d &p = demo.m_defMesh->getVertex(k, true)->getPos();
      if (std::hypot(p.x - x, p.y - y) < r) lowest = std::min(lowest, p.z);
    }
    return lowest;
  }

  std::unique_ptr<cWorld> world;
  cMesh *root = nullptr;
  cMeta3dofPointer *tool = nullptr;
  StubDevice *stub = nullptr;
  cDemoDynamics demo;
};

TEST(DemoDynamicsFactory, PanelSixIsTheDynamicsDemoForEveryDeviceDrivingTheDeviceAndSteppingWithTheDisplay) {
  for (int mode : {3, 6, 7}) {
    std::unique_ptr<cDemo> d = createDemo(DEMO_PANEL_DYNAMICS, mode);
    EXPECT_NE(dynamic_cast<cDemoDynamics *>(d.get()), nullptr) << mode;
    EXPECT_TRUE(d->drivesDevice());
    EXPECT_TRUE(d->stepsOnDisplayTick());
  }
}

TEST_F(DemoDynamics, SetupBuildsAPinnedSheetOfNodesAndLinksWithItsSkinBoundAndLeavesItDetached) {
  ASSERT_EQ(demo.setup(0), 0);
  EXPECT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(demo.m_scene->getPos(), cVector3d(-1.5, 0, -0.1));
  EXPECT_TRUE(demo.m_scene->getRot().equals(cMatrix3d::rotation(cVector3d(0, 1, 0), 0.5235987756), 1e-12));
  EXPECT_EQ(demo.m_proxy->getParent(), demo.m_scene);
  EXPECT_EQ(demo.m_proxy->getRadius(), 0.1);
  EXPECT_EQ(demo.m_defWorld->getParent(), demo.m_scene);

  const cDefMesh &mesh = *demo.m_defMesh;
  EXPECT_EQ(mesh.getNumNodes(), 100u);
  EXPECT_EQ(mesh.getNumLinks(), 324u);
  EXPECT_TRUE(mesh.m_showSkeleton);
  int fixed = 0;
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) {
      const cDefNode &n = *demo.m_nodes[j][i];
      fixed += n.m_fixed;
      EXPECT_NEAR(n.m_pos.x, -0.45 + 0.1 * j, 1e-3);
      EXPECT_NEAR(n.m_pos.y, 0.1 * i - 0.43, 1e-3);
      EXPECT_EQ(n.m_mass, 0.06);
      EXPECT_EQ(n.m_kDampingPos, 0.4);
      EXPECT_EQ(n.m_gravity, cVector3d(0, 0, -1));
    }
  EXPECT_EQ(fixed, 4);
  EXPECT_TRUE(Node(0, 0)->m_fixed && Node(0, 9)->m_fixed && Node(9, 0)->m_fixed && Node(9, 9)->m_fixed);

  // every skin vertex follows the skeleton; the skin is see-through and
  // sphere-mapped
  EXPECT_GT(mesh.getBindings().size(), 1000u);
  EXPECT_EQ(mesh.getBindings().size(), demo.m_defMesh->getNumVertices(true));
  cMesh *skin = static_cast<cMesh *>(demo.m_defMesh->getChild(0));
  ASSERT_NE(skin, nullptr);
  cMesh *face = static_cast<cMesh *>(skin->getChild(0));
  ASSERT_NE(face, nullptr);
  ASSERT_NE(face->m_tex, nullptr);
  EXPECT_TRUE(face->m_tex->hasPixels());
  EXPECT_TRUE(face->m_tex->m_sphereMapOn);
  EXPECT_TRUE(face->m_blend);
}

TEST_F(DemoDynamics, SetupFailsWhereTheModelOrTheImageIsMissing) {
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  char tmp[] = "/tmp/dynamicsXXXXXX";
  ASSERT_NE(::mkdtemp(tmp), nullptr);
  const std::string dir(tmp);
  ASSERT_EQ(::mkdir((dir + "/resources").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((dir + "/resources/models").c_str(), 0700), 0);
  ASSERT_EQ(
      ::symlink((std::string(here) + "/resources/models/box.3ds").c_str(), (dir + "/resources/models/box.3ds").c_str()),
      0);
  ASSERT_EQ(::chdir("/"), 0);
  const int noModel = demo.setup(0);
  ASSERT_EQ(::chdir(tmp), 0);
  const int noImage = demo.setup(0);
  ASSERT_EQ(::chdir(here), 0);
  ::unlink((dir + "/resources/models/box.3ds").c_str());
  ::rmdir((dir + "/resources/models").c_str());
  ::rmdir((dir + "/resources").c_str());
  ::rmdir(tmp);
  EXPECT_EQ(noModel, -1);
  EXPECT_EQ(noImage, -1);
  EXPECT_FALSE(demo.m_ready);
  // a later reset where both are builds the scene afresh
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), root);
  EXPECT_EQ(root->getNumChildren(), 1u);
}

TEST_F(DemoDynamics, ResetAttachesTheSceneWithoutTheToolAndExitTwiceIsHarmless) {
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), root);
  EXPECT_EQ(tool->getParent(), nullptr);
  demo.exit(0);
  demo.exit(0);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
}

TEST_F(DemoDynamics, AwayFromEveryNodeTheForceIsZeroAndNoNodeIsPushed) {
  demo.reset(0);
  Step(cVector3d(0, 0, 0.5));
  // every centre is farther than 0.15 from the proxy
  const cVector3d p(0.0, 0.02, 0.16);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(Step(p), cVector3d());
  EXPECT_EQ(stub->sent[3], 0.0);
  EXPECT_TRUE(demo.m_proxy->getPos().equals(p, 1e-12));
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Node(j, i)->m_externalForce, cVector3d());
}

TEST_F(DemoDynamics, EachNodeIsPushedByItsOwnContactOnlyWhileTheDeviceFeelsThemAll) {
  demo.reset(0);
  Step(cVector3d(0, 0, 0.5));
  // just over node (5, 4): it alone is touched
  const cVector3d above = Node(5, 4)->m_pos + cVector3d(0, 0, 0.14);
  const cVector3d f = Step(above);
  const cVector3d own = cDemoDynamics::computeForce(above, 0.1, Node(5, 4)->m_pos, 0.05, 40.0);
  EXPECT_GT(f.z, 0.0);
  int pushed = 0;
  cVector3d reactions;
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) {
      pushed += Node(j, i)->m_externalForce != cVector3d();
      reactions += Node(j, i)->m_externalForce;
    }
  EXPECT_EQ(pushed, 1);
  EXPECT_LT(Node(5, 4)->m_externalForce.z, 0.0);
  EXPECT_NEAR(Node(5, 4)->m_externalForce.z, -0.1 * own.z, 0.01 * own.z);
  EXPECT_TRUE(reactions.equals(f * -0.1, 1e-12));
}

TEST_F(DemoDynamics, OneHapticStepIsOneStepOfTheSheet) {
  demo.reset(0);
  const double before = demo.m_defWorld->m_simulationTime;
  for (int k = 0; k < 400; ++k) Step(cVector3d(0, 0, 0.5));
  EXPECT_NEAR(demo.m_defWorld->m_simulationTime - before, 400 * kStep, 1e-9);
}

TEST_F(DemoDynamics, AfterResetTheForceStaysZeroUntilTheProxyHasLeftTheSheet) {
  demo.reset(0);
  // pressed into the sheet from the start: the contact is felt nowhere
  const cVector3d in(0.0, 0.02, 0.0);
  for (int k = 0; k < 200; ++k) EXPECT_EQ(Step(in), cVector3d()) << k;
  // out of reach, then back in: now it pushes back
  Step(cVector3d(0, 0, 0.5));
  Step(cVector3d(0, 0, 0.5));
  EXPECT_GT(Step(Node(5, 4)->m_pos + cVector3d(0, 0, 0.1)).z, 1.0);
  // a reset guards again
  demo.exit(0);
  demo.reset(0);
  EXPECT_EQ(Step(in), cVector3d());
}

TEST_F(DemoDynamics, PressingDentsTheSheetHarderWithDepthAndReleasedItSpringsBackWithItsCornersFixed) {
  demo.reset(0);
  const cVector3d corners[4] = {Node(0, 0)->m_pos, Node(0, 9)->m_pos, Node(9, 0)->m_pos, Node(9, 9)->m_pos};
  // let it hang
  for (int k = 0; k < 3200; ++k) Step(cVector3d(0, 0, 0.5));
  const double rest = Node(5, 5)->m_pos.z;
  demo.updateDynamics(0);
  const double skinRest = SkinLowest(0.05, 0.07, 0.04);

  // press down over the middle in three depths, a second each
  double forces[3];
  for (int d = 0; d < 3; ++d) {
    const cVector3d p(0.05, 0.07, rest + 0.12 - 0.05 * d);
    for (int k = 0; k < 400; ++k) forces[d] = Step(p).z;
  }
  EXPECT_GT(forces[0], 0.0);
  EXPECT_GT(forces[1], forces[0]);
  EXPECT_GT(forces[2], forces[1]);
  const double dented = Node(5, 5)->m_pos.z;
  EXPECT_LT(dented, rest - 0.02);
  // the skin shows the dent once the display refreshes it
  EXPECT_NEAR(SkinLowest(0.05, 0.07, 0.04), skinRest, 1e-12);
  demo.updateDynamics(0);
  EXPECT_LT(SkinLowest(0.05, 0.07, 0.04), skinRest - 0.02);

  // released, it settles back where it hung
  for (int k = 0; k < 4000; ++k) Step(cVector3d(0, 0, 0.5));
  EXPECT_NEAR(Node(5, 5)->m_pos.z, rest, 0.005);
  EXPECT_LT(Node(5, 5)->m_linVel.length(), 0.05);
  EXPECT_EQ(Node(0, 0)->m_pos, corners[0]);
  EXPECT_EQ(Node(0, 9)->m_pos, corners[1]);
  EXPECT_EQ(Node(9, 0)->m_pos, corners[2]);
  EXPECT_EQ(Node(9, 9)->m_pos, corners[3]);
}

TEST_F(DemoDynamics, TheSheetIsFrozenWhileTheDemoDoesNotRunAndTheDisplayTickOnlyReskins) {
  demo.reset(0);
  for (int k = 0; k < 100; ++k) Step(cVector3d(0, 0, 0.5));
  demo.exit(0);
  const cVector3d before = Node(4, 4)->m_pos;
  const double time = demo.m_defWorld->m_simulationTime;
  for (int k = 0; k < 10; ++k) demo.updateDynamics(0);
  EXPECT_EQ(Node(4, 4)->m_pos, before);
  EXPECT_EQ(demo.m_defWorld->m_simulationTime, time);
}

TEST_F(DemoDynamics, AFailedPositionReadSendsNoForceAndMovesNothing) {
  demo.reset(0);
  Step(cVector3d(0, 0, 0.5));
  Step(Node(5, 4)->m_pos + cVector3d(0, 0, 0.1));
  const double time = demo.m_defWorld->m_simulationTime;
  stub->failPosition = true;
  const int sends = stub->sends;
  demo.update(0);
  EXPECT_EQ(stub->sends, sends + 1);
  EXPECT_EQ(stub->sentForce(), cVector3d());
  EXPECT_EQ(demo.m_defWorld->m_simulationTime, time);
}

}  // namespace
