// The 3-DOF pointer drawn against a real OpenGL context: proxy and device
// spheres by drawing mode, the pressed colour, and the line between them.
#include "support/GlSceneTest.h"
#include "support/StubDevice.h"

#include "scene/tools/CGeneric3dofPointer.h"

#include <gtest/gtest.h>

namespace {

using devicetest::StubDevice;
using gltest::Rgb;

class PointerGL : public gltest::GlSceneTest {
 protected:
  void SetUp() override {
    gltest::GlSceneTest::SetUp();
    tool = new cGeneric3dofPointer(&world);
    device = new StubDevice();
    tool->setDevice(device);
    tool->useNormalizedPositions(false);
    tool->m_gripAsSwitch = false;
    tool->setRadius(0.15);
    // colours far apart so each sphere is told by its dominant channel
    tool->m_proxyColor.set(1, 0, 0, 1);
    tool->m_deviceColor.set(0, 1, 0, 1);
    tool->m_pressedColor.set(0, 0, 1, 1);
    tool->m_lineColor.set(1, 1, 1, 1);
    world.addChild(tool);
    world.computeGlobalPositions(false);
    // the proxy left at the origin, the device moved away after it
    device->position.set(0, 0, 0);
    tool->updatePose();
    tool->computeForces();
    device->position.set(0, 0.8, 0);
    tool->updatePose();
  }
  Rgb AtPoint(double y, double z) const {
    int px, py;
    Project(cVector3d(0, y, z), px, py);
    return At(px, py);
  }
  static int Dominant(const Rgb &c) {
    if (c.r > c.g + 20 && c.r > c.b + 20) return 0;
    if (c.g > c.r + 20 && c.g > c.b + 20) return 1;
    if (c.b > c.r + 20 && c.b > c.g + 20) return 2;
    return -1;
  }
  // a white pixel within two rows of the point (y, 0): the one-pixel line
  bool LineAt(double y) const {
    int px, py;
    Project(cVector3d(0, y, 0), px, py);
    for (int dy = -2; dy <= 2; ++dy)
      if (gltest::Near(At(px, py + dy), 255, 255, 255, 3)) return true;
    return false;
  }
  bool IsBackground(const Rgb &c) const { return gltest::Near(c, 51, 102, 153, 3); }

  cGeneric3dofPointer *tool = nullptr;
  StubDevice *device = nullptr;
};

// ---- drawing modes ----------------------------------------------------------------

TEST_F(PointerGL, ModesChooseProxyDeviceOrBoth) {
  Frame();
  EXPECT_EQ(Dominant(AtPoint(0, 0)), 0);
  EXPECT_EQ(Dominant(AtPoint(0.8, 0)), 1);
  // the line, unlit, between the two spheres
  EXPECT_TRUE(LineAt(0.4));

  tool->setRenderingMode(RENDER_PROXY);
  Frame();
  EXPECT_EQ(Dominant(AtPoint(0, 0)), 0);
  EXPECT_TRUE(IsBackground(AtPoint(0.8, 0)));
  EXPECT_FALSE(LineAt(0.4));

  tool->setRenderingMode(RENDER_DEVICE);
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(0, 0)));
  EXPECT_EQ(Dominant(AtPoint(0.8, 0)), 1);
  EXPECT_FALSE(LineAt(0.4));
}

TEST_F(PointerGL, PressedButtonRecoloursBothSpheres) {
  tool->m_switch0 = 1;
  Frame();
  EXPECT_EQ(Dominant(AtPoint(0, 0)), 2);
  EXPECT_EQ(Dominant(AtPoint(0.8, 0)), 2);
  // only odd values count as pressed
  tool->m_switch0 = 2;
  Frame();
  EXPECT_EQ(Dominant(AtPoint(0, 0)), 0);
}

TEST_F(PointerGL, ToolPoseMovesTheDrawing) {
  tool->setPos(0, 0, 0.6);
  world.computeGlobalPositions(false);
  // the proxy stays where it was in the world; the device moves with the tool
  Frame();
  EXPECT_EQ(Dominant(AtPoint(0, 0)), 0);
  EXPECT_EQ(Dominant(AtPoint(0.8, 0.6)), 1);
  EXPECT_TRUE(IsBackground(AtPoint(0.8, 0)));
}

}  // namespace
