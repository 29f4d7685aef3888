// The reflexions demo against a stub device: its scene, the sphere-ring contact,
// the rings spun by a push and slowing down, and the force the device gets.
#include "demo/CDemoFactory.h"
#include "demo/CDemoReflexions36.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/forces/CShapeTorus.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "support/StubDevice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using devicetest::StubDevice;

bool Finite(const cVector3d &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

class DemoReflexions : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
    world = std::make_unique<cWorld>();
    root = new cMesh(world.get());
    world->addChild(root);
    tool = std::make_unique<cMeta3dofPointer>(world.get(), 0);
    stub = new StubDevice;
    tool->setDevice(stub);
    demo.init(world.get(), root, tool.get(), nullptr);
  }

  // the device at p (metres) turned by r, one haptic step as the shell makes it
  // for a demo that drives the device: the demo's update alone
  void Step(const cVector3d &p, const cMatrix3d &r = cMatrix3d()) {
    stub->position = p;
    stub->rotation = r;
    demo.update(0);
  }

  // a point given in the rings' frame, in scene units
  cVector3d FromRings(double x, double y, double z) const { return demo.m_ringRot * cVector3d(x, y, z); }

  std::unique_ptr<cWorld> world;
  cMesh *root = nullptr;
  std::unique_ptr<cMeta3dofPointer> tool;
  StubDevice *stub = nullptr;
  cDemoReflexions36 demo;
};

// with the bar held level, both spheres lie far along the rings' axis
const cVector3d kFreeSpace(0.05, 0.0, 0.0);

TEST_F(DemoReflexions, SetupBuildsTwoSeeThroughRingsAndTwoSpheresLeftDetached) {
  // a step before the demo was ever shown touches nothing
  demo.update(0);
  EXPECT_EQ(stub->sends, 0);

  ASSERT_EQ(demo.setup(0), 0);
  EXPECT_TRUE(demo.m_ready);
  EXPECT_TRUE(demo.drivesDevice());
  ASSERT_NE(demo.m_scene, nullptr);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(demo.m_scene->getPos(), cVector3d(-0.1, 0, 0));
  EXPECT_EQ(demo.m_scene->getNumChildren(), 4u);
  EXPECT_DOUBLE_EQ(demo.m_ring1->m_ringRadius, 0.105);
  EXPECT_DOUBLE_EQ(demo.m_ring1->m_tubeRadius, 0.027);
  EXPECT_DOUBLE_EQ(demo.m_ring2->m_ringRadius, 0.054);
  EXPECT_DOUBLE_EQ(demo.m_ring2->m_tubeRadius, 0.027);
  EXPECT_TRUE(demo.m_ring1->m_blend && demo.m_ring2->m_blend);
  EXPECT_FLOAT_EQ(demo.m_ring1->m_surface.m_diffuseColor.a, 0.7f);
  for (cShapeSphere *s : demo.m_sphere) {
    EXPECT_DOUBLE_EQ(s->getRadius(), 0.02);
    EXPECT_FALSE(s->m_blend);
  }
  // the rings' axis starts tilted 10 degrees off the view axis
  EXPECT_TRUE(demo.m_ringRot.col(2).equals(cVector3d(0.9848077530121095, 0.17364817766748877, 0), 1e-15));
  EXPECT_EQ(demo.m_ring1->getRot(), demo.m_ringRot);
}

TEST_F(DemoReflexions, ResetSetsUpFirstAndExitTwiceIsHarmless) {
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), root);
  EXPECT_TRUE(demo.m_starting);
  demo.exit(0);
  demo.exit(0);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(root->getNumChildren(), 0u);
}

