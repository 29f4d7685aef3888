// The audio demo without a window, with the shipped turntable and record: the
// scene it builds, the torque law on a scripted tool (only rubbing along the
// tilted record turns it, pressing on it does not), and the record rubbed with
// the tool through the proxy's friction, turning on after the tool lifts.
#include "demo/CDemoAudio.h"
#include "demo/CDemoFactory.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CLight.h"
#include "scene/graph/CTexture2D.h"
#include "support/ToolDemoTest.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace {

class Audio : public devicetest::ToolDemoTest<cDemoAudio> {
 protected:
  // the tool hangs in the tilted scene: the device reading that puts it at p
  void StepAt(const cVector3d &p) {
    const cVector3d local = tool->getGlobalRot().transMul(p - tool->getGlobalPos());
    Step(cVector3d(local.x / tool->m_halfExtent.x, local.y / tool->m_halfExtent.y, local.z / tool->m_halfExtent.z) *
         stub->reach);
  }
  void Glide(const cVector3d &from, const cVector3d &to, int n) {
    for (int i = 1; i <= n; ++i) StepAt(from + (to - from) * (double(i) / n));
  }
  // a point given in the record's frame, in the world
  cVector3d OnRecord(double x, double y, double z) const {
    return demo.m_record->getGlobalPos() + demo.m_record->getGlobalRot() * cVector3d(x, y, z);
  }
  cVector3d RecordAxis(int k) const { return demo.m_record->getGlobalRot().col(k); }
  // the proxy placed as the scripted contact point
  void ProxyAt(const cVector3d &p) { tool->getProxy()->m_proxyPos = p; }
};

TEST_F(Audio, SetupBuildsTheTiltedTurntableAndTheTexturedRecord) {
  for (int mode : {3, 6, 7}) EXPECT_NE(dynamic_cast<cDemoAudio *>(createDemo(DEMO_PANEL_AUDIO, mode).get()), nullptr);
  ASSERT_EQ(demo.setup(0), 0);
  EXPECT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(demo.m_scene->getPos(), cVector3d(-0.1, 0, -0.05));
  EXPECT_TRUE(demo.m_scene->getRot().equals(cMatrix3d::rotation(cVector3d(0, 1, 0), 0.3490658504), 1e-12));
  EXPECT_EQ(demo.m_holder->getParent(), demo.m_scene);

  // the turntable: plinth, platter and arm, 0.35 along its longest side, turned a quarter about z
  ASSERT_EQ(demo.m_holder->getNumChildren(), 1u);
  cMesh *player = dynamic_cast<cMesh *>(demo.m_holder->getChild(0));
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->getNumChildren(), 3u);
  const cVector3d e = player->getBoundaryMax() - player->getBoundaryMin();
  EXPECT_NEAR(std::max(e.x, std::max(e.y, e.z)), 0.35, 1e-6);
  EXPECT_TRUE(player->getRot().equals(cMatrix3d::rotation(cVector3d(0, 0, 1), 1.5707963268), 1e-12));

  // the record: 29 triangles fanned about its centre, 0.12 across each way, above the platter
  cMesh *record = demo.m_record;
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->getParent(), demo.m_scene);
  EXPECT_EQ(record->getNumTriangles(), 29u);
  EXPECT_NEAR(record->getBoundaryMax().x, 0.12, 1e-6);
  EXPECT_NEAR(record->getBoundaryMin().y, -0.12, 1e-6);
  EXPECT_EQ(record->getPos(), cVector3d(0, 0, 0.014));
  ASSERT_NE(record->getTexture(), nullptr);
  EXPECT_TRUE(record->getTexture()->hasPixels());
  for (const cVertex &v : record->m_vertexSlots) EXPECT_NEAR(v.m_uv.x, (0.12 + v.m_pos.x) / 0.24, 1e-12);
  // every triangle but the first (which closes on the centre) faces up
  for (unsigned int i = 1; i < record->getNumTriangles(); ++i)
    EXPECT_EQ(record->m_vertexSlots[record->m_triangleSlots[i].m_corner0].m_nrm, cVector3d(0, 0, 1));
  EXPECT_EQ(record->m_surface.getStiffness(), 350.0);
  EXPECT_EQ(record->m_surface.getStaticFriction(), 1.0);
  EXPECT_EQ(record->m_surface.getDynamicFriction(), 1.0);
  // the platter lies just under the record
  cMesh *platter = dynamic_cast<cMesh *>(player->getChild(1));
  ASSERT_NE(platter, nullptr);
  EXPECT_LT(platter->getBoundaryMax().z, 0.014);
  EXPECT_GT(platter->getBoundaryMax().z, 0.010);

  // the light waits under the root, dark until the demo runs
  ASSERT_NE(demo.m_light, nullptr);
  EXPECT_EQ(demo.m_light->getParent(), root);
  EXPECT_FALSE(demo.m_light->getEnabled());
}

