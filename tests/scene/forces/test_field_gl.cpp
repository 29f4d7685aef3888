// Analytic shapes drawn against a real OpenGL context and read back: opaque
// shapes, the transparency passes and a textured sphere. Checks are colours at
// chosen points with tolerances, never whole images.
#include "scene/forces/CShapeBlock.h"
#include "scene/forces/CShapeSphere.h"
#include "scene/forces/CShapeTorus.h"
#include "scene/graph/CCamera.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "support/GlSceneTest.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using gltest::Rgb;
constexpr double kPi = 3.14159265358979323846;

using gltest::Near;

using gltest::PassFilter;

// ---- fixture ----------------------------------------------------------------------

class FieldGL : public gltest::GlSceneTest {
 protected:
  // the colour where a point of the plane x = 0 lands
  Rgb AtPoint(double y, double z) const {
    int px, py;
    Project(cVector3d(0, y, z), px, py);
    return At(px, py);
  }
  bool IsBackground(const Rgb &c) const { return Near(c, 51, 102, 153, 3); }

  // a colour that needs no light: emission only
  static void Flat(cGenericPotentialField *shape, const cColorf &colour) {
    const cColorf black(0, 0, 0, 1);
    cMaterial &m = shape->m_surface;
    m.m_ambientColor = m.m_diffuseColor = m.m_specularColor = black;
    m.m_emissionColor = colour;
  }

  // the state every shape leaves behind
  static void ExpectCleanState() {
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_TRUE(depthWrites);
  }
};

// ---- opaque -----------------------------------------------------------------------

TEST_F(FieldGL, OpaqueShapesCoverTheirOutline) {
  cShapeSphere *sphere = new cShapeSphere(0.5);
  world.addChild(sphere);
  Flat(sphere, cColorf(1, 0, 0));
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0), 255, 0, 0));
  EXPECT_TRUE(Near(AtPoint(0.3, 0.3), 255, 0, 0));
  EXPECT_TRUE(IsBackground(AtPoint(0.7, 0)));
  ExpectCleanState();

  sphere->setShow(false, false);
  cShapeBlock *block = new cShapeBlock(0.6, 0.6, 0.6);
  world.addChild(block);
  Flat(block, cColorf(0, 1, 0));
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0), 0, 255, 0));
  EXPECT_TRUE(Near(AtPoint(0.25, -0.25), 0, 255, 0));
  EXPECT_TRUE(IsBackground(AtPoint(0.5, 0)));
  ExpectCleanState();

  // the ring turned to face the camera: its hole shows the background
  block->setShow(false, false);
  cShapeTorus *torus = new cShapeTorus(0.1, 0.5);
  torus->setRot(cRotMatrix(cVector3d(0, 1, 0), kPi / 2));
  world.addChild(torus);
  Flat(torus, cColorf(0, 0, 1));
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(0, 0)));
  EXPECT_TRUE(Near(AtPoint(0.5, 0), 0, 0, 255));
  EXPECT_TRUE(Near(AtPoint(0, -0.5), 0, 0, 255));
  EXPECT_TRUE(IsBackground(AtPoint(0.8, 0)));
  ExpectCleanState();
}

// ---- transparency -----------------------------------------------------------------

TEST_F(FieldGL, TransparentSphereBlendsBackAndFrontFaces) {
  PassFilter *filter = new PassFilter;
  world.addChild(filter);
  cShapeSphere *sphere = new cShapeSphere(0.5);
  filter->addChild(sphere);
  Flat(sphere, cColorf(1, 0, 0));
  sphere->m_surface.setTransparencyLevel(0.5f);
  sphere->m_blend = true;
  camera->enableMultipassTransparency(true);
  // half red over half red over the background (51, 102, 153)
  const Rgb once{153, 51, 77}, twice{204, 25, 38};

  filter->passes = {RENDER_PASS_OPAQUE};
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(0, 0)));

  // each transparent pass draws one side of the sphere
  filter->passes = {RENDER_PASS_TRANSPARENT_BACK};
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0), once.r, once.g, once.b));
  filter->passes = {RENDER_PASS_TRANSPARENT_FRONT};
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0), once.r, once.g, once.b));
  filter->passes = {RENDER_PASS_OPAQUE, RENDER_PASS_TRANSPARENT_BACK, RENDER_PASS_TRANSPARENT_FRONT};
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0), twice.r, twice.g, twice.b));
  ExpectCleanState();

  // one pass without culling draws both sides
  camera->enableMultipassTransparency(false);
  filter->passes = {RENDER_PASS_ALL};
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0), twice.r, twice.g, twice.b));

  // without two passes the shape is drawn in the opaque pass only
  sphere->m_twoPassBlend = false;
  camera->enableMultipassTransparency(true);
  filter->passes = {RENDER_PASS_TRANSPARENT_BACK, RENDER_PASS_TRANSPARENT_FRONT};
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(0, 0)));
  filter->passes = {RENDER_PASS_OPAQUE};
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0), twice.r, twice.g, twice.b));
  ExpectCleanState();
}

TEST_F(FieldGL, TransparentBlockBlendsBothSidesInOnePass) {
  cShapeBlock *block = new cShapeBlock(0.6, 0.6, 0.6);
  world.addChild(block);
  Flat(block, cColorf(1, 0, 0));
  block->m_surface.setTransparencyLevel(0.5f);
  block->m_blend = true;
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0), 204, 25, 38));
  ExpectCleanState();
}

// ---- texture ----------------------------------------------------------------------

TEST_F(FieldGL, TexturedSphereShowsTheImageAroundItsAxis) {
  cShapeSphere *sphere = new cShapeSphere(0.5);
  world.addChild(sphere);
  Flat(sphere, cColorf(1, 1, 1));
  cTexture2D *texture = world.newTexture();
  const std::string path = gltest::WriteHalves("scene_field_", 8, 8, 0xFF0000, 0x00FF00);
  ASSERT_EQ(texture->m_picture.loadFromFile(path.c_str()), 0);
  sphere->m_tex = texture;
  Frame();
  // the side facing the camera shows one half of the image
  const Rgb front = AtPoint(0, 0.1);
  const bool red = Near(front, 255, 0, 0);
  EXPECT_TRUE(red || Near(front, 0, 255, 0)) << front.r << " " << front.g << " " << front.b;
  ExpectCleanState();

  // half a turn about the axis brings the other half round
  sphere->setRot(cRotMatrix(cVector3d(0, 0, 1), kPi));
  Frame();
  if (red)
    EXPECT_TRUE(Near(AtPoint(0, 0.1), 0, 255, 0));
  else
    EXPECT_TRUE(Near(AtPoint(0, 0.1), 255, 0, 0));

  sphere->m_tex = nullptr;
  Frame();
  EXPECT_TRUE(Near(AtPoint(0, 0.1), 255, 255, 255));
  std::remove(path.c_str());
}

}  // namespace