TEST_F(DemoReflexions, ContactPushesASphereOutOfEachRingInTurn) {
  ASSERT_EQ(demo.setup(0), 0);
  cVector3d f, shown;
  // 3 cm from the outer ring's core, straight out: 1.7 cm deep at 500 N per unit
  demo.contact(FromRings(0.135, 0, 0), f, shown);
  EXPECT_TRUE(f.equals(FromRings(8.5, 0, 0), 1e-9));
  EXPECT_TRUE(shown.equals(FromRings(0.152, 0, 0), 1e-12));
  // against the inner ring's face, along the rings' axis
  demo.contact(FromRings(0.054, 0, 0.03), f, shown);
  EXPECT_TRUE(f.equals(FromRings(0, 0, 8.5), 1e-9));
  EXPECT_TRUE(shown.equals(FromRings(0.054, 0, 0.047), 1e-12));
  // between the rings: pushed inwards out of the outer one, then from where
  // that left it out of the inner one
  demo.contact(FromRings(0.08, 0, 0), f, shown);
  EXPECT_TRUE(f.equals(FromRings(-11.0 + 21.5, 0, 0), 1e-9));
  EXPECT_TRUE(shown.equals(FromRings(0.101, 0, 0), 1e-12));
  // out of reach of both
  demo.contact(FromRings(0.2, 0, 0.1), f, shown);
  EXPECT_EQ(f, cVector3d());
  EXPECT_TRUE(shown.equals(FromRings(0.2, 0, 0.1), 1e-12));
}

TEST_F(DemoReflexions, NoForceWhereTheWayOutIsUndefined) {
  ASSERT_EQ(demo.setup(0), 0);
  cVector3d f, shown;
  // the pivot
  demo.contact(cVector3d(), f, shown);
  EXPECT_EQ(f, cVector3d());
  // within a millimetre of a ring's core circle
  demo.contact(FromRings(0.105, 0, 0.0005), f, shown);
  EXPECT_EQ(f, cVector3d());
  demo.contact(FromRings(0, 0.054, -0.0009), f, shown);
  EXPECT_EQ(f, cVector3d());
  // on the axis but off the pivot no point of a core circle is nearest: nothing
  // is felt and nothing is moved, rather than a force out of a division by zero
  // (rings turned to the scene's axes, so that the point is exactly on the axis)
  demo.m_ringRot.identity();
  for (double z : {0.0004, 0.02, -0.05}) {
    demo.contact(cVector3d(0, 0, z), f, shown);
    EXPECT_TRUE(Finite(f) && Finite(shown)) << z;
    EXPECT_EQ(f, cVector3d()) << z;
    EXPECT_EQ(shown, cVector3d(0, 0, z)) << z;
  }
}

TEST_F(DemoReflexions, NoForceAfterResetUntilTheContactHasComeDown) {
  demo.reset(0);
  // the bar opens inside the inner ring's tube, off the pivot so that the two
  // spheres' forces do not cancel
  const cVector3d inside(0, 0.01, 0);
  cVector3d fa, fb, shown;
  demo.contact(cVector3d(0, 0.05, 0), fa, shown);
  demo.contact(cVector3d(0, -0.01, 0), fb, shown);
  ASSERT_GT((fa + fb).length(), 1.0);
  for (int i = 0; i < 5; ++i) {
    Step(inside);
    EXPECT_EQ(stub->sentForce(), cVector3d());
  }
  EXPECT_TRUE(demo.m_starting);
  EXPECT_EQ(stub->sends, 5);
  // out of the rings, then back in: now it is felt
  Step(kFreeSpace);
  EXPECT_FALSE(demo.m_starting);
  EXPECT_EQ(stub->sentForce(), cVector3d());
  // (the rings have turned meanwhile)
  demo.contact(cVector3d(0, 0.05, 0), fa, shown);
  demo.contact(cVector3d(0, -0.01, 0), fb, shown);
  Step(inside);
  EXPECT_GT(stub->sentForce().length(), 1.0);
  EXPECT_TRUE(stub->sentForce().equals(fa + fb, 1e-12));
  // each visit starts quiet again
  demo.exit(0);
  demo.reset(0);
  Step(inside);
  EXPECT_EQ(stub->sentForce(), cVector3d());
}