TEST_F(Audio, MissingFilesLeaveTheSceneWithoutThem) {
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir("/"), 0);
  const int result = demo.setup(0);
  ASSERT_EQ(::chdir(here), 0);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_holder->getNumChildren(), 0u);
  ASSERT_NE(demo.m_record, nullptr);
  EXPECT_EQ(demo.m_record->getTexture(), nullptr);
  demo.reset(0);
  EXPECT_EQ(demo.m_scene->getParent(), root);
}

TEST_F(Audio, ResetHangsTheToolInTheSceneAndExitTakesItAway) {
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), root);
  EXPECT_EQ(tool->getParent(), demo.m_scene);
  EXPECT_EQ(tool->getPos(), cVector3d(-0.1, 0, 0));
  EXPECT_EQ(tool->m_halfExtent, cVector3d(0.3, 0.3, 0.3));
  EXPECT_TRUE(demo.m_light->getEnabled());
  EXPECT_TRUE(tool->getProxy()->m_followObjectMotion);
  demo.exit(0);
  demo.exit(0);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(tool->getParent(), nullptr);
  EXPECT_FALSE(demo.m_light->getEnabled());

  // another demo takes the tool to the root, then this one again: listed once
  root->addChild(tool);
  demo.reset(0);
  demo.reset(0);
  EXPECT_EQ(root->getNumChildren(), 2u);  // the light and the scene
  unsigned int listed = 0;
  for (unsigned int i = 0; i < demo.m_scene->getNumChildren(); ++i) listed += demo.m_scene->getChild(i) == tool;
  EXPECT_EQ(listed, 1u);
}

// ---- the torque law, on a scripted contact ------------------------------------------------

TEST_F(Audio, PressingAlongTheTiltedRecordsAxisTurnsNothing) {
  demo.reset(0);
  // 2 N straight into the record, 0.1 from its centre: taken about the world's z
  // axis this gave 0.068 N m
  const cVector3d press = RecordAxis(2) * 2.0;
  for (const cVector3d &at : {OnRecord(0, 0.1, 0), OnRecord(0.1, 0, 0), OnRecord(-0.07, 0.07, 0)}) {
    ProxyAt(at);
    demo.animateObject(demo.m_holder->getGlobalRot().transMul(press));
    EXPECT_NEAR(demo.m_torque, 0.0, 1e-12);
  }
  const cVector3d r = OnRecord(0, 0.1, 0) - demo.m_record->getGlobalPos();
  EXPECT_NEAR(std::fabs(r.y * press.x - r.x * press.y), 0.068, 0.001);
  EXPECT_EQ(demo.m_angularVelocity, 0.0);
  EXPECT_EQ(demo.m_angle, 0.0);
}

TEST_F(Audio, AForceAtTheCentreTurnsNothingWhateverItsDirection) {
  demo.reset(0);
  ProxyAt(demo.m_record->getGlobalPos());
  for (const cVector3d &v : {cVector3d(1, 0, 0), cVector3d(0, 3, 0), cVector3d(1, -2, 5)}) {
    demo.animateObject(v);
    EXPECT_NEAR(demo.m_torque, 0.0, 1e-15);
  }
  EXPECT_EQ(demo.m_angularVelocity, 0.0);
}