TEST_F(DemoReflexions, APushSpinsTheRingsWhichSlowDownByTheDampingEachStep) {
  demo.reset(0);
  Step(kFreeSpace);
  ASSERT_FALSE(demo.m_starting);
  EXPECT_EQ(demo.m_ringAngularVelocity, cVector3d());

  // the bar along the rings' tangent, both spheres pressing the outer ring's
  // face on the same side of its centre
  const cMatrix3d rings = demo.m_ringRot;
  const cVector3d a = FromRings(0.105, 0.03, 0.03), b = FromRings(0.105, -0.03, 0.03);
  cVector3d fa, pa, fb, pb;
  demo.contact(a, fa, pa);
  demo.contact(b, fb, pb);
  ASSERT_GT(fa.length(), 1.0);
  ASSERT_GT(fb.length(), 1.0);
  Step((a + b) / 4.0, rings);
  EXPECT_TRUE(demo.m_spherePos[0].equals(pa, 1e-12));
  EXPECT_TRUE(demo.m_spherePos[1].equals(pb, 1e-12));

  // the device is pushed back out of the ring's face
  const cVector3d sent = stub->sentForce();
  EXPECT_TRUE(sent.equals(fa + fb, 1e-12));
  EXPECT_GT(rings.transMul(sent).z, 1.0);
  // the ring takes the reaction: it tilts about its own y axis, away from the push
  const cVector3d w = demo.m_ringAngularVelocity;
  EXPECT_TRUE(w.equals((pa.cross(fa) + pb.cross(fb)) * (-1e-5 * 0.999), 1e-15));
  const cVector3d wRings = rings.transMul(w);
  EXPECT_GT(wRings.y, 1e-6);
  EXPECT_NEAR(wRings.x, 0.0, 1e-12);
  EXPECT_NEAR(wRings.z, 0.0, 1e-12);
  EXPECT_TRUE(demo.m_ringRot.equals(cMatrix3d::rotation(w / w.length(), w.length()) * rings, 1e-15));
  EXPECT_EQ(demo.m_ring1->getRot(), demo.m_ringRot);
  EXPECT_EQ(demo.m_ring2->getRot(), demo.m_ringRot);

  // let go: the spin decays by 0.999 per step about the same axis, and the
  // rings go on turning
  for (int i = 1; i <= 200; ++i) {
    const cMatrix3d before = demo.m_ringRot;
    Step(kFreeSpace);
    EXPECT_EQ(stub->sentForce(), cVector3d());
    EXPECT_TRUE(demo.m_ringAngularVelocity.equals(w * std::pow(0.999, i), 1e-18)) << i;
    EXPECT_FALSE(demo.m_ringRot.equals(before, 1e-9)) << i;
  }
  // the orientation stays a rotation
  EXPECT_NEAR(demo.m_ringRot.det(), 1.0, 1e-12);

  // a new visit finds the rings still, where they were left
  const cMatrix3d left = demo.m_ringRot;
  demo.exit(0);
  demo.reset(0);
  EXPECT_EQ(demo.m_ringAngularVelocity, cVector3d());
  EXPECT_EQ(demo.m_ringRot, left);
  Step(kFreeSpace);
  EXPECT_EQ(demo.m_ringRot, left);
}

TEST_F(DemoReflexions, ASpinTooSmallNoLongerTurnsTheRings) {
  demo.reset(0);
  demo.m_ringAngularVelocity.set(0, 9e-8, 0);
  const cMatrix3d before = demo.m_ringRot;
  Step(kFreeSpace);
  EXPECT_EQ(demo.m_ringRot, before);
}

TEST_F(DemoReflexions, ALostPositionSendsNothing) {
  demo.reset(0);
  Step(kFreeSpace);
  const int sends = stub->sends;
  stub->failPosition = true;
  Step(cVector3d());
  EXPECT_EQ(stub->sends, sends);
}

TEST(DemoFactory, ReflexionsDemoForEveryDeviceMode) {
  for (int mode : {3, 6, 7}) {
    std::unique_ptr<cDemo> d = createDemo(DEMO_PANEL_REFLEXIONS, mode);
    EXPECT_NE(dynamic_cast<cDemoReflexions36 *>(d.get()), nullptr) << mode;
    EXPECT_TRUE(d->drivesDevice());
  }
}

}  // namespace