TEST_F(Audio, RubbingAlongTheRecordTurnsItAboutItsOwnAxis) {
  demo.reset(0);
  const cMatrix3d before = demo.m_record->getRot();
  // the tool feels 1 N along the record's -x at 0.1 along its +y: the record is
  // pushed along +x there, which turns it clockwise seen from above (negative)
  ProxyAt(OnRecord(0, 0.1, 0));
  demo.animateObject(demo.m_holder->getGlobalRot().transMul(RecordAxis(0) * -1.0));
  EXPECT_NEAR(demo.m_torque, -0.1, 1e-12);
  EXPECT_NEAR(demo.m_angularVelocity, -0.1 / 0.01 * 0.001, 1e-15);
  EXPECT_NEAR(demo.m_angle, -0.01 * 0.001, 1e-15);
  // the same force with a push into the face added: the same torque
  demo.animateObject(demo.m_holder->getGlobalRot().transMul(RecordAxis(0) * -1.0 + RecordAxis(2) * 3.0));
  EXPECT_NEAR(demo.m_torque, -0.1, 1e-9);
  EXPECT_NEAR(demo.m_angularVelocity, -0.02, 1e-11);
  // the record turned by the angle about its own z; its axis stays where it was
  EXPECT_TRUE(demo.m_record->getRot().equals(before * cMatrix3d::rotation(cVector3d(0, 0, 1), demo.m_angle), 1e-15));
  EXPECT_TRUE(RecordAxis(2).equals(demo.m_scene->getGlobalRot().col(2), 1e-12));

  // untouched, it keeps its speed and turns evenly
  const double speed = demo.m_angularVelocity, angle = demo.m_angle;
  for (int i = 0; i < 1000; ++i) demo.animateObject(cVector3d(0, 0, 0));
  EXPECT_EQ(demo.m_angularVelocity, speed);
  EXPECT_NEAR(demo.m_angle - angle, speed * 1.0, 1e-12);
}

// ---- felt through the proxy ----------------------------------------------------------------

TEST_F(Audio, APressWithoutLateralMotionLeavesTheRecordStill) {
  demo.reset(0);
  const cVector3d above = OnRecord(0.0, 0.08, 0.02), in = OnRecord(0.0, 0.08, -0.003);
  Glide(OnRecord(0.0, 0.08, 0.05), above, 20);
  EXPECT_EQ(Force().length(), 0.0);
  Glide(above, in, 60);
  for (int i = 0; i < 200; ++i) StepAt(in);
  // pressed at the record's stiffness, along its axis
  EXPECT_GT(Force().dot(RecordAxis(2)), 0.8);
  EXPECT_EQ(tool->getProxy()->getContactObject(), demo.m_record);
  EXPECT_NEAR(demo.m_torque, 0.0, 1e-9);
  EXPECT_NEAR(demo.m_angularVelocity, 0.0, 1e-6);
}

TEST_F(Audio, RubbedWithTheToolItSpinsAndKeepsSpinningAfterTheToolLifts) {
  demo.reset(0);
  Glide(OnRecord(0.0, 0.08, 0.05), OnRecord(0.0, 0.08, 0.01), 20);
  Glide(OnRecord(0.0, 0.08, 0.01), OnRecord(0.0, 0.08, -0.003), 60);
  // rub along +x at 0.08 along +y: the friction drags the record along +x there
  Glide(OnRecord(0.0, 0.08, -0.003), OnRecord(0.04, 0.08, -0.003), 200);
  const double spun = demo.m_angularVelocity;
  std::printf("after the rub: %.3f rad/s, angle %.4f rad\n", spun, demo.m_angle);
  EXPECT_LT(spun, -0.5);
  // lifted clear: the speed holds, the angle runs on
  const cVector3d at = tool->m_devicePosWorld;
  Glide(at, at + RecordAxis(2) * 0.05, 20);
  EXPECT_EQ(tool->getProxy()->getContactObject(), nullptr);
  const double speed = demo.m_angularVelocity, angle = demo.m_angle;
  for (int i = 0; i < 500; ++i) StepAt(at + RecordAxis(2) * 0.05);
  EXPECT_EQ(demo.m_angularVelocity, speed);
  EXPECT_NEAR(demo.m_angle - angle, speed * 0.5, 1e-9);
  EXPECT_EQ(Force().length(), 0.0);
}

}  // namespace
